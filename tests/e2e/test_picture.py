"""The picture in the window, pixel for pixel, at start and while scrolling."""

import math
import random

from PIL import Image

from viewer import (DEMO_OUTPUT, START_X, START_Y, Viewer, demo_at_start, demo_folder,
                    expected_picture, load_map, load_tileset, make_folder, same)


def assert_draws(viewer, folder, output, expected):
    """The window comes to show the expected picture; else both are kept to look at."""
    try:
        viewer.wait_until_running(output, expected)
    except AssertionError as failure:
        viewer.display.screenshot().save(folder / "actual.png")
        expected.save(folder / "expected.png")
        raise AssertionError(f"{failure}; the pictures are in {folder}")


def test_the_demo_at_start_is_drawn_exactly(display, running):
    folder = demo_folder()
    viewer = running(Viewer(display, folder))
    assert_draws(viewer, folder, DEMO_OUTPUT,
                 expected_picture(load_map(folder), load_tileset(folder), START_X, START_Y))
    assert viewer.quit_with("Escape")[0] == 0


def patterned_tileset(tile_w, tile_h, rows):
    """Tiles that differ in every pixel, with transparent holes."""
    image = Image.new("RGBA", (3 * tile_w, rows * tile_h))
    pixels = image.load()
    for y in range(rows * tile_h):
        for x in range(3 * tile_w):
            k = (y // tile_h) * 3 + x // tile_w
            hole = (x + 2 * y) % 5 == 0
            pixels[x, y] = (0, 0, 0, 0) if hole else (40 + 30 * k, x * 7 % 256, y * 11 % 256, 255)
    return image


def test_a_map_made_here_with_16_by_24_tiles_is_drawn_exactly(display, running):
    # The first cell sits on the 32-pixel grid, the rest step by the tile
    # size; the map ends inside the view on the right, and its values are
    # empty, negative or past the tileset as well as real tiles.
    rng = random.Random(7)
    width, height = 110, 90
    map_doc = {"tilewidth": 16, "tileheight": 24, "width": width, "height": height, "layers": [
        {"name": name, "data": [rng.randint(-1, 11) for _ in range(width * height)]}
        for name in ("low", "middle", "high")]}
    tileset = patterned_tileset(16, 24, 3)
    folder = make_folder(tileset=tileset, map_doc=map_doc)
    viewer = running(Viewer(display, folder))
    assert_draws(viewer, folder, "\nLayer Name: low\n\nLayer Name: middle\n\nLayer Name: high\n",
                 expected_picture(map_doc, tileset, START_X, START_Y))
    assert viewer.quit_with("Escape")[0] == 0


FRAME = 0.05  # the longest frame for which the camera keeps its speed


def find_camera_x(shot, map_doc, tileset, guess_x, camera_y, radius):
    """The camera x, on the 5-pixel steps, whose picture is exactly the screenshot."""
    for dx in sorted(range(-radius, radius + 1, 5), key=abs):
        if same(shot, expected_picture(map_doc, tileset, guess_x + dx, camera_y)):
            return guess_x + dx
    return None


def scroll(viewer, map_doc, tileset, key, from_x, seconds):
    """Holds Left or Right; returns how far the picture moved and the
    shortest and longest time the key can have been down."""
    sign = 1 if key == "Right" else -1
    shortest, longest = viewer.hold(key, seconds=seconds)
    shot = viewer.wait_for_still_picture()
    x = find_camera_x(shot, map_doc, tileset, from_x + sign * round(500 * seconds), START_Y, radius=600)
    assert x is not None, "the picture is not the demo at any camera near the expected one"
    return abs(x - from_x), shortest, longest, x


def at_500_pixels_a_second(moved, shortest, longest, _=None):
    """Keys are sampled once a frame and the steps of a frame cover the time
    since the one before, so the frames around the press and around the
    release can each gain or lose up to a frame (at most 50 ms). The camera
    moves in whole 10 ms steps of 5 pixels."""
    fewest_steps = math.floor((shortest - 2 * FRAME) * 100 + 1e-9)  # 1e-9: not a step, a rounding
    most_steps = math.ceil((longest + 2 * FRAME) * 100 - 1e-9)
    return 5 * fewest_steps <= moved <= 5 * most_steps


def test_holding_right_for_a_second_scrolls_about_500_pixels(display, running):
    folder = demo_folder()
    map_doc, tileset = load_map(folder), load_tileset(folder)
    viewer = running(Viewer(display, folder))
    viewer.wait_until_running(DEMO_OUTPUT, expected_picture(map_doc, tileset, START_X, START_Y))
    # A frame slower than 50 ms (a new GL context, a busy machine) loses the
    # time past five steps, or leaves time in the accumulator that later
    # frames work off at five steps each, faster than 500 pixels a second.
    # Either comes and goes with the machine's load; a wrong speed stays. So
    # the second's hold, between short holds that show the camera at its
    # steady speed, must come out right in one of ten tries.
    x = START_X
    seconds = []
    for attempt in range(10):
        key = ("Right", "Left")[attempt % 2]  # back and forth, staying on the map
        before = scroll(viewer, map_doc, tileset, key, x, 0.2)
        x = before[-1]
        if not at_500_pixels_a_second(*before):
            continue
        second = scroll(viewer, map_doc, tileset, key, x, 1.0)
        after = scroll(viewer, map_doc, tileset, key, second[-1], 0.2)
        x = after[-1]
        if at_500_pixels_a_second(*after):
            seconds.append(second[:3])
            if at_500_pixels_a_second(*second):
                break
    else:
        raise AssertionError(f"no second's hold between steady ones moved 500 pixels: {seconds} "
                             "(pixels, shortest and longest time held)")
    assert viewer.quit_with("Escape")[0] == 0


def test_up_and_down_together_do_not_move(display, running):
    folder = demo_folder()
    viewer = running(Viewer(display, folder))
    viewer.wait_until_running(DEMO_OUTPUT, demo_at_start())
    viewer.hold("Up", "Down", seconds=1.0)
    shot = viewer.wait_for_still_picture()
    # A frame may fall between the two presses or releases and see one key
    # alone for its steps (at most five); held together they cancel, which a
    # second of Up alone (500 pixels) would make plain.
    map_doc, tileset = load_map(folder), load_tileset(folder)
    matches = [dy for dy in range(-50, 51, 5)
               if same(shot, expected_picture(map_doc, tileset, START_X, START_Y + dy))]
    assert matches, "the picture moved vertically"
    assert viewer.quit_with("Escape")[0] == 0
