"""What the viewer says and does for missing or broken "final.png" and "main.json"."""

from PIL import Image

from viewer import DEMO, Viewer, make_folder, run_to_end, tileset_failure_lines

THREE_LAYERS = {"tilewidth": 32, "tileheight": 32, "width": 2, "height": 1, "layers": [
    {"name": "sea", "data": [1, 2]},
    {"name": "island with palms", "data": [0, 3]},
    {"name": "clouds", "data": [4, 0]}]}


def assert_tileset_failure(out, library_text=None):
    lines = tileset_failure_lines(out)
    assert len(lines) == 3 and lines[2] == "", out  # exactly two lines
    message, error = lines[0], lines[1]
    assert error, out
    assert message == "Failed to load image: final.png" + error
    if library_text is not None:
        assert error == library_text


def test_a_missing_tileset_gives_two_lines_and_status_4(display):
    status, out = run_to_end(display, make_folder(map_doc=THREE_LAYERS))
    assert status == 4
    assert_tileset_failure(out, "Couldn't open final.png")


def test_a_tileset_of_garbage_gives_two_lines_and_status_4(display):
    status, out = run_to_end(display, make_folder(tileset=b"\x89PNG\r\n\x1a\nnot really" * 50,
                                                  map_doc=THREE_LAYERS))
    assert status == 4
    assert_tileset_failure(out)


def has_lines(count):
    return lambda text: text.count("\n") >= count


def keeps_running_until_escape(display, running, folder, output):
    viewer = running(Viewer(display, folder))
    blank = viewer.wait_until_running(output)
    assert viewer.process.poll() is None, "the window closed by itself"
    assert blank.getextrema() == ((0, 0), (0, 0), (0, 0))  # nothing to draw
    return viewer.quit_with("Escape")


def test_a_missing_map_is_reported_and_the_window_stays_open(display, running):
    status, out = keeps_running_until_escape(display, running, make_folder(tileset=DEMO / "final.png"),
                                             has_lines(2))
    assert status == 0
    lines = out.split("\n")
    assert lines[0] == "Error - couldn't parse json data in main.json."
    assert lines[1].startswith("unable to open main.json")
    assert lines[2:] == [""]


def test_a_malformed_map_is_reported_and_the_window_stays_open(display, running):
    folder = make_folder(tileset=DEMO / "final.png", map_text='{"layers": [{"name": "a", "data": [1,')
    status, out = keeps_running_until_escape(display, running, folder, has_lines(2))
    assert status == 0
    lines = out.split("\n")
    assert lines[0] == "Error - couldn't parse json data in main.json."
    assert lines[1] != ""
    assert lines[2:] == [""]


def test_a_map_that_is_not_an_object_is_reported(display, running):
    folder = make_folder(tileset=DEMO / "final.png", map_text="[1, 2, 3]")
    expected = "Error - unexpected format of json data in main.json.\n"
    assert keeps_running_until_escape(display, running, folder, expected) == (0, expected)


def test_three_named_layers_print_their_names(display, running):
    tileset = Image.new("RGBA", (96, 64), (200, 100, 50, 255))
    viewer = running(Viewer(display, make_folder(tileset=tileset, map_doc=THREE_LAYERS)))
    expected = "\nLayer Name: sea\n\nLayer Name: island with palms\n\nLayer Name: clouds\n"
    viewer.wait_until_running(expected)
    assert viewer.quit_with("q") == (0, expected)
