"""Finding the way around a map: with view.json's overview, M shows the whole
picture with a frame where the view is, a click there moves the view, M
again returns; the left button drags the map pixel for pixel; "start" sets
the first view; + zooms in a step of 2^(1/4) about the middle, 0 returns to
1:1, - zooms out to the importer's levels, down to where the whole picture
fits. Without view.json, M, clicks, drags, the wheel and +/- do nothing."""

import json
import math
import shutil
import time
from functools import lru_cache

from PIL import Image, ImageChops, ImageDraw

from animation import frame_at, map_at
from viewer import (DEMO, DEMO_OUTPUT, START_X, START_Y, WAIT_SECONDS, Viewer, demo_at_start, demo_folder,
                    demo_picture, expected_picture, load_map, load_tileset, same)

VIEW_W, VIEW_H = 1280, 720
FRAME_COLOUR = (255, 255, 0)
FRAME_THICKNESS = 2
SMALLEST_FRAME = 2 * FRAME_THICKNESS + 2
# The overview is drawn by the graphics driver's scaling and blending: each
# channel of each pixel may differ from the picture worked out here by this
# much. The frame's place is checked exactly (a frame one pixel off differs
# by far more).
TOLERANCE = 2


def demo_view():
    return json.loads((DEMO / "view.json").read_text())


def folder_with(view, overview=True):
    """The demo's map and tileset, `view` as view.json (a dict, or None for
    none), and the demo's overview.png."""
    folder = demo_folder()
    if view is not None:
        (folder / "view.json").write_text(json.dumps(view))
        if "zoom" in view:
            shutil.copytree(DEMO / "zoom", folder / "zoom")
    if overview:
        (folder / "overview.png").write_bytes((DEMO / "overview.png").read_bytes())
    return folder


def still_view(start=(START_X, START_Y)):
    """The demo's view.json without its animations: every picture is exact."""
    view = demo_view()
    return {"overview": view["overview"], "start": {"x": start[0], "y": start[1]}}


def floor_div(a, b):
    return a // b  # Python's // rounds down, as the viewer does


def fitted(place):
    """Where the overview lies in the window: the place scaled by the smaller
    of 1280 / width and 720 / height, rounded, centred."""
    w, h = place["width"], place["height"]
    if w * VIEW_H >= h * VIEW_W:
        fw, fh = VIEW_W, min(VIEW_H, max(1, (2 * h * VIEW_W + w) // (2 * w)))
    else:
        fw, fh = min(VIEW_W, max(1, (2 * w * VIEW_H + h) // (2 * h))), VIEW_H
    left, top = (VIEW_W - fw) // 2, (VIEW_H - fh) // 2
    return left, top, fw, fh


def frame_box(place, camera_x, camera_y, times=1):
    """The frame around a view of 1280 x 720 window pixels showing `times`
    map pixels each way for each (a power of two: exact)."""
    left, top, fw, fh = fitted(place)
    to_x = lambda x: left + floor_div((x - place["x"]) * fw, place["width"])
    to_y = lambda y: top + floor_div((y - place["y"]) * fh, place["height"])
    x0, y0 = to_x(camera_x - 640 * times), to_y(camera_y - 360 * times)
    x1 = max(to_x(camera_x + 640 * times), x0 + SMALLEST_FRAME)
    y1 = max(to_y(camera_y + 360 * times), y0 + SMALLEST_FRAME)
    return x0, y0, x1, y1


def map_point(place, x, y):
    """The map pixel under window pixel (x, y): its centre scaled back."""
    left, top, fw, fh = fitted(place)
    return (place["x"] + floor_div((2 * (x - left) + 1) * place["width"], 2 * fw),
            place["y"] + floor_div((2 * (y - top) + 1) * place["height"], 2 * fh))


def overview_picture(folder, place, camera_x, camera_y, times=1):
    """What M shows: overview.png over black, scaled to its place in the
    window, and the 2-pixel frame around the view."""
    picture = overview_alone(folder, json.dumps(place)).copy()
    x0, y0, x1, y1 = frame_box(place, camera_x, camera_y, times)
    draw = ImageDraw.Draw(picture)
    for box in ((x0, y0, x1, y0 + FRAME_THICKNESS), (x0, y1 - FRAME_THICKNESS, x1, y1),
                (x0, y0, x0 + FRAME_THICKNESS, y1), (x1 - FRAME_THICKNESS, y0, x1, y1)):
        if box[2] > box[0] and box[3] > box[1]:
            draw.rectangle((box[0], box[1], box[2] - 1, box[3] - 1), fill=FRAME_COLOUR)
    return picture.convert("RGB")


@lru_cache(maxsize=None)
def overview_alone(folder, place_text):
    """overview.png over black, scaled to its place in the window."""
    place = json.loads(place_text)
    left, top, fw, fh = fitted(place)
    image = Image.open(folder / place["image"]).convert("RGBA")
    if image.size != (fw, fh):
        image = image.resize((fw, fh), Image.NEAREST)
    picture = Image.new("RGBA", (VIEW_W, VIEW_H), (0, 0, 0, 255))
    picture.alpha_composite(image, (left, top))
    return picture


def view_lines(viewer):
    """The viewer's lines on standard error about view.json and its overview
    (under Wine, Wine's own lines come too)."""
    return [line for line in viewer.errors().split("\n") if line.startswith("view.json") or "overview" in line]


def close(a, b):
    return max(high for _, high in ImageChops.difference(a, b).getextrema()) <= TOLERANCE


def demo_pictures_at(camera_x, camera_y):
    """The demo with its animations at a camera: one picture for each set of
    frames the clock shows over the animations' common cycle."""
    map_doc, view_doc, tileset = load_map(DEMO), demo_view(), load_tileset(DEMO)
    durations = [[f["duration"] for f in a["frames"]] for a in view_doc["animations"]]
    pictures = {}
    for t in range(0, math.lcm(*(sum(d) for d in durations)) + 1, 10):
        frames = tuple(frame_at(d, t) for d in durations)
        if frames not in pictures:
            pictures[frames] = expected_picture(map_at(map_doc, view_doc, t), tileset, camera_x, camera_y)
    return list(pictures.values())


def wait_for(viewer, folder, matches, what, seconds=WAIT_SECONDS):
    """Waits until a screenshot matches; returns it. On failure the last one
    is kept in the folder."""
    deadline = time.monotonic() + seconds
    while True:
        shot = viewer.display.screenshot()
        if matches(shot):
            return shot
        if time.monotonic() > deadline or viewer.process.poll() is not None:
            shot.save(folder / "actual.png")
            raise AssertionError(f"the window did not show {what} in {seconds} s; the last screenshot is in "
                                 f"{folder}; output: {viewer.output()!r} {viewer.errors()!r}")
        time.sleep(0.02)


def scrolled_right(shot, camera_y=START_Y, start_x=START_X, most=2000):
    """Whether `shot` is the still demo moved some 5-pixel steps to the right."""
    return demo_picture().camera(shot, [(start_x + 5 * k, camera_y) for k in range(1, most)]) is not None


def test_m_shows_the_overview_a_click_moves_the_view_there_and_m_again_returns(display, running):
    folder = folder_with(demo_view())
    place = demo_view()["overview"]
    viewer = running(Viewer(display, folder))
    at_start = demo_pictures_at(START_X, START_Y)
    viewer.wait_for_window()
    wait_for(viewer, folder, lambda shot: any(same(shot, p) for p in at_start), "the demo at the start")

    display.xdotool("key", "m")
    overview = overview_picture(folder, place, START_X, START_Y)
    wait_for(viewer, folder, lambda shot: close(shot, overview), "the overview framing the start view")

    # M again: the map where it was (one of its animation frames).
    display.xdotool("key", "m")
    wait_for(viewer, folder, lambda shot: any(same(shot, p) for p in at_start), "the map at the start again")

    # A click on the overview: the clicked map point at the window's centre.
    display.xdotool("key", "m")
    wait_for(viewer, folder, lambda shot: close(shot, overview), "the overview again")
    click = (700, 200)
    camera = map_point(place, *click)
    there = demo_pictures_at(*camera)
    display.xdotool("mousemove", str(click[0]), str(click[1]), "click", "1")
    wait_for(viewer, folder, lambda shot: any(same(shot, p) for p in there), f"the map at {camera}")

    # The frame is where the click put the view.
    display.xdotool("key", "m")
    moved = overview_picture(folder, place, *camera)
    wait_for(viewer, folder, lambda shot: close(shot, moved), f"the overview framing {camera}")
    assert not close(moved, overview)

    # Enter takes the point under the pointer.
    point = (300, 650)
    camera = map_point(place, *point)
    there = demo_pictures_at(*camera)
    display.xdotool("mousemove", str(point[0]), str(point[1]), "key", "Return")
    wait_for(viewer, folder, lambda shot: any(same(shot, p) for p in there), f"the map at {camera} after Enter")

    assert viewer.quit_with("Escape") == (0, DEMO_OUTPUT)
    assert view_lines(viewer) == []


def test_the_arrows_move_the_frame_on_the_overview(display, running):
    folder = folder_with(still_view())
    place = demo_view()["overview"]
    viewer = running(Viewer(display, folder))
    viewer.wait_until_running(DEMO_OUTPUT, demo_at_start())
    display.xdotool("key", "m")
    wait_for(viewer, folder, lambda shot: close(shot, overview_picture(folder, place, START_X, START_Y)),
             "the overview")
    # Held until the frame moves down: every picture on the way is the
    # overview with the frame some 5-pixel steps lower.
    unmoved = overview_picture(folder, place, START_X, START_Y)
    viewer.hold_until("Down", done=lambda shot: not close(shot, unmoved))
    # The frame moves a pixel every 5.7 map pixels: a few steps show the same.
    steps_by_frame = {}
    for k in range(1, 400):
        steps_by_frame.setdefault(frame_box(place, START_X, START_Y + 5 * k), []).append(k)
    steps, _ = viewer.settle_on(lambda shot: next(
        (steps for steps in steps_by_frame.values()
         if close(shot, overview_picture(folder, place, START_X, START_Y + 5 * steps[0]))), None))
    # Back on the map, the view is where the frame said.
    display.xdotool("key", "m")
    wait_for(viewer, folder, lambda shot: demo_picture().camera(shot, [(START_X, START_Y + 5 * k) for k in steps]),
             "the map below the start")
    assert viewer.quit_with("q") == (0, DEMO_OUTPUT)


def test_a_drag_moves_the_picture_by_exactly_the_pointers_move(display, running):
    folder = folder_with(still_view())
    viewer = running(Viewer(display, folder))
    viewer.wait_until_running(DEMO_OUTPUT, demo_at_start())
    map_doc, tileset = load_map(DEMO), load_tileset(DEMO)
    camera = [START_X, START_Y]
    for start, moves in (((600, 300), [(37, 11), (-250, 140)]), ((100, 650), [(1100, -600)])):
        display.xdotool("mousemove", str(start[0]), str(start[1]), "mousedown", "1")
        x, y = start
        for dx, dy in moves:
            x, y = x + dx, y + dy
            display.xdotool("mousemove", str(x), str(y))
            camera = [camera[0] - dx, camera[1] - dy]
            picture = expected_picture(map_doc, tileset, *camera)
            wait_for(viewer, folder, lambda shot: same(shot, picture), f"the map dragged to {camera}")
        display.xdotool("mouseup", "1")
    # Let go, the pointer moves the map no more; the arrows still scroll at
    # their steps.
    display.xdotool("mousemove", "10", "10")
    viewer.hold_until("Right", done=lambda shot: not same(shot, picture))
    viewer.settle_on(lambda shot: scrolled_right(shot, camera[1], camera[0], most=400) or None)
    assert viewer.quit_with("Escape") == (0, DEMO_OUTPUT)


def test_arrows_and_a_drag_add_up(display, running):
    folder = folder_with(still_view())
    viewer = running(Viewer(display, folder))
    viewer.wait_until_running(DEMO_OUTPUT, demo_at_start())
    display.xdotool("mousemove", "640", "360", "mousedown", "1")
    viewer.hold_until("Right", done=lambda shot: not same(shot, demo_at_start()))
    display.xdotool("mousemove", "640", "300", "mouseup", "1")
    # The arrow's steps to the right and the drag's 60 pixels down, both.
    viewer.settle_on(lambda shot: scrolled_right(shot, START_Y + 60, most=400) or None)
    assert viewer.quit_with("Escape") == (0, DEMO_OUTPUT)


def test_four_presses_of_plus_show_the_start_twice_as_large_and_0_returns(display, running):
    folder = folder_with(still_view())
    viewer = running(Viewer(display, folder))
    viewer.wait_until_running(DEMO_OUTPUT, demo_at_start())
    # The start picture's middle, 640 x 360 about the camera, each pixel a 2 x 2 square.
    twice = demo_at_start().crop((320, 180, 960, 540)).resize((VIEW_W, VIEW_H), Image.NEAREST)
    display.xdotool("key", "plus", "plus", "plus", "plus")
    wait_for(viewer, folder, lambda shot: same(shot, twice), "the start picture's middle at 2 x")
    display.xdotool("key", "0")
    wait_for(viewer, folder, lambda shot: same(shot, demo_at_start()), "the start picture again")
    assert viewer.quit_with("Escape") == (0, DEMO_OUTPUT)


def test_without_view_json_m_clicks_drags_and_plus_do_nothing(display, running):
    folder = folder_with(None, overview=True)
    viewer = running(Viewer(display, folder))
    viewer.wait_until_running(DEMO_OUTPUT, demo_at_start())
    display.xdotool("key", "m")
    display.xdotool("mousemove", "600", "300", "click", "1")
    display.xdotool("mousemove", "600", "300", "mousedown", "1", "mousemove", "700", "450", "mouseup", "1")
    display.xdotool("key", "m", "key", "Return", "key", "plus", "key", "plus", "key", "minus", "key", "minus")
    display.xdotool("mousemove", "200", "200", "click", "4", "click", "5", "click", "5")
    # The events above come before the arrow: once the picture moves, they
    # were all seen, and it is the demo scrolled right and nothing else.
    viewer.hold_until("Right", done=lambda shot: not same(shot, demo_at_start()))
    viewer.settle_on(lambda shot: scrolled_right(shot, most=400) or None)  # else M, a click or a drag did more
    assert viewer.quit_with("Escape") == (0, DEMO_OUTPUT)
    assert view_lines(viewer) == []


def test_start_opens_at_that_camera_and_a_missing_overview_leaves_m_off(display, running):
    view = still_view(start=(300, -100))
    view["overview"] = dict(view["overview"], image="gone.png")
    folder = folder_with(view)
    viewer = running(Viewer(display, folder))
    map_doc, tileset = load_map(DEMO), load_tileset(DEMO)
    at_start = expected_picture(map_doc, tileset, 300, -100)
    viewer.wait_until_running(DEMO_OUTPUT, at_start)
    display.xdotool("key", "m")
    viewer.hold_until("Right", done=lambda shot: not same(shot, at_start))
    viewer.settle_on(lambda shot: scrolled_right(shot, -100, 300, most=400) or None)  # else M did something
    assert viewer.quit_with("Escape") == (0, DEMO_OUTPUT)
    lines = view_lines(viewer)
    assert len(lines) == 1 and lines[0].startswith("gone.png: no overview: "), lines


# ---- Zoomed out: the importer's levels, box-scaled pictures of the map

def still_levels(folder):
    """The demo's levels in `folder` without their animations: every level
    shows the picture at time 0, as the map without view.json's animations."""
    for level in (folder / "zoom").iterdir():
        about = json.loads((level / "level.json").read_text())
        (level / "level.json").write_text(json.dumps(dict(about, animations=[])))


def mean_difference(a, b):
    """The mean difference of two pictures, per channel."""
    histogram = ImageChops.difference(a.convert("RGB"), b.convert("RGB")).histogram()
    return sum(value * count for i, count in enumerate(histogram) for value in [i % 256]) / (3 * VIEW_W * VIEW_H)


def shifted_alike(shot, before, dx, dy):
    """Whether `shot` is `before` moved by (dx, dy) window pixels where both show the same map."""
    box = (max(0, dx), max(0, dy), VIEW_W + min(0, dx), VIEW_H + min(0, dy))
    moved = before.crop((box[0] - dx, box[1] - dy, box[2] - dx, box[3] - dy))
    return same(shot.crop(box), moved)


def test_minus_zooms_out_to_box_scaled_pictures_that_move_with_the_arrows_a_drag_and_m(display, running):
    view = dict(still_view(), zoom=demo_view()["zoom"])
    folder = folder_with(view)
    still_levels(folder)
    place = view["overview"]
    whole = demo_picture().image  # the map over black
    viewer = running(Viewer(display, folder))
    viewer.wait_until_running(DEMO_OUTPUT, demo_at_start())

    reduced = {n: whole.reduce(n) for n in (2, 4)}

    def box_scaled(n, camera_x, camera_y):
        """The window at 1 / n: the picture averaged n x n, cropped about the
        camera; a camera between two scaled pixels may show either."""
        return [reduced[n].crop((left, top, left + VIEW_W, top + VIEW_H))
                for left in {floor_div(camera_x, n) - VIEW_W // 2, -floor_div(-camera_x, n) - VIEW_W // 2}
                for top in {floor_div(camera_y, n) - VIEW_H // 2, -floor_div(-camera_y, n) - VIEW_H // 2}]

    def shows(pictures, tolerance):
        return lambda shot: any(mean_difference(shot, p) < tolerance for p in pictures)

    # Four presses of - are exactly 1/2, and four of + return to the very
    # same picture.
    display.xdotool("key", "minus", "minus", "minus", "minus")
    wait_for(viewer, folder, shows(box_scaled(2, START_X, START_Y), 1), "the start at 1/2")
    display.xdotool("key", "plus", "plus", "plus", "plus")
    wait_for(viewer, folder, lambda shot: same(shot, demo_at_start()), "the start at 1:1 again")
    # At 1/4 the picture (1024 pixels a side) fits across: it is centred that way.
    middle = 2048
    display.xdotool("key", *["minus"] * 8)
    at_quarter = wait_for(viewer, folder, shows(box_scaled(4, middle, START_Y), 1.5), "the start at 1/4")

    # At 1/4 the arrows move the picture 5 window pixels a step, and a drag
    # exactly with the pointer; across, it stays centred.
    viewer.hold_until("Down", "Right", done=lambda shot: not same(shot, at_quarter))
    steps, moved = viewer.settle_on(lambda shot: next(
        (k for k in range(1, 100) if shifted_alike(shot, at_quarter, 0, -5 * k)), None))
    display.xdotool("mousemove", "600", "300", "mousedown", "1", "mousemove", "637", "289")
    wait_for(viewer, folder, lambda shot: shifted_alike(shot, moved, 0, -11), "the picture dragged at 1/4")
    display.xdotool("mouseup", "1")
    camera = (middle, START_Y + 20 * steps + 4 * 11)

    # M frames the zoomed view; a click there keeps the zoom.
    display.xdotool("key", "m")
    overview = overview_picture(folder, place, *camera, times=4)
    wait_for(viewer, folder, lambda shot: close(shot, overview), f"the overview framing 1/4 about {camera}")
    click = (700, 200)
    target = map_point(place, *click)
    display.xdotool("mousemove", str(click[0]), str(click[1]), "click", "1")
    wait_for(viewer, folder, shows(box_scaled(4, middle, target[1]), 1.5), f"{target} at 1/4, centred across")

    # Down to where the whole picture fits (2^(-11/4): some 609 pixels a
    # side), centred, black around: the picture box-scaled to that place.
    display.xdotool("key", *["minus"] * 8)

    def fits(shot):
        left, top, right, bottom = shot.getbbox()
        side = right - left
        if abs(side - 4096 * 2 ** (-11 / 4)) > 1.5 or bottom - top != side:
            return False
        if abs(left + right - VIEW_W) > 1 or abs(top + bottom - VIEW_H) > 1:
            return False
        fitting = Image.new("RGB", (VIEW_W, VIEW_H))
        fitting.paste(whole.resize((side, side), Image.BOX), (left, top))
        return mean_difference(shot, fitting) < 6
    wait_for(viewer, folder, fits, "the whole picture, fitting")
    assert viewer.quit_with("Escape") == (0, DEMO_OUTPUT)
    assert view_lines(viewer) == [] and "zoom" not in viewer.errors()
