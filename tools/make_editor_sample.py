#!/usr/bin/python3
"""Makes demo/editor/: a map as the tile-map editor saves it (village.tmx and
its tileset village.tsx), cut from the demo map and drawn with the demo's
tiles, for trying tilemap-import:

    tilemap-import demo/editor/village.tmx --view

It has more layers than the viewer takes, tile objects of several sizes, a
hidden layer, a shape object and two encodings, so the importer has to draw
it together.

    tools/make_editor_sample.py [--check]    (--check: compare, don't write)

`--isometric FOLDER` writes an isometric island instead (island.tmx and its
tiles island.png, drawn here): diamonds of water, sand and grass, and blocks
and trees taller than their cells, which overlap the cells behind them; the
map has a background colour (tilemap-import --background paints it).
"""

import base64
import json
import sys
import zlib
from pathlib import Path

DEMO = Path(__file__).resolve().parent.parent / "demo"
OUT = DEMO / "editor"
LEFT, TOP, WIDTH, HEIGHT = 41, 53, 38, 21  # the village and the water around it
FENCE, TREE, ROOFS = 15, 16, (17, 18)


def window(layer):
    demo = json.loads((DEMO / "main.json").read_text())
    data = next(l["data"] for l in demo["layers"] if l["name"] == layer)
    return [data[(TOP + y) * demo["width"] + LEFT + x] for y in range(HEIGHT) for x in range(WIDTH)]


def csv(cells):
    rows = [",".join(str(v) for v in cells[y * WIDTH:(y + 1) * WIDTH]) for y in range(HEIGHT)]
    return "\n" + ",\n".join(rows) + "\n"


def zlib_base64(cells):
    raw = b"".join(v.to_bytes(4, "little") for v in cells)
    return "\n   " + base64.b64encode(zlib.compress(raw, 9)).decode() + "\n  "


def layer(name, data, encoding, extra=""):
    attributes = 'encoding="csv"' if encoding == "csv" else 'encoding="base64" compression="zlib"'
    return (f' <layer name="{name}" width="{WIDTH}" height="{HEIGHT}"{extra}>\n'
            f'  <data {attributes}>{data}</data>\n </layer>\n')


def sample():
    ground, details, overlay = window("ground"), window("details"), window("overlay")
    fences = [v if v == FENCE else 0 for v in details]
    # Every other fence post mirrored: the editor's flip bit.
    fences = [v | 0x80000000 if v and i % 2 else v for i, v in enumerate(fences)]
    plants = [0 if v == FENCE else v for v in details]
    roofs = [v if v in ROOFS else 0 for v in overlay]
    trees = []
    for i, v in enumerate(overlay):
        if v == TREE:
            size = 48 if i % 3 == 0 else 32  # some trees grown larger, anchored at their cell's bottom-left
            x, y = i % WIDTH * 32, (i // WIDTH + 1) * 32
            trees.append(f'  <object id="{len(trees) + 10}" gid="{TREE}" x="{x}" y="{y}" '
                         f'width="{size}" height="{size}"/>\n')
    notes = [9] * (WIDTH * HEIGHT)
    tmx = ('<?xml version="1.0" encoding="UTF-8"?>\n'
           f'<map version="1.10" orientation="orthogonal" renderorder="right-down" width="{WIDTH}" '
           f'height="{HEIGHT}" tilewidth="32" tileheight="32" infinite="0">\n'
           ' <tileset firstgid="1" source="village.tsx"/>\n'
           + layer("ground", zlib_base64(ground), "zlib")
           + ' <group name="village">\n'
           + layer("plants", csv(plants), "csv")
           + layer("fences", csv(fences), "csv")
           + layer("roofs", csv(roofs), "csv")
           + ' </group>\n'
           + ' <objectgroup name="trees">\n' + "".join(trees) + ' </objectgroup>\n'
           + layer("editor notes", csv(notes), "csv", ' visible="0"')
           + ' <objectgroup name="spawn points">\n'
             '  <object id="1" name="start" x="600" y="300" width="32" height="32"/>\n'
             ' </objectgroup>\n'
           '</map>\n')
    tsx = ('<?xml version="1.0" encoding="UTF-8"?>\n'
           '<tileset version="1.10" name="village" tilewidth="32" tileheight="32" tilecount="18" columns="3">\n'
           ' <image source="../final.png" width="96" height="192"/>\n'
           '</tileset>\n')
    return {"village.tmx": tmx, "village.tsx": tsx}


def isometric(folder):
    """An island of 18 x 18 cells on a 64 x 32 grid, tiles 64 x 64."""
    from PIL import Image, ImageDraw
    colours = {1: (40, 90, 170), 2: (220, 200, 140), 3: (80, 160, 70)}  # water, sand, grass
    sheet = Image.new("RGBA", (64 * 5, 64))
    pen = ImageDraw.Draw(sheet)
    for gid, colour in colours.items():  # a flat diamond in the lower half
        x = (gid - 1) * 64
        pen.polygon([(x + 32, 32), (x + 63, 48), (x + 32, 63), (x, 48)], fill=colour,
                    outline=tuple(c * 3 // 4 for c in colour))
    x = 3 * 64  # a block a cell high: its top, its lit and its shaded side
    pen.polygon([(x + 32, 0), (x + 63, 16), (x + 32, 31), (x, 16)], fill=(200, 90, 70))
    pen.polygon([(x, 16), (x + 32, 31), (x + 32, 63), (x, 48)], fill=(160, 150, 140))
    pen.polygon([(x + 32, 31), (x + 63, 16), (x + 63, 48), (x + 32, 63)], fill=(110, 100, 95))
    x = 4 * 64  # a tree
    pen.rectangle([x + 29, 30, x + 35, 52], fill=(110, 70, 40))
    pen.ellipse([x + 12, 2, x + 52, 38], fill=(30, 110, 50), outline=(20, 80, 35))
    size = 18
    ground, things = [], []
    for y in range(size):
        for x in range(size):
            r = ((x - 8.5) ** 2 + (y - 8.5) ** 2) ** 0.5 + (x * 7 + y * 3) % 5 * 0.3
            ground.append(1 if r > 7.3 else 2 if r > 5.8 else 3)
            things.append(4 if r < 5.3 and (x * 5 + y * 3) % 11 == 0 else 5 if r < 5.3 and (x + y * 7) % 6 == 0 else 0)
    rows = lambda cells: "\n" + ",\n".join(",".join(map(str, cells[i:i + size])) for i in range(0, size * size, size))
    tmx = ('<?xml version="1.0" encoding="UTF-8"?>\n'
           f'<map version="1.10" orientation="isometric" renderorder="right-down" width="{size}" height="{size}" '
           'tilewidth="64" tileheight="32" infinite="0" backgroundcolor="#a0c8f0">\n'
           ' <tileset firstgid="1" name="island" tilewidth="64" tileheight="64" tilecount="5" columns="5">\n'
           '  <image source="island.png" width="320" height="64"/>\n </tileset>\n'
           f' <layer name="ground" width="{size}" height="{size}">\n  <data encoding="csv">{rows(ground)}\n</data>\n </layer>\n'
           f' <layer name="blocks and trees" width="{size}" height="{size}">\n'
           f'  <data encoding="csv">{rows(things)}\n</data>\n </layer>\n'
           '</map>\n')
    folder.mkdir(parents=True, exist_ok=True)
    sheet.save(folder / "island.png")
    (folder / "island.tmx").write_text(tmx)
    print(f"wrote {folder / 'island.tmx'} and island.png")


def main():
    if sys.argv[1:2] == ["--isometric"] and len(sys.argv) == 3:
        return isometric(Path(sys.argv[2]))
    check = "--check" in sys.argv[1:]
    differ = []
    for name, text in sample().items():
        path = OUT / name
        if check:
            if not path.exists() or path.read_text() != text:
                differ.append(name)
        else:
            OUT.mkdir(exist_ok=True)
            path.write_text(text)
            print(f"wrote {path}")
    if differ:
        sys.exit(f"demo/editor/ differs from what tools/make_editor_sample.py makes: {', '.join(differ)}")


if __name__ == "__main__":
    main()
