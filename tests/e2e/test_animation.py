"""Animated tiles: with the demo's view.json its water moves, and every
picture in the window is the map at one of the clock's times; without
view.json, or with one that is broken, the demo stands still."""

import json
import math
import time

import pytest

from animation import frame_at, map_at
from viewer import (DEMO, DEMO_OUTPUT, START_X, START_Y, WAIT_SECONDS, Viewer, demo_at_start,
                    demo_folder, expected_picture, load_map, load_tileset, same)

CLOCK_STEP_MS = 10  # the clock moves by whole update steps


def demo_view():
    return json.loads((DEMO / "view.json").read_text())


_moving = []


def pictures_of_the_cycle():
    """The demo's distinct pictures at the start camera over the animations'
    common cycle, as {the frames shown: the picture}."""
    if not _moving:
        map_doc, view_doc, tileset = load_map(DEMO), demo_view(), load_tileset(DEMO)
        durations = [[f["duration"] for f in a["frames"]] for a in view_doc["animations"]]
        cycle = math.lcm(*(sum(d) for d in durations))
        pictures = {}
        for t in range(0, cycle + 1, CLOCK_STEP_MS):
            frames = tuple(frame_at(d, t) for d in durations)
            if frames not in pictures:
                pictures[frames] = expected_picture(map_at(map_doc, view_doc, t), tileset, START_X, START_Y)
        _moving.append(pictures)
    return _moving[0]


def view_lines(viewer):
    """The viewer's lines on standard error about view.json."""
    return [line for line in viewer.errors().split("\n") if line.startswith("view.json")]


def folder_with_view(text):
    folder = demo_folder()
    (folder / "view.json").write_text(text)
    return folder


def assert_stands_still(viewer, picture, folder):
    """Every screenshot for longer than the demo's whole cycle is `picture`."""
    cycle_seconds = max(sum(f["duration"] for f in a["frames"]) for a in demo_view()["animations"]) / 1000
    end = time.monotonic() + 1.5 * cycle_seconds
    while time.monotonic() < end:
        shot = viewer.display.screenshot()
        if not same(shot, picture):
            shot.save(folder / "actual.png")
            raise AssertionError(f"the picture changed; it is in {folder}")


def test_the_demos_water_moves_through_the_frames_the_clock_gives(display, running):
    pictures = pictures_of_the_cycle()
    assert len(pictures) > 1, "the demo's view.json changes nothing at the start camera"
    folder = folder_with_view((DEMO / "view.json").read_text())
    viewer = running(Viewer(display, folder))
    viewer.wait_for_window()

    # Until the first frame is drawn the window may show anything; from then
    # on every screenshot is one of the pictures.
    unseen, drawing = set(pictures), False
    deadline = time.monotonic() + WAIT_SECONDS
    while unseen:
        assert time.monotonic() < deadline and viewer.process.poll() is None, \
            f"frames {sorted(unseen)} not seen in {WAIT_SECONDS} s; output: {viewer.output()!r}"
        shot = display.screenshot()
        shown = next((frames for frames, picture in pictures.items() if same(shot, picture)), None)
        if shown is None and drawing:
            shot.save(folder / "actual.png")
            raise AssertionError(f"a picture that is the demo at none of the clock's times; it is in {folder}")
        if shown is not None:
            drawing = True
            unseen.discard(shown)
    assert viewer.quit_with("Escape") == (0, DEMO_OUTPUT)
    assert view_lines(viewer) == []


def test_without_view_json_the_demo_stands_still(display, running):
    folder = demo_folder()
    viewer = running(Viewer(display, folder))
    viewer.wait_until_running(DEMO_OUTPUT, demo_at_start())
    assert_stands_still(viewer, demo_at_start(), folder)
    assert viewer.quit_with("Escape") == (0, DEMO_OUTPUT)


BROKEN = {
    "not JSON": ('{"animations": [{"tile": 3, "frames": [', "view.json: ignored: not valid JSON: "),
    # The first animation is fine, the second names a block final.png lacks:
    # neither plays.
    "a frame past the tileset": (
        json.dumps({"animations": [demo_view()["animations"][0],
                                   {"tile": 4, "frames": [{"tile": 22, "duration": 600}]}]}),
        "view.json: ignored: animation 1, frame 0: tile 22 has no block in final.png"),
}


@pytest.mark.parametrize("name", list(BROKEN))
def test_a_broken_view_json_is_reported_once_and_changes_nothing(display, running, name):
    text, line = BROKEN[name]
    folder = folder_with_view(text)
    viewer = running(Viewer(display, folder))
    viewer.wait_until_running(DEMO_OUTPUT, demo_at_start())
    assert_stands_still(viewer, demo_at_start(), folder)
    assert viewer.quit_with("Escape") == (0, DEMO_OUTPUT)
    lines = view_lines(viewer)
    assert len(lines) == 1 and lines[0].startswith(line), lines
