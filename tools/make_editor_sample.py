#!/usr/bin/python3
"""Makes demo/editor/: a map as the tile-map editor saves it (village.tmx and
its tileset village.tsx), cut from the demo map and drawn with the demo's
tiles, for trying tilemap-import:

    tilemap-import demo/editor/village.tmx --view

It has more layers than the viewer takes, tile objects of several sizes, a
hidden layer, a shape object and two encodings, so the importer has to draw
it together.

Beside it, a world of islands (islands.world), imported as one picture:

    tilemap-import demo/editor/islands.world --view

It places five maps of four kinds of grid, 1248 x 704 pixels in all, with
sea between them: a village square cut from the demo (orthogonal,
square.tmx), an island of sand, grass, blocks and trees (isometric,
island.tmx), shoals around two islets (staggered, in the JSON format,
shoals.tmj) and two reefs of hexagons found by the world's pattern
(reef_0_1.tmx, reef_1_1.tmx). Their tiles are drawn here (island.png,
reef.png); the island and the shoals share island.tsx, the reefs
reef.tsj. Each map but the square has a background colour, the sea
(tilemap-import --background paints it).

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

from PIL import Image, ImageDraw

DEMO = Path(__file__).resolve().parent.parent / "demo"
OUT = DEMO / "editor"
LEFT, TOP, WIDTH, HEIGHT = 41, 53, 38, 21  # the village and the water around it
FENCE, TREE, ROOFS = 15, 16, (17, 18)


def window(layer, left=LEFT, top=TOP, width=WIDTH, height=HEIGHT):
    demo = json.loads((DEMO / "main.json").read_text())
    data = next(l["data"] for l in demo["layers"] if l["name"] == layer)
    return [data[(top + y) * demo["width"] + left + x] for y in range(height) for x in range(width)]


def csv(cells, width=WIDTH):
    rows = [",".join(str(v) for v in cells[y * width:(y + 1) * width]) for y in range(len(cells) // width)]
    return "\n" + ",\n".join(rows) + "\n"


def zlib_base64(cells):
    raw = b"".join(v.to_bytes(4, "little") for v in cells)
    return "\n   " + base64.b64encode(zlib.compress(raw, 9)).decode() + "\n  "


def layer(name, data, encoding, extra="", width=WIDTH, height=HEIGHT):
    attributes = 'encoding="csv"' if encoding == "csv" else 'encoding="base64" compression="zlib"'
    return (f' <layer name="{name}" width="{width}" height="{height}"{extra}>\n'
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


def island_sheet():
    """Tiles of 64 x 64 for a 64 x 32 grid of diamonds: water, sand, grass, a block, a tree."""
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
    return sheet


def island_cells(size):
    """An island in a square of cells: water, sand, then grass with blocks and trees."""
    centre, scale = (size - 1) / 2, 18 / size
    ground, things = [], []
    for y in range(size):
        for x in range(size):
            r = ((x - centre) ** 2 + (y - centre) ** 2) ** 0.5 * scale + (x * 7 + y * 3) % 5 * 0.3
            ground.append(1 if r > 7.3 else 2 if r > 5.8 else 3)
            things.append(4 if r < 5.3 and (x * 5 + y * 3) % 11 == 0 else 5 if r < 5.3 and (x + y * 7) % 6 == 0 else 0)
    return ground, things


def isometric(folder):
    """An island of 18 x 18 cells on a 64 x 32 grid, tiles 64 x 64."""
    sheet = island_sheet()
    size = 18
    ground, things = island_cells(size)
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


# --- The world of islands ----------------------------------------------------

SEA = "#285aaa"  # the water tiles' colour: painted under a map, it goes on beyond its tiles


def tmx(orientation, size, grid, tileset, layers, extra=""):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            f'<map version="1.10" orientation="{orientation}" renderorder="right-down" width="{size[0]}" '
            f'height="{size[1]}" tilewidth="{grid[0]}" tileheight="{grid[1]}" infinite="0"{extra}>\n'
            f' <tileset firstgid="1" source="{tileset}"/>\n' + layers + '</map>\n')


def square():
    """Around the demo's crossroads: houses, the road, the pond's shore."""
    size = (16, 12)
    cut = {name: window(name, 51, 57, *size) for name in ("ground", "details", "overlay")}
    return tmx("orthogonal", size, (32, 32), "village.tsx",
               layer("ground", zlib_base64(cut["ground"]), "zlib", "", *size)
               + layer("details", csv(cut["details"], size[0]), "csv", "", *size)
               + layer("overlay", csv(cut["overlay"], size[0]), "csv", "", *size))


def island():
    size = 11
    ground, things = island_cells(size)
    return tmx("isometric", (size, size), (64, 32), "island.tsx",
               layer("ground", csv(ground, size), "csv", "", size, size)
               + layer("blocks and trees", csv(things, size), "csv", "", size, size),
               f' backgroundcolor="{SEA}"')


def shoals():
    """Diamonds in rows, odd rows shifted by half a cell: two islets in the
    shallows, written in the JSON format with the island's XML tileset."""
    width, height = 9, 18
    islets = [(200, 116, 2.2), (430, 192, 2.6)]  # centre (map pixels) and radius (cells)
    ground, things = [], []
    for y in range(height):
        for x in range(width):
            cx, cy = x * 64 + (32 if y % 2 else 0) + 32, y * 16 + 16
            d = min(((cx - ix) ** 2 / 64 ** 2 + (cy - iy) ** 2 / 32 ** 2) ** 0.5 / r for ix, iy, r in islets)
            ground.append(1 if d > 1 else 2 if d > 0.6 else 3)
            things.append(5 if d < 0.45 and (x + y) % 3 == 0 else 4 if d < 0.5 and (x * 3 + y) % 7 == 0 else 0)
    layers = [dict(type="tilelayer", id=i + 1, name=name, x=0, y=0, width=width, height=height, opacity=1,
                   visible=True, data=data) for i, (name, data) in enumerate((("ground", ground), ("rocks", things)))]
    doc = dict(type="map", version="1.10", orientation="staggered", renderorder="right-down", staggeraxis="y",
               staggerindex="odd", width=width, height=height, tilewidth=64, tileheight=32, infinite=False,
               backgroundcolor=SEA, nextlayerid=3, nextobjectid=1,
               tilesets=[dict(firstgid=1, source="island.tsx")], layers=layers)
    return json.dumps(doc, indent=1) + "\n"


def reef_sheet():
    """Pointy-topped hexagons of 32 x 32 (sides 16 high): deep and shallow
    water, sand, grass; corals and a palm to stand on them."""
    sheet = Image.new("RGBA", (32 * 6, 32))
    pen = ImageDraw.Draw(sheet)
    hexagon = [(16, 0), (31, 8), (31, 23), (16, 31), (0, 23), (0, 8)]
    for i, colour in enumerate([(40, 90, 170), (70, 150, 200), (220, 200, 140), (80, 160, 70)]):
        pen.polygon([(x + 32 * i, y) for x, y in hexagon], fill=colour, outline=tuple(c * 7 // 8 for c in colour))
    x = 4 * 32  # corals
    for cx, cy, r, colour in [(10, 12, 4, (240, 110, 130)), (21, 17, 5, (250, 160, 90)), (12, 22, 3, (200, 90, 190))]:
        pen.ellipse([x + cx - r, cy - r, x + cx + r, cy + r], fill=colour, outline=tuple(c * 3 // 4 for c in colour))
    x = 5 * 32  # a palm
    pen.line([(x + 15, 27), (x + 17, 18), (x + 16, 9)], fill=(120, 80, 45), width=3)
    for dx, dy in [(-11, 4), (11, 5), (-8, -5), (9, -5), (0, -8)]:
        pen.line([(x + 16, 9), (x + 16 + dx, 9 + dy)], fill=(40, 130, 60), width=3)
    return sheet


def reef(kind):
    """Hexagons in rows, odd rows shifted: an atoll round a lagoon, or a
    sandbank with palms."""
    width, height = 9, 12
    mx, my = (width * 32 + 16) / 2, (height * 24 + 8) / 2
    floor, life = [], []
    for y in range(height):
        for x in range(width):
            cx, cy = x * 32 + (16 if y % 2 else 0) + 16, y * 24 + 16
            d = (((cx - mx) / 32) ** 2 + ((cy - my) / 26) ** 2) ** 0.5 + (x * 5 + y * 3) % 4 * 0.15
            if kind == "atoll":
                tile = 1 if d > 4.2 else 2 if d > 3.4 or d < 2.1 else 3
                thing = 6 if tile == 3 and (x + 2 * y) % 4 == 0 else 5 if tile == 2 and d > 3.4 and (x + y) % 2 else 0
            else:
                tile = 1 if d > 3.6 else 2 if d > 2.3 else 3 if d > 1.2 else 4
                thing = 6 if tile in (3, 4) and (3 * x + y) % 4 == 0 else 5 if tile == 2 and (x * y) % 3 == 1 else 0
            floor.append(tile)
            life.append(thing)
    return tmx("hexagonal", (width, height), (32, 32), "reef.tsj",
               layer("sea floor", csv(floor, width), "csv", "", width, height)
               + layer("reef life", csv(life, width), "csv", "", width, height),
               f' staggeraxis="y" staggerindex="odd" hexsidelength="16" backgroundcolor="{SEA}"')


def world():
    """islands.world and its maps, tilesets and tile images."""
    maps = [dict(fileName="square.tmx", x=0, y=0, width=512, height=384),
            dict(fileName="island.tmx", x=544, y=0, width=704, height=352),
            dict(fileName="shoals.tmj", x=640, y=400, width=608, height=304)]
    doc = dict(type="world", maps=maps, patterns=[dict(regexp=r"^reef_(\d+)_(\d+)\.tmx$", multiplierX=320,
                                                        multiplierY=400, mapWidth=304, mapHeight=296)],
               onlyShowAdjacentMaps=False)
    island_tsx = ('<?xml version="1.0" encoding="UTF-8"?>\n'
                  '<tileset version="1.10" name="island" tilewidth="64" tileheight="64" tilecount="5" columns="5">\n'
                  ' <image source="island.png" width="320" height="64"/>\n'
                  '</tileset>\n')
    reef_tsj = dict(type="tileset", version="1.10", name="reef", tilewidth=32, tileheight=32, tilecount=6, columns=6,
                    image="reef.png", imagewidth=192, imageheight=32, margin=0, spacing=0)
    return {"islands.world": json.dumps(doc, indent=4) + "\n", "square.tmx": square(), "island.tmx": island(),
            "island.tsx": island_tsx, "island.png": island_sheet(), "shoals.tmj": shoals(),
            "reef_0_1.tmx": reef("atoll"), "reef_1_1.tmx": reef("sandbank"),
            "reef.tsj": json.dumps(reef_tsj, indent=1) + "\n", "reef.png": reef_sheet()}


def same(path, content):
    """Texts byte for byte; images pixel for pixel (the PNG encoder's bytes may change between versions)."""
    if not path.exists():
        return False
    if isinstance(content, Image.Image):
        with Image.open(path) as saved:
            return saved.size == content.size and saved.convert("RGBA").tobytes() == content.tobytes()
    return path.read_text() == content


def main():
    if sys.argv[1:2] == ["--isometric"] and len(sys.argv) == 3:
        return isometric(Path(sys.argv[2]))
    check = "--check" in sys.argv[1:]
    differ = []
    for name, content in {**sample(), **world()}.items():
        path = OUT / name
        if check:
            if not same(path, content):
                differ.append(name)
        else:
            OUT.mkdir(exist_ok=True)
            content.save(path) if isinstance(content, Image.Image) else path.write_text(content)
            print(f"wrote {path}")
    if differ:
        sys.exit(f"demo/editor/ differs from what tools/make_editor_sample.py makes: {', '.join(differ)}")


if __name__ == "__main__":
    main()
