#!/usr/bin/python3
"""Makes demo/editor/: a map as the tile-map editor saves it (village.tmx and
its tileset village.tsx), cut from the demo map and drawn with the demo's
tiles, for trying tilemap-import:

    tilemap-import demo/editor/village.tmx --view

It has more layers than the viewer takes, tile objects of several sizes, a
hidden layer, a shape object and two encodings, so the importer has to draw
it together.

    tools/make_editor_sample.py [--check]    (--check: compare, don't write)
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


def main():
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
