import pytest

from viewer import Display


@pytest.fixture(scope="module")
def display(request):
    server = Display(request.module.__name__)
    yield server
    server.stop()


@pytest.fixture
def running(display):
    """Starts viewers for one test and kills whatever is left at its end."""
    started = []

    def start(viewer):
        started.append(viewer)
        return viewer

    yield start
    for viewer in started:
        viewer.kill()
