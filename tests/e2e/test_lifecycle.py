"""Start-up failures, quitting, and what the command line changes (nothing)."""

import signal
import time

import pytest

from viewer import (DEMO_OUTPUT, FAIL_WINDOW, TITLE, WAIT_SECONDS, WINDOWS, WINE_DLLS, Viewer, demo_at_start,
                    demo_folder, same, start_demo, run_to_end)


def test_an_unknown_video_driver_fails_start_up_with_status_1(display):
    status, out = run_to_end(display, demo_folder(), SDL_VIDEODRIVER="bogus")
    assert (status, out) == (1, "bogus not available\n")


def test_a_refused_window_fails_start_up_with_status_2(display):
    if not WINDOWS:
        status, out = run_to_end(display, demo_folder(), LD_PRELOAD=FAIL_WINDOW)
        assert (status, out) == (2, "window creation refused by the test\n")
        return
    # Wine with no graphics driver refuses every window.
    display.wine_graphics("none")
    try:
        status, out = run_to_end(display, demo_folder())
    finally:
        display.wine_graphics(None)
    assert status == 2
    assert out.startswith("Couldn't create window") and out.count("\n") == 1, out


def test_no_accelerated_renderer_fails_start_up_with_status_3(display):
    if WINDOWS:
        # No Direct3D and no OpenGL: only the software renderer is left.
        env = {"WINEDLLOVERRIDES": WINE_DLLS.replace("=", ",d3d9,d3d11,d3d12,opengl32=")}
    else:
        env = {"SDL_VIDEODRIVER": "dummy"}
    status, out = run_to_end(display, demo_folder(), **env)
    assert (status, out) == (3, "Couldn't find matching render driver\n")


def test_the_window_is_titled_and_sized(display, running):
    viewer = running(Viewer(display, demo_folder()))
    window = viewer.wait_for_window()
    # Asked again while the answer is empty: on a busy machine the X server
    # has been seen to answer the name of a window just found with nothing.
    deadline = time.monotonic() + WAIT_SECONDS
    while not (name := display.xdotool("getwindowname", window)) and time.monotonic() < deadline:
        time.sleep(0.05)
    assert name == TITLE
    geometry = display.xdotool("getwindowgeometry", window)
    assert "Geometry: 1280x720" in geometry
    assert "Position: 0,0" in geometry  # centred on a screen of the same size


def test_escape_and_q_quit_with_status_0(display, running):
    for key in ("Escape", "q"):
        viewer = start_demo(display, running)
        status, _ = viewer.quit_with(key)
        assert status == 0, key


def test_other_keys_do_not_quit(display, running):
    viewer = start_demo(display, running)
    # Right is held with them: the picture moving shows frames saw the keys.
    assert not same(viewer.nudge("space", "w", "Return", "Right"), demo_at_start())
    assert viewer.process.poll() is None
    assert viewer.quit_with("Escape")[0] == 0


def test_closing_the_window_quits_with_status_0(display, running):
    viewer = start_demo(display, running)
    display.close_window(viewer.window)
    status, _ = viewer.finish()
    assert status == 0


@pytest.mark.skipif(WINDOWS, reason="Windows has no SIGTERM; a Windows program is asked to end "
                                     "by closing its window, tested above")
def test_sigterm_is_a_quit_request_and_ends_with_status_0(display, running):
    viewer = start_demo(display, running)
    viewer.process.send_signal(signal.SIGTERM)
    status, _ = viewer.finish()
    assert status == 0


def test_command_line_arguments_change_nothing(display, running):
    for args in ((), ("--help",), ("-x", "other.json", "--size=1", "")):
        # Each run must reach the same output and the same picture.
        viewer = start_demo(display, running, args)
        assert viewer.quit_with("Escape") == (0, DEMO_OUTPUT), args


def test_failures_keep_their_status_whatever_the_arguments(display):
    status, out = run_to_end(display, demo_folder(), ("--help",), SDL_VIDEODRIVER="bogus")
    assert (status, out) == (1, "bogus not available\n")
