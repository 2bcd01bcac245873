#!/usr/bin/python3
"""Times the importer against its floor and writes docs/import-performance.md.

    bench/import_report.py [BUILD_DIR] [--compare LABEL=BENCH_IMPORT ...] [--runs N]

(bench/run.sh builds it first.) Each measurement is a fresh process
(bench_import), so that its peak resident memory is its own; runs of the
floor and the import alternate, and the fastest of each counts
(interference only ever adds time). --compare times the importer of other
builds (their bench_import) on the first three maps and the real-game-shaped
world too, by turns with this one's, so that a change's figures come from
the same run."""

import argparse
import gzip
import json
import os
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent
RUNS = 7
# name, file, what, target ratio of processor times, whether memory may
# grow past the floor's by the output tileset (decoded final.png) alone.
MAPS = [("map32", "map32.tmx", "2048 × 2048 cells of 32 × 32, three CSV layers", 2.0, False),
        ("map16", "map16.tmx", "4096 × 4096 cells of 16 × 16 (the same pixels), three CSV layers", None, False),
        ("iso32", "iso32.tmx", "isometric, 2048 × 2048 cells of 32 × 16: a flat ground, props 32 × 32 standing a "
                               "cell above their diamond; three CSV layers", 2.0, False),
        ("world", "world.world", "a world of 3 × 2 maps of 150 × 150 cells of 32 × 32, each with its own tileset, "
                                 "three CSV layers each, listed in the .world file", 2.0, True),
        ("noise", "noise.tmx", "20,000 distinct blocks: 160 × 125 cells of 32 × 32, each another tile of a "
                               "tileset of noise (3200 × 6400 pixels)", 2.0, False),
        ("water", "water.tmx", "2048 × 2048 cells of animated sea of 32 × 32, 8 frames of 150 ms, "
                               "waves 32 × 64 of 7 frames of 110 ms over the sea's blocks above them", 2.0, False),
        ("realworld", "realworld.world", "a world shaped like a real game's: 6 × 4 maps of 186 × 262 cells of "
                                         "32 × 32 (1116 × 1048 in all), ten CSV layers each, four tilesets of tile "
                                         "art that all share, some 21,000 distinct blocks", None, False)]
COMPARED = ["map32", "map16", "iso32", "realworld"]  # the maps --compare times
OVERVIEW_TARGET = {"map32": 0.10, "world": 0.10}  # the most overview.png may add to an import
SITE = "town"  # a town of 140 × 140 cells and three tilesets: its site's map files against its images
# --picture: a world of 4 × 4 maps of 256 × 256 cells of 32 × 32 (32,768 ×
# 32,768 pixels), its peak memory and its time against writing a PNG from
# memory, per pixel (held whole, this one would take 4 GiB: the picture of
# one of its maps, 8192 × 8192, is written instead).
PICTURE_WORLD, PICTURE_MAP = "big.world", "big-0-0.tmx"
PICTURE_PEAK_MIB, PICTURE_RATIO = 256, 1.5


def run(bench, *args):
    out = subprocess.run([str(bench), *args], check=True, capture_output=True, text=True)
    return json.loads(out.stdout), out.stderr.strip()


def blocks_of(line):
    found = re.search(r"(\d+) blocks? of 32 x 32", line)
    return int(found.group(1)) if found else 0


def within(ok):
    return "within" if ok else "**outside**"


def kib(n):
    return f"{n / 1024:.0f} KiB" if n < 10 * 2**20 else f"{n / 2**20:.1f} MiB"


def measure(bench, work, name, file, runs):
    """Floor and import by turns, then writing the import's final.png alone:
    the fastest and the lowest peak of each."""
    floor, ours, png, small, levels = [], [], [], [], []
    for i in range(runs):
        print(f"== {name}: run {i + 1} of {runs}", flush=True)
        floor.append(run(bench, "floor", str(work / file))[0])
        result, line = run(bench, "import", str(work / file), str(work / f"{name}-view"))
        ours.append(result)
        png.append(run(bench, "png", str(work / f"{name}-view" / "final.png"))[0])
        small.append(run(bench, "overview", str(work / file), str(work / f"{name}-view"))[0])
        levels.append(run(bench, "levels", str(work / f"{name}-view"))[0])
    shape = re.search(r"in (\d+) layers? of (\d+) x (\d+) cells", line)
    return {"floor": min(r["processor_seconds"] for r in floor), "import": min(r["processor_seconds"] for r in ours),
            "floor_wall": min(r["seconds"] for r in floor), "import_wall": min(r["seconds"] for r in ours),
            "floor_kib": min(r["peak_kib"] for r in floor), "import_kib": min(r["peak_kib"] for r in ours),
            "png": min(r["processor_seconds"] for r in png), "line": line,
            "overview": min(r["processor_seconds"] for r in small),
            "overview_made": min(r["made_seconds"] for r in small), "squares": small[0]["squares"],
            "levels": min(levels, key=lambda r: r["processor_seconds"]),
            "final_bytes": (work / f"{name}-view" / "final.png").stat().st_size,
            "map_bytes": (work / f"{name}-view" / "main.json").stat().st_size,
            "output_cells": int(shape.group(1)) * int(shape.group(2)) * int(shape.group(3)) if shape else 0}


def measure_picture(bench, work, runs):
    """--picture of the big world, and a PNG of one of its maps written from
    memory by SDL_image and by --picture's own stream: the fastest of each,
    the lowest peak."""
    world, held = [], []
    for i in range(runs):
        print(f"== --picture: run {i + 1} of {runs}", flush=True)
        world.append(run(bench, "picture", str(work / PICTURE_WORLD), str(work / "big.png"))[0])
        one = run(bench, "picture", str(work / PICTURE_MAP), str(work / "one.png"))[0]
        held.append(run(bench, "memory", str(work / "one.png"))[0] | {"pixels": one["pixels"]})
    (work / "big.png").unlink()
    fastest = lambda rows, key: min(r[key] for r in rows)
    return {"seconds": fastest(world, "processor_seconds"), "wall": fastest(world, "seconds"),
            "peak_kib": fastest(world, "peak_kib"), "pixels": world[0]["pixels"], "bytes": world[0]["bytes"],
            "sdl_image": fastest(held, "sdl_image_seconds") / held[0]["pixels"],
            "stream": fastest(held, "stream_seconds") / held[0]["pixels"]}


ANIMATION_SECONDS = 2.0  # the target for a 1280 × 720 view whose water cycles in 1.2 s


def measure_animation(bench, work, runs):
    """--animation of the demo's opening view (1280 × 720, its water over a
    1.2 s cycle) as WebP and as GIF: the fastest wall time of each."""
    rows = {}
    for kind in ("webp", "gif"):
        results = [run(bench, "animation", str(TOP / "demo" / "main.json"), str(work / f"demo.{kind}"))[0]
                   for _ in range(runs)]
        rows[kind] = min(results, key=lambda r: r["seconds"])
    return rows


def animation_lines(rows):
    lines = ["## An animation of the view (--animation)", "",
             "`tilemap-import --animation` of the demo's opening view: 1280 × 720 pixels whose water cycles in "
             "1.2 s. The fastest of the runs.", "",
             "| format | frames | loop | wall | processor | peak memory | target |", "|---|---|---|---|---|---|---|"]
    for kind, r in rows.items():
        lines.append(f"| {kind} | {r['frames']} | {r['milliseconds']} ms | {r['seconds']:.2f} s | "
                     f"{r['processor_seconds']:.2f} s | {r['peak_kib'] / 1024:.0f} MiB | ≤ {ANIMATION_SECONDS:g} s: "
                     f"{'within' if r['seconds'] <= ANIMATION_SECONDS else '**outside**'} |")
    return lines + [""]


def picture_lines(m):
    per_pixel = m["seconds"] / m["pixels"]
    ratio, strict = per_pixel / m["sdl_image"], per_pixel / m["stream"]
    peak = m["peak_kib"] / 1024
    return ["## The whole picture as one PNG (--picture)",
            "",
            "`tilemap-import --picture` of a world of 4 × 4 maps of 256 × 256 cells of 32 × 32, each with its own "
            f"tileset (`bench_import make`'s `big.world`): a picture of {m['pixels']:,} pixels (32,768 × 32,768, "
            f"4 GiB held whole), written in {kib(m['bytes'])}. Against writing a PNG from memory, per pixel: a "
            "picture that size held whole would take 4 GiB, so the picture of one of its maps (8192 × 8192, 256 "
            "MiB) is written from memory instead, by SDL_image (as the importer writes `final.png`) and by "
            "`--picture`'s own stream (deflate at zlib's fastest level after the Sub filter: what is left is "
            "reading the maps and composing the rows). Processor time, the fastest of the runs; memory the peak "
            "resident size.", "",
            "| --picture | per pixel | from memory by SDL_image | ratio | target | by its own stream | ratio "
            "| peak memory | target |", "|---|---|---|---|---|---|---|---|---|",
            f"| {m['seconds']:.2f} s ({m['wall']:.2f} s) | {per_pixel * 1e9:.1f} ns | {m['sdl_image'] * 1e9:.1f} ns | "
            f"{ratio:.2f} | ≤ {PICTURE_RATIO:g}: {'within' if ratio <= PICTURE_RATIO else '**outside**'} | "
            f"{m['stream'] * 1e9:.1f} ns | {strict:.2f} | {peak:.0f} MiB | ≤ {PICTURE_PEAK_MIB} MiB: "
            f"{'within' if peak <= PICTURE_PEAK_MIB else '**outside**'} |", ""]


def compare(benches, work, runs):
    """The importer of each build on the first maps, by turns: the fastest
    processor time and the lowest peak of each."""
    rows = []
    for name, file, *_ in MAPS:
        if name not in COMPARED:
            continue
        results = {label: [] for label, _ in benches}
        for i in range(runs):
            print(f"== {name}, builds compared: run {i + 1} of {runs}", flush=True)
            for label, bench in benches:
                results[label].append(run(bench, "import", str(work / file), str(work / f"{name}-view"))[0])
        cells = [f"{min(r['processor_seconds'] for r in results[label]):.3f} s, "
                 f"{min(r['peak_kib'] for r in results[label]) / 1024:.0f} MiB" for label, _ in benches]
        rows.append(f"| {name} | " + " | ".join(cells) + " |")
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default=str(TOP / "build"))
    parser.add_argument("--compare", action="append", default=[], metavar="LABEL=BENCH_IMPORT",
                        help="another build's bench_import, timed by turns with this one's")
    parser.add_argument("--runs", type=int, default=RUNS)
    options = parser.parse_args()
    bench = Path(options.build).resolve() / "bench" / "bench_import"
    load_before = os.getloadavg()[0]
    work = Path(tempfile.mkdtemp(prefix="tilemap-bench-import-"))
    print(f"== writing the benchmark maps into {work}", flush=True)
    subprocess.run([str(bench), "make", str(work)], check=True)

    rows, memory, notes, measured, overviews = [], [], [], {}, []
    for name, file, what, target, tileset_only in MAPS:
        m = measured[name] = measure(bench, work, name, file, options.runs)
        ratio = m["import"] / m["floor"]
        verdict = (f"≤ {target:g}: " + ("within" if ratio <= target else "**outside**")) if target else "(reported)"
        inputs = [f for f in work.glob(name + "*") if f.is_file() and f.suffix in (".tmx", ".png", ".world")]
        size = sum(f.stat().st_size for f in inputs) / 2**20
        rows.append(f"| {what} ({size:.1f} MiB) | {m['floor']:.3f} s ({m['floor_wall']:.3f} s) | "
                    f"{m['import']:.3f} s ({m['import_wall']:.3f} s) | {m['png']:.3f} s | {ratio:.2f} | "
                    f"{verdict} |")
        tileset = blocks_of(m["line"]) * 4096
        over = (m["import_kib"] - m["floor_kib"]) * 1024
        if tileset_only:
            check = "within" if over <= tileset else "**outside**"
            check = f"at most the tileset: {check}"
        else:
            check = "(reported)"
        memory.append(f"| {name} | {m['floor_kib'] / 1024:.1f} MiB | {m['import_kib'] / 1024:.1f} MiB | "
                      f"{'+' if over >= 0 else '−'}{kib(abs(over))} | {kib(tileset)} | {check} |")
        notes.append(f"- {name}: {m['line']}")
        share = m["overview"] / m["import"]
        # The rest of the import runs on one thread: its wall time is its
        # processor time. What the overview's thread adds to the wait is the
        # import's wall time past that (at least 0).
        rest = m["import"] - m["overview"]
        added = max(0.0, m["import_wall"] - rest) / rest
        aim = OVERVIEW_TARGET.get(name)
        overviews.append(f"| {name} | {m['overview']:.3f} s | {m['overview_made']:.3f} s | {m['squares']} | "
                         f"{share:.0%} | {m['import_wall']:.3f} s | {added:.0%} | " +
                         (f"≤ {aim:.0%}: " + ("within" if added <= aim else "**outside**") if aim else "(reported)")
                         + " |")

    zoom_rows = []
    for name, m in measured.items():
        z = m["levels"]
        share = z["processor_seconds"] / m["import"]
        grown = z["bytes"] / m["final_bytes"]
        aim = ("≤ 25 %, ≤ 50 %: " + within(share <= 0.25 and grown <= 0.5)) if name in ("map32", "world") \
            else "(reported)"
        zoom_rows.append(f"| {name} | {z['levels']} ({z['needed']}) | {z['blocks']:,} | "
                         f"{z['processor_seconds']:.3f} s | {share:.0%} | {kib(z['bytes'])} | {kib(m['final_bytes'])} | "
                         f"{kib(m['map_bytes'])} | {aim} |")
    world, noise = measured["world"], measured["noise"]
    # The animated sea's final.png against the pictures its frames need:
    # each different picture once, and each animated cell value its own.
    sea = work / "water-view"
    sea_doc, sea_view = json.loads((sea / "main.json").read_text()), json.loads((sea / "view.json").read_text())
    animated = {a["tile"] for a in sea_view["animations"]}
    pictures = {f["tile"] for a in sea_view["animations"] for f in a["frames"] if f["tile"]}
    pictures |= {v for layer in sea_doc["layers"] for v in layer["data"] if v and v not in animated}
    sea_needed = len(pictures) + len(animated)
    sea_frames = max(len(a["frames"]) for a in sea_view["animations"])
    sea_blocks = blocks_of(measured["water"]["line"])
    notes.append(f"- water: final.png holds {sea_blocks} blocks, the distinct frames need {len(pictures)} pictures "
                 f"and {len(animated)} animated cell values ({sea_needed}: "
                 f"{'as many' if sea_blocks == sea_needed else '**more**'}); the longest list {sea_frames} frames")
    print(f"== {SITE}: its site's map files", flush=True)
    run(bench, "import", str(work / f"{SITE}.tmx"), str(work / f"{SITE}-view"))
    view = work / f"{SITE}-view"
    images = sum(f.stat().st_size for f in work.glob(f"{SITE}-*.png"))
    png, data = (view / "final.png").stat().st_size, (view / "main.json").stat().st_size
    packed = len(gzip.compress((view / "main.json").read_bytes(), 6))
    site_ratio = (png + data) / images
    site_verdict = "within" if site_ratio <= 1.0 else "**outside**"
    # Maps drawn as game maps are (ground, houses, trees): the town, and the demo.
    shutil.copytree(TOP / "demo", work / "demo-view", ignore=shutil.ignore_patterns("zoom", "editor"))
    for name in (SITE, "demo"):
        folder = work / f"{name}-view"
        z = min((run(bench, "levels", str(folder))[0] for _ in range(options.runs)),
                key=lambda r: r["processor_seconds"])
        zoom_rows.append(f"| {name} | {z['levels']} ({z['needed']}) | {z['blocks']:,} | {z['processor_seconds']:.3f} s "
                         f"| | {kib(z['bytes'])} | {kib((folder / 'final.png').stat().st_size)} | "
                         f"{kib((folder / 'main.json').stat().st_size)} | (reported) |")

    picture = measure_picture(bench, work, min(options.runs, 3))  # 15 s a run
    animation = measure_animation(bench, work, options.runs)

    compared = []
    if options.compare:
        benches = [tuple(item.split("=", 1)) for item in options.compare] + [("this build", str(bench))]
        compared = compare(benches, work, options.runs)

    lines = ["# Importer performance", "",
             "Measured by `bench/run.sh` (`bench/import_report.py`), on maps that `bench_import make` "
             "writes: a full ground layer and two sparser layers above it (on the isometric map, props "
             "taller than their cells on every fourth cell of every fourth row and on every sixteenth, "
             "over which the tiles of the cells in front are drawn); a world of six such maps, small; a map "
             "whose every block is another; a town; a world shaped like a real game's (24 maps of ten layers "
             "that share their tilesets). *Floor*: reading and decoding the inputs alone (the "
             "map, or the world and its maps, XML and CSV into the importer's model, and the images they "
             "use). *Import*: the whole of `tilemap-import`, from reading to the written folder. Times are "
             "processor time (user + system; wall time in brackets), which other programs on the machine "
             "change less than wall time, though they still share its caches and memory: on a loaded "
             "machine runs vary by a tenth or more, hence the fastest of "
             f"{options.runs} runs each, alternating, each in a fresh process; memory is the peak resident "
             "size (VmHWM).", "",
             f"Run on {time.strftime('%Y-%m-%d')}, on {os.cpu_count()} cores with a load average "
             f"of {load_before:.1f} before and {os.getloadavg()[0]:.1f} after.", "",
             "| map (its files) | floor | import | of which writing final.png | ratio | target |",
             "|---|---|---|---|---|---|", *rows, "",
             "Memory: the peaks, and what the import takes over the floor against the viewer's tileset it "
             "writes (final.png decoded, 4 KiB a block).", "",
             "| map | floor | import | over the floor | tileset | target |", "|---|---|---|---|---|---|",
             *memory, "",
             "## overview.png",
             "",
             "Making the overview from the composed cells and writing it (`bench_import overview`, only that "
             "timed, processor time), against the whole import's processor time; k: each block cut into "
             "k × k squares (32: pixel by pixel). The importer makes and writes it on a thread of its own "
             "while it writes final.png and main.json; the rest of the import runs on one thread, so its wall "
             "time is its processor time less the overview's, and what the overview adds to the wait is the "
             "import's wall time past that. The target is on that.", "",
             "| map | overview.png | of which making it | k | of the import's processor time | import (wall) "
             "| added to the wait | target |", "|---|---|---|---|---|---|---|---|",
             *overviews, "",
             "## Zoom levels",
             "",
             "Making the zoom levels from the written folder and writing them (`bench_import levels`, only that "
             "timed, processor time), against the whole import's processor time (of which they are part: they are "
             "made on a thread of their own while final.png and main.json are written), and their bytes against "
             "final.png's. Targets, on the world and the 2048² map: at most 25 % more time, 50 % more bytes. A "
             "level that would need more than 16,384 blocks (twice as many distinct sets of cells below) is not "
             "made, nor any coarser one: maps of noise (these, and any whose cells follow no pattern) get none, "
             "found out by a pass that only counts, and the viewer zooms out over the overview there.", "",
             "| map | levels made (needed) | blocks | time | of the import | bytes | final.png | main.json | target |",
             "|---|---|---|---|---|---|---|---|---|", *zoom_rows, "",
             "## What bounds the world and the noise",
             "",
             "The noise map's 20,000 blocks are 78 MiB of pixels that barely compress: the importer finds "
             "that from a sample and stores them in `final.png` as they are, which takes "
             f"{noise['png']:.2f} s, where deflating them at zlib's level 6 with libpng's filters (as "
             "SDL_image wrote every other `final.png`) took about 3 s, five times the floor. The world's "
             f"six small maps are read in {world['floor'] * 1000:.0f} ms; its `final.png` (tile art, "
             f"deflated) takes {world['png'] * 1000:.0f} ms to write, and its output layers "
             f"({kib(world['output_cells'] * 4)}: the picture's cells with the margins that place it in the "
             "window, in each of three layers) are more than the cells read: no import that writes them can "
             "be within twice the floor of maps this small.", "",
             "## A site's map files",
             "",
             f"The town (`{SITE}.tmx`, 140 × 140 cells of 32 × 32, three tilesets drawn by `bench_import "
             "make`: ground, houses, trees and lamps two cells tall; 4480 × 4480 pixels) as `--site` "
             "writes it: the site's map files against the images the map uses.", "",
             "| final.png | main.json | together | the map's images | ratio | target |", "|---|---|---|---|---|---|",
             f"| {kib(png)} | {kib(data)} ({kib(packed)} compressed by gzip) | {kib(png + data)} | {kib(images)} | "
             f"{site_ratio:.2f} | ≤ 1.0: {site_verdict} |", "",
             "`main.json` is most of it: a number and a comma for each of the 3 × 183 × 195 cells of the "
             "viewer's layers (the picture and the margins that place it in the window at start), where the "
             "images are compressed pixels. A web server that compresses what it sends (most do, for JSON) "
             f"sends {kib(packed)} of it, and then the two files are {(png + packed) / images:.2f} times the "
             "images.", "", *picture_lines(picture), *animation_lines(animation)]
    if compared:
        labels = [label for label, _ in benches]
        lines += ["## Builds compared",
                  "",
                  "The importer of each build on the first three maps and the real-game-shaped world, in the same "
                  "run, by turns: the fastest "
                  f"processor time of {options.runs} and the lowest peak.", "",
                  "| map | " + " | ".join(labels) + " |", "|---" * (len(labels) + 1) + "|", *compared, ""]
    lines += ["## Where an isometric import's time goes",
              "",
              "A 32 × 32 block of its picture is reached by about "
              "ten cells of each layer (the diamonds overlap each other's boxes, and the props stand a "
              "cell above theirs), where a block of the 32-pixel orthogonal map is one cell, kept as it is. "
              "Every block is keyed by what reaches it, so that blocks seen before are not drawn again. "
              "Each column of cells (x − y) of a row of blocks is keyed once and the keys are summed "
              "along the row, so that a block's key is the difference of two sums, not a walk over its "
              "cells; what the row decides of it (where its first diagonal lies) is hashed once for the "
              "row. A dense layer's columns are keyed for sixteen rows of blocks in one pass over its "
              "cells, row of cells by row of cells (each in one stretch of memory, the ones further down "
              "asked for early), rows with nothing across them passed over at once; a sparse layer's from "
              "its tiles, listed once and sorted by diagonal. Blocks that no tile of a run of sparse "
              "layers reaches are passed over. A big layer's cells are read from memory, not the caches, "
              "at each pass over them (48 MiB for the three layers of this map): they are counted, and the "
              "gids they hold found, in one pass, eight cells at a time.", "",
              "What was written:", "", *notes, ""]
    target = TOP / "docs" / "import-performance.md"
    target.write_text("\n".join(lines))
    print("\n".join(lines))
    print(f"== wrote {target}")
    subprocess.run(["rm", "-rf", str(work)], check=True)


if __name__ == "__main__":
    main()
