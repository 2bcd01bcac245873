import os
import sys
from pathlib import Path

import pytest

# The desktop suite's helpers draw the pictures expected here too. They read
# these at import; nothing here runs the desktop programs.
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
os.environ.setdefault("TILEMAP_VIEWER", "tilemap-viewer")
os.environ.setdefault("TILEMAP_IMPORT", "tilemap-import")

from browser import Chromium, Site  # noqa: E402

SITE = Path(os.environ.get("TILEMAP_WEB_SITE", "/work/main/build-web/site"))
_measured = {}


@pytest.fixture(scope="session")
def site():
    if not (SITE / "index.html").exists():
        pytest.fail(f"no site to test: {SITE}/index.html is missing (build the web version first)")
    server = Site(SITE)
    yield server.url + "index.html"
    server.stop()


@pytest.fixture(scope="session")
def chromium():
    browser = Chromium()
    yield browser
    browser.stop()


@pytest.fixture
def page(chromium, site):
    """The browser's one page; each test opens the site in it anew."""
    yield chromium.page
    chromium.page.open("about:blank")  # ends whatever program the test left running


@pytest.fixture
def measured():
    """Numbers a test reports (not checks), printed at the end of the run."""
    return _measured


def pytest_terminal_summary(terminalreporter):
    for what, value in _measured.items():
        terminalreporter.write_line(f"measured: {what}: {value}")
