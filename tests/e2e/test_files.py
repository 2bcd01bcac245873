"""What the viewer says and does for missing or broken "final.png" and
"main.json", and for a tileset taller than any texture the renderer makes."""

import os
import random
import subprocess
import time
from functools import lru_cache

from PIL import Image

import import_maps as maps
from import_reference import Picture
from viewer import (DEMO, START_X, START_Y, VIEW_H, VIEW_W, MapPicture, Viewer, expected_picture, load_map, load_tileset,
                    make_folder, run_to_end, start_of, tileset_failure_lines)

# How long a scroll across the map may take on a busy machine.
SCROLL_SECONDS = 240

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


# --- A tileset of 20,000 blocks, 213,344 pixels tall: 14 bands of the 16,384
# rows a desktop renderer's texture holds (Direct3D's under Wine as well).

NOISE_BLOCKS = (160, 125)
BAND = 16384


@lru_cache(maxsize=None)
def noise_map():
    """An editor map whose one image layer is noise, so that every 32 x 32
    block of it differs, imported by the real importer. Returns the output
    folder, the map's picture as the reference renderer draws it, and the
    output map pixel of its top-left, as a MapPicture."""
    folder = make_folder()
    width, height = 32 * NOISE_BLOCKS[0], 32 * NOISE_BLOCKS[1]
    noise = Image.frombytes("RGB", (width, height), random.Random(20000).randbytes(width * height * 3))
    path = maps.write(dict(name="noise", tilewidth=32, tileheight=32, width=NOISE_BLOCKS[0], height=NOISE_BLOCKS[1],
                           tilesets=[], layers=[dict(type="imagelayer", name="noise", image=("noise.png", noise))]),
                      folder, "json")
    result = subprocess.run([os.environ["TILEMAP_IMPORT"], str(path), str(folder / "view")], capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stderr
    doc = load_map(folder / "view")
    first = next(i for i, v in enumerate(doc["layers"][0]["data"]) if v)  # the picture is opaque: its top-left cell
    return folder / "view", MapPicture(Picture(path).image, (first % doc["width"] * 32, first // doc["width"] * 32))


def noise_view(camera_y):
    """The window at (the start's x, camera_y)."""
    return noise_map()[1].view(start_of(noise_map()[0])[0], camera_y)


def bands_in_view(folder, camera_y):
    """The 16,384-row bands of final.png that the cells in the window at (the start's x, camera_y) come from."""
    doc = load_map(folder)
    left, top = start_of(folder)[0] - VIEW_W // 2, camera_y - VIEW_H // 2
    data, width = doc["layers"][0]["data"], doc["width"]
    return {(data[r * width + c] - 1) // 3 * 32 // BAND for r in range(top // 32, (top + VIEW_H) // 32 + 1)
            for c in range(left // 32, (left + VIEW_W) // 32 + 1) if data[r * width + c]}


def shows(viewer, folder, output, expected):
    """Waits until the window shows `expected`; else keeps both pictures to look at."""
    try:
        return viewer.wait_until_running(output, expected)
    except AssertionError as failure:
        viewer.display.screenshot().save(folder / "actual.png")
        expected.save(folder / "expected.png")
        raise AssertionError(f"{failure}; the pictures are in {folder}")


def test_a_tileset_of_20000_blocks_is_drawn_exactly_and_scrolls_across_its_bands(display, running):
    folder, _ = noise_map()
    assert Image.open(folder / "final.png").size == (96, 213344)
    start_x, start_y = start_of(folder)  # view.json's
    assert len(bands_in_view(folder, start_y)) >= 3, "the window at start shows no band edge"
    viewer = running(Viewer(display, folder))
    shows(viewer, folder, "\nLayer Name: noise\n", noise_view(start_y))
    # Down a few steps at a time, each picture checked exactly, until blocks
    # of a band the window did not show at start are in view.
    start_band, camera_y = max(bands_in_view(folder, start_y)), start_y
    deadline = time.monotonic() + SCROLL_SECONDS
    while max(bands_in_view(folder, camera_y)) <= start_band:
        assert time.monotonic() < deadline, f"no new band in view within {SCROLL_SECONDS} s; at {camera_y}"
        below = camera_y
        try:
            (_, camera_y), _ = viewer.nudge("Down", at_least=0.5, name=lambda shot: noise_map()[1].camera(
                shot, [(start_x, y) for y in range(below + 5, below + 3000, 5)]))
        except AssertionError as failure:
            viewer.display.screenshot().save(folder / "actual.png")
            raise AssertionError(f"{failure}: no camera further down than {below}; the picture is in {folder}")
    assert viewer.quit_with("Escape") == (0, "\nLayer Name: noise\n")


def test_tiles_that_straddle_two_bands_are_drawn_from_both(display, running):
    # 48-pixel tiles over the tall final.png, made by hand: the window at
    # start shows the tiles on either side of every multiple of 4,096 rows
    # (where bands of 4,096, 8,192 or 16,384 rows end), most of them across it.
    source, _ = noise_map()
    tileset = load_tileset(source)
    rows = tileset.height // 48  # whole rows of tiles; the last, partial one unused
    edges = [t for m in range(1, tileset.height // 4096 + 1) for t in (4096 * m // 48 - 1, 4096 * m // 48)
             if t < rows]
    rng = random.Random(48)
    visible = [3 * t + column + 1 for t in edges for column in (0, 1)]  # column 2 lies right of the image
    cells = [rng.randint(0, 3 * rows) for _ in range(80 * 80)]
    for i, value in enumerate(visible):  # columns 42 to 68, rows 54 to 68 are in view
        cells[(54 + i // 27) * 80 + 42 + i % 27] = value
    map_doc = {"tilewidth": 48, "tileheight": 48, "width": 80, "height": 80,
               "layers": [{"name": "straddling", "data": cells}]}
    folder = make_folder(tileset=source / "final.png", map_doc=map_doc)
    viewer = running(Viewer(display, folder))
    shows(viewer, folder, "\nLayer Name: straddling\n", expected_picture(map_doc, tileset, START_X, START_Y))
    assert viewer.quit_with("q")[0] == 0
