"""Start-up failures, quitting, and what the command line changes (nothing)."""

import signal
import time

from viewer import DEMO, FAIL_WINDOW, TITLE, Viewer, make_folder, run_to_end


def demo_folder():
    return make_folder(tileset=DEMO / "final.png", map_text=(DEMO / "main.json").read_bytes())


def test_an_unknown_video_driver_fails_start_up_with_status_1(display):
    status, out = run_to_end(display, demo_folder(), SDL_VIDEODRIVER="bogus")
    assert (status, out) == (1, "bogus not available\n")


def test_a_refused_window_fails_start_up_with_status_2(display):
    status, out = run_to_end(display, demo_folder(), LD_PRELOAD=FAIL_WINDOW)
    assert (status, out) == (2, "window creation refused by the test\n")


def test_no_accelerated_renderer_fails_start_up_with_status_3(display):
    status, out = run_to_end(display, demo_folder(), SDL_VIDEODRIVER="dummy")
    assert (status, out) == (3, "Couldn't find matching render driver\n")


def test_the_window_is_titled_and_sized(display, running):
    viewer = running(Viewer(display, demo_folder()))
    window = viewer.wait_for_window()
    assert display.xdotool("getwindowname", window) == TITLE
    geometry = display.xdotool("getwindowgeometry", window)
    assert "Geometry: 1280x720" in geometry
    assert "Position: 0,0" in geometry  # centred on a screen of the same size


def test_escape_and_q_quit_with_status_0(display, running):
    for key in ("Escape", "q"):
        viewer = running(Viewer(display, demo_folder()))
        viewer.wait_for_window()
        status, _ = viewer.quit_with(key)
        assert status == 0, key


def test_other_keys_do_not_quit(display, running):
    viewer = running(Viewer(display, demo_folder()))
    viewer.wait_for_window()
    viewer.hold("space", "w", "Return", seconds=0.3)
    time.sleep(0.3)
    assert viewer.process.poll() is None
    assert viewer.quit_with("Escape")[0] == 0


def test_closing_the_window_quits_with_status_0(display, running):
    viewer = running(Viewer(display, demo_folder()))
    window = viewer.wait_for_window()
    display.close_window(window)
    status, _ = viewer.finish()
    assert status == 0


def test_sigterm_is_a_quit_request_and_ends_with_status_0(display, running):
    viewer = running(Viewer(display, demo_folder()))
    viewer.wait_for_window()
    viewer.process.send_signal(signal.SIGTERM)
    status, _ = viewer.finish()
    assert status == 0


def test_command_line_arguments_change_nothing(display, running):
    results = []
    for args in ((), ("--help",), ("-x", "other.json", "--size=1", "")):
        viewer = running(Viewer(display, demo_folder(), args))
        viewer.wait_for_window()
        shot = display.screenshot()
        results.append((viewer.quit_with("Escape"), shot.tobytes()))
    assert results[1] == results[0]
    assert results[2] == results[0]
    assert results[0][0] == (0, "\nLayer Name: ground\n\nLayer Name: details\n\nLayer Name: overlay\n")


def test_failures_keep_their_status_whatever_the_arguments(display):
    status, out = run_to_end(display, demo_folder(), ("--help",), SDL_VIDEODRIVER="bogus")
    assert (status, out) == (1, "bogus not available\n")
