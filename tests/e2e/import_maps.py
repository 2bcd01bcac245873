"""The importer's test maps: each is described once here and written in both
of the editor's formats (XML .tmx/.tsx/.tx, JSON .tmj/.tsj/.tj), with
tileset images drawn here. External tilesets are written in the format the
map is not in, so that every map mixes the two. Worlds (.world) place some
of these maps side by side, written in the two formats by turns."""

import base64
import gzip
import json
import os
import shutil
import struct
import subprocess
import zlib
import xml.etree.ElementTree as ET
from pathlib import Path

from PIL import Image

H, V, D, T = 0x80000000, 0x40000000, 0x20000000, 0x10000000
FLIPS = [0, H, V, H | V, D, H | D, V | D, H | V | D]
TURNS = [0, D, T, D | T, H | D, V | T, H | V | D | T, H]  # on hexagonal maps D turns by 60 degrees, T by 120
ZSTD = shutil.which("zstd")
KEY = (255, 0, 255, 255)  # the colour key of the keyed images


def sheet(cols, rows, tw, th, margin=0, spacing=0, extra=(0, 0), seed=0, key=None):
    """Tiles that differ from each other and from their own mirror images,
    with fully and half transparent pixels; margins and gaps are a loud
    yellow, so that slicing in the wrong place shows."""
    image = Image.new("RGBA", (margin + cols * (tw + spacing) - spacing + extra[0],
                               margin + rows * (th + spacing) - spacing + extra[1]), (255, 255, 0, 255))
    pixels = image.load()
    for k in range(cols * rows):
        x0, y0 = margin + k % cols * (tw + spacing), margin + k // cols * (th + spacing)
        for y in range(th):
            for x in range(tw):
                s = k + seed * 8
                colour = ((s * 53 + x * 9) % 256, (y * 13 + s * 29) % 256, (x * y + s * 71) % 200 + 40, 255)
                if (x + 3 * y + s) % 11 == 0:
                    colour = (0, 0, 0, 0)
                elif (2 * x + y + s) % 13 == 0:
                    colour = colour[:3] + (128,)
                elif key and (x * y + s) % 17 == 5:
                    colour = key
                pixels[x0 + x, y0 + y] = colour
    return image


def grid(w, h, gid):
    return [[gid(x, y) for x in range(w)] for y in range(h)]


# --- The maps -------------------------------------------------------------

def kept_map():
    """32-px tiles on a 32-px grid: the importer keeps the three visible layers."""
    terrain = dict(name="terrain", file="sets/terrain", tilewidth=32, tileheight=32, margin=1, spacing=1,
                   trans="ff00ff", image=("art/terrain.png", sheet(3, 3, 32, 32, 1, 1, (5, 7), 1, KEY)),
                   tiles=[dict(id=2, animation=[5])])  # gid 3 shows tile 5, for good
    blocks = dict(name="blocks", tilewidth=32, tileheight=32, image=("blocks.png", sheet(2, 3, 32, 32, seed=2)))
    gids = [1, 2, 3, 4, 5, 6, 7, 8, 9, 20, 21, 22, 23, 24, 25]
    return dict(name="kept", tilewidth=32, tileheight=32, width=9, height=6,
                tilesets=[(1, terrain), (20, blocks)], layers=[
        dict(type="tilelayer", name="ground", encoding="tiles",
             cells=grid(9, 6, lambda x, y: 0 if (x * y) % 7 == 3 else gids[(x + 2 * y) % 15])),
        dict(type="tilelayer", name="cover", encoding="csv", visible=False, cells=grid(9, 6, lambda x, y: 20)),
        # every flip of a tileset tile and of a keyed one; 12 is past the end of terrain
        dict(type="tilelayer", name="details", encoding="csv",
             cells=grid(9, 6, lambda x, y: {0: 5 | FLIPS[x], 1: 21 | FLIPS[x]}.get(y, 0) if x < 8
                        else (12, 3, 0, 0, 0, 0)[y])),
        dict(type="tilelayer", name="top", encoding="base64",
             cells=grid(9, 6, lambda x, y: 25 if (x + y) % 5 == 0 and y > 2 else 0))])


def composite_map():
    """A 24-px grid drawn left-up, with big tiles of every flip, offsets,
    opacity, tints, groups, a blend mode and hidden layers that still widen
    the picture."""
    blocks = dict(name="blocks24", tilewidth=24, tileheight=24,
                  image=("b24.png", sheet(3, 2, 24, 24, extra=(8, 2), seed=3)))
    atlas = sheet(3, 2, 24, 24, seed=4)
    things = dict(name="things", file="sets/things", tilewidth=48, tileheight=56, tileoffset=(3, -4), tiles=[
        dict(id=7, image=("art/big.png", sheet(1, 1, 48, 40, seed=5))),
        dict(id=2, image=("art/tall.png", sheet(1, 1, 24, 56, seed=6))),
        dict(id=5, image=("art/atlas.png", atlas), x=24, y=24, width=24, height=24)])
    # gids 17, 12, 15 are things' tiles 7, 2, 5; gid 11 (its tile 1) does not exist
    def bigs(x, y):
        return {4: 17 | FLIPS[x % 8], 6: 12 | FLIPS[(x + 3) % 8], 7: (15, 11, 15 | H)[x % 3]}.get(y, 0)
    return dict(name="composite", tilewidth=24, tileheight=24, width=12, height=8, renderorder="left-up",
                tilesets=[(1, blocks), (10, things)], layers=[
        dict(type="tilelayer", name="floor", encoding="base64", compression="zlib",
             cells=grid(12, 8, lambda x, y: (1 + (x + y) % 6) | FLIPS[(3 * x + y) % 8])),
        dict(type="group", name="props", offset=(-6, 4), layers=[
            dict(type="tilelayer", name="bigs", encoding="base64", compression="gzip", offset=(2, 3),
                 cells=grid(12, 8, bigs)),
            dict(type="group", name="faded", opacity=0.5, tint="#ff00ffff", layers=[
                dict(type="tilelayer", name="ghost", encoding="csv", opacity=0.8, tint="#ffffff00",
                     cells=grid(12, 8, lambda x, y: (0, 2, 17)[(x + y) % 3] if y in (1, 2) else 0)),
                dict(type="tilelayer", name="unseen", encoding="tiles", visible=False,
                     cells=grid(12, 8, lambda x, y: 3))]),
            dict(type="group", name="gone", visible=False, layers=[
                dict(type="tilelayer", name="secret", encoding="csv", offset=(-10, 0),
                     cells=grid(12, 8, lambda x, y: 4))])]),
        dict(type="tilelayer", name="glow", encoding="base64", mode="add",
             cells=grid(12, 8, lambda x, y: 5 if x in (1, 9) else 0))])


def infinite_map():
    """An infinite 16-px map wider than the window: chunks at negative cells,
    image layers, tile objects with templates, flips, scaling and rotation."""
    small = dict(name="small", tilewidth=16, tileheight=16, objectalignment="bottomright",
                 image=("small.png", sheet(4, 2, 16, 16, seed=7)))
    crates = dict(name="crates", file="templates/crates", tilewidth=24, tileheight=24, objectalignment="center",
                  image=("art/crates.png", sheet(2, 2, 24, 24, seed=8)))
    # The template numbers crates from 1: its gid 2 is crates' tile 1, which
    # the map calls 13.
    crate = dict(file="templates/crate", tileset=(1, crates), object=dict(gid=2 | H, width=24, height=24))
    land_a = grid(16, 16, lambda x, y: (1 + (x + y) % 8) | FLIPS[(x + 2 * y) % 8] if x > 6 and y > 9 else 0)
    land_b = grid(16, 16, lambda x, y: 1 + (x * y) % 8 if (x + y) % 3 == 0 else 0)
    sky = sheet(1, 1, 40, 24, seed=9)
    banner = sheet(1, 1, 60, 30, seed=10, key=(0, 255, 0, 255))
    return dict(name="infinite", tilewidth=16, tileheight=16, width=30, height=20, infinite=True,
                tilesets=[(1, small), (12, crates)], layers=[
        dict(type="imagelayer", name="sky", image=("art/sky.png", sky), repeatx=True, offset=(7, -270)),
        dict(type="tilelayer", name="land", encoding="csv",
             chunks=[(-16, -16, land_a), (64, 0, land_b), (-48, 16, grid(16, 16, lambda x, y: 0))]),
        dict(type="tilelayer", name="rain", encoding="base64", compression="zstd",
             chunks=[(-8, -8, grid(8, 8, lambda x, y: 6 if x == y else 0)),
                     (0, 8, grid(8, 8, lambda x, y: 7 | V if x + y == 7 else 0))]),
        dict(type="group", name="attic", visible=False, layers=[
            dict(type="tilelayer", name="secret", encoding="csv", offset=(0, 5),
                 chunks=[(0, 0, grid(16, 16, lambda x, y: 2))])]),
        dict(type="imagelayer", name="banner", image=("banner.png", banner), trans="00ff00", tint="#ffff00ff",
             offset=(-300, 40)),
        dict(type="objectgroup", name="things", offset=(4, -2), objects=[
            dict(x=-200, y=-150, width=40, height=30),  # a rectangle
            dict(x=-160, y=-120, width=30, height=30, shape="ellipse"),
            dict(x=-120, y=-100, shape="polygon"),
            dict(x=-100, y=-60, width=80, height=20, shape="text"),
            # Scaled 16 -> 32, 48 and (below) 24 -> 16, 40, so that no pixel
            # centre samples a source pixel edge. This one is drawn after the
            # next, which lies higher: topdown sorts by y.
            dict(gid=3 | H, x=-170, y=-60, width=32, height=48),
            dict(gid=4 | V | D, x=-150, y=-70, width=48, height=16),
            dict(gid=5 | H | V | D, x=-100, y=-40),
            dict(template=crate, x=-60, y=-80),
            dict(template=crate, x=-20, y=-60, width=16, height=40, rotation=90)])])


def isometric_map():
    """Diamonds drawn by x + y, then x, whatever the render order says: tall
    towers (flipped; the turned ones lie down) overlap the cells drawn before
    them, with a tile offset and their layer half a pixel off the grid; tile
    objects measured in rows, bottom-centred, sorted by their map y, one of
    them on a half pixel; an image left of the grid widens the picture."""
    ground = dict(name="ground", tilewidth=32, tileheight=16, image=("iso.png", sheet(3, 2, 32, 16, seed=11)))
    towers = dict(name="towers", file="sets/towers", tilewidth=32, tileheight=40, tileoffset=(0, 4),
                  image=("art/towers.png", sheet(2, 2, 32, 40, seed=12)))
    return dict(name="isometric", orientation="isometric", renderorder="left-up", tilewidth=32, tileheight=16,
                width=5, height=4, tilesets=[(1, ground), (7, towers)], layers=[
        # in screen pixels, not shifted with the cells: the cells' place on screen shows
        dict(type="imagelayer", name="haze", image=("haze.png", sheet(1, 1, 20, 12, seed=21)), offset=(-6, 30)),
        dict(type="tilelayer", name="floor", encoding="csv",
             cells=grid(5, 4, lambda x, y: (1 + (x + 2 * y) % 6) | FLIPS[(x + y) % 8])),
        dict(type="tilelayer", name="towers", encoding="base64", compression="zlib", offset=(0.5, -0.5),
             cells=grid(5, 4, lambda x, y: (7 + (x + y) % 4) | FLIPS[(2 * x + y) % 8] if (x + 3 * y) % 4 != 1
                        else 0)),
        dict(type="objectgroup", name="things", objects=[
            dict(gid=8 | H, x=64, y=16),  # drawn first, as its map y is the smaller, though it lies lower
            dict(gid=9 | V, x=48, y=24),
            dict(gid=10 | D, x=65, y=40)])])  # (89, 52.5) on screen


def staggered_map():
    """An infinite staggered map, odd rows shifted, in chunks of 8 at negative
    cells (-1 is odd): flipped trees taller than the rows overlap the rows
    drawn before them; tile objects on half pixels."""
    flat = dict(name="flat", tilewidth=16, tileheight=8, image=("flat.png", sheet(4, 2, 16, 8, seed=13)))
    trees = dict(name="trees", file="sets/trees", tilewidth=16, tileheight=20, tileoffset=(0, 2),
                 image=("art/trees.png", sheet(3, 1, 16, 20, seed=14)))
    return dict(name="staggered", orientation="staggered", staggeraxis="y", staggerindex="odd", tilewidth=16,
                tileheight=8, width=10, height=10, infinite=True, tilesets=[(1, flat), (9, trees)], layers=[
        dict(type="tilelayer", name="ground", encoding="csv", chunks=[
            # bit 28 turns tiles on hexagonal maps only
            (-8, -8, grid(8, 8, lambda x, y: (1 + (x + 3 * y) % 8) | FLIPS[(x + y) % 8] | (T if x % 3 else 0))),
            (0, 0, grid(8, 8, lambda x, y: 1 + (x * y) % 8 if x + y < 9 else 0)),
            (8, -8, grid(8, 8, lambda x, y: 0))]),
        dict(type="tilelayer", name="trees", encoding="base64", compression="gzip", chunks=[
            (-8, -8, grid(8, 8, lambda x, y: (9 + (x + y) % 3) | FLIPS[(x + 2 * y) % 8] if (x + 2 * y) % 3 == 0
                          else 0)),
            (0, 0, grid(8, 8, lambda x, y: 9 + x % 3 if (3 * x + y) % 4 == 0 else 0))]),
        dict(type="objectgroup", name="props", objects=[
            dict(gid=10 | H, x=-60.5, y=-12),
            dict(gid=3 | V, x=20.5, y=10.5),
            dict(gid=11 | D, x=-4, y=-4)])])


def hexagonal_map():
    """Flat-topped hexagons, even columns shifted down, each row drawn
    unshifted columns first: tiles mirrored and turned by 60, 120 and 180
    degrees about their box's centre (tile offset included), tall pillars
    a pixel and a half left of the grid, tile objects turned too, and a background
    colour painted under the grid area only on request."""
    hexes = dict(name="hexes", tilewidth=24, tileheight=20, tileoffset=(2, -3),
                 image=("hexes.png", sheet(3, 2, 24, 20, seed=15)))
    pillars = dict(name="pillars", file="sets/pillars", tilewidth=24, tileheight=32,
                   image=("art/pillars.png", sheet(2, 1, 24, 32, seed=16)))
    return dict(name="hexagonal", orientation="hexagonal", staggeraxis="x", staggerindex="even", hexsidelength=12,
                tilewidth=24, tileheight=20, width=6, height=4, backgroundcolor="#ff2a4b6c",
                tilesets=[(1, hexes), (7, pillars)], layers=[
        dict(type="tilelayer", name="cells", encoding="csv",
             cells=grid(6, 4, lambda x, y: (1 + (x + y) % 6) | TURNS[(x + 2 * y) % 8] if (x + y) % 5 else 0)),
        dict(type="tilelayer", name="pillars", encoding="base64", offset=(-1.5, 0),
             cells=grid(6, 4, lambda x, y: (7 + x % 2) | (0, H, V)[(x + y) % 3] if y and (x + y) % 3 else 0)),
        dict(type="objectgroup", name="props", objects=[
            dict(gid=8 | H, x=30.5, y=44),
            dict(gid=2 | H | D, x=60, y=60),
            dict(gid=5 | T, x=80, y=30, rotation=90)])])


def honeycomb_map():
    """Pointy-topped hexagons, even rows shifted right, drawn row by row
    whatever the render order says: tiles taller and wider than a cell (some
    turned) overlap the rows above and their left neighbours; a layer moved
    by whole pixels widens the picture."""
    combs = dict(name="combs", file="sets/combs", tilewidth=14, tileheight=16,
                 image=("art/combs.png", sheet(2, 2, 14, 16, seed=19)))
    spires = dict(name="spires", tilewidth=20, tileheight=26, tileoffset=(-1, 2),
                  image=("spires.png", sheet(2, 1, 20, 26, seed=20)))
    return dict(name="honeycomb", orientation="hexagonal", staggeraxis="y", staggerindex="even", hexsidelength=6,
                renderorder="left-down", tilewidth=14, tileheight=16, width=5, height=4,
                tilesets=[(1, combs), (5, spires)], layers=[
        dict(type="tilelayer", name="combs", encoding="base64", compression="zlib",
             cells=grid(5, 4, lambda x, y: (1 + (x + y) % 4) | TURNS[(3 * x + y) % 8])),
        dict(type="tilelayer", name="spires", encoding="csv", offset=(3, -2),
             cells=grid(5, 4, lambda x, y: (5 + y % 2) | (0, H, D | T)[x % 3] if (x + 2 * y) % 3 else 0))])


def oblique_map():
    """A grid sheared both ways (up to the right, right going down), drawn
    right-up: tiles wider and taller than the grid, with a tile offset,
    overlap their left neighbours and the rows drawn before them, below;
    tile objects stand on sheared points."""
    slabs = dict(name="slabs", tilewidth=16, tileheight=16, image=("slabs.png", sheet(3, 2, 16, 16, seed=17)))
    big = dict(name="big", file="sets/big", tilewidth=24, tileheight=28, tileoffset=(-2, 3),
               image=("art/big.png", sheet(2, 1, 24, 28, seed=18)))
    return dict(name="oblique", orientation="oblique", renderorder="right-up", skewx=4, skewy=-2, tilewidth=16,
                tileheight=16, width=6, height=5, tilesets=[(1, slabs), (7, big)], layers=[
        dict(type="tilelayer", name="slabs", encoding="tiles",
             cells=grid(6, 5, lambda x, y: (1 + (2 * x + y) % 6) | FLIPS[(x + 3 * y) % 8])),
        dict(type="tilelayer", name="big", encoding="csv",
             cells=grid(6, 5, lambda x, y: (7 + x % 2) | FLIPS[(x + y) % 8] if (x + y) % 3 else 0)),
        dict(type="objectgroup", name="marks", objects=[
            dict(gid=8 | H | V, x=24, y=40),  # (34, 37) on screen
            dict(gid=2 | D, x=64, y=16)])])


def island_map():
    """An isometric map far bigger than the window whose only drawn part, an
    island, lies far from the grid's corner: the collision layer over every
    cell is hidden, and its tileset (the editor's automapping rules) names
    an image that was never made, which nothing drawn uses."""
    ground = dict(name="ground", tilewidth=32, tileheight=16, image=("iso.png", sheet(3, 2, 32, 16, seed=13)))
    rules = dict(name="rules", tilewidth=32, tileheight=16, image=("set_rules.png", None))
    return dict(name="island", orientation="isometric", tilewidth=32, tileheight=16, width=96, height=96,
                tilesets=[(1, ground), (7, rules)], layers=[
        dict(type="tilelayer", name="collision", encoding="csv", visible=False, cells=grid(96, 96, lambda x, y: 7)),
        dict(type="tilelayer", name="land", encoding="base64", compression="gzip",
             cells=grid(96, 96, lambda x, y: 1 + (x * 7 + y) % 6 if abs(x - 80) + abs(y - 70) <= 4 else 0))])


def failing_map(orientation="orthogonal", encoding="csv", compression=None, cells=((1, 2), (2, 1)), firstgid=1):
    tiles = dict(name="tiny", tilewidth=32, tileheight=32, image=("tiny.png", sheet(2, 1, 32, 32)))
    return dict(name="tiny", tilewidth=32, tileheight=32, width=2, height=2, orientation=orientation,
                tilesets=[(firstgid, tiles)],
                layers=[dict(type="tilelayer", name="only", encoding=encoding, compression=compression, cells=cells)])


def world():
    """Maps of five kinds of grid placed side by side, each overlapping the
    next, drawn in the world's order: the two it lists (the orthogonal one
    in a folder of its own; the sizes the world notes for them are stale),
    the isometric towers and the haze left of its grid over the orthogonal
    map; then the maps each pattern finds, pattern by pattern and in name
    order: map_10_0 (oblique, its grid area starting above its place: the
    top of the picture) before map_9_1 (hexagonal, its pillars reaching past
    its left edge), which lies over the isometric map; then far_0_0 over
    both, though its name sorts first. The second pattern is a search, not a
    whole match, and finds a map far off at the right, beyond a gap of
    transparent pixels."""
    return dict(type="world", name="world", maps=[
        dict(map=composite_map, file="west/composite", x=0, y=0, width=64, height=64),
        dict(map=isometric_map, file="isometric", x=250, y=100, width=64, height=64)], patterns=[
        dict(regexp=r"^map_(\d+)_(\d+)\.tm[xj]$", multiplierX=30, multiplierY=60, offsetX=90, offsetY=-10,
             mapWidth=30, mapHeight=60, files={"map_9_1": hexagonal_map, "map_10_0": oblique_map}),
        dict(regexp=r"far_(\d+)_(\d+)", multiplierX=1000, multiplierY=1000, offsetX=420, offsetY=40,
             files={"far_0_0": honeycomb_map, "lands_far_2_0": isometric_map})])


def failing_world():
    """Three tiny maps: two listed, one below the other, and one found by a
    pattern beside the first."""
    return dict(type="world", name="tiny", maps=[dict(map=failing_map, file="tiny", x=0, y=0),
                                                 dict(map=failing_map, file="spare", x=0, y=64)], patterns=[
        dict(regexp=r"^tiny_(\d+)_(\d+)\.tm[xj]$", multiplierX=64, multiplierY=64, files={"tiny_1_0": failing_map})])


def moving_map():
    """Animated tiles on an isometric map whose tall tiles reach over their
    neighbours: animations of cycles 400, 240 and 180 ms meeting in blocks,
    flipped animated cells, a tile animated by the older XML properties
    (JSON gets the same frames as an animation), one whose <animation> wins
    over such properties, a static tile that shows what an animation's first
    frame shows, and animated tile objects whose frames differ in size."""
    waves = dict(name="waves", tilewidth=32, tileheight=32, image=("waves.png", sheet(4, 2, 32, 32, seed=30)), tiles=[
        dict(id=0, animation=[(1, 150), (2, 150), (3, 100)]),
        dict(id=4, animation=[(5, 110), (6, 130)], legacy=True),
        dict(id=7, animation=[(2, 200), (7, 200)],
             properties=[("animation-frame0", 1), ("animation-delay0", 5), ("animation-frame1", 3),
                         ("animation-delay1", 5)])])
    pieces = dict(name="pieces", file="sets/pieces", tilewidth=48, tileheight=40, tiles=[
        dict(id=0, image=("art/p0.png", sheet(1, 1, 32, 32, seed=31))),
        dict(id=1, image=("art/p1.png", sheet(1, 1, 48, 40, seed=32))),
        dict(id=2, animation=[(0, 90), (1, 90)]),
        dict(id=3, image=("art/p3.png", sheet(1, 1, 20, 24, seed=33)))])
    cells = [[1, 5 | H, 2, 8], [1 | V | D, 5, 1 | H, 2], [8 | V, 1, 5 | D, 3], [0, 5, 1, 4]]
    return dict(name="moving", orientation="isometric", tilewidth=32, tileheight=16, width=4, height=4,
                tilesets=[(1, waves), (9, pieces)], layers=[
        dict(type="tilelayer", name="sea", encoding="csv", cells=cells),
        dict(type="objectgroup", name="buoys", objects=[
            dict(gid=11, x=16, y=16), dict(gid=11 | H, x=40, y=48, width=24, height=24), dict(gid=12, x=60, y=8)])])


MAPS = {"kept": kept_map, "composite": composite_map, "infinite": infinite_map, "isometric": isometric_map,
        "staggered": staggered_map, "hexagonal": hexagonal_map, "honeycomb": honeycomb_map,
        "oblique": oblique_map, "island": island_map}
WORLDS = {"world": world}
# Maps that animate: their output has a view.json too.
ANIMATED = {"moving": moving_map}
# What a map may say of its grid besides the orthogonal's.
GRID_KEYS = ("staggeraxis", "staggerindex", "hexsidelength", "skewx", "skewy", "backgroundcolor")


# --- Writing ---------------------------------------------------------------

def compress(raw, how):
    if how == "zlib":
        return zlib.compress(raw)
    if how == "gzip":
        return gzip.compress(raw)
    if how == "zstd":
        return subprocess.run([ZSTD, "-q", "-c"], input=raw, capture_output=True, check=True).stdout
    return raw  # none, or a name the importer must refuse


def data(rows, layer):
    values = [v for row in rows for v in row]
    if layer["encoding"] in ("tiles", "csv"):
        return values
    return base64.b64encode(compress(struct.pack(f"<{len(values)}I", *values), layer.get("compression"))).decode()


XML_TAGS = {"tilelayer": "layer", "objectgroup": "objectgroup", "imagelayer": "imagelayer", "group": "group"}
NOT_ATTRIBUTES = {"type", "layers", "tilesets", "tileset", "objects", "object", "tiles", "animation", "tileoffset",
                  "properties", "legacy",
                  "data", "chunks", "encoding", "compression", "image", "imagewidth", "imageheight",
                  "transparentcolor", "ellipse", "point", "polygon", "text"}


def to_xml(tag, d):
    """A document in the JSON format's shape as the XML format writes it."""
    e = ET.Element(tag, {k: str(int(v) if isinstance(v, bool) else v) for k, v in d.items()
                         if k not in NOT_ATTRIBUTES})
    if "tileoffset" in d:
        ET.SubElement(e, "tileoffset", {k: str(v) for k, v in d["tileoffset"].items()})
    if d.get("image"):
        image = ET.SubElement(e, "image", source=d["image"], width=str(d["imagewidth"]), height=str(d["imageheight"]))
        if "transparentcolor" in d:
            image.set("trans", d["transparentcolor"].lstrip("#"))  # as the editor writes it
    if "animation" in d and not d.get("legacy"):
        frames = ET.SubElement(e, "animation")
        for frame in d["animation"]:
            ET.SubElement(frames, "frame", {k: str(v) for k, v in frame.items()})
    properties = [(p["name"], p["value"]) for p in d.get("properties", [])]
    if d.get("legacy"):  # the older form of an animation, delays in tens of ms, written last index first
        for i, frame in reversed(list(enumerate(d["animation"]))):
            properties += [(f"animation-delay{i}", frame["duration"] // 10), (f"animation-frame{i}", frame["tileid"])]
        properties.append(("animation-frame9", 0))  # no delay of its own, and past a gap: never a frame
    if properties:
        element = ET.SubElement(e, "properties")
        for name, value in properties:
            ET.SubElement(element, "property", name=name, type="int", value=str(value))
    for key in ("tileset", "object"):  # a template's
        if key in d:
            e.append(to_xml(key, d[key]))
    for key, child in (("tilesets", "tileset"), ("tiles", "tile"), ("layers", None), ("objects", "object")):
        e.extend(to_xml(child or XML_TAGS[item["type"]], item) for item in d.get(key, []))
    for shape in ("ellipse", "point"):
        if d.get(shape):
            ET.SubElement(e, shape)
    if "polygon" in d:
        ET.SubElement(e, "polygon", points=" ".join(f"{p['x']},{p['y']}" for p in d["polygon"]))
    if "text" in d:
        ET.SubElement(e, "text", wrap="1").text = d["text"]["text"]
    if tag == "layer":
        element = ET.SubElement(e, "data", {k: d[k] for k in ("encoding", "compression") if k in d})
        for chunk in d.get("chunks", []):
            xml_cells(ET.SubElement(element, "chunk", {k: str(chunk[k]) for k in ("x", "y", "width", "height")}),
                      chunk, d.get("encoding"))
        if "data" in d:
            xml_cells(element, d, d.get("encoding"))
    return e


def xml_cells(element, d, encoding):
    values = d["data"]
    if encoding is None:  # an empty cell is <tile/>
        element.extend(ET.Element("tile", dict(gid=str(v)) if v else {}) for v in values)
    elif encoding == "csv":  # a newline after every row, a comma after every value but the last
        w = int(d["width"])
        element.text = "\n" + ",\n".join(",".join(map(str, values[i:i + w])) for i in range(0, len(values), w)) + "\n"
    else:
        element.text = "\n   " + values + "\n  "


class Writer:
    def __init__(self, folder, fmt):
        self.folder, self.xml = Path(folder), fmt == "xml"

    def save(self, rel, doc, tag, xml):
        path = self.folder / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        if xml:
            root = to_xml(tag, doc)
            ET.indent(root)
            path.write_text('<?xml version="1.0" encoding="UTF-8"?>\n' + ET.tostring(root, encoding="unicode") + "\n")
        else:
            path.write_text(json.dumps(doc, indent=1))
        return path

    def image(self, base, rel_image, trans=None):
        rel, image = rel_image
        if image is None:  # named but never made, as real maps name files their repository lacks
            return dict(image=rel, imagewidth=96, imageheight=32)
        (self.folder / base / rel).parent.mkdir(parents=True, exist_ok=True)
        image.save(self.folder / base / rel)
        return dict(image=rel, imagewidth=image.width, imageheight=image.height,
                    **({"transparentcolor": "#" + trans} if trans else {}))

    def tileset(self, firstgid, ts, from_dir=""):
        """The map's (or a template's) entry for the tileset; an external one
        is written in the other format."""
        base = os.path.dirname(ts.get("file", ""))
        d = {k: ts[k] for k in ("name", "tilewidth", "tileheight", "margin", "spacing", "objectalignment") if k in ts}
        if "tileoffset" in ts:
            d["tileoffset"] = dict(x=ts["tileoffset"][0], y=ts["tileoffset"][1])
        if "image" in ts:
            d.update(self.image(base, ts["image"], ts.get("trans")))
        d["tiles"] = []
        for t in ts.get("tiles", []):
            d["tiles"].append({k: t[k] for k in ("id", "x", "y", "width", "height") if k in t})
            if "image" in t:
                d["tiles"][-1].update(self.image(base, t["image"]))
            if "animation" in t:  # a frame is a tile id (100 ms) or (tile id, duration)
                d["tiles"][-1]["animation"] = [dict(tileid=f, duration=100) if isinstance(f, int)
                                               else dict(tileid=f[0], duration=f[1]) for f in t["animation"]]
            if t.get("legacy"):  # XML writes it as the older properties
                d["tiles"][-1]["legacy"] = True
            if "properties" in t:
                d["tiles"][-1]["properties"] = [dict(name=n, type="int", value=v) for n, v in t["properties"]]
        if "file" not in ts:
            return dict(firstgid=firstgid, **d)
        rel = ts["file"] + (".tsj" if self.xml else ".tsx")
        self.save(rel, dict(type="tileset", **d), "tileset", not self.xml)
        return dict(firstgid=firstgid, source=os.path.relpath(rel, from_dir or "."))

    def layer(self, layer, m):
        kind = layer["type"]
        d = dict(type=kind, name=layer["name"], visible=layer.get("visible", True), opacity=layer.get("opacity", 1),
                 **{name: layer[key] for key, name in (("tint", "tintcolor"), ("mode", "mode")) if key in layer})
        if "offset" in layer:
            d.update(offsetx=layer["offset"][0], offsety=layer["offset"][1])
        if kind == "group":
            d["layers"] = [self.layer(child, m) for child in layer["layers"]]
        elif kind == "objectgroup":
            d.update(draworder="topdown", objects=[self.object(o, i) for i, o in enumerate(layer["objects"])])
        elif kind == "imagelayer":
            d.update(self.image("", layer["image"], layer.get("trans")), repeatx=layer.get("repeatx", False),
                     repeaty=False)
        else:
            if layer["encoding"] != "tiles" or self.xml:  # JSON has plain arrays instead
                d["encoding"] = layer["encoding"] if layer["encoding"] != "tiles" else None
            if layer.get("compression"):
                d["compression"] = layer["compression"]
            d.update(width=m["width"], height=m["height"])
            if "cells" in layer:
                d["data"] = data(layer["cells"], layer)
            else:
                d["chunks"] = [dict(x=x, y=y, width=len(rows[0]), height=len(rows), data=data(rows, layer))
                               for x, y, rows in layer["chunks"]]
        return {k: v for k, v in d.items() if v is not None}

    def object(self, o, index):
        d = dict(id=index + 1, **{k: o[k] for k in ("x", "y", "width", "height", "rotation", "gid") if k in o})
        shape = o.get("shape")
        if shape in ("ellipse", "point"):
            d[shape] = True
        elif shape == "polygon":
            d["polygon"] = [dict(x=0, y=0), dict(x=30, y=8), dict(x=12, y=40)]
        elif shape == "text":
            d["text"] = dict(text="Hello", wrap=True)
        if "template" in o:  # in a folder of its own, with its own tileset list
            tpl = o["template"]
            d["template"] = tpl["file"] + (".tx" if self.xml else ".tj")
            ref = self.tileset(*tpl["tileset"], from_dir=os.path.dirname(d["template"]))
            self.save(d["template"], dict(type="template", tileset=ref, object=dict(name="crate", **tpl["object"])),
                      "template", self.xml)
        return d

    def map(self, m):
        doc = dict(type="map", version="1.10", orientation=m.get("orientation", "orthogonal"),
                   renderorder=m.get("renderorder", "right-down"), width=m["width"], height=m["height"],
                   tilewidth=m["tilewidth"], tileheight=m["tileheight"], infinite=m.get("infinite", False),
                   **{k: m[k] for k in GRID_KEYS if k in m},
                   tilesets=[self.tileset(*t) for t in m["tilesets"]], layers=[self.layer(l, m) for l in m["layers"]])
        return self.save(m["name"] + (".tmx" if self.xml else ".tmj"), doc, "map", self.xml)


def write(description, folder, fmt):
    """Writes the map or world and everything it uses into the folder; returns the map's or world's path."""
    if description.get("type") == "world":
        return write_world(description, Path(folder), fmt)
    return Writer(folder, fmt).map(description)


def write_world(w, folder, fmt):
    """The world's maps go in the two formats by turns, the first in `fmt`."""
    formats = [fmt, "json" if fmt == "xml" else "xml"]
    doc = dict(type="world", maps=[], patterns=[], onlyShowAdjacentMaps=False)
    for i, entry in enumerate(w["maps"]):
        sub, name = os.path.split(entry["file"])
        path = Writer(folder / sub, formats[i % 2]).map(dict(entry["map"](), name=name))
        doc["maps"].append(dict(fileName=path.relative_to(folder).as_posix(),
                                **{k: entry[k] for k in ("x", "y", "width", "height") if k in entry}))
    i = len(w["maps"])
    for pattern in w["patterns"]:
        for name, description in pattern["files"].items():
            Writer(folder, formats[i % 2]).map(dict(description(), name=name))
            i += 1
        doc["patterns"].append({k: v for k, v in pattern.items() if k != "files"})
    path = folder / (w["name"] + ".world")
    path.write_text(json.dumps(doc, indent=4))
    return path
