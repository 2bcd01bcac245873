"""A packaged viewer, started in the folder its package puts the demo in,
shows the demo and ends on Esc (tests/check-packages.sh sets it up)."""

from viewer import DEMO, DEMO_OUTPUT, Viewer, demo_at_start


def test_the_packaged_viewer_shows_its_demo(display, running):
    viewer = running(Viewer(display, DEMO))
    viewer.wait_until_running(DEMO_OUTPUT, demo_at_start())
    assert viewer.quit_with("Escape") == (0, DEMO_OUTPUT)
