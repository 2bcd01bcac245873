"""The viewer and the importer built for the browser, on their web page in
headless Chromium: the same pictures, lines and statuses as on the desktop,
worked by keys and by the page's file input."""

import base64
import json
import os
import random
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import pytest
from PIL import Image, ImageChops

import import_maps as maps
from browser import WAIT_SECONDS, Site, files_in, to_js_files
from import_reference import render
from test_files import THREE_LAYERS
from test_import import place, wrong_pixels
from test_picture import OBSERVE_SECONDS, find_camera_x, patterned_tileset
from waiting import hold_until, observed
from viewer import (DEMO, DEMO_OUTPUT, QUIT_SECONDS, START_X, START_Y, VIEW_H, VIEW_W, MapPicture, demo_at_start,
                    demo_picture, expected_picture, load_map, load_tileset, make_folder, same, start_of)

READY = "document.readyState === 'complete' && typeof runViewer === 'function'"
IMPORTER = os.environ["TILEMAP_IMPORT"]


def lines(text):
    """Output text as the page keeps it: one entry a line, empty ones too."""
    return text.split("\n")[:-1]


def keep(page, shot, expected, what):
    """The failure, with the pictures saved where they can be looked at."""
    folder = Path(tempfile.mkdtemp(prefix="tilemap-web-failure-"))
    for name, picture in (("actual", shot), ("expected", expected or shot)):
        picture.save(folder / f"{name}.png")
    return AssertionError(f"{what}; status {page.js('viewerStatus')}, lines {page.js('viewerLines')}; "
                          f"pictures in {folder}\nconsole:\n" + "\n".join(page.console))


def wait_for_picture(page, expected=None, matches=None):
    """Screenshots until the canvas shows the picture (or one `matches`
    accepts) while the program runs, within the bound."""
    deadline = time.monotonic() + WAIT_SECONDS
    while True:
        shot = page.screenshot()
        assert shot.size == (VIEW_W, VIEW_H), f"the canvas is shown at {shot.size}, not one to one"
        if (matches or (lambda shot: same(shot, expected)))(shot):
            return shot
        if time.monotonic() > deadline or page.js("viewerStatus") is not None:
            raise keep(page, shot, expected, "the canvas did not show the expected picture")


def wait_for_still_picture(page):
    """The canvas once two screenshots in a row agree."""
    previous = [page.screenshot()]

    def still(shot):
        steady, previous[0] = same(shot, previous[0]), shot
        return steady
    return wait_for_picture(page, matches=still)


def start(page, site, files=None, first=""):
    """Opens the page: it runs the demo by itself, or, given files, runs the
    viewer on them (after the JavaScript `first`). Gives the canvas the
    keyboard, as a user's click does."""
    page.open(site if files is None else site + "?manual", READY)
    if files is not None:
        page.js(f"{first}; void runViewer({to_js_files(files)})")
    page.click("#canvas")


def quit_with(page, key):
    """Holds the key until the program ends, as a person does (keys are read
    once a frame as held or not); returns the exit status."""
    page.key("keyDown", key)
    try:
        return page.wait_for("viewerStatus !== null && {status: viewerStatus}", seconds=QUIT_SECONDS)["status"]
    finally:
        page.key("keyUp", key)


def address_is(name, x, y, z=0):
    """JavaScript: whether the page's address names the map and the view (z
    left out at 1:1)."""
    zoom = f"&z={z}" if z else ""
    return f"location.search === {json.dumps(f'?map={name}&x={x}&y={y}{zoom}')}"


def after_frames(page, expression, frames=2):
    """The expression's value once the viewer has drawn `frames` more frames
    (input given before then has been acted on and reported)."""
    page.wait_for(f"viewerFrames >= {page.js('viewerFrames') + frames}")
    return page.js(expression)


def test_the_demo_starts_by_itself_as_the_desktop_viewer_shows_it(page, site, measured):
    opened = time.monotonic()
    start(page, site)
    wait_for_picture(page, demo_at_start())
    shown = time.monotonic() - opened
    assert page.js("viewerLines") == lines(DEMO_OUTPUT)
    measured["first frame after the page opened"] = f"{page.js('viewerFirstFrameMs'):.0f} ms"
    # The address is the link to that place.
    page.wait_for(address_is("demo", *start_of(DEMO)))
    measured["demo picture seen by the test after the page opened"] = f"{shown * 1000:.0f} ms"


def test_escape_and_q_end_with_status_0(page, site):
    for key in ("Escape", "q"):
        start(page, site)
        wait_for_picture(page, demo_at_start())
        assert quit_with(page, key) == 0, key
        assert page.js("viewerLines") == lines(DEMO_OUTPUT)


def frames_of(path):
    """An image's frames as (RGBA bytes, duration), one for a still picture."""
    with Image.open(path) as image:
        frames = []
        for index in range(getattr(image, "n_frames", 1)):
            image.seek(index)
            image.load()
            frames.append((image.convert("RGBA").tobytes(), image.info.get("duration")))
        return image.size, frames


def test_the_view_is_saved_from_the_maps_own_files_as_the_desktop_importer_saves_it(page, site):
    start(page, site)
    wait_for_picture(page, demo_at_start())
    x, y = start_of(DEMO)
    overview = json.loads((DEMO / "view.json").read_text())["overview"]
    region = f"{x - VIEW_W // 2 - overview['x']},{y - VIEW_H // 2 - overview['y']},{VIEW_W},{VIEW_H}"
    folder = make_folder()
    for kind, name in (("picture", "view.png"), ("animation", "view.webp")):
        assert page.js(f"saveView('{kind}')", promise=True) == name
        assert page.js("window.savedFile.name") == name
        (folder / f"page-{name}").write_bytes(base64.b64decode(page.js(f"{BASE64}(window.savedFile.bytes)")))
        desktop = subprocess.run([IMPORTER, f"--{kind}", folder / name, "--region", region, DEMO / "main.json"],
                                 capture_output=True, text=True, timeout=WAIT_SECONDS)
        assert desktop.returncode == 0, desktop
        assert frames_of(folder / f"page-{name}") == frames_of(folder / name), kind
    size, frames = frames_of(folder / "view.webp")  # the water's cycle: 1.2 s in four moments
    assert size == (VIEW_W, VIEW_H) and [d for _, d in frames] == [400, 200, 200, 400]
    assert page.js("viewerStatus") is None  # the viewer ran on meanwhile
    assert quit_with(page, "Escape") == 0

    # Zoomed in to twice, the window shows half as many map pixels each way
    # (and the next ones, past the camera's part of a map pixel, which the
    # page isn't told).
    page.open(site + f"?map=demo&x={x}&y={y}&z=4", READY)
    page.wait_for(f"viewerCamera !== null && viewerCamera.join() === '{x},{y},4'")
    assert page.js("saveView('picture')", promise=True) == "view.png"
    (folder / "page-zoomed.png").write_bytes(base64.b64decode(page.js(f"{BASE64}(window.savedFile.bytes)")))
    region = f"{x - VIEW_W // 4 - overview['x']},{y - VIEW_H // 4 - overview['y']},{VIEW_W // 2 + 1},{VIEW_H // 2 + 1}"
    desktop = subprocess.run([IMPORTER, "--picture", folder / "zoomed.png", "--region", region, DEMO / "main.json"],
                             capture_output=True, text=True, timeout=WAIT_SECONDS)
    assert desktop.returncode == 0, desktop
    assert frames_of(folder / "page-zoomed.png") == frames_of(folder / "zoomed.png")

    # Zoomed out, the demo's zoom levels come with it: at 1/2 the picture
    # averaged 2 x 2 (its water moving), and down to where it fits, centred.
    page.open(site + f"?map=demo&x={x}&y={y}&z=-4", READY)
    page.wait_for(f"viewerCamera !== null && viewerCamera.join() === '{x},{y},-4'")
    halved = demo_picture().image.reduce(2).crop((x // 2 - VIEW_W // 2, y // 2 - VIEW_H // 2,
                                                   x // 2 + VIEW_W // 2, y // 2 + VIEW_H // 2))
    wait_for_picture(page, halved, matches=lambda shot: mean_difference(shot, halved) < 3)
    page.open(site + f"?map=demo&x={x}&y={y}&z=-40", READY)
    page.wait_for("viewerCamera !== null && viewerCamera.join() === '2048,2048,-11'")
    assert "zoom level" not in page.js("output.textContent")  # every level arrived


def mean_difference(a, b):
    """The mean difference of two pictures, per channel."""
    histogram = ImageChops.difference(a.convert("RGB"), b.convert("RGB")).histogram()
    return sum(i % 256 * count for i, count in enumerate(histogram)) / (3 * a.width * a.height)


# Every animation frame's time: the viewer's frames come with them.
FRAME_TIMES = "window.frameTimes = []; (function tick() { frameTimes.push(performance.now()); " \
              "requestAnimationFrame(tick); })()"


def test_holding_an_arrow_scrolls_about_500_pixels_a_second(page, site, measured):
    start(page, site, {name: (DEMO / name).read_bytes() for name in ("final.png", "main.json")}, FRAME_TIMES)
    wait_for_picture(page, demo_at_start())
    x, holds = START_X, []

    def hold_once():
        """Holds an arrow for a second (the hold's length is what is tested)
        and returns how far the picture moved and the bounds the page's
        frames set on it; None when the page drew no frame while the key was
        down (a stalled browser), which the test can't judge."""
        nonlocal x
        key, sign = (("Right", 1), ("Left", -1))[len(holds) % 2]  # back and forth, staying on the map
        page.key("keyDown", key)
        time.sleep(1.0)
        page.key("keyUp", key)
        down, up = page.js(f"(k => [k.findLast(e => e.type === 'keydown').time, k.findLast(e => e.type === "
                           f"'keyup').time])(keyLog.filter(e => e.key === 'Arrow{key}'))")
        shot = wait_for_still_picture(page)
        first, times = page.js("[viewerFirstFrameMs, frameTimes]")
        gaps = [(t, (t - before) / 1000) for before, t in zip(times, times[1:])]
        held = (up - down) / 1000
        found = find_camera_x(shot, x + sign * 5 * round(100 * held), START_Y, 600)
        if found is None:
            raise keep(page, shot, None, "the picture is not the demo at any camera near the expected one")
        moved, x = sign * (found - x), found
        in_hold = [gap for t, gap in gaps if down < t <= up + 100]
        holds.append(len(in_hold))
        if not in_hold:
            return None
        frame = max(in_hold) + 0.01  # with the viewer's own timer's rounding
        frames = sum(1 for t, _ in gaps if down < t <= up + frame * 1000)

        def late(after, until):
            """The time frames longer than 50 ms put off: a frame runs at most
            five 10 ms steps, the rest waits for the frames after it."""
            return sum(max(0.0, gap - 0.05) for t, gap in gaps if after < t <= until)
        # Keys are read once a frame: the frames around the press and the
        # release can each gain or lose up to one. The hold can lose the time
        # its slow frames put off, and gain what slow frames before it put
        # off; it can't take more than five 5-pixel steps a frame.
        low = 500 * (held - 2 * frame - late(down, up))
        high = min(25 * (frames + 1), 500 * (held + 2 * frame + late(first, down)))
        return moved, held, low, high, frames, frame
    moved, held, low, high, frames, frame = next(observed(hold_once, OBSERVE_SECONDS), (None,) * 6)
    if moved is None:
        pytest.skip(f"the page drew no frame during any of {len(holds)} holds in {OBSERVE_SECONDS} s")
    assert low <= moved <= high, (moved, held, low, high)
    measured["frames per second while scrolling"] = f"{frames / held:.0f}, the longest frame {frame * 1000:.0f} ms"


# An element's box on the page: [x, y, width, height].
BOX = "(e => (r => [r.x, r.y, r.width, r.height])(e.getBoundingClientRect()))"
CANVAS_BOX = f"{BOX}(document.getElementById('canvas'))"


def message_in_frame(page, frame):
    """The message over the canvas once its program ended or a map could
    not be shown: the frame has kept the canvas's place and size (`frame`,
    1280 x 720) while the program's canvas is 0 x 0, and the message lies
    inside it, wrapped, none of it scrolled out of sight; on the screenshot
    the light text is there, and only where the message is. Returns the
    message's texts."""
    stage, canvas, parts, fits, texts = page.js(
        f"[{BOX}(stage), {CANVAS_BOX}, [...document.querySelectorAll('#ended > :not([hidden])')].map({BOX}), "
        "(e => e.scrollHeight <= e.clientHeight && e.scrollWidth <= e.clientWidth)(document.getElementById('ended')), "
        "[...document.querySelectorAll('#ended p:not([hidden])')].map(p => p.textContent)]")
    assert stage == canvas == frame and frame[2:] == [VIEW_W, VIEW_H], (stage, canvas, frame)
    x, y = frame[:2]
    inside = [(px - x, py - y, px - x + w, py - y + h) for px, py, w, h in parts]
    assert fits and inside and all(0 <= left and right <= VIEW_W and 0 <= top and bottom <= VIEW_H
                                   for left, top, right, bottom in inside), inside
    shot = page.screenshot("#stage")
    light = shot.convert("L").point(lambda v: 255 if v > 60 else 0)
    found = [light.crop(tuple(round(v) for v in box)).getbbox() for box in inside]
    for box in inside:
        light.paste(0, (int(box[0]) - 1, int(box[1]) - 1, int(box[2]) + 2, int(box[3]) + 2))
    if not all(found) or light.getbbox():
        raise keep(page, shot, None, f"the message is not drawn inside the frame only: {texts}, boxes {inside}")
    return texts


@pytest.mark.parametrize("tileset,error", [(None, "Couldn't open final.png"),
                                           (b"\x89PNG\r\n\x1a\nnot really" * 50, None)], ids=["missing", "garbage"])
def test_a_tileset_that_cannot_be_loaded_ends_with_status_4(page, site, tileset, error):
    files = {"main.json": json.dumps(THREE_LAYERS).encode(), **({"final.png": tileset} if tileset else {})}
    start(page, site, files, f"window.frameBefore = {CANVAS_BOX}")
    status = page.wait_for("viewerStatus !== null && {status: viewerStatus}")["status"]
    out = page.js("viewerLines")
    assert status == 4
    assert len(out) == 2 and out[1] and out[0] == "Failed to load image: final.png" + out[1], out
    assert error is None or out[1] == error
    ended = "The viewer ended: the tileset final.png could not be loaded (status 4)"
    assert page.js("document.getElementById('status').textContent.trim()") == ended
    # Over the frame: the status in words and what the program said.
    assert message_in_frame(page, page.js("frameBefore")) == [ended, out[0]]


PARSE_ERROR = "Error - couldn't parse json data in main.json."


@pytest.mark.parametrize("map_text,expected", [
    (None, [PARSE_ERROR, "unable to open main.json.*"]),
    (b'{"layers": [{"name": "a", "data": [1,', [PARSE_ERROR, ".+"]),
    (b"[1, 2, 3]", [re.escape("Error - unexpected format of json data in main.json.")])],
    ids=["missing", "malformed", "not an object"])
def test_a_broken_map_is_reported_and_the_viewer_runs_on_with_nothing_drawn(page, site, map_text, expected):
    files = {"final.png": (DEMO / "final.png").read_bytes(), **({"main.json": map_text} if map_text else {})}
    start(page, site, files)
    out = page.wait_for(f"viewerLines.length >= {len(expected)} && viewerLines")
    assert len(out) == len(expected) and all(re.fullmatch(p, line) for p, line in zip(expected, out)), out
    page.wait_for(f"viewerFrames >= {page.js('viewerFrames') + 2}")  # frames drawn since
    wait_for_picture(page, Image.new("RGB", (VIEW_W, VIEW_H)))
    assert page.js("viewerStatus") is None, "the viewer ended by itself"
    assert quit_with(page, "Escape") == 0
    assert page.js("viewerLines") == out


def test_the_users_own_files_chosen_on_the_page_are_shown(page, site):
    # Tiles of 16 x 24 that differ in every pixel, with holes; values empty,
    # negative and past the tileset too.
    width, height = 110, 90
    map_doc = {"tilewidth": 16, "tileheight": 24, "width": width, "height": height, "layers": [
        {"name": name, "data": [(i * 7 + k * 5) % 14 - 1 for i in range(width * height)]}
        for k, name in enumerate(("low", "middle", "high"))]}
    tileset = patterned_tileset(16, 24, 3)
    folder = make_folder(tileset=tileset, map_doc=map_doc)
    start(page, site)
    wait_for_picture(page, demo_at_start())  # the user chooses while the demo runs
    page.set_files("input[type=file]", [folder / "final.png", folder / "main.json"])
    expected = lines("\nLayer Name: low\n\nLayer Name: middle\n\nLayer Name: high\n")
    shown = json.dumps(json.dumps(expected, separators=(",", ":")))  # as JavaScript writes it
    page.wait_for(f"viewerStatus === null && JSON.stringify(viewerLines) === {shown}")  # the new run's
    picture = wait_for_picture(page, expected_picture(map_doc, tileset, START_X, START_Y))
    # Without view.json, = (zoom in), the wheel and a pinch do nothing.
    page.click("#canvas")
    page.key("keyDown", "=")
    page.key("keyUp", "=")
    middle = [round(v) for v in page.js(f"(b => [b[0] + 640, b[1] + 360])({CANVAS_BOX})")]
    page.wheel(*middle, 2)
    page.pinch(*middle, 200, 400)
    assert after_frames(page, "viewerCamera") == [START_X, START_Y, 0]
    assert same(page.screenshot(), picture)
    assert quit_with(page, "Escape") == 0


PICKED = "[...document.querySelectorAll('#picked-list button')].map(b => [b.textContent, b.getAttribute('aria-current')])"


def test_a_picked_folder_of_several_maps_lists_them_and_shows_the_one_picked(page, site):
    # A game's folder: a world and its six maps in both formats, one more map
    # in a folder of its own as .json beside its .tsx tileset, and a map the
    # importer wrote before (main.json is the viewer's, not the editor's).
    folder = make_folder() / "game"
    maps.write(maps.world(), folder, "xml")
    kept = maps.write(maps.kept_map(), folder / "more", "json")
    kept = kept.rename(kept.with_suffix(".json"))
    (folder / "out").mkdir()
    for name in ("final.png", "main.json"):
        shutil.copy(DEMO / name, folder / "out" / name)
    start(page, site)
    wait_for_picture(page, demo_at_start())  # the visitor picks while the demo runs
    page.set_files("#pick-folder", [folder])
    title = "Your files hold 7 maps and 1 world: pick one to view."
    assert page.wait_for("!document.getElementById('picked').hidden && document.getElementById('status').textContent") \
        == title
    assert page.js(PICKED) == [[name, None] for name in (
        "world.world", "far_0_0.tmx", "isometric.tmj", "lands_far_2_0.tmj", "map_9_1.tmx", "map_10_0.tmj",
        "more/kept.json", "west/composite.tmx")]
    # Listed, nothing imported yet: the demo runs on, the first entry has the keyboard.
    assert page.js("[document.activeElement.textContent, viewerStatus, document.getElementById('picked-title')"
                   ".textContent]") == ["world.world", None, title]
    assert page.js("viewerLines") == lines(DEMO_OUTPUT)

    # Picked with the keyboard; what it says is what the desktop's importer says.
    for key in ("Tab", "Tab", "Enter"):
        page.key("keyDown", key)
        page.key("keyUp", key)
    where = make_folder()
    desktop = subprocess.run([IMPORTER, str(folder / "isometric.tmj"), "out"], cwd=where, capture_output=True,
                             text=True, timeout=WAIT_SECONDS)
    assert desktop.returncode == 0, desktop
    layers = "".join(f"\nLayer Name: {layer['name']}\n"
                     for layer in json.loads((where / "out" / "main.json").read_text())["layers"])
    said = f"$ tilemap-import game/isometric.tmj out\n{desktop.stdout}$ tilemap-viewer\n{layers}"
    page.wait_for(f"document.getElementById('output').textContent === {json.dumps(said)}")
    wait_for_imported_picture(page, folder / "isometric.tmj")
    assert page.js("viewerLines") == lines(layers)
    assert [entry for entry in page.js(PICKED) if entry[1]] == [["isometric.tmj", "true"]]
    # The world, picked with the mouse: its maps in one picture.
    page.click("#picked-list li:first-child button")
    said = page.wait_for("(t => t.startsWith('$ tilemap-import game/world.world out\\n') && "
                         "t.includes('$ tilemap-viewer') && t)(document.getElementById('output').textContent)")
    assert "\nWrote out: " in said, said
    wait_for_imported_picture(page, folder / "world.world")
    assert [entry for entry in page.js(PICKED) if entry[1]] == [["world.world", "true"]]

    # A folder with one map in it is imported at once, and the list goes.
    page.set_files("#pick-folder", [folder / "more"])
    page.wait_for("document.getElementById('output').textContent.startsWith('$ tilemap-import more/kept.json out')")
    wait_for_imported_picture(page, kept)
    assert page.js("document.getElementById('picked').hidden")
    assert quit_with(page, "Escape") == 0


# Uint8Arrays back to Python in base64, a slice at a time (an argument list
# as long as a whole file is too long for a call).
BASE64 = "(a => { let s = ''; for (let i = 0; i < a.length; i += 8192) " \
         "s += String.fromCharCode.apply(null, a.subarray(i, i + 8192)); return btoa(s); })"


def test_an_editor_map_imported_on_the_page_is_shown_as_the_editor_draws_it(page, site):
    folder = make_folder()
    path = maps.write(maps.composite_map(), folder, "xml")
    desktop = make_folder()
    subprocess.run([IMPORTER, str(path), "out"], cwd=desktop, capture_output=True, timeout=WAIT_SECONDS, check=True)
    page.open(site + "?manual", READY)
    result = page.js(f"runImporter({to_js_files(files_in(folder))}, {json.dumps(path.name)}).then(r => "
                     f"({{status: r.status, lines: r.lines, files: Object.fromEntries("
                     f"Object.entries(r.files).map(([name, data]) => [name, {BASE64}(data)]))}}))", promise=True)
    # One line saying what it wrote, after the warning of the map's one tile id without an image.
    assert result["status"] == 0 and len(result["lines"]) == 2, result["lines"]
    assert result["lines"][0].startswith("tilemap-import: warning: composite.tmx: ") and \
        result["lines"][1].startswith("Wrote "), result["lines"]
    assert sorted(result["files"]) == sorted(p.name for p in (desktop / "out").iterdir())
    files = {name: base64.b64decode(data) for name, data in result["files"].items()}
    doc = json.loads(files["main.json"])
    page.js(f"void runViewer({to_js_files(files)})")
    page.click("#canvas")
    wait_for_imported_picture(page, path)
    assert page.js("viewerLines") == lines("".join(f"\nLayer Name: {layer['name']}\n" for layer in doc["layers"]))
    assert quit_with(page, "Escape") == 0


def wait_for_imported_picture(page, path):
    """Until the canvas shows the editor's picture of the map (or world)
    where the importer places it, over the viewer's black (off by one where
    the reference renderer's rounding may differ), seen from where the
    importer starts the view."""
    ref = render(path)
    ox, oy = place(ref.image.size)
    where = make_folder()
    subprocess.run([IMPORTER, str(path), "out"], cwd=where, capture_output=True, timeout=WAIT_SECONDS, check=True)
    start_x, start_y = start_of(where / "out")
    corner = (ox - (start_x - VIEW_W // 2), oy - (start_y - VIEW_H // 2))
    expected, room = Image.new("RGBA", (VIEW_W, VIEW_H), (0, 0, 0, 255)), Image.new("L", (VIEW_W, VIEW_H))
    expected.alpha_composite(ref.image, corner)
    room.paste(ref.fuzzy, corner)
    expected = expected.convert("RGB")
    wait_for_picture(page, expected, lambda shot: not wrong_pixels(shot, expected, room).getbbox())


@pytest.mark.parametrize("arguments,status,message", [
    (["--site", "{other}", "{map}"], 1, "tilemap-import: {other}: already holds files of another site; give a new "
                                        "or empty folder, or a site written before"),
    (["--site", "{site}", "{map}", "out"], 2, "tilemap-import: too many arguments"),
    (["{map}", "--site"], 2, "tilemap-import: --site needs a folder")], ids=["foreign folder", "output", "no folder"])
def test_a_site_the_importer_cannot_write_is_one_line_and_nothing_written(arguments, status, message):
    folder = make_folder()
    where = dict(other=folder / "other", site=folder / "site", map=DEMO / "editor" / "village.tmx")
    where["other"].mkdir()
    (where["other"] / "index.html").write_text("someone else's page")
    done = subprocess.run([IMPORTER, *(a.format(**where) for a in arguments)], capture_output=True, text=True,
                          timeout=WAIT_SECONDS)
    assert (done.returncode, done.stdout, done.stderr.splitlines()[0]) == (status, "", message.format(**where))
    assert sorted(p.name for p in folder.iterdir()) == ["other"] and \
        [p.name for p in where["other"].iterdir()] == ["index.html"]


MAP_LIST = "[...document.querySelectorAll('#map-list a')].map(a => [a.textContent, a.getAttribute('aria-current')])"
PROBLEM = "!document.getElementById('ended').hidden && document.getElementById('status').textContent"


def test_a_site_written_by_the_importer_opens_on_its_maps(chromium, measured):
    folder = make_folder()
    maps_made = [maps.write(maps.composite_map(), folder / "one", "xml"),
                 maps.write(maps.isometric_map(), folder / "two", "json")]
    site = folder / "site"
    for path in maps_made:
        done = subprocess.run([IMPORTER, "--site", str(site), str(path)], capture_output=True, text=True,
                              timeout=WAIT_SECONDS)
        assert done.returncode == 0 and done.stdout.startswith("Wrote ") and \
            done.stdout.endswith(f"; serve {site} and open index.html?map={path.stem}\n"), done
    assert json.loads((site / "maps.json").read_text()) == {"maps": ["composite", "isometric"]}
    server, page = Site(site), chromium.page
    try:
        # The first map, at once; the other one by its link and by its address.
        page.open(server.url, READY)
        page.click("#canvas")
        wait_for_imported_picture(page, maps_made[0])
        measured["first frame of a site's map after the page opened"] = f"{page.js('viewerFirstFrameMs'):.0f} ms"
        assert page.js(MAP_LIST) == [["composite", "page"], ["isometric", None]]
        page.wait_for(address_is("composite", *start_of(site / "maps" / "composite")))
        page.click("#map-list li:nth-child(2) a")
        wait_for_imported_picture(page, maps_made[1])
        page.wait_for(address_is("isometric", *start_of(site / "maps" / "isometric")))
        assert page.js("document.querySelector('[aria-current]').textContent") == "isometric"
        page.open(server.url + "index.html?map=isometric", READY)
        wait_for_imported_picture(page, maps_made[1])
        frame = page.js(CANVAS_BOX)
        assert quit_with(page, "Escape") == 0

        # A map folder gone from the site (its list not written again).
        shutil.rmtree(site / "maps" / "isometric")
        page.open(server.url + "index.html?map=isometric", READY)
        assert page.wait_for(PROBLEM) == "The map “isometric” could not be loaded " \
            "(maps/isometric/final.png: 404 File not found)."
        assert page.js("viewerStatus") is None and page.js(MAP_LIST) == [["composite", None], ["isometric", "page"]]
        # A name longer than a line, with nowhere to break it: the message
        # wraps inside the frame.
        name = "x" * 300
        page.open(server.url + f"index.html?map={name}", READY)
        problem = f"The map “{name}” could not be loaded (maps/{name}/final.png: 404 File not found). " \
                  "It is not among the maps of this site."
        assert page.wait_for(PROBLEM) == problem
        assert message_in_frame(page, frame) == [problem]
    finally:
        page.open("about:blank")
        server.stop()


# The largest texture of the page's WebGL, which the viewer's renderer uses.
MAX_TEXTURE_SIZE = "(gl => gl.getParameter(gl.MAX_TEXTURE_SIZE))(document.createElement('canvas').getContext('webgl'))"


def tall_map(columns=100, rows=25, tiles=None, grain=4):
    """A map of 32-pixel tiles, every one of its cells a tile of its own
    (else `tiles` of them, a multiple of 50, spread over the cells): its
    tileset for the viewer is 96 pixels wide and 32 pixels tall for each
    three tiles (26,688 pixels here). Tiles of noise in squares of `grain`
    pixels, each unlike any other in every such square; the tiles of
    neighbouring cells lie far apart in the tileset."""
    count, side = tiles or columns * rows, 32 // grain
    noise = random.Random(7).randbytes(count * side * side * 3)
    sheet = Image.frombytes("RGB", (50 * side, count // 50 * side), noise).resize((50 * 32, count // 50 * 32),
                                                                                   Image.NEAREST).convert("RGBA")
    tiles = dict(name="noise", tilewidth=32, tileheight=32, image=("noise.png", sheet))
    return dict(name="tall", tilewidth=32, tileheight=32, width=columns, height=rows, tilesets=[(1, tiles)],
                layers=[dict(type="tilelayer", name="cells", encoding="base64", compression="zlib",
                             cells=maps.grid(columns, rows, lambda x, y: (y * columns + x) * 7919 % count + 1))])


def test_a_tileset_taller_than_the_largest_texture_is_shown_whole(page, site, chromium):
    folder = make_folder()
    path = maps.write(tall_map(), folder / "tall", "xml")
    desktop = subprocess.run([IMPORTER, str(path), "out"], cwd=folder, capture_output=True, text=True,
                             timeout=WAIT_SECONDS)
    assert desktop.returncode == 0, desktop
    doc, tileset = load_map(folder / "out"), load_tileset(folder / "out")
    start_x, start_y = start_of(folder / "out")
    expected = expected_picture(doc, tileset, start_x, start_y)
    layers = lines("".join(f"\nLayer Name: {layer['name']}\n" for layer in doc["layers"]))
    page.open(site + "?manual", READY)
    largest = page.js(MAX_TEXTURE_SIZE)
    # The window shows tiles from all over the tileset, beyond the largest
    # texture's height too.
    left, top, width = start_x - VIEW_W // 2, start_y - VIEW_H // 2, doc["width"]
    shown = {doc["layers"][0]["data"][row * width + column] - 1 for row in range(top // 32, (top + VIEW_H) // 32 + 1)
             for column in range(left // 32, (left + VIEW_W) // 32 + 1)} - {-1}
    assert len({k // 3 * 32 // largest for k in shown}) >= 2 and tileset.height > largest, (tileset.size, largest)

    # Picked in the page: imported there, as on the desktop.
    page.set_files("#pick-folder", [path.parent])
    said = f"$ tilemap-import tall/{path.name} out\n{desktop.stdout}$ tilemap-viewer\n"
    page.wait_for(f"document.getElementById('output').textContent.startsWith({json.dumps(said)})")
    page.click("#canvas")
    wait_for_picture(page, expected)
    assert page.js("viewerLines") == layers
    assert quit_with(page, "Escape") == 0

    # A site written by the importer.
    done = subprocess.run([IMPORTER, "--site", str(folder / "site"), str(path)], capture_output=True, text=True,
                          timeout=WAIT_SECONDS)
    assert done.returncode == 0, done
    server = Site(folder / "site")
    try:
        page.open(server.url, READY)
        page.click("#canvas")
        wait_for_picture(page, expected)  # (no lines to compare: a map in pieces starts on a stand-in with no layers)
        assert quit_with(page, "Escape") == 0
    finally:
        page.open("about:blank")
        server.stop()


def watch_the_demo_move(page):
    """Until each of the demo's pictures over its animations' cycle has shown,
    every screenshot of the canvas, from its first frame on, is one of them."""
    from test_animation import pictures_of_the_cycle
    pictures = pictures_of_the_cycle()
    unseen, drawing = set(pictures), False
    deadline = time.monotonic() + WAIT_SECONDS
    while unseen:
        assert time.monotonic() < deadline and page.js("viewerStatus") is None, \
            f"frames {sorted(unseen)} not seen in {WAIT_SECONDS} s; status {page.js('viewerStatus')}"
        shot = page.screenshot()
        shown = next((frames for frames, picture in pictures.items() if same(shot, picture)), None)
        if shown is None and drawing:
            raise keep(page, shot, None, "a picture that is the demo at none of the clock's times")
        if shown is not None:
            drawing = True
            unseen.discard(shown)
    assert "ignored" not in page.js("document.getElementById('output').textContent")


def test_the_demo_with_its_view_json_moves_however_the_page_gets_it(page, site, chromium):
    names = ("final.png", "main.json", "view.json")
    # Given to the viewer by the page's own call.
    start(page, site, {name: (DEMO / name).read_bytes() for name in names})
    watch_the_demo_move(page)
    assert quit_with(page, "Escape") == 0

    # Picked by the visitor, the three files together.
    page.open(site + "?manual", READY)
    page.set_files("#pick-files", [DEMO / name for name in names])
    page.click("#canvas")
    watch_the_demo_move(page)
    assert quit_with(page, "Escape") == 0

    # A site's map whose folder holds view.json beside the other two.
    from conftest import SITE
    folder = make_folder()
    shutil.copytree(SITE, folder / "site")
    (folder / "site" / "maps" / "demo").mkdir(parents=True)
    for name in names:
        shutil.copy(DEMO / name, folder / "site" / "maps" / "demo" / name)
    (folder / "site" / "maps.json").write_text(json.dumps({"maps": ["demo"]}))
    server = Site(folder / "site")
    try:
        page.open(server.url, READY)
        page.click("#canvas")
        watch_the_demo_move(page)
        assert quit_with(page, "Escape") == 0
    finally:
        page.open("about:blank")
        server.stop()


def site_of(folder, path):
    """A site written by the importer for the map at `path`, and the folder
    of that map in it."""
    done = subprocess.run([IMPORTER, "--site", str(folder / "site"), str(path)], capture_output=True, text=True,
                          timeout=WAIT_SECONDS)
    assert done.returncode == 0, done
    return folder / "site", folder / "site" / "maps" / path.stem


def test_a_link_to_a_place_opens_there_and_the_address_follows_the_view(chromium, site):
    folder = make_folder()
    written, shown = site_of(folder, maps.write(maps.composite_map(), folder / "one", "xml"))
    doc, tileset = load_map(shown), load_tileset(shown)
    start_x, start_y = start_of(shown)
    at_start = expected_picture(doc, tileset, start_x, start_y)
    x, y = start_x + 203, start_y - 61  # off the 5-pixel steps of the arrows
    there = expected_picture(doc, tileset, x, y)
    assert not same(there, at_start)
    server, page = Site(written), chromium.page
    try:
        # The link shows that place; the address stays the link to it.
        page.open(server.url + f"index.html?map=composite&x={x}&y={y}", READY)
        wait_for_picture(page, there)
        page.wait_for(address_is("composite", x, y))
        entries = page.js("history.length")

        # Moving (an arrow held until the picture moved) changes the address
        # to the new place, without a history entry for each step.
        page.click("#canvas")
        hold_until(lambda: page.key("keyDown", "Right"), lambda: page.key("keyUp", "Right"), page.screenshot,
                   lambda shot: not same(shot, there), WAIT_SECONDS)
        shot = wait_for_still_picture(page)
        moved_x, moved_y, _ = page.js("viewerCamera")
        assert moved_x > x and moved_y == y and same(shot, expected_picture(doc, tileset, moved_x, moved_y)), \
            (moved_x, moved_y)
        page.wait_for(address_is("composite", moved_x, moved_y))
        assert page.js("history.length") == entries
        # That address, opened, is that place.
        page.open(server.url + f"index.html?map=composite&x={moved_x}&y={moved_y}", READY)
        wait_for_picture(page, shot)

        # The wheel zooms a step a notch, and a pinch a step each time the
        # fingers' distance grows by 2^(1/4), about the canvas's middle here:
        # the camera stays within the map pixel the middle's rounding moves
        # it, and the address names the zoom.
        def near_the_middle(camera, step):
            return camera[2] == step and abs(camera[0] - moved_x) <= 1 and abs(camera[1] - moved_y) <= 1
        middle = [round(v) for v in page.js(f"(b => [b[0] + 640, b[1] + 360])({CANVAS_BOX})")]
        page.wheel(*middle, 1)
        wheeled = after_frames(page, "viewerCamera")
        assert near_the_middle(wheeled, 1), wheeled
        page.wait_for(address_is("composite", *wheeled))
        page.pinch(*middle, 200, 400)
        pinched = after_frames(page, "viewerCamera")
        assert near_the_middle(pinched, 5), pinched
        page.wait_for(address_is("composite", *pinched))

        # A link with a zoom step opens at that step: at 4, the middle of the
        # 1:1 picture at twice its size.
        page.open(server.url + f"index.html?map=composite&x={x}&y={y}&z=4", READY)
        wait_for_picture(page, there.crop((320, 180, 960, 540)).resize((VIEW_W, VIEW_H), Image.NEAREST))
        assert page.js("viewerCamera") == [x, y, 4]
        page.wait_for(address_is("composite", x, y, 4))
        # A zoom that is no step opens at 1:1, the place still there.
        for z in ("bad", "65", "1.5", ""):
            page.open(server.url + f"index.html?map=composite&x={x}&y={y}&z={z}", READY)
            wait_for_picture(page, there)
            page.wait_for(address_is("composite", x, y))

        # The camera's own extremes are places too (nothing of the map there).
        page.open(server.url + f"index.html?map=composite&x={-2 ** 31}&y={2 ** 31 - 1}", READY)
        wait_for_picture(page, Image.new("RGB", (VIEW_W, VIEW_H)))
        page.wait_for(address_is("composite", -2 ** 31, 2 ** 31 - 1))

        # Values that are no numbers, or out of the camera's range, name no
        # place: the map opens at its start.
        for query in ("x=east&y=5", f"x={2 ** 31}&y={y}", f"x={x}&y={-2 ** 31 - 1}", "x=1e3&y=7", "x=2.5&y=7",
                      f"x={x}", "x=&y="):
            page.open(server.url + f"index.html?map=composite&{query}", READY)
            wait_for_picture(page, at_start)
            page.wait_for(address_is("composite", start_x, start_y))

        # The page's own demo, by its name.
        page.open(site + "?map=demo&x=1234&y=-567", READY)
        page.wait_for("viewerCamera !== null && viewerCamera.join() === '1234,-567,0'")
        page.wait_for(address_is("demo", 1234, -567))
    finally:
        page.open("about:blank")
        server.stop()


OVERVIEW = "(o => !o.hidden && o.complete && o.naturalWidth > 0)(document.getElementById('overview'))"
# Whether the page's request for the file (by the end of its path) was answered.
ANSWERED = "performance.getEntriesByType('resource').some(e => e.name.endsWith({}) && e.responseEnd > 0)"


def test_a_sites_map_shows_its_overview_until_the_viewer_draws(chromium):
    folder = make_folder()
    site, shown = site_of(folder, maps.write(maps.composite_map(), folder / "one", "xml"))
    at_start = expected_picture(load_map(shown), load_tileset(shown), *start_of(shown))
    # A map not in pieces (as sites held them before): the overview shows
    # while its files arrive. (A map in pieces' overview comes after its
    # view's pieces.)
    shutil.rmtree(shown / "pieces")
    view = json.loads((shown / "view.json").read_text())
    del view["pieces"]
    (shown / "view.json").write_text(json.dumps(view))
    tileset = {"/maps/composite/final.png"}  # what the viewer's start waits for

    def opened(held, overview=None):
        """The site, its map's overview.png (None: none) in place of the
        importer's, the `held` files answered only once the test says so."""
        (shown / "overview.png").unlink(missing_ok=True)
        if overview is not None:
            overview.save(shown / "overview.png")
        server = Site(site, held=held)
        chromium.page.open(server.url + "index.html?map=composite", READY)
        return server

    page = chromium.page
    # An overview of the frame's size is shown one to one, while the
    # tileset is on its way; the viewer's first picture replaces it.
    noise = Image.frombytes("RGB", (64, 36), random.Random(3).randbytes(64 * 36 * 3)).resize((VIEW_W, VIEW_H))
    server = opened(tileset, noise)
    try:
        wait_for_picture(page, noise)
        assert page.js("[viewerFirstFrameMs, overviewShownMs > 0]") == [None, True]
        server.release()
        wait_for_picture(page, at_start)
        assert page.js("document.getElementById('overview').hidden")
    finally:
        server.stop()

    # A smaller one of another shape: scaled to the frame, centred between black bands.
    gradient = Image.merge("RGB", [Image.linear_gradient("L").rotate(90).resize((320, 90)),
                                   Image.linear_gradient("L").resize((320, 90)), Image.new("L", (320, 90), 128)])
    server = opened(tileset, gradient)
    try:
        page.wait_for(OVERVIEW)
        shot = page.screenshot()
        band = Image.new("RGB", (VIEW_W, 179))
        assert same(shot.crop((0, 0, VIEW_W, 179)), band) and same(shot.crop((0, 541, VIEW_W, VIEW_H)), band)
        # Smoothly scaled: each pixel within a few levels of the gradient there.
        difference = ImageChops.difference(shot.crop((0, 182, VIEW_W, 538)),
                                           gradient.resize((VIEW_W, 360), Image.BILINEAR).crop((0, 2, VIEW_W, 358)))
        assert max(high for low, high in difference.getextrema()) <= 6, difference.getextrema()
        assert page.js("viewerFirstFrameMs") is None
    finally:
        server.stop()

    # A map without one: the frame stays black until the viewer draws.
    server = opened(tileset)
    try:
        page.wait_for(ANSWERED.format(json.dumps("/overview.png")))
        assert page.js("document.getElementById('overview').hidden")
        assert same(page.screenshot(), Image.new("RGB", (VIEW_W, VIEW_H)))
        server.release()
        wait_for_picture(page, at_start)
    finally:
        page.open("about:blank")
        server.stop()


def pieces_off_view(page, x, y, scale=1):
    """The pieces the page asked for that lie off the window at camera (x, y)
    (showing `scale` map pixels a window pixel) by more than a piece of their
    level (level L's are 1024 * 2^L map pixels square, its piece C_R the
    C-th across and the R-th down)."""
    off = []
    for url in page.js("pieceRequests"):
        level, column, row = (int(n) for n in re.search(r"/pieces/(\d+)/(\d+)_(\d+)-", url).groups())
        size = 1024 << level
        if not all(first * size < middle + half + size and (first + 1) * size > middle - half - size
                   for first, middle, half in ((column, x, VIEW_W // 2 * scale), (row, y, VIEW_H // 2 * scale))):
            off.append(url)
    return off


def test_a_site_map_in_pieces_is_shown_from_the_pieces_about_its_view(chromium):
    folder = make_folder()
    site, shown = site_of(folder, maps.write(tall_map(200, 120, tiles=1500, grain=1), folder / "big", "xml"))
    doc, tileset = load_map(shown), load_tileset(shown)
    x, y = start_of(shown)
    level0 = json.loads((shown / "pieces" / "index.json").read_text())["levels"][0]["pieces"]
    middle = next(name for name in level0 if name.startswith(f"{x // 1024}_{y // 1024}-"))
    server, page = Site(site, held={f"/maps/tall/pieces/0/{middle}.png"}), chromium.page
    try:
        # The piece at the view's middle on its way: something coarser is
        # drawn in its place, and the status line counts the view's pieces.
        page.open(server.url, READY)
        drawn, needed = page.wait_for("viewerPieces && viewerPieces[0] === viewerPieces[1] - 1 && viewerPieces")
        assert page.js("statusLine.textContent") == f"Loading the view: {drawn} of {needed} pieces…"
        expected = expected_picture(doc, tileset, x, y)
        assert not same(wait_for_still_picture(page), expected)
        server.release()
        wait_for_picture(page, expected)
        page.wait_for("viewerPieces[0] === viewerPieces[1] && statusLine.textContent.startsWith('The viewer is')")
        assert not pieces_off_view(page, x, y)
        # The overview, after the view's first pieces: before them it would share their bandwidth.
        overview = "/maps/tall/overview.png"
        page.wait_for(f"performance.getEntriesByType('resource').some(e => e.name.endsWith('{overview}'))")
        assert server.asked.index(overview) > next(i for i, path in enumerate(server.asked) if "/pieces/0/" in path)
        # The viewer takes it when it comes: M shows it then, fitted (6400 x
        # 3840 pixels in 1200 x 720), black beside it. (M is pressed again
        # while the viewer has no overview yet.)
        deadline = time.monotonic() + WAIT_SECONDS
        while True:
            page.key("keyDown", "m")
            page.key("keyUp", "m")
            page.wait_for(f"viewerFrames > {page.js('viewerFrames') + 2}")
            shot = page.screenshot()
            if shot.crop((0, 0, 40, VIEW_H)).getextrema() == ((0, 0),) * 3 or time.monotonic() > deadline:
                break
        assert shot.crop((0, 0, 40, VIEW_H)).getextrema() == ((0, 0),) * 3 and not same(shot, expected)
        page.key("keyDown", "m")
        page.key("keyUp", "m")
        wait_for_picture(page, expected)

        # A link to the map's far corner: the pieces about that view.
        x, y = x + 4000, y + 2500
        page.open(server.url + f"index.html?map=tall&x={x}&y={y}", READY)
        wait_for_picture(page, expected_picture(doc, tileset, x, y))
        assert not pieces_off_view(page, x, y)
        assert not [path for path in server.asked if re.search(r"/(final\.png|main\.json|zoom/.*)$", path)]

        # Saved, the view is what the desktop's importer saves from the
        # map's whole files, which are fetched then.
        assert page.js("saveView('picture')", promise=True) == "view.png"
        assert {"/maps/tall/final.png", "/maps/tall/main.json"} <= set(server.asked)
        (folder / "page.png").write_bytes(base64.b64decode(page.js(f"{BASE64}(window.savedFile.bytes)")))
        overview = json.loads((shown / "view.json").read_text())["overview"]
        region = f"{x - VIEW_W // 2 - overview['x']},{y - VIEW_H // 2 - overview['y']},{VIEW_W},{VIEW_H}"
        subprocess.run([IMPORTER, "--picture", folder / "desktop.png", "--region", region, shown / "main.json"],
                       capture_output=True, timeout=WAIT_SECONDS, check=True)
        assert frames_of(folder / "page.png") == frames_of(folder / "desktop.png")

        # A link at 1/4 about the map's middle: its level 2 pieces, the
        # picture averaged 4 x 4.
        middle_x, middle_y = doc["width"] * 16 // 4 * 4, doc["height"] * 16 // 4 * 4
        page.open(server.url + f"index.html?map=tall&x={middle_x}&y={middle_y}&z=-8", READY)
        whole = MapPicture.of_map(doc, tileset).image.reduce(4)
        quarter = whole.crop((middle_x // 4 - VIEW_W // 2, middle_y // 4 - VIEW_H // 2,
                              middle_x // 4 + VIEW_W // 2, middle_y // 4 + VIEW_H // 2))
        wait_for_picture(page, quarter, matches=lambda shot: mean_difference(shot, quarter) < 2)
        assert {int(level) for level in re.findall(r"/pieces/(\d+)/", " ".join(page.js("pieceRequests")))} <= {2, 3}
        assert not pieces_off_view(page, middle_x, middle_y, scale=4)
    finally:
        page.open("about:blank")
        server.stop()
