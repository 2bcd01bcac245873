import warnings

import pytest

import viewer
from viewer import Display


class WineServerKill(UserWarning):
    """Shown in the summary: a test ran twice for a failure of Wine's own."""


@pytest.hookimpl(tryfirst=True)
def pytest_pyfunc_call(pyfuncitem):
    """Under Wine a test runs once more when Wine, not the program, failed:
    its server killed a program as it ended (status -9), or the viewer found
    no display at start. A kill is tolerated only when the second run passes
    and that program wrote the same output in it: it had written everything
    it should before it was killed. A missing display is tolerated only when
    the second run passes. A crash, or an output cut short, fails as ever."""
    test = pyfuncitem.obj
    arguments = {name: pyfuncitem.funcargs[name] for name in pyfuncitem._fixtureinfo.argnames}
    viewer.ENDED.clear()
    try:
        test(**arguments)
        return True
    except (viewer.WineKilledAtExit, viewer.WineDisplayMissing) as failure:
        first = failure
    viewer.ENDED.clear()
    test(**arguments)  # the same failure again fails the test
    if isinstance(first, viewer.WineKilledAtExit):
        again = viewer.ENDED[first.index] if first.index < len(viewer.ENDED) else None
        if again != first.output:
            raise AssertionError(f"{first}\nwhich is not the output of the passing run:\n{again}")
        what = (f"program {first.index + 1} of the test was killed by Wine's server (status -9) as it ended, "
                "after writing its whole output")
    else:
        what = "the viewer found no display under Wine at start (status 1, \"No displays available\")"
    warnings.warn(WineServerKill(f"{pyfuncitem.nodeid}: {what}; the test ran once more and passed"))
    return True


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
