"""A small, slow, plain renderer of the editor's maps, of every orientation,
and of worlds of them: the picture the importer must reproduce. It reads the files as written
(either format, chosen by content) and draws item by item with nearest-pixel
sampling at pixel centres (an edge on a pixel centre, x.5, leaves that pixel
to the item on its right or below: halves round up) and straight-alpha
compositing, rounding to 8 bits each time. Besides the picture it marks the
pixels that got a semi-transparent or tinted draw: there the rounding of any
two correct renderers may differ by one."""

import base64
import gzip
import json
import math
import re
import shutil
import struct
import subprocess
import zlib
import xml.etree.ElementTree as ET
from pathlib import Path

from PIL import Image

from animation import frame_at

H, V, D, FLAGS = 0x80000000, 0x40000000, 0x20000000, 0xF0000000
TURN_120 = 0x10000000  # with D, the turns of a tile on a hexagonal map
LAYER_TAGS = {"layer": "tilelayer", "objectgroup": "objectgroup", "imagelayer": "imagelayer", "group": "group"}
SHAPES = ("ellipse", "point", "polygon", "polyline", "text", "capsule")
ALIGN = {"topleft": (0, 0), "top": (.5, 0), "topright": (1, 0), "left": (0, .5), "center": (.5, .5),
         "right": (1, .5), "bottomleft": (0, 1), "bottom": (.5, 1), "bottomright": (1, 1)}


def num(d, key, default=0):
    return float(d.get(key, default))


def yes(d, key, default=True):
    return d.get(key, default) in (True, 1, "1", "true")


def colour(text):
    """#RRGGBB or #AARRGGBB (or bare hex) as channels 0..1 (r, g, b, a)."""
    if not text:
        return None
    h = text.lstrip("#")
    a = int(h[:2], 16) if len(h) == 8 else 255
    return tuple(int(h[i:i + 2], 16) / 255 for i in range(len(h) - 6, len(h), 2)) + (a / 255,)


def decode(text, encoding, compression):
    if encoding == "csv":
        return [int(v) for v in "".join(text.split()).split(",")]
    raw = base64.b64decode("".join(text.split()))
    if compression == "zlib":
        raw = zlib.decompress(raw)
    elif compression == "gzip":
        raw = gzip.decompress(raw)
    elif compression == "zstd":
        raw = subprocess.run([shutil.which("zstd"), "-d", "-q", "-c"], input=raw, capture_output=True,
                             check=True).stdout
    return list(struct.unpack(f"<{len(raw) // 4}I", raw))


def from_xml(e):
    """An XML element in the shape of the JSON format, so that one renderer reads both."""
    d = dict(e.attrib, type=LAYER_TAGS.get(e.tag, e.tag))
    for c in e:
        if c.tag == "image":
            d.update(image=c.get("source"), transparentcolor=c.get("trans"))
        elif c.tag == "tileoffset":
            d["tileoffset"] = dict(c.attrib)
        elif c.tag == "animation":
            d["animation"] = [dict(f.attrib) for f in c]
        elif c.tag == "properties":
            d["properties"] = [dict(p.attrib) for p in c if p.tag == "property"]
        elif c.tag in SHAPES:
            d[c.tag] = True
        elif c.tag == "data":
            enc, comp = c.get("encoding"), c.get("compression")

            def cells(node):
                if enc is None:
                    return [int(t.get("gid", 0)) for t in node if t.tag == "tile"]
                return decode(node.text or "", enc, comp)
            chunks = [dict(ch.attrib, data=cells(ch)) for ch in c if ch.tag == "chunk"]
            d.update(chunks=chunks) if chunks else d.update(data=cells(c))
        elif c.tag in ("tileset", "tile", "object") or c.tag in LAYER_TAGS:
            key = {"tileset": "tilesets", "tile": "tiles", "object": "objects"}.get(c.tag, "layers")
            d.setdefault(key, []).append(from_xml(c))
    if e.tag == "tile" and "animation" not in d:  # the older animation-frameN / animation-delayN (tens of ms)
        named = {p.get("name"): p.get("value") for p in d.get("properties", [])}
        frames = []
        while f"animation-frame{len(frames)}" in named and f"animation-delay{len(frames)}" in named:
            i = len(frames)
            frames.append(dict(tileid=named[f"animation-frame{i}"], duration=int(named[f"animation-delay{i}"]) * 10))
        if frames:
            d["animation"] = frames
    return d


def load(path):
    text = Path(path).read_text()
    return from_xml(ET.fromstring(text)) if text.lstrip().startswith("<") else json.loads(text)


def image(path, key):
    """The picture, or None where there is no file: the editor draws what needs it empty."""
    if not Path(path).is_file():
        return None
    img = Image.open(path).convert("RGBA")
    if key:
        rgb = tuple(round(c * 255) for c in colour(key)[:3])
        img.putdata([(0, 0, 0, 0) if p[:3] == rgb else p for p in img.getdata()])
    return img


class Tileset:
    def __init__(self, entry, folder):
        self.firstgid = int(entry["firstgid"])
        d = entry
        if "source" in entry:  # missing: a tileset without tiles
            d = load(folder / entry["source"]) if (folder / entry["source"]).is_file() else {}
            folder = (folder / entry["source"]).parent
        self.offset = (num(d.get("tileoffset", {}), "x"), num(d.get("tileoffset", {}), "y"))
        self.align = d.get("objectalignment", "unspecified")
        tiles = d.get("tiles", [])
        self.animations = {int(t["id"]): [(int(f["tileid"]), int(f["duration"])) for f in t["animation"]]
                           for t in tiles if t.get("animation")}
        self.images = {}
        if d.get("image") and (img := image(folder / d["image"], d.get("transparentcolor"))):
            tw, th, m, s = (int(num(d, k)) for k in ("tilewidth", "tileheight", "margin", "spacing"))
            cols, rows = (img.width - m + s) // (tw + s), (img.height - m + s) // (th + s)
            for i in range(cols * rows):
                x, y = m + i % cols * (tw + s), m + i // cols * (th + s)
                self.images[i] = img.crop((x, y, x + tw, y + th))
        for t in tiles:
            if t.get("image") and (img := image(folder / t["image"], t.get("transparentcolor"))):
                x, y = int(num(t, "x")), int(num(t, "y"))
                w, h = int(num(t, "width", img.width)), int(num(t, "height", img.height))
                self.images[int(t["id"])] = img.crop((x, y, x + w, y + h))

    def tile(self, local, t=0):
        """The image a tile shows at `t` ms: an animated one, its frame then."""
        frames = self.animations.get(local)
        if frames:
            local = frames[frame_at([d for _, d in frames], t)][0]
        return self.images.get(local)


def resolve(tilesets, gid, t=0):
    """(tile image, tileset) of a gid at `t` ms; None for an empty cell or a tile without an image."""
    gid &= ~FLAGS
    if not gid:
        return None
    owner = max((ts for ts in tilesets if ts.firstgid <= gid), key=lambda ts: ts.firstgid)
    img = owner.tile(gid - owner.firstgid, t)
    return (img, owner) if img else None


class Grid:
    """Where an orthogonal map puts its cells: each cell's anchor (the
    bottom-left corner of its drawing box), the order they are drawn in, the
    pixel rectangle of a block of cells, and where an object's (x, y) lands."""
    align = "bottomleft"

    def __init__(self, m):
        self.tw, self.th = int(num(m, "tilewidth")), int(num(m, "tileheight"))
        self.order = m.get("renderorder", "right-down")

    def anchor(self, x, y):
        return self.project(x * self.tw, (y + 1) * self.th)

    def order_key(self, x, y):
        return (-y if "up" in self.order else y), (-x if "left" in self.order else x)

    def area(self, x0, y0, w, h):
        """(left, top, right, bottom) of the cells x0 .. x0 + w - 1, y0 .. y0 + h - 1."""
        corners = [self.project(x * self.tw, y * self.th) for x in (x0, x0 + w) for y in (y0, y0 + h)]
        return (math.floor(min(c[0] for c in corners)), math.floor(min(c[1] for c in corners)),
                math.ceil(max(c[0] for c in corners)), math.ceil(max(c[1] for c in corners)))

    def project(self, px, py):
        return px, py


class Oblique(Grid):
    """A sheared orthogonal grid; the tiles themselves are not sheared."""

    def __init__(self, m):
        super().__init__(m)
        self.skew = num(m, "skewx"), num(m, "skewy")

    def project(self, px, py):
        return px + self.skew[0] * py / self.th, py + self.skew[1] * px / self.tw


class Isometric(Grid):
    """Diamonds, drawn by x + y then x; objects are measured in rows (th) on both axes."""
    align = "bottom"

    def __init__(self, m):
        super().__init__(m)
        self.origin_x = int(num(m, "height")) * self.tw // 2

    def anchor(self, x, y):
        return (x - y) * self.tw / 2 + self.origin_x - self.tw / 2, (x + y) * self.th / 2 + self.th

    def order_key(self, x, y):
        return x + y, x

    def area(self, x0, y0, w, h):
        left, top = truncated_half((x0 - y0 - h) * self.tw) + self.origin_x, truncated_half((x0 + y0) * self.th)
        return left, top, left + (w + h) * self.tw // 2, top + (w + h) * self.th // 2

    def project(self, px, py):
        tx, ty = px / self.th, py / self.th
        return (tx - ty) * self.tw / 2 + self.origin_x, (tx + ty) * self.th / 2


class Staggered(Grid):
    """Staggered and hexagonal maps: every other row (axis y) or column
    (axis x) shifted by half a cell; a hexagon's flat sides along the other
    axis are `hexsidelength` long (none on staggered maps: diamonds)."""

    def __init__(self, m):
        super().__init__(m)
        s = int(num(m, "hexsidelength")) if m["orientation"] == "hexagonal" else 0
        self.by_columns, self.odd = m.get("staggeraxis", "y") == "x", m.get("staggerindex", "odd") == "odd"
        # Sizes along the shifted axis (a: x for rows, y for columns) and across it (b).
        length_a, length_b = (self.th, self.tw) if self.by_columns else (self.tw, self.th)
        self.half = length_a // 2
        self.side = (length_b - s) // 2
        self.step = self.side + s

    def shifted(self, i):
        return (i & 1) == (1 if self.odd else 0)  # two's complement: -1 is odd

    def transposed(self, a, b):
        return (b, a) if self.by_columns else (a, b)

    def anchor(self, x, y):
        a, b = self.transposed(x, y)
        left, top = self.transposed(a * 2 * self.half + (self.half if self.shifted(b) else 0), b * self.step)
        return left, top + (2 * self.half if self.by_columns else self.step + self.side)

    def order_key(self, x, y):
        return (y, self.shifted(x), x) if self.by_columns else (y, x)

    def area(self, x0, y0, w, h):
        a0, b0 = self.transposed(x0, y0)
        wa, hb = self.transposed(w, h)
        left, top = self.transposed(a0 * 2 * self.half + (self.half if hb == 1 and self.shifted(b0) else 0),
                                    b0 * self.step)
        width, height = self.transposed(wa * 2 * self.half + (self.half if hb > 1 else 0), hb * self.step + self.side)
        return left, top, left + width, top + height


GRIDS = {"orthogonal": Grid, "oblique": Oblique, "isometric": Isometric, "staggered": Staggered,
         "hexagonal": Staggered}


def truncated_half(v):
    return int(v / 2)  # as integer division truncates, toward zero


class Map:
    """A map read and placed: its layers with their effective values
    (`layers`), its grid area (`area`) and its picture rectangle R (`rect`),
    both (left, top, right, bottom) in map pixels. `hidden`: names of layers
    and groups left out, as if hidden in the file (so they still widen R).
    `t`: the time in ms its animated tiles are drawn at, by the editor's
    clock (0: their first frames)."""

    def __init__(self, path, hidden=(), t=0):
        self.folder, self.t = Path(path).parent, t
        self.doc = m = load(path)
        self.hidden = set(hidden)
        self.grid = GRIDS[m["orientation"]](m)
        self.hexagonal = m["orientation"] == "hexagonal"
        self.tilesets = [Tileset(t, self.folder) for t in m["tilesets"]]
        self.layers = layers = list(self.walk(m["layers"], 0, 0, 1.0, None, True))
        self.rect, self.area = self.bounds(m, layers)

    def paint(self, image, fuzzy, origin, background=False):
        """Draws the map into `image` (RGBA), whose top-left pixel is map point
        `origin`, marking in `fuzzy` (L) where rounding may differ;
        `background`: the map's background colour goes under its grid area
        first."""
        self.image, self.fuzzy, self.origin = image, fuzzy, origin
        if background and self.doc.get("backgroundcolor"):
            paint = colour(self.doc["backgroundcolor"])
            left, top, right, bottom = self.area
            box = Image.new("RGBA", (right - left, bottom - top), tuple(round(c * 255) for c in paint))
            where = (left - origin[0], top - origin[1])
            under = image.crop((*where, where[0] + box.width, where[1] + box.height))
            image.paste(Image.alpha_composite(under, box), where)
            if paint[3] < 1:
                fuzzy.paste(255, (*where, where[0] + box.width, where[1] + box.height))
        for layer, ox, oy, opacity, tint, shown in self.layers:
            if shown:
                getattr(self, "draw_" + layer["type"])(layer, ox - origin[0], oy - origin[1], opacity,
                                                      tint, layer.get("mode", "normal"))

    def walk(self, layers, ox, oy, opacity, tint, shown):
        """Every non-group layer with its effective offset, opacity, tint, visibility."""
        for layer in layers:
            own = colour(layer.get("tintcolor"))
            t = tuple(a * b for a, b in zip(own, tint)) if own and tint else own or tint
            args = (ox + num(layer, "offsetx"), oy + num(layer, "offsety"), opacity * num(layer, "opacity", 1), t,
                    shown and yes(layer, "visible") and layer.get("name") not in self.hidden)
            if layer["type"] == "group":
                yield from self.walk(layer["layers"], *args)
            else:
                yield (layer, *args)

    def cells(self, layer):
        found = {}
        parts = layer["chunks"] if "chunks" in layer else [dict(layer, x=0, y=0)]
        for part in parts:
            data = part["data"]
            if isinstance(data, str):
                data = decode(data, layer.get("encoding"), layer.get("compression"))
            x0, y0, w = int(num(part, "x")), int(num(part, "y")), int(num(part, "width"))
            for i, gid in enumerate(data):
                if gid & ~FLAGS:
                    found[(x0 + i % w, y0 + i // w)] = gid
        return found

    def bounds(self, m, layers):
        """R and the grid area, each (left, top, right, bottom)."""
        cells = [(0, 0, int(num(m, "width")), int(num(m, "height")))]
        if yes(m, "infinite", False):  # the 16 x 16 cell blocks that hold something, else cell (0, 0)
            cells = [(x // 16 * 16, y // 16 * 16, x // 16 * 16 + 16, y // 16 * 16 + 16) for layer, *_ in layers
                     if layer["type"] == "tilelayer" for x, y in self.cells(layer)] or [(0, 0, 1, 1)]
        x0, y0 = min(c[0] for c in cells), min(c[1] for c in cells)
        area = self.grid.area(x0, y0, max(c[2] for c in cells) - x0, max(c[3] for c in cells) - y0)
        left, top, right, bottom = area
        grow = [0, 0, 0, 0]
        for layer, ox, oy, *_ in layers:
            if layer["type"] == "imagelayer" and (self.folder / layer.get("image", "")).is_file():
                img = Image.open(self.folder / layer["image"])
                if not yes(layer, "repeatx", False):
                    left, right = min(left, math.floor(ox)), max(right, math.ceil(ox + img.width))
                if not yes(layer, "repeaty", False):
                    top, bottom = min(top, math.floor(oy)), max(bottom, math.ceil(oy + img.height))
            elif layer["type"] == "tilelayer":
                grow = [max(g, math.ceil(v)) for g, v in zip(grow, (-ox, -oy, ox, oy))]
        return (left - grow[0], top - grow[1], right + grow[2], bottom + grow[3]), area

    def draw_tilelayer(self, layer, ox, oy, opacity, tint, mode):
        for (x, y), gid in sorted(self.cells(layer).items(), key=lambda c: self.grid.order_key(*c[0])):
            found = resolve(self.tilesets, gid, self.t)
            if found:
                img, ts = found
                ax, ay = self.grid.anchor(x, y)
                self.draw(img, *img.size, ax + ts.offset[0] + ox, ay + ts.offset[1] + oy, gid, opacity, tint, mode)

    def draw_objectgroup(self, layer, ox, oy, opacity, tint, mode):
        objects = layer.get("objects", [])
        if layer.get("draworder", "topdown") != "index":
            objects = sorted(objects, key=lambda o: num(o, "y"))
        for o in objects:
            tilesets = self.tilesets
            if o.get("template"):  # its gid counts in the template's own tilesets
                path = self.folder / o["template"]
                if not path.is_file():
                    continue  # left out whole
                t = load(path)
                base = (t.get("objects") or [t.get("object")])[0]
                if "gid" not in o and base.get("gid"):
                    tilesets = [Tileset(s, path.parent) for s in t.get("tilesets") or [t["tileset"]]]
                o = {**base, **o}
            if not yes(o, "visible") or not o.get("gid"):
                continue  # shapes are annotations, not artwork
            found = resolve(tilesets, int(o["gid"]), self.t)
            if not found:
                continue
            img, ts = found
            w, h = num(o, "width") or img.width, num(o, "height") or img.height
            kx, ky = ALIGN.get(ts.align, ALIGN[self.grid.align])
            px, py = self.grid.project(num(o, "x"), num(o, "y"))
            px, py = px + ox, py + oy
            left = px - kx * w + ts.offset[0] * w / img.width
            bottom = py - ky * h + h + ts.offset[1] * h / img.height
            self.draw(img, w, h, left, bottom, int(o["gid"]), opacity * num(o, "opacity", 1), tint, mode,
                      num(o, "rotation"), (px, py))

    def draw_imagelayer(self, layer, ox, oy, opacity, tint, mode):
        img = image(self.folder / layer["image"], layer.get("transparentcolor")) if layer.get("image") else None
        if not img:
            return
        copies = []
        for axis, o, size, extent in ((0, ox, img.width, self.image.width), (1, oy, img.height, self.image.height)):
            copies.append([o + k * size for k in range(math.floor(-o / size), math.ceil((extent - o) / size))]
                          if yes(layer, "repeat" + "xy"[axis], False) else [o])
        for x in copies[0]:
            for y in copies[1]:
                self.draw(img, img.width, img.height, x, y + img.height, 0, opacity, tint, mode)

    def draw(self, img, bw, bh, left, bottom, gid, opacity, tint, mode, rotation=0, pivot=(0, 0)):
        """One item: `img` stretched to bw x bh, flipped by the gid's flags
        keeping its bottom-left corner at (left, bottom) (on a hexagonal map:
        mirrored, then turned by the gid's 60 and 120 degrees about the box's
        centre), turned clockwise by `rotation` degrees about `pivot`
        (picture pixels)."""
        if covers(img, bw, bh, left, bottom, gid, opacity, tint, mode, rotation):
            self.image.paste(img, (int(left), int(bottom) - bh))  # clipped at the picture's edges
            return
        fh, fv, fd = gid & H, gid & V, gid & D and not self.hexagonal
        ow, oh = (bh, bw) if fd else (bw, bh)
        top = bottom - oh
        turns = [Turn(rotation, *pivot)]
        if self.hexagonal:
            turns.insert(0, Turn(60 * bool(gid & D) + 120 * bool(gid & TURN_120), left + ow / 2, top + oh / 2))
        corners = [(x, y) for x in (left, left + ow) for y in (top, bottom)]
        for turn in turns:
            corners = [turn.forward(*c) for c in corners]
        x0, x1 = math.floor(min(p[0] for p in corners)), math.ceil(max(p[0] for p in corners))
        y0, y1 = math.floor(min(p[1] for p in corners)), math.ceil(max(p[1] for p in corners))
        src, dst, fuzzy = img.load(), self.image.load(), self.fuzzy.load()
        sw, sh = img.size
        cols, rows = (sh, sw) if fd else (sw, sh)  # of the flipped image
        for Y in range(max(0, y0), min(self.image.height, y1)):
            for X in range(max(0, x0), min(self.image.width, x1)):
                u, v = X + .5, Y + .5
                for turn in reversed(turns):
                    u, v = turn.backward(u, v)
                u, v = u - left, v - top
                if not (0 < u <= ow and 0 < v <= oh):  # halves up: a centre on the left or top edge is outside
                    continue
                i, j = math.ceil(u * cols / ow) - 1, math.ceil(v * rows / oh) - 1  # in the flipped image
                x, y = flipped(min(i, cols - 1), min(j, rows - 1), sw, sh, fh, fv, fd)
                if composite(dst, X, Y, src[x, y], opacity, tint, mode):
                    fuzzy[X, Y] = 255


class Picture(Map):
    """The map's picture (`image`, RGBA of R's size), R's top-left (`origin`)
    and the pixels drawn with partial alpha or a tint (`fuzzy`, mode L)."""

    def __init__(self, path, background=False, hidden=(), t=0):
        super().__init__(path, hidden, t)
        left, top, right, bottom = self.rect
        size = (right - left, bottom - top)
        self.paint(Image.new("RGBA", size), Image.new("L", size), (left, top), background)


class World:
    """A world's picture: each map's grid area moved by its place; the
    picture spans them all (`origin`: its top-left in world pixels), the maps
    drawn into it in the world's order, each over the ones before and cut
    off only at the picture's edges. `image`, `fuzzy` as Picture's."""

    def __init__(self, path, background=False, hidden=(), t=0):
        placed = [(Map(file, hidden, t), x, y) for file, x, y in world_maps(path)]
        boxes = [(m.area[0] + x, m.area[1] + y, m.area[2] + x, m.area[3] + y) for m, x, y in placed]
        left, top = min(b[0] for b in boxes), min(b[1] for b in boxes)
        size = (max(b[2] for b in boxes) - left, max(b[3] for b in boxes) - top)
        self.origin, self.image, self.fuzzy = (left, top), Image.new("RGBA", size), Image.new("L", size)
        for m, x, y in placed:
            m.paint(self.image, self.fuzzy, (left - x, top - y), background)
        self.maps = [m for m, *_ in placed]
        # The viewer opens on the first map's grid area, in the picture's pixels.
        first = boxes[0]
        self.first_area = (math.floor(first[0]) - left, math.floor(first[1]) - top,
                           math.ceil(first[2]) - left, math.ceil(first[3]) - top)


def opening_view(alpha, within=None, window=(1280, 720)):
    """The pixel at the window's centre when the viewer opens on a picture
    (its alpha channel): on the drawn pixels inside `within` (or anywhere,
    when none are), centred when they fit the window; else the window's top
    row on the first drawn row and, across, centred on the drawn pixels of
    the rows it shows when they fit, else its left edge on their leftmost.
    None when nothing is drawn."""
    def drawn(left, top, right, bottom):
        box = alpha.crop((left, top, right, bottom)).getbbox()
        return box and (box[0] + left, box[1] + top, box[2] + left, box[3] + top)
    box = (within and drawn(*within)) or drawn(0, 0, *alpha.size)
    if not box:
        return None
    rows = drawn(box[0], box[1], box[2], min(box[3], box[1] + window[1]))
    y = (box[1] + box[3]) // 2 if box[3] - box[1] <= window[1] else box[1] + window[1] // 2
    x = (rows[0] + rows[2]) // 2 if rows[2] - rows[0] <= window[0] else rows[0] + window[0] // 2
    return x, y


def world_maps(path):
    """A world's maps in drawing order, each (path, x, y): those it lists,
    then for each pattern the files of the world's folder whose names it
    finds (a search, not a whole match), in name order, placed by the two
    numbers it captures."""
    path = Path(path)
    doc = json.loads(path.read_text())
    found = [(path.parent / m["fileName"], int(m["x"]), int(m["y"])) for m in doc.get("maps", [])]
    names = sorted(f.name for f in path.parent.iterdir() if f.is_file())
    for pattern in doc.get("patterns", []):
        expression = re.compile(pattern["regexp"])
        for name in names:
            match = expression.search(name)
            if match:
                cx, cy = (int(v) for v in match.groups())
                found.append((path.parent / name,
                              cx * int(pattern["multiplierX"]) + int(pattern.get("offsetX", 0)),
                              cy * int(pattern["multiplierY"]) + int(pattern.get("offsetY", 0))))
    return found


def render(path, background=False, hidden=(), t=0):
    """The picture of a map, or of a world (a .world file), at `t` ms."""
    return (World if Path(path).suffix == ".world" else Picture)(path, background, hidden, t)


class Turn:
    """A clockwise turn by whole or any degrees about (cx, cy), both ways."""

    def __init__(self, degrees, cx, cy):
        a = math.radians(degrees)
        self.c, self.s = (round(math.cos(a)), round(math.sin(a))) if degrees % 90 == 0 else (math.cos(a), math.sin(a))
        self.cx, self.cy = cx, cy

    def forward(self, x, y):
        dx, dy = x - self.cx, y - self.cy
        return self.cx + dx * self.c - dy * self.s, self.cy + dx * self.s + dy * self.c

    def backward(self, x, y):
        dx, dy = x - self.cx, y - self.cy
        return self.cx + dx * self.c + dy * self.s, self.cy - dx * self.s + dy * self.c


def covers(img, bw, bh, left, bottom, gid, opacity, tint, mode, rotation):
    """True for an opaque image drawn as it is, on whole pixels: every pixel
    it covers just takes the image's, so it can be pasted whole. (A big
    noise layer, pixel by pixel, took a minute.)"""
    plain = (gid & FLAGS == 0 and rotation == 0 and (bw, bh) == img.size and opacity == 1
             and mode != "add" and (not tint or tint == (1, 1, 1, 1)))
    return (plain and left == int(left) and bottom == int(bottom)
            and img.getextrema()[3] == (255, 255))


def flipped(i, j, w, h, fh, fv, fd):
    """The source pixel of a w x h tile shown at (i, j) of its flipped image:
    the diagonal flip first (swapping the axes), then H, then V."""
    if fd:
        return (w - 1 - j if fv else j), (h - 1 - i if fh else i)
    return (w - 1 - i if fh else i), (h - 1 - j if fv else j)


def composite(dst, X, Y, pixel, opacity, tint, mode):
    """Straight-alpha compositing of one pixel; True when rounding may differ."""
    *rgb, a = pixel
    tinted = bool(tint) and tint != (1, 1, 1, 1)
    if a == 255 and opacity == 1 and not tinted and mode != "add":
        dst[X, Y] = pixel  # covers whatever was there
        return False
    alpha = a / 255 * opacity
    if tinted:
        rgb = [t * (c * a / 255 + 255 - a) for t, c in zip(tint, rgb)]
        alpha *= tint[3]
    if alpha <= 0:
        return False
    *back, da = dst[X, Y]
    da /= 255
    if mode == "add":  # plus: premultiplied sum, clamped
        out = min(1, alpha + da)
        rgb = [min(255, c * alpha + b * da) / out for c, b in zip(rgb, back)]
    else:
        out = alpha + da * (1 - alpha)
        rgb = [(c * alpha + b * da * (1 - alpha)) / out for c, b in zip(rgb, back)]
    dst[X, Y] = tuple(int(v + .5) for v in rgb) + (int(out * 255 + .5),)
    return tinted or alpha < 1


# ---- The whole picture, small (overview.png) -------------------------------------

OVERVIEW_SIZE = (1280, 720)  # the viewer's window


def overview_size(width, height):
    """The overview's size: the picture scaled by min(1, 1280 / width, 720 /
    height), rounded, at least 1 × 1."""
    scale = min(1, OVERVIEW_SIZE[0] / width, OVERVIEW_SIZE[1] / height)
    return max(1, math.floor(width * scale + .5)), max(1, math.floor(height * scale + .5))


def _shares(length, size):
    """For each pixel of an axis `length` pixels long, scaled to `size`: the
    overview pixel it starts in, the share of it that falls there and the
    share that falls in the next (a pixel is at most one overview pixel)."""
    out = []
    for x in range(length):
        a, b = x * size / length, (x + 1) * size / length
        first = min(size - 1, int(a))
        split = min(b, first + 1)
        out.append((first, split - a, b - split if first + 1 < size else 0.0))
    return out


def overview(image):
    """The picture scaled down to fit the window as overview.png shows it:
    each overview pixel the average of the pixels under it, a pixel that lies
    across two counted in each by the part that falls there, colours
    premultiplied by alpha (a transparent pixel adds nothing, whatever its
    colour); then alpha and colour rounded to the nearest."""
    width, height = image.size
    ow, oh = overview_size(width, height)
    xs, ys = _shares(width, ow), _shares(height, oh)
    sums = [[0.0] * (4 * ow) for _ in range(oh)]
    data = image.convert("RGBA").getdata()
    for y in range(height):
        line, drawn = [0.0] * (4 * ow), False
        for x in range(width):
            r, g, b, a = data[y * width + x]
            if not a:
                continue
            drawn, k = True, a / 255
            first, s0, s1 = xs[x]
            for at, share in ((4 * first, s0), (4 * first + 4, s1)):
                if share:
                    line[at] += r * k * share
                    line[at + 1] += g * k * share
                    line[at + 2] += b * k * share
                    line[at + 3] += a * share
        if drawn:
            first, s0, s1 = ys[y]
            for row, share in ((first, s0), (first + 1, s1)):
                if share:
                    sums[row] = [s + v * share for s, v in zip(sums[row], line)]
    return _averaged(sums, ow, oh)


def _averaged(sums, width, height):
    """Rows of premultiplied averages (r·a/255, g·a/255, b·a/255, a in turn)
    as a picture: alpha and colour rounded to the nearest."""
    out = Image.new("RGBA", (width, height))
    pixels = out.load()
    for y, row in enumerate(sums):
        for x in range(width):
            r, g, b, a = row[4 * x:4 * x + 4]
            alpha = min(255, math.floor(a + .5))
            if alpha:
                pixels[x, y] = tuple(min(255, math.floor(c * 255 / a + .5)) for c in (r, g, b)) + (alpha,)
    return out


def box_scaled(image, n):
    """The picture averaged n × n (n a power of two dividing its sides),
    colours weighted by alpha, as a zoom level holds it: premultiplied
    ("RGBa", 8 bits)."""
    return image.convert("RGBa").reduce(n)


def zoom_levels_for(width, height):
    """How many times the picture is halved (its sides rounded up) before it
    fits the window: 8 at most."""
    levels = 0
    while levels < 8 and (width > OVERVIEW_SIZE[0] or height > OVERVIEW_SIZE[1]):
        width, height, levels = -(-width // 2), -(-height // 2), levels + 1
    return levels


def scaled(image, n):
    """The picture scaled by 1 / n as --scale writes it: each pixel the
    average of the n × n pixels under it, of those inside the picture (its
    last row and column may have fewer), colours premultiplied as the
    overview's."""
    width, height = image.size
    sw, sh = -(-width // n), -(-height // n)
    sums = [[0.0] * (4 * sw) for _ in range(sh)]
    data = image.convert("RGBA").getdata()
    for y in range(height):
        row = sums[y // n]
        for x in range(width):
            r, g, b, a = data[y * width + x]
            at = 4 * (x // n)
            row[at] += r * a / 255
            row[at + 1] += g * a / 255
            row[at + 2] += b * a / 255
            row[at + 3] += a
    for y, row in enumerate(sums):
        rows = min(height, (y + 1) * n) - y * n
        for x in range(sw):
            under = rows * (min(width, (x + 1) * n) - x * n)
            row[4 * x:4 * x + 4] = [v / under for v in row[4 * x:4 * x + 4]]
    return _averaged(sums, sw, sh)
