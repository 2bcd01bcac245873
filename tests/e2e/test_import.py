"""The importer end to end: the editor's maps and worlds of them, in both
formats, become the viewer's two files holding the picture the editor draws
(as our reference renderer draws it), placed where the window shows it at
start; broken maps and worlds are refused with one line and nothing
written."""

import json
import math
import os
import re
import subprocess
import time
from functools import lru_cache, reduce
from pathlib import Path

import pytest
from PIL import Image, ImageChops

import import_maps as maps
import viewer as viewer_module
from import_reference import (box_scaled, opening_view, overview, overview_size, render, resolve, scaled,
                              zoom_levels_for)
from viewer import START_X, START_Y, VIEW_H, VIEW_W, WAIT_SECONDS, Viewer, make_folder

IMPORT = os.environ["TILEMAP_IMPORT"]
SOURCES = {**maps.MAPS, **maps.WORLDS}
# Layers and groups left out by name (hidden, as if the file hid them): the
# case, the map or world it imports and the options it gives.
HIDING = {("composite, hiding", "xml"): ("composite", ["--hide-layer", "bigs", "--hide-layer", "faded"]),
          ("world, hiding", "json"): ("world", ["--hide-layer", "props", "--hide-layer", "towers"])}
CASES = [(name, fmt) for name in SOURCES for fmt in ("xml", "json")] + list(HIDING)
# The viewer shows an output the same way whichever format it came from (the
# pictures of both are checked above): once per map that looks different.
VIEWED = [("kept", "json"), ("composite", "xml"), ("infinite", "json"), ("world", "json"), ("island", "xml")]
# Maps whose layers stay as they are; the others' layers are drawn together
# in at most three runs, each named after the layers in it.
KEPT_LAYERS = {"kept": ["ground", "details", "top"]}
# The background colour is painted when asked for (under each map of a
# world), in one format, and not otherwise, in the other.
OPTIONS = {("hexagonal", "xml"): ["--background"], ("world", "xml"): ["--background"]}


# What an import writes.
OUTPUT_FILES = ["final.png", "main.json", "overview.png", "view.json"]


def run_import(*args, cwd=None):
    return subprocess.run([IMPORT, *map(str, args)], capture_output=True, text=True, timeout=120, cwd=cwd)


def source(name, fmt):
    """The map or world a case imports, and the options it gives."""
    return HIDING.get((name, fmt), (name, OPTIONS.get((name, fmt), [])))


@lru_cache(maxsize=None)
def imported(name, fmt):
    """Writes the map or world, imports it into its default folder; returns
    its path, the run, and what appeared beside it."""
    what, options = source(name, fmt)
    if what == "infinite" and not maps.ZSTD:
        pytest.skip("the zstd tool is missing (Debian package zstd): the infinite map has zstd chunks")
    folder = make_folder()
    path = maps.write(SOURCES[what](), folder, fmt)
    before = set(os.listdir(folder))
    result = run_import(*options, path)
    return path, result, set(os.listdir(folder)) - before


@lru_cache(maxsize=None)
def reference(name, background=False, hidden=()):
    """Drawn from the JSON files alone (a world's: JSON and XML by turns,
    the other way round from the XML case's), so that the others must mean
    the same."""
    return render(imported(name, "json")[0], background, hidden)


def reference_for(name, fmt):
    what, options = source(name, fmt)
    hidden = tuple(value for option, value in zip(options, options[1:]) if option == "--hide-layer")
    return reference(what, "--background" in options, hidden)


def place(size):
    """The output map pixel of the picture's top-left: centred in the window
    at start on the 32-pixel grid, else at the first grid line inside it."""
    corner = []
    for first, view, length in zip((START_X - VIEW_W // 2, START_Y - VIEW_H // 2), (VIEW_W, VIEW_H), size):
        lo, hi = -(-first // 32) * 32, (first + view - length) // 32 * 32
        centre = first + (view - length) / 2
        corner.append(min(range(lo, hi + 1, 32), key=lambda o: (abs(o - centre), o)) if lo <= hi else lo)
    return corner


def opaque_only(image):
    """Fully transparent pixels made alike, whatever colour they carry."""
    clean = Image.new("RGBA", image.size)
    clean.paste(image, mask=image.getchannel("A").point(lambda a: 255 if a else 0))
    return clean


def wrong_pixels(actual, expected, fuzzy):
    """Pixels off by more than one in a channel, or off at all where no
    semi-transparent or tinted draw leaves room for rounding."""
    worst = reduce(ImageChops.lighter, ImageChops.difference(actual, expected).split())
    return ImageChops.lighter(worst.point(lambda v: 255 if v > 1 else 0),
                              ImageChops.subtract(worst.point(lambda v: 255 if v else 0), fuzzy))


def assert_close(actual, expected, fuzzy, folder, what):
    wrong = wrong_pixels(actual, expected, fuzzy)
    if wrong.getbbox():
        actual.save(folder / "actual.png")
        expected.save(folder / "expected.png")
        raise AssertionError(f"{what}: {wrong.histogram()[255]} pixels wrong within {wrong.getbbox()}; "
                             f"pictures in {folder}")


def read_level(folder, level):
    """Zoom level `level` of an output folder as one picture: its pages of
    blocks (64 a row) placed by its pieces of 64 x 64 cells."""
    place = folder / "zoom" / str(level)
    about = json.loads((place / "level.json").read_text())
    pages = [Image.open(place / f"blocks-{p}.png").convert("RGBA") for p in range(-(-about["blocks"] // 4096))]
    picture = Image.new("RGBA", (32 * about["width"], 32 * about["height"]))
    for row in range(-(-about["height"] // 64)):
        for column in range(-(-about["width"] // 64)):
            cells = json.loads((place / f"{column}_{row}.json").read_text())["data"]
            width = min(64, about["width"] - 64 * column)
            for i, v in enumerate(cells):
                if v:
                    page, k = pages[(v - 1) // 4096], (v - 1) % 4096
                    block = page.crop((k % 64 * 32, k // 64 * 32, k % 64 * 32 + 32, k // 64 * 32 + 32))
                    picture.paste(block, (32 * (64 * column + i % width), 32 * (64 * row + i // width)))
    return picture


def read_output(folder):
    """main.json, the blocks of final.png, and the picture they make."""
    doc = json.loads((folder / "main.json").read_text())
    sheet = Image.open(folder / "final.png")
    assert sheet.format == "PNG" and sheet.width == 96 and sheet.height % 32 == 0, sheet
    assert sheet.height // 32 <= 512, "more than 1536 blocks"
    sheet = sheet.convert("RGBA")
    blocks = [sheet.crop((i % 3 * 32, i // 3 * 32, i % 3 * 32 + 32, i // 3 * 32 + 32))
              for i in range(sheet.height // 32 * 3)]
    w, h = doc["width"], doc["height"]
    picture = Image.new("RGBA", (32 * w, 32 * h))
    for layer in doc["layers"]:
        assert len(layer["data"]) == w * h and all(0 <= v <= len(blocks) for v in layer["data"]), layer["name"]
        for i, v in enumerate(layer["data"]):
            if v:
                picture.alpha_composite(blocks[v - 1], (i % w * 32, i // w * 32))
    used = {v for layer in doc["layers"] for v in layer["data"] if v}
    assert len({blocks[v - 1].tobytes() for v in used}) == len(used), "a block is stored twice"
    return doc, picture


def placed(name, fmt, doc):
    """The reference and the output pixel of its top-left, where the output's size must leave room for it."""
    ref = reference_for(name, fmt)
    ox, oy = place(ref.image.size)
    assert (doc["width"], doc["height"]) == (math.ceil((ox + ref.image.width) / 32),
                                             math.ceil((oy + ref.image.height) / 32))
    return ref, ox, oy


def first_map(ref, ox, oy):
    """A world's first map's grid area in the output's pixels; None for a map."""
    area = getattr(ref, "first_area", None)
    return area and (area[0] + ox, area[1] + oy, area[2] + ox, area[3] + oy)


def expected_output(name, fmt, doc):
    """The reference picture where the output must hold it, and its fuzzy pixels."""
    ref, ox, oy = placed(name, fmt, doc)
    size = (32 * doc["width"], 32 * doc["height"])
    picture, fuzzy = Image.new("RGBA", size), Image.new("L", size)
    picture.paste(ref.image, (ox, oy))
    fuzzy.paste(ref.fuzzy, (ox, oy))
    return picture, fuzzy


@pytest.mark.parametrize("name,fmt", CASES)
def test_the_output_holds_the_maps_picture(name, fmt):
    path, result, beside = imported(name, fmt)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert len(lines) == 1 and lines[0].startswith("Wrote "), result.stdout
    folder = path.parent / (path.stem + "-view")
    doc, picture = read_output(folder)
    ref, ox, oy = placed(name, fmt, doc)
    levels = zoom_levels_for(*ref.image.size)
    assert beside == {folder.name} and sorted(os.listdir(folder)) == OUTPUT_FILES + ["zoom"] * (levels > 0)
    assert doc["tilewidth"] == doc["tileheight"] == 32
    names = [layer["name"] for layer in doc["layers"]]
    assert 1 <= len(names) <= 3 and names == KEPT_LAYERS.get(name, names), names
    where = (ox, oy, ox + ref.image.width, oy + ref.image.height)
    outside = picture.getchannel("A")
    outside.paste(0, where)
    assert not outside.getbbox(), f"drawn outside the map's picture {where}, within {outside.getbbox()}"
    assert_close(opaque_only(picture.crop(where)), ref.image, ref.fuzzy, folder, f"{name} ({fmt})")
    # view.json: no animations, the overview's rectangle (the picture's, in
    # the viewer's map pixels), where the view starts (on the drawn pixels; a
    # world's: its first map's); overview.png the picture's size scaled to fit.
    view = json.loads((folder / "view.json").read_text())
    start = opening_view(picture.getchannel("A"), first_map(ref, ox, oy))
    assert view == {"animations": [], "start": {"x": start[0], "y": start[1]},
                    "overview": {"image": "overview.png", "x": ox, "y": oy, "width": ref.image.width,
                                 "height": ref.image.height}, **({"zoom": {"levels": levels}} if levels else {})}, view
    # The zoom levels: the output picture averaged 2 x 2, 4 x 4, ...
    for level in range(1, levels + 1):
        shown = read_level(folder, level)
        expected = box_scaled(picture, 2 ** level)
        assert shown.size[0] >= expected.size[0] and shown.size[1] >= expected.size[1]
        difference = ImageChops.difference(shown.convert("RGBa").crop((0, 0, *expected.size)), expected)
        assert max(high for _, high in difference.getextrema()) <= 2 * level, f"zoom level {level}"
    with Image.open(folder / "overview.png") as small:
        assert small.format == "PNG" and small.size == overview_size(*ref.image.size), small.size
    if name in KEPT_LAYERS:  # each kept layer holds its own tiles, where the map has them
        shown = [layer for layer, *_, visible in ref.layers if visible]
        for out, layer in zip(doc["layers"], shown):
            cells = {x + ox // 32 + (y + oy // 32) * doc["width"]
                     for (x, y), gid in ref.cells(layer).items() if resolve(ref.tilesets, gid)}
            assert {i for i, v in enumerate(out["data"]) if v} == cells, out["name"]


# Overview pixels compared premultiplied (colour times alpha / 255, and
# alpha): the imported picture may differ from the reference's by 1 where a
# semi-transparent or tinted draw leaves room for rounding (an average of
# such differences is within 1 too), and each side rounds its averages to 8
# bits once (within 1 premultiplied each: half a unit of alpha, half a unit
# of colour). Straight colours of nearly transparent pixels would magnify
# those by 255 / alpha.
OVERVIEW_TOLERANCE = 3


def premultiplied(image):
    return [tuple(c * a / 255 for c in (r, g, b)) + (a,) for r, g, b, a in image.convert("RGBA").getdata()]


def test_the_overview_of_a_world_is_its_picture_scaled_to_fit_the_window():
    path, result, _ = imported("world", "json")
    assert result.returncode == 0, result.stderr
    folder = path.parent / (path.stem + "-view")
    ref = reference_for("world", "json")
    expected = overview(ref.image)
    assert expected.size[0] == 1280 or expected.size[1] == 720, expected.size  # scaled down to fit
    with Image.open(folder / "overview.png") as small:
        actual = small.convert("RGBA")
    assert actual.size == expected.size
    worst = max((max(abs(x - y) for x, y in zip(p, q)), i)
                for i, (p, q) in enumerate(zip(premultiplied(actual), premultiplied(expected))))
    if worst[0] > OVERVIEW_TOLERANCE:
        actual.save(folder.parent / "actual-overview.png")
        expected.save(folder.parent / "expected-overview.png")
        raise AssertionError(f"overview off by {worst[0]:.1f} at {divmod(worst[1], actual.width)[::-1]}; "
                             f"pictures in {folder.parent}")
    # Transparent where the picture is: the gap left of the far map.
    assert actual.getchannel("A").getextrema()[0] == 0


def window_at(folder, name, fmt):
    """What the window shows with the camera centre at (x, y): the output's
    picture over black, and where rounding may differ."""
    doc = json.loads((folder / "main.json").read_text())
    picture, fuzzy = expected_output(name, fmt, doc)
    shown = Image.new("RGBA", picture.size, (0, 0, 0, 255))
    shown.alpha_composite(picture)

    def at(x, y):
        window, room = Image.new("RGB", (VIEW_W, VIEW_H)), Image.new("L", (VIEW_W, VIEW_H))
        window.paste(shown.convert("RGB"), (VIEW_W // 2 - x, VIEW_H // 2 - y))
        room.paste(fuzzy, (VIEW_W // 2 - x, VIEW_H // 2 - y))
        return window, room
    return doc, at


def wait_for_picture(viewer, expected, room, folder, what):
    """Screenshots until the window shows the picture (the viewer may still be
    on its first, empty frames), within the harness's bound."""
    deadline = time.monotonic() + WAIT_SECONDS
    while True:
        shot = viewer.display.screenshot()
        if not wrong_pixels(shot, expected, room).getbbox():
            return
        if time.monotonic() > deadline or viewer.process.poll() is not None:
            assert_close(shot, expected, room, folder, what)


def layer_lines(doc):
    return "".join(f"\nLayer Name: {layer['name']}\n" for layer in doc["layers"])


@pytest.mark.parametrize("name,fmt", VIEWED)
def test_the_viewer_shows_the_output_at_start_and_scrolled(display, running, name, fmt):
    path, result, _ = imported(name, fmt)
    assert result.returncode == 0, result.stderr
    folder = path.parent / (path.stem + "-view")
    doc, at = window_at(folder, name, fmt)
    viewer = running(Viewer(display, folder))
    viewer.wait_until_running(layer_lines(doc))
    # Where view.json starts it (on what is drawn; the test above checks
    # where that is): the first picture is not black.
    start = json.loads((folder / "view.json").read_text())["start"]
    sx, sy = start["x"], start["y"]
    assert at(sx, sy)[0].getbbox(), f"{name} ({fmt}) opens on nothing drawn"
    wait_for_picture(viewer, *at(sx, sy), folder, f"{name} ({fmt}) at start")
    # The camera moves in 5-pixel steps; only the picture tells how far it went.
    viewer.nudge("Right", name=lambda shot: next(
        (dx for dx in range(5, 1000, 5) if not wrong_pixels(shot, *at(sx + dx, sy)).getbbox()), None))
    assert viewer.quit_with("Escape")[0] == 0


# A value of the wrong type in a JSON map: where it goes, what it is, the
# field the error line must name.
JSON_TYPE_ERRORS = {"width as text": (("width",), "four"),
                    "data not an array": (("layers", 0, "data"), 7),
                    "a cell as text": (("layers", 0, "data", 1), "2"),
                    "opacity as text": (("layers", 0, "opacity"), "0.5"),
                    "visible as text": (("layers", 0, "visible"), "no"),
                    "firstgid as text": (("tilesets", 0, "firstgid"), "1")}


def broken_map(case, fmt, folder):
    """Writes the case's map; returns its path and a pattern the error line must hold."""
    changes = {"unknown encoding": dict(encoding="base32"),
               "unknown compression": dict(encoding="base64", compression="lzma"),
               "wrong data size": dict(cells=((1, 2), (2,))),
               "unknown orientation": dict(orientation="spherical"),
               "gid below the first firstgid": dict(firstgid=5, cells=((5, 6), (3, 5)))}
    path = maps.write(maps.failing_map(**changes.get(case, {})), folder, fmt)
    if case == "missing tileset image":
        (folder / "tiny.png").unlink()
        return path, r"tiny\.png"
    if case == "syntax error":  # a broken token on a known line
        lines = path.read_text().split("\n")
        n = next(i for i, line in enumerate(lines) if ("<layer" if fmt == "xml" else '"orthogonal"') in line)
        lines[n] = lines[n].replace("<layer", "<layer <").replace('"orthogonal"', "orthogonal")
        path.write_text("\n".join(lines))
        return path, rf"{re.escape(path.name)}.*\b{n + 1}\b"
    if case == "width past 32 bits":  # named as written, not as the nearest number that fits
        text = path.read_text()
        path.write_text(re.sub(r'(<map [^>]*?\bwidth=")2"|("width": )2,', r"\g<1>\g<2>34359738449" +
                               ('"' if fmt == "xml" else ","), text, count=1))
        return path, r"\b34359738449\b"
    if case in JSON_TYPE_ERRORS:
        where, value = JSON_TYPE_ERRORS[case]
        doc = json.loads(path.read_text())
        reduce(lambda d, key: d[key], where[:-1], doc)[where[-1]] = value
        path.write_text(json.dumps(doc, indent=1))
        field = [key for key in where if isinstance(key, str)][-1]
        return path, rf"{re.escape(path.name)}.*\b{field}\b"
    return path, re.escape(path.name)


FAILURES = [(case, fmt) for case in ["missing tileset image", "syntax error", "unknown encoding", "unknown compression",
                                     "wrong data size", "unknown orientation", "gid below the first firstgid",
                                     "width past 32 bits"]
            for fmt in ("xml", "json")] + [(case, "json") for case in JSON_TYPE_ERRORS]


@pytest.mark.parametrize("case,fmt", FAILURES)
def test_a_broken_map_is_refused_and_nothing_is_written(case, fmt):
    folder = make_folder()
    path, pattern = broken_map(case, fmt, folder)
    before = sorted(os.listdir(folder))
    result = run_import(path)
    lines = result.stderr.splitlines()
    assert result.returncode == 1 and len(lines) == 1, (result.returncode, result.stderr)
    assert lines[0].startswith("tilemap-import: ") and re.search(pattern, lines[0]), lines[0]
    assert sorted(os.listdir(folder)) == before


# A file the map names that can't be had: what needs it is left out, the
# rest drawn, the line ends with a warning naming it (its reason follows on
# standard error); --strict refuses the map instead. Each case: what it adds
# to the tiny map, the file it then takes away, and the end of the line.
RULES = dict(name="rules", tilewidth=32, tileheight=32, image=("set_rules.png", None))
FAR = dict(name="far", file="sets/far", tilewidth=32, tileheight=32, image=("far.png", maps.sheet(1, 1, 32, 32)))
CRATE = dict(file="templates/crate", tileset=(1, FAR), object=dict(gid=1))
MISSING = {
    "unused tileset image": (dict(tilesets=[(3, RULES)]), None, r"1 tileset image missing, unused: set_rules\.png"),
    "used tileset image": (dict(tilesets=[(3, RULES)], cells=((1, 3), (3, 2))), None,
                           r"2 cells undrawn, tileset image missing: set_rules\.png"),
    "tileset file": (dict(tilesets=[(3, FAR)], cells=((3, 2), (2, 1))), "sets/far.ts?",
                     r"1 cell undrawn, tileset missing: far\.ts[xj]"),
    "template": (dict(layers=[dict(type="objectgroup", name="crates", objects=[dict(template=CRATE, x=0, y=64)])]),
                 "templates/crate.t?", r"1 object undrawn, template missing: crate\.t[xj]"),
    "image layer's image": (dict(layers=[dict(type="imagelayer", name="sky", image=("sky.png", None))]), None,
                            r"1 image layer undrawn, image missing: sky\.png")}


@pytest.mark.parametrize("case,fmt", [(case, fmt) for case in MISSING for fmt in ("xml", "json")])
def test_a_missing_file_leaves_out_what_needs_it_and_strict_refuses(case, fmt):
    adds, removed, told = MISSING[case]
    folder = make_folder()
    description = maps.failing_map(cells=adds.get("cells", ((1, 2), (2, 1))))
    description["tilesets"] += adds.get("tilesets", [])
    description["layers"] += adds.get("layers", [])
    path = maps.write(description, folder, fmt)
    for gone in folder.glob(removed or "-"):
        gone.unlink()
    strict = run_import("--strict", path, folder / "strict")
    assert strict.returncode == 1 and re.fullmatch(r"tilemap-import: .*can't be (read|loaded).*\n", strict.stderr), strict
    assert not (folder / "strict").exists()
    result = run_import(path, folder / "out")
    assert result.returncode == 0 and re.fullmatch(rf"Wrote .*; warning: {told}\n", result.stdout), result
    reasons = result.stderr.splitlines()
    assert len(reasons) == 1 and re.fullmatch(rf"tilemap-import: warning: {re.escape(str(path))}: .*can't be "
                                              rf"(read|loaded).*{told.split(': ')[-1]}.*", reasons[0]), reasons
    ref = render(path)  # the editor's picture, drawn without the missing file
    doc, picture = read_output(folder / "out")
    ox, oy = place(ref.image.size)
    assert_close(opaque_only(picture.crop((ox, oy, ox + ref.image.width, oy + ref.image.height))), ref.image,
                 ref.fuzzy, folder, f"{case} ({fmt}) missing")


def test_a_decoders_warning_about_an_image_follows_the_line_once_naming_it():
    # The PNG library warns of an ICC profile for grey on a colour image; a
    # map that uses the image twice hears of it once, after its line.
    folder = make_folder()
    path = maps.write(maps.failing_map(), folder, "xml")
    header = bytearray(132)
    header[0:4], header[8:12] = (132).to_bytes(4, "big"), bytes([2, 16, 0, 0])
    header[12:24], header[36:40] = b"mntrGRAYXYZ ", b"acsp"
    Image.open(folder / "tiny.png").save(folder / "tiny.png", icc_profile=bytes(header))
    twice = path.read_text().replace("<layer", '<imagelayer name="again"><image source="tiny.png"/></imagelayer><layer')
    path.write_text(twice)
    result = run_import(path, folder / "out")
    assert result.returncode == 0 and result.stdout.startswith("Wrote "), result
    warnings = result.stderr.splitlines()
    assert len(warnings) == 1 and re.fullmatch(rf"tilemap-import: warning: {re.escape(str(path))}: "
                                               r".*tiny\.png: libpng warning: iCCP: .+", warnings[0]), warnings


def broken_world(case, folder):
    """Writes the case's world of two tiny maps (one listed, one found by its
    pattern); returns its path and a pattern the error line must hold
    besides the world's path."""
    path = maps.write(maps.failing_world(), folder, "json")
    doc = json.loads(path.read_text())
    listed, pattern = doc["maps"][0], doc["patterns"][0]
    if case == "syntax error":  # a key without its quotes, on a known line
        lines = path.read_text().split("\n")
        n = next(i for i, line in enumerate(lines) if '"multiplierY"' in line)
        lines[n] = lines[n].replace('"multiplierY"', "multiplierY")
        path.write_text("\n".join(lines))
        return path, rf"\b{n + 1}\b"
    if case == "broken map":  # the one the pattern finds, cut short
        broken = next(folder.glob("tiny_1_0.tm?"))
        broken.write_text(broken.read_text()[:200])
        return path, r"tiny_1_0\.tm[xj].*; give --skip-missing"
    changes = {"x as text": (listed, "x", "0", r"\bx\b"),
               "maps not an array": (doc, "maps", listed, r"\bmaps\b"),
               "fileName not a string": (listed, "fileName", 7, r"\bfileName\b"),
               # says how to go on
               "missing map": (listed, "fileName", "lost.tmj", r"lost\.tmj.*; give --skip-missing to import the "
                                                               r"world without it$"),
               "regexp of one capture": (pattern, "regexp", r"^tiny_(\d+)_\d+\.tm[xj]$", r"\bregexp\b"),
               # wrong even though it finds no file
               "regexp of three captures": (pattern, "regexp", r"^(tiny)_(\d+)_(\d+)\.png$", r"\bregexp\b"),
               "regexp that isn't one": (pattern, "regexp", r"^tiny_(\d+_(\d+)\.tm[xj]$", r"\bregexp\b"),
               "multiplierX of 0": (pattern, "multiplierX", 0, r"\bmultiplierX\b"),
               "multiplierY of 0": (pattern, "multiplierY", 0, r"\bmultiplierY\b"),
               "a map far off": (listed, "x", 2000000000, r"\bpicture\b"),
               # 4e9 pixels apart: past what 32 bits hold
               "maps far apart both ways": (pattern, "offsetY", 2000000000, r"\bpicture\b")}
    where, key, value, wanted = changes[case]
    where[key] = value
    if case == "maps far apart both ways":
        listed["y"] = -2000000000
    path.write_text(json.dumps(doc, indent=4))
    return path, wanted


WORLD_FAILURES = ["syntax error", "x as text", "maps not an array", "fileName not a string", "missing map",
                  "broken map", "regexp of one capture", "regexp of three captures", "regexp that isn't one",
                  "multiplierX of 0", "multiplierY of 0", "a map far off", "maps far apart both ways"]


@pytest.mark.parametrize("case", WORLD_FAILURES)
def test_a_broken_world_is_refused_naming_it_and_nothing_is_written(case):
    folder = make_folder()
    path, pattern = broken_world(case, folder)
    given = f"{folder.name}/{path.name}"  # named as given, relative to where the importer runs
    before = sorted(os.listdir(folder))
    result = run_import(given, cwd=folder.parent)
    lines = result.stderr.splitlines()
    assert result.returncode == 1 and len(lines) == 1, (result.returncode, result.stderr)
    line = lines[0]
    assert line.startswith("tilemap-import: ") and given in line, line
    assert re.search(pattern, line.replace(given, "")), line
    assert sorted(os.listdir(folder)) == before


def test_skip_missing_imports_a_world_without_the_maps_that_cant_be_read():
    folder = make_folder()
    path, _ = broken_world("missing map", folder)  # the first of three maps
    result = run_import("--skip-missing", path, folder / "out")
    assert result.returncode == 0, result.stderr
    assert re.fullmatch(r"Wrote .* \(a world of 2 maps, 1 map of 3 left out\) in .*", result.stdout.strip()), result.stdout
    told = [line for line in result.stderr.splitlines() if "left out" in line]
    assert len(told) == 1 and re.fullmatch(rf"tilemap-import: warning: {re.escape(str(path))}: left out "
                                           rf"{re.escape(str(folder / 'lost.tmj'))}: can't be read .+", told[0]), told
    # The picture of the world without it, the view starting on the first map left.
    doc = json.loads(path.read_text())
    rest = folder / "rest.world"
    rest.write_text(json.dumps(dict(doc, maps=doc["maps"][1:])))
    ref = render(rest)
    shown, picture = read_output(folder / "out")
    ox, oy = place(ref.image.size)
    assert_close(opaque_only(picture.crop((ox, oy, ox + ref.image.width, oy + ref.image.height))), ref.image,
                 ref.fuzzy, folder, "the world without its missing map")
    view = json.loads((folder / "out" / "view.json").read_text())
    start = opening_view(picture.getchannel("A"), first_map(ref, ox, oy))
    assert view["start"] == {"x": start[0], "y": start[1]}, view
    # All of them missing (the pattern finds none now): refused, nothing written.
    for left in (*folder.glob("spare.tm?"), *folder.glob("tiny_1_0.tm?")):
        left.unlink()
    refused = run_import("--skip-missing", path, folder / "none")
    assert refused.returncode == 1 and re.fullmatch(r"tilemap-import: .*: none of its 2 maps can be read \(.*lost\.tmj.*\)\n",
                                                    refused.stderr), refused.stderr
    assert not (folder / "none").exists()


def test_view_opens_the_viewer_on_the_output_and_returns_its_status(display, running, monkeypatch):
    path, result, _ = imported("kept", "json")
    out = path.parent / "chosen"
    monkeypatch.setattr(viewer_module, "VIEWER", IMPORT)  # the importer is what runs here
    importer = running(Viewer(display, path.parent, ["--view", str(path), str(out)]))
    importer.wait_until_running(lambda text: text.count("Layer Name: ") == 3)
    doc, at = window_at(out, "kept", "json")
    start = json.loads((out / "view.json").read_text())["start"]
    wait_for_picture(importer, *at(start["x"], start["y"]), out, "kept, opened with --view")
    status, output = importer.quit_with("Escape")
    assert status == 0
    assert output.startswith("Wrote ") and output.endswith(layer_lines(doc)), output


def test_the_command_line_answers_version_and_refuses_a_nameless_hide_layer():
    project = (Path(__file__).resolve().parents[2] / "CMakeLists.txt").read_text()
    version = re.search(r"project\(tilemap_viewer VERSION (\S+)", project).group(1)
    answer = run_import("--version")
    assert (answer.returncode, answer.stdout, answer.stderr) == (0, f"tilemap-import {version}\n", "")
    folder = make_folder()
    path = maps.write(maps.failing_map(), folder, "json")
    for nameless in (["--hide-layer"], ["--hide-layer", "", path]):
        refused = run_import(*nameless, cwd=folder)
        assert refused.returncode == 2 and refused.stderr.startswith("tilemap-import: --hide-layer needs a layer name")
    assert not (folder / f"{path.stem}-view").exists()


# ---- Maps that move --------------------------------------------------------------

# Times in ms: the first frames, each cycle's boundaries (a time on a boundary
# still shows the earlier frame) and just after them, the common cycles.
MOVING_TIMES = [0, 1, 90, 91, 110, 150, 151, 180, 240, 241, 300, 400, 401, 1199, 1200, 1201, 3600, 3601, 5000]


@pytest.mark.parametrize("fmt", ["xml", "json"])
def test_an_animated_map_shows_the_editors_picture_at_every_time(fmt, tmp_path):
    from animation import map_at
    folder = make_folder()
    path = maps.write(maps.ANIMATED["moving"](), folder, fmt)
    for _ in range(2):  # the second import replaces the first, view.json and all
        result = run_import(path)
        assert result.returncode == 0, result.stderr
        assert re.fullmatch(r"Wrote .*, \d+ animated blocks in view\.json", result.stdout.strip()), result.stdout
    out = path.parent / (path.stem + "-view")
    assert sorted(os.listdir(out)) == OUTPUT_FILES
    # The reference reads the JSON files alone, so that the XML ones must mean the same.
    drawn_from = path if fmt == "json" else maps.write(maps.ANIMATED["moving"](), make_folder(), "json")
    doc = json.loads((out / "main.json").read_text())
    view = json.loads((out / "view.json").read_text())
    assert list(view) == ["animations", "overview", "start"]
    values = {v for layer in doc["layers"] for v in layer["data"]}
    for animation in view["animations"]:  # the form other tools read
        assert list(animation) == ["tile", "frames"] and animation["tile"] in values, animation
        assert len(animation["frames"]) >= 2 and all(list(f) == ["tile", "duration"] and f["duration"] > 0
                                                     for f in animation["frames"]), animation
    assert len({a["tile"] for a in view["animations"]}) == len(view["animations"])
    # Four animations meet here (400 ms with 240 ms, their flips, the tile
    # objects' 180 ms): some block follows two cycles at once.
    assert max(sum(f["duration"] for f in a["frames"]) for a in view["animations"]) >= 1200
    # Composed as the viewer would at each time, it is the editor's picture then.
    for t in MOVING_TIMES:
        at = tmp_path / f"t{t}"
        at.mkdir()
        (at / "final.png").write_bytes((out / "final.png").read_bytes())
        (at / "main.json").write_text(json.dumps(map_at(doc, view, t)))
        shown, picture = read_output(at)
        ref = render(drawn_from, t=t)
        ox, oy = place(ref.image.size)
        where = (ox, oy, ox + ref.image.width, oy + ref.image.height)
        assert_close(opaque_only(picture.crop(where)), ref.image, ref.fuzzy, at, f"moving ({fmt}) at {t} ms")
        if t == 0:  # the overview shows the picture at time 0 (a small one: as it is)
            with Image.open(out / "overview.png") as small:
                assert_close(opaque_only(small.convert("RGBA")), ref.image, ref.fuzzy, at, f"moving ({fmt}) overview")


# ---- The whole picture as one PNG (--picture) --------------------------------------

# Each case: the map, its format, --time and the N of --scale 1/N. A world
# (with --background, by OPTIONS), layers hidden, the moving map between
# frames and past its common cycle, scaled pictures of odd sides.
PICTURES = [("kept", "json", 0, 1), ("composite, hiding", "xml", 0, 1), ("world", "xml", 0, 1),
            ("moving", "xml", 401, 1), ("moving", "json", 5000, 2), ("world", "json", 0, 2), ("isometric", "xml", 0, 4)]


@pytest.mark.parametrize("name,fmt,t,n", PICTURES)
def test_picture_writes_what_the_viewer_shows_at_that_time_and_scale(name, fmt, t, n):
    from animation import map_at
    if name == "moving":
        path = maps.write(maps.ANIMATED["moving"](), make_folder(), fmt)
        assert run_import(path).returncode == 0
        options, ref = [], render(maps.write(maps.ANIMATED["moving"](), make_folder(), "json"), t=t)
    else:
        path, result, _ = imported(name, fmt)
        assert result.returncode == 0, result.stderr
        options, ref = source(name, fmt)[1], reference_for(name, fmt)
    out = make_folder() / "whole.png"
    out.write_bytes(b"an earlier picture")  # replaced by a whole one
    result = run_import(*options, "--picture", out, "--time", t, *(["--scale", f"1/{n}"] if n > 1 else []), path)
    size = (-(-ref.image.width // n), -(-ref.image.height // n))
    assert result.returncode == 0 and re.fullmatch(rf"Wrote {re.escape(str(out))}: a picture of {size[0]} x {size[1]} "
                                                   r"pixels.*, [\d.]+ [KM]iB, in \d+\.\d\d s\n", result.stdout), result
    assert os.listdir(out.parent) == ["whole.png"]
    with Image.open(out) as written:
        assert (written.format, written.mode, written.size) == ("PNG", "RGBA", size)
        picture = written.copy()
    what = f"--picture of {name} ({fmt}) at {t} ms, scaled 1/{n}"
    if n > 1:  # averaged as the overview is, compared as it is
        expected = scaled(ref.image, n)
        worst = max(max(abs(x - y) for x, y in zip(p, q)) for p, q in zip(premultiplied(picture), premultiplied(expected)))
        if worst > OVERVIEW_TOLERANCE:
            expected.save(out.parent / "expected.png")
            raise AssertionError(f"{what}: off by {worst:.1f}; pictures in {out.parent}")
        return
    assert_close(opaque_only(picture), ref.image, ref.fuzzy, out.parent, what)
    # Pixel for pixel the imported folder's picture then, its layers composited.
    folder = path.parent / (path.stem + "-view")
    doc, view = json.loads((folder / "main.json").read_text()), json.loads((folder / "view.json").read_text())
    shown = out.parent / "shown"
    shown.mkdir()
    (shown / "final.png").write_bytes((folder / "final.png").read_bytes())
    (shown / "main.json").write_text(json.dumps(map_at(doc, view, t)))
    x, y = view["overview"]["x"], view["overview"]["y"]
    whole = read_output(shown)[1].crop((x, y, x + size[0], y + size[1]))
    assert opaque_only(whole).tobytes() == opaque_only(picture).tobytes(), what


# Refused before anything is written, an earlier OUT.png kept as it was:
# what is given before the map, the status, and the one line.
PICTURE_REFUSALS = {
    "a scale of 3/4": (["--picture", "OUT.png", "--scale", "3/4"], 2, r"--scale 3/4: give 1/2, 1/4, 1/8 .*"),
    "a scale of 1/3": (["--picture", "OUT.png", "--scale", "1/3"], 2, r"--scale 1/3: .*"),
    "a scale of 2": (["--scale", "2", "--picture", "OUT.png"], 2, r"--scale 2: .*"),
    "a name not ending in .png": (["--picture", "OUT.jpg"], 2, r"OUT\.jpg: --picture writes a PNG.*"),
    "a time below 0": (["--picture", "OUT.png", "--time", "-1"], 2, r"--time needs a whole number .*"),
    "a scale without --picture": (["--scale", "1/2"], 2, r"--time and --scale go with --picture"),
    "--picture with --view": (["--view", "--picture", "OUT.png"], 2, r"--picture goes with neither .*"),
    "a broken map": (["--picture", "OUT.png"], 1, r"tiny\.tmj:\d+: not valid JSON.*"),
    "a folder at OUT.png": (["--picture", "OUT.png"], 1, r"OUT\.png: is a folder"),
    "an animation not .webp or .gif": (["--animation", "OUT.png"], 2, r"OUT\.png: an animation is written as .*"),
    "a region outside the picture": (["--animation", "OUT.webp", "--region", "0,0,65,64"], 1,
                                     r"OUT\.webp: the region 0,0,65,64 is not inside the picture of 64 x 64 pixels"),
    "a region of no size": (["--animation", "OUT.gif", "--region", "3,3,0,5"], 2, r"--region 3,3,0,5: its size .*"),
    "a region of three numbers": (["--region", "1,2,3", "--animation", "OUT.gif"], 2, r"--region 1,2,3: give X,Y.*"),
    "a length without --animation": (["--seconds", "2"], 2, r"--seconds goes with --animation"),
    "a region without a picture": (["--region", "0,0,5,5"], 2, r"--region goes with --picture or --animation"),
    "a picture's region outside it": (["--picture", "OUT.png", "--region", "60,0,5,5"], 1,
                                      r"OUT\.png: the region 60,0,5,5 is not inside the picture of 64 x 64 pixels"),
    "a length of none": (["--animation", "OUT.gif", "--seconds", "0"], 2, r"--seconds 0: give a length .*"),
}


@pytest.mark.parametrize("case", PICTURE_REFUSALS)
def test_picture_refuses_bad_input_and_leaves_an_earlier_file_alone(case):
    given, status, told = PICTURE_REFUSALS[case]
    folder = make_folder()
    path = maps.write(maps.failing_map(), folder, "json")
    if case == "a broken map":
        path.write_text(path.read_text()[:100])
    if case == "a folder at OUT.png":
        (folder / "OUT.png").mkdir()
    else:
        (folder / "OUT.png").write_bytes(b"an earlier picture")
    before = sorted(os.listdir(folder))
    result = run_import(*given, path.name, cwd=folder)
    assert (result.returncode, result.stdout) == (status, ""), result
    assert re.fullmatch(rf"tilemap-import: {told}\n", result.stderr), result.stderr
    assert sorted(os.listdir(folder)) == before
    assert case == "a folder at OUT.png" or (folder / "OUT.png").read_bytes() == b"an earlier picture"


# ---- A region as an animation that loops (--animation) ----------------------------

def loop_of(view):
    """The common cycle of the animations view.json lists, in ms."""
    return reduce(math.lcm, (sum(f["duration"] for f in a["frames"]) for a in view["animations"]), 1)


@pytest.mark.parametrize("kind", ["webp", "gif"])
def test_an_animation_shows_each_moment_for_as_long_as_the_editor_does(kind):
    folder = make_folder()
    path = maps.write(maps.ANIMATED["moving"](), folder, "json")
    out = folder / f"moving.{kind}"
    result = run_import("--animation", out, path)
    assert result.returncode == 0 and re.fullmatch(rf"Wrote {re.escape(str(out))}: an animation of \d+ x \d+ pixels "
                                                   r".*, \d+ frames over \d+ ms, in [\d.]+ s\n", result.stdout), result
    assert run_import(path, folder / "view").returncode == 0
    cycle = loop_of(json.loads((folder / "view" / "view.json").read_text()))
    t = 0
    with Image.open(out) as animation:
        assert animation.info.get("loop") == 0 and animation.size == render(path).image.size
        for index in range(animation.n_frames):
            animation.seek(index)
            frame = animation.convert("RGBA")
            shown = animation.info["duration"]
            for at in (t + 1, t + shown):  # the editor's picture all through the frame's time
                ref, what = render(path, t=at), f"{kind} frame {index} at {at} ms"
                if kind == "webp":  # lossless
                    assert_close(opaque_only(frame), ref.image, ref.fuzzy, folder, what)
                else:  # a palette of its own: near in colour, and transparent where the picture is
                    drawn = ref.image.getchannel("A").point(lambda a: a > 127 and 255)
                    assert frame.getchannel("A").point(lambda a: a > 127 and 255).tobytes() == drawn.tobytes(), what
                    far = reduce(ImageChops.lighter, ImageChops.difference(frame.convert("RGB"),
                                                                            ref.image.convert("RGB")).split())
                    off = ImageChops.multiply(far, drawn).histogram()  # the test art is noise: 4,000 colours
                    assert sum(off[49:]) == 0 and sum(i * n for i, n in enumerate(off)) < 24 * sum(off[1:]), what
            t += shown
    assert t == cycle, (t, cycle)  # GIF's 10 ms units keep the loop's length
    # From the imported folder, as the page saves its view: the same file.
    again = folder / f"again.{kind}"
    assert run_import("--animation", again, folder / "view" / "main.json").returncode == 0
    assert again.read_bytes() == out.read_bytes()
    # A region and a length: the loop runs as long as asked, cut in its last frame.
    part = folder / f"part.{kind}"
    result = run_import("--animation", part, "--region", "10,5,40,30", "--seconds", "0.25", path)
    assert re.search(r"\(the picture's 10,5,40,30\), \d+ frames over 250 ms", result.stdout), result
    with Image.open(part) as animation:
        assert animation.size == (40, 30)
        if kind == "webp":
            ref = render(path, t=1)
            assert_close(opaque_only(animation.convert("RGBA")), ref.image.crop((10, 5, 50, 35)),
                         ref.fuzzy.crop((10, 5, 50, 35)), folder, "a region")
    if kind == "webp":  # a picture of the same region: that part of the whole one
        for name, region in (("whole.png", []), ("part.png", ["--region", "10,5,40,30"])):
            assert run_import("--picture", folder / name, "--time", 1, *region, path).returncode == 0
        with Image.open(folder / "whole.png") as whole, Image.open(folder / "part.png") as part:
            assert part.tobytes() == whole.crop((10, 5, 50, 35)).tobytes()
