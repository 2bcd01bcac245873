"""Hostile files: whatever "main.json" and "final.png" hold, the viewer says
what it should, stays responsive where it goes on, ends with the status it
should, and its memory stays bounded."""

import pytest
from PIL import Image

from viewer import (DEMO, DEMO_OUTPUT, SANITIZED, WINDOWS, Viewer, make_folder, run_to_end,
                    tileset_failure_lines)

PARSE_FAILURE = ["Error - couldn't parse json data in main.json.", "..."]
# The demo takes about a third of this. Under AddressSanitizer a map that
# claims billions of cells also costs an eighth of their size in shadow memory.
MOST_RESIDENT_KB = (1500 if SANITIZED else 700) * 1024


def layer(name, data):
    return {"name": name, "data": data}


def map_text(width, height, tile_w, tile_h, layers):
    import json
    return json.dumps({"width": width, "height": height, "tilewidth": tile_w, "tileheight": tile_h,
                       "layers": layers})


MAPS = {
    "empty file": (b"", PARSE_FAILURE),
    "truncated": (b'{"width": 3, "height": 1, "layers": [{"name": "a", "da', PARSE_FAILURE),
    "nested a hundred thousand deep": (b"[" * 100000 + b"]" * 100000, PARSE_FAILURE),
    "a directory": (None, PARSE_FAILURE),
    "an unknown byte order mark": ('\ufeff{"layers": []}'.encode("utf-16"), PARSE_FAILURE),
    "numbers past 64 bits": (b'{"width": 123456789012345678901234567890, "layers": []}', PARSE_FAILURE),
    "huge dimensions with little data": (
        map_text(40000, 40000, 32, 32, [layer("vast", [1, 2, 3])]), ["", "Layer Name: vast"]),
    "dimensions past 32 bits": (
        map_text(4294967296 * 3 + 65536, 65536, 32, 32, [layer("wide", [1])]), ["", "Layer Name: wide"]),
    "negative dimensions": (
        map_text(-128, 128, 32, 32, [layer("back", [1] * 64)]), ["", "Layer Name: back"]),
    "tile sizes of 0": (
        map_text(64, 64, 0, 0, [layer("flat", [1] * 4096)]), ["", "Layer Name: flat"]),
    "tile sizes of 2147483647": (
        map_text(64, 64, 2147483647, 2147483647, [layer("giant", [2] * 4096)]),
        ["", "Layer Name: giant"]),
    "data of strings and nulls": (
        map_text(4, 1, 32, 32, [layer("odd", ["1", None, {"v": 2}, 3.5])]), ["", "Layer Name: odd"]),
    "four layers": (
        map_text(1, 1, 32, 32, [layer(n, [1]) for n in "abcd"]),
        ["ERROR: More layers in map than the engine can handle right now!"]),
    "names that are not strings": (
        map_text(1, 1, 32, 32, [{"name": None, "data": [1]}, 42]), ["", "Layer Name: ", "", "Layer Name: "]),
}


def matches(expected, actual):
    if len(expected) != len(actual):
        return False
    return all(a == e or (e.endswith("...") and a.startswith(e[:-3])) for e, a in zip(expected, actual))


def resident_peak_kb(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    return 0


@pytest.mark.parametrize("name", list(MAPS))
def test_a_hostile_map_is_reported_and_the_viewer_goes_on(display, running, name):
    content, expected = MAPS[name]
    folder = make_folder(tileset=DEMO / "final.png")
    if content is None:
        (folder / "main.json").mkdir()
    else:
        (folder / "main.json").write_bytes(content if isinstance(content, bytes) else content.encode())

    viewer = running(Viewer(display, folder))
    # The last line can come before the cells are allocated and copied; the
    # loop runs once the picture has settled after that.
    viewer.wait_until_running(lambda text: text.count("\n") >= len(expected))
    viewer.hold("Right", "Down", seconds=0.3)  # frames keep coming: it is responsive
    viewer.wait_for_still_picture()
    peak = resident_peak_kb(viewer.process.pid)
    status, out = viewer.quit_with("Escape")
    assert status == 0
    assert matches(expected, out.split("\n")[:-1]), out
    assert peak < MOST_RESIDENT_KB, f"{peak} kB resident"


def png_bytes(image):
    import io
    buffer = io.BytesIO()
    image.save(buffer, "PNG")
    return buffer.getvalue()


TILESETS = {
    # Windows refuses to open a directory as a file; elsewhere it opens and
    # then reads as no image.
    "a directory": (None, "Couldn't open final.png" if WINDOWS else "Unsupported image format"),
    "an empty file": (b"", None),
    "a truncated png": (png_bytes(Image.new("RGBA", (96, 96), (9, 99, 199, 255)))[:60], None),
    "an image larger than the largest texture": (
        png_bytes(Image.new("RGBA", (40000, 2), (1, 2, 3, 255))), "Texture dimensions are limited to ..."),
}


@pytest.mark.parametrize("name", list(TILESETS))
def test_a_hostile_tileset_ends_start_up_with_status_4(display, name):
    content, library_text = TILESETS[name]
    folder = make_folder(map_text=(DEMO / "main.json").read_bytes())
    if content is None:
        (folder / "final.png").mkdir()
    else:
        (folder / "final.png").write_bytes(content)
    status, out = run_to_end(display, folder)
    assert status == 4, (status, out)  # the status first: once under Wine on a loaded machine, no output at all
    lines = tileset_failure_lines(out)
    assert len(lines) == 3 and lines[2] == "" and lines[1], out
    assert lines[0] == "Failed to load image: final.png" + lines[1]
    if library_text is not None:
        assert matches([library_text], [lines[1]]), out


def test_a_one_pixel_tileset_is_drawn_as_far_as_it_goes(display, running):
    folder = make_folder(tileset=Image.new("RGBA", (1, 1), (255, 0, 0, 255)),
                         map_text=(DEMO / "main.json").read_bytes())
    viewer = running(Viewer(display, folder))
    shot = viewer.wait_until_running(DEMO_OUTPUT)
    # Value 1 cells copy the one pixel there is, clipped: one red pixel at
    # each such cell's top-left corner, the rest stays black.
    colours = {colour for _, colour in shot.getcolors(maxcolors=16)}
    assert colours <= {(0, 0, 0), (255, 0, 0)}
    assert viewer.quit_with("Escape")[0] == 0
