"""The packaged programs as a user meets them (tests/check-packages.sh sets
them up): the viewer, started in the folder its package puts the demo in,
shows the demo; the importer beside it turns a small editor map into a
folder on which that viewer shows the map's picture, and into a web site
made from the page the package carries."""

import json
import subprocess
import time
from pathlib import Path

from PIL import Image

from viewer import (DEMO, DEMO_OUTPUT, VIEW_H, VIEW_W, VIEWER, WAIT_SECONDS, WINDOWS, Viewer,
                    demo_at_start, make_folder, record_end, same)

IMPORTER = Path(VIEWER).with_name("tilemap-import.exe" if WINDOWS else "tilemap-import")
IMPORT_SECONDS = 120  # Wine starts its services for the first program in a prefix

# A map larger than the window, in four colours of 32 x 32 tiles (a 2 x 2
# tileset) and empty cells.
COLS, ROWS, TILE = 90, 80, 32
COLOURS = [(200, 40, 40), (40, 160, 60), (50, 80, 220), (230, 200, 40)]


def cell(col, row):
    """The tile number the map has in a cell: 0 (empty) or 1 to 4."""
    return 0 if (col + 2 * row) % 7 == 0 else (col * 3 + row * 5) % 4 + 1


def write_map(folder):
    """map.tmx (a CSV layer, its tileset embedded) and tiles.png; returns
    the picture the editor draws for it (empty cells transparent)."""
    tiles = Image.new("RGBA", (2 * TILE, 2 * TILE))
    for number, colour in enumerate(COLOURS):
        tiles.paste(colour + (255,), (number % 2 * TILE, number // 2 * TILE,
                                      number % 2 * TILE + TILE, number // 2 * TILE + TILE))
    tiles.save(folder / "tiles.png")
    rows = [",".join(str(cell(col, row)) for col in range(COLS)) for row in range(ROWS)]
    (folder / "map.tmx").write_text(f"""<?xml version="1.0" encoding="UTF-8"?>
<map version="1.10" orientation="orthogonal" renderorder="right-down" width="{COLS}" height="{ROWS}"
     tilewidth="{TILE}" tileheight="{TILE}" infinite="0" nextlayerid="2" nextobjectid="1">
 <tileset firstgid="1" name="colours" tilewidth="{TILE}" tileheight="{TILE}" tilecount="4" columns="2">
  <image source="tiles.png" width="{2 * TILE}" height="{2 * TILE}"/>
 </tileset>
 <layer id="1" name="ground" width="{COLS}" height="{ROWS}">
  <data encoding="csv">
{(',' + chr(10)).join(rows)}
</data>
 </layer>
</map>
""")
    picture = Image.new("RGBA", (COLS * TILE, ROWS * TILE))
    for row in range(ROWS):
        for col in range(COLS):
            if cell(col, row):
                picture.paste(COLOURS[cell(col, row) - 1] + (255,),
                              (col * TILE, row * TILE, col * TILE + TILE, row * TILE + TILE))
    return picture


def placed(picture, left, top):
    """The window with the map's picture (over black) put at left, top."""
    window = Image.new("RGB", (VIEW_W, VIEW_H))
    window.paste(Image.alpha_composite(Image.new("RGBA", picture.size, (0, 0, 0, 255)), picture)
                 .convert("RGB"), (left, top))
    return window


def map_on_screen(viewer):
    """The window once the map is on it: something not black, and still."""
    viewer.wait_for_window()
    deadline = time.monotonic() + WAIT_SECONDS
    while True:
        shot = viewer.wait_for_still_picture()
        if shot.getbbox():
            return shot
        if time.monotonic() > deadline or viewer.process.poll() is not None:
            raise AssertionError(f"no map on screen; output: {viewer.output()!r}")


def import_line(display, folder, *arguments):
    """The packaged importer run in the folder: its one line on success."""
    command = ["wine", str(IMPORTER)] if WINDOWS else [str(IMPORTER)]
    done = subprocess.run([*command, *arguments], cwd=folder, env=display.env(),
                          capture_output=True, text=True, stdin=subprocess.DEVNULL,
                          timeout=IMPORT_SECONDS)
    record_end(done.returncode, done.stdout)
    lines = done.stdout.replace("\r\n", "\n").splitlines()
    assert (done.returncode, len(lines)) == (0, 1) and lines[0].startswith("Wrote "), done
    return lines[0]


def test_the_packaged_viewer_shows_its_demo(display, running):
    viewer = running(Viewer(display, DEMO))
    viewer.wait_until_running(DEMO_OUTPUT, demo_at_start())
    assert viewer.quit_with("Escape") == (0, DEMO_OUTPUT)


def test_the_packaged_importer_makes_a_folder_the_viewer_shows(display, running):
    folder = make_folder()
    picture = write_map(folder)
    # The output folder given, as from a command prompt (the map alone is
    # what Explorer passes when a map is dropped on the exe).
    import_line(display, folder, "map.tmx", "out")
    # A picture larger than the window: with its zoom levels.
    assert sorted(p.name for p in (folder / "out").iterdir()) == ["final.png", "main.json", "overview.png",
                                                                  "view.json", "zoom"]
    with Image.open(folder / "out" / "final.png") as blocks:
        assert blocks.width == 3 * 32 and blocks.height % 32 == 0, blocks.size

    # The importer places a picture larger than the window with its top-left
    # corner inside the window's; the map's top-left cells are drawn (row 0
    # at column 1, column 0 at row 1), so the drawn part starts right there.
    viewer = running(Viewer(display, folder / "out"))
    shot = map_on_screen(viewer)
    left, top, _, _ = shot.getbbox()
    assert 0 <= left < VIEW_W // 2 and 0 <= top < VIEW_H // 2, (left, top)
    assert same(shot, placed(picture, left, top)), "the window does not show the map's picture"
    status, _ = viewer.quit_with("Escape")
    assert status == 0


def test_the_packaged_importer_writes_a_web_site_from_the_page_it_carries(display):
    folder = make_folder()
    write_map(folder)
    assert import_line(display, folder, "--site", "site", "map.tmx").endswith(
        "; serve site and open index.html?map=map")
    site = folder / "site"
    assert json.loads((site / "maps.json").read_text()) == {"maps": ["map"]}
    for name in ("index.html", "page.js", "tilemap-viewer.js", "tilemap-viewer.wasm", "tilemap-import.js",
                 "tilemap-import.wasm", "maps/map/final.png", "maps/map/main.json", "maps/map/view.json",
                 "maps/map/overview.png", "maps/map/zoom/1/level.json"):
        assert (site / name).is_file(), name
