#!/usr/bin/python3
"""Runs every benchmark and writes docs/performance.md.

    bench/report.py [BUILD_DIR]      (default: build; bench/run.sh builds it first)
"""

import json
import os
import platform
import statistics
import subprocess
import sys
import time
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent
BUILD = Path(sys.argv[1] if len(sys.argv) > 1 else TOP / "build").resolve()
LOAD_REPETITIONS = 7
FRAME_REPETITIONS = 15  # a frame is cheap and noisier: more runs for a steady median
MEMORY_RUNS = 3


def run_benchmark(binary, repetitions, *flags, env=None, measure="real_time"):
    """Each benchmark's runs: wall time, or `measure` ("cpu_time")."""
    command = [str(BUILD / "bench" / binary), f"--benchmark_repetitions={repetitions}",
               "--benchmark_enable_random_interleaving=true", "--benchmark_format=json", *flags]
    print("==", " ".join([Path(command[0]).name] + list(flags)), flush=True)
    report = json.loads(subprocess.run(command, check=True, capture_output=True, text=True, env=env).stdout)
    runs, units = {}, {}
    for row in report["benchmarks"]:
        if row.get("run_type") == "iteration" and not row.get("error_occurred"):
            runs.setdefault(row["run_name"], []).append(row[measure])
            units[row["run_name"]] = row["time_unit"]
    return runs, units


def spread(values):
    return min(values), statistics.median(values), max(values)


def fmt(values, unit):
    low, mid, high = spread(values)
    return f"{low:.3g} / {mid:.3g} / {high:.3g} {unit}"


def ratio(a, b):
    """a over b by their fastest runs, and by their medians. Interference on a
    shared machine only ever adds time, so the fastest run is the steadier
    estimate of the cost; the verdicts use it, the median is shown beside."""
    return min(a) / min(b), statistics.median(a) / statistics.median(b)


def verdict(ok):
    return "within" if ok else "**outside**"


def machine():
    model = "unknown"
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            model = line.split(":", 1)[1].strip()
            break
    return f"{os.cpu_count()} cores, {model}, {platform.system()} {platform.release()}"


def e2e_helpers():
    """The end-to-end tests' helpers, which run the real viewer in a virtual display."""
    os.environ.setdefault("TILEMAP_VIEWER", str(BUILD / "tilemap-viewer"))
    os.environ.setdefault("TILEMAP_DEMO", str(TOP / "demo"))
    sys.path.insert(0, str(TOP / "tests" / "e2e"))
    import viewer
    return viewer


def viewer_resident_kb(size):
    """VmRSS of the real viewer, two seconds after its window appears."""
    e2e = e2e_helpers()
    Display, Viewer, make_folder = e2e.Display, e2e.Viewer, e2e.make_folder
    import shutil
    display = Display()
    try:
        folder = make_folder(tileset=TOP / "demo" / "final.png")
        map_path = Path("/tmp/tilemap-bench") / f"map-{size}.json"
        shutil.copy(map_path, folder / "main.json")
        viewer = Viewer(display, folder)
        viewer.wait_for_window(seconds=60)
        time.sleep(2)
        rss = next(int(line.split()[1]) for line in open(f"/proc/{viewer.process.pid}/status")
                   if line.startswith("VmRSS:"))
        viewer.kill()
        return rss
    finally:
        display.stop()


def viewer_memory_kb(tileset):
    """VmHWM and VmRSS of the real viewer showing an empty map (one empty
    cell) over the tileset, once it has read the map (after the tileset) and
    its picture stands still."""
    e2e = e2e_helpers()
    display = e2e.Display()
    try:
        folder = e2e.make_folder(tileset=tileset, map_doc={"tilewidth": 32, "tileheight": 32, "width": 1,
                                                           "height": 1, "layers": [{"name": "empty", "data": [0]}]})
        viewer = e2e.Viewer(display, folder)
        viewer.wait_until_running("\nLayer Name: empty\n", seconds=120)
        status = {line.split(":")[0]: int(line.split()[1]) for line in open(f"/proc/{viewer.process.pid}/status")
                  if line.startswith(("VmHWM:", "VmRSS:"))}
        viewer.kill()
        return status["VmHWM"], status["VmRSS"]
    finally:
        display.stop()


ZOOM_WORLD = Path("/tmp/tilemap-bench/zoom-world")  # written by bench_frame
ZOOM_REPETITIONS = 5


def zoomed_viewer_memory_kb(with_levels):
    """VmHWM of the real viewer on the generated 32,768-pixel world, zoomed
    out a step at a time to the whole world and back (with its levels), or
    scrolled at 1:1 as long (without: view.json's "zoom" taken out)."""
    e2e = e2e_helpers()
    import shutil
    display = e2e.Display()
    try:
        folder = e2e.make_folder()
        for name in ("final.png", "main.json", "overview.png"):
            shutil.copy(ZOOM_WORLD / name, folder / name)
        view = json.loads((ZOOM_WORLD / "view.json").read_text())
        if with_levels:
            shutil.copytree(ZOOM_WORLD / "zoom", folder / "zoom")
        else:
            view.pop("zoom")
        (folder / "view.json").write_text(json.dumps(view))
        viewer = e2e.Viewer(display, folder)
        viewer.wait_until_running(lambda text: text.count("Layer Name") == 3, seconds=120)
        keys = ["minus"] * 24 + ["plus"] * 24 if with_levels else ["Right"] * 48
        for key in keys:
            display.xdotool("key", key)
            time.sleep(0.05)
        peak = next(int(line.split()[1]) for line in open(f"/proc/{viewer.process.pid}/status")
                    if line.startswith("VmHWM:"))
        viewer.kill()
        return peak
    finally:
        display.stop()


def zoom_section():
    """Zooming: the frame at each step against 1:1, the longest of 40 steps, memory."""
    display = e2e_helpers().Display()  # the window's own renderer
    try:
        # Each frame through the window waits for its present: a short run
        # of each is enough.
        frame_cpu, frame_units = run_benchmark("bench_frame", ZOOM_REPETITIONS, "--benchmark_filter=WorldZoomed",
                                               "--benchmark_min_time=0.3", env=dict(os.environ, DISPLAY=display.name),
                                               measure="cpu_time")
    finally:
        display.stop()
    lines = ["", "## Zooming", "",
             "A frame (processor time, the driver's threads included) of a generated world of 32,768 × 32,768 "
             "pixels (1024 × 1024 cells in three layers, ground in patches, details on a pattern, animated water: "
             "`bench/bench_zoom_world.h`, imported with its zoom levels), at zoom steps of 2^(1/4) from 8× to the "
             "whole world fitting the window, against the same at 1:1: `DrawMap` on the software renderer "
             "(`DrawWorldZoomed`), and cleared, drawn and presented through the window's own renderer, hidden "
             "(`DrawWorldZoomedInTheWindow`: OpenGL on Linux, here Mesa's software rasterizer in the virtual "
             "display). Target: at most 1.5 times.", ""]
    for family, what in (("DrawWorldZoomed", "software renderer"), ("DrawWorldZoomedInTheWindow", "the window's")):
        steps = sorted((int(name.split("/")[1]) for name in frame_cpu if name.startswith(family + "/")), reverse=True)
        if 0 not in steps:
            lines += [f"({what}: not measured)", ""]
            continue
        unit, one = frame_units[f"{family}/0"], frame_cpu[f"{family}/0"]
        lines += [f"| step ({what}) | scale | drawn from | time | ratio to 1:1 | target |", "|---|---|---|---|---|---|"]
        for step in steps:
            times = frame_cpu[f"{family}/{step}"]
            source = "the map" if step >= -1 else f"level {(2 - step) // 4}"
            fast, mid = ratio(times, one)
            lines.append(f"| {step} | {2 ** (step / 4):.3g} | {source} | {fmt(times, unit)} | {fast:.2f} ({mid:.2f}) "
                         f"| ≤ 1.5: {verdict(fast <= 1.5)} |")
        lines.append("")
    command = [str(BUILD / "bench" / "bench_frame"), "--benchmark_filter=ZoomStepsOutAndBack",
               "--benchmark_format=json", "--benchmark_repetitions=3"]
    report = json.loads(subprocess.run(command, check=True, capture_output=True, text=True).stdout)
    longest = max(row["longest_ms"] for row in report["benchmarks"] if row.get("run_type") == "iteration")
    flat, levels = zoomed_viewer_memory_kb(False), zoomed_viewer_memory_kb(True)
    lines += [f"A zoom step reaches the screen in the frame it is made in: the longest of 40 steps, out from "
              f"1:1 to the whole world and back, each drawn and presented (`ZoomStepsOutAndBack`), took "
              f"{longest:.1f} ms.", "",
              f"The real viewer on that world (peak resident memory, VmHWM): {flat / 1024:.1f} MiB without its zoom "
              f"levels, scrolled at 1:1; {levels / 1024:.1f} MiB with them, zoomed out to the whole world and back "
              f"({levels / flat:.2f} times). Target: at most 1.25 times: {verdict(levels <= 1.25 * flat)}."]
    return lines


def tileset_section(load, load_units, frame_cpu, frame_units):
    load_unit, frame_unit = load_units["DecodeTilesetFloor/20000"], frame_units["DrawMapTallTileset/0"]
    """Loading a tileset of 20,000 blocks (in bands), its memory, and drawing from bands."""
    lines = ["", "## A tileset taller than a texture", "",
             "A tileset of 20,000 blocks, 96 × 213,344 pixels of noise (`bench_maps.h`), held in bands of "
             "at most 16,384 rows. `LoadTexture` (decoding, the bands made, the decoded image released) "
             "against decoding the PNG alone (`IMG_Load` + `SDL_FreeSurface`), into a software renderer "
             "asked for bands of 16,384 rows, and into the accelerated renderer of a hidden window in a "
             "virtual display (OpenGL, software-rendered by Mesa) with its own limit. Target: ≤ 1.5.", "",
             "| what | time | ratio | target |", "|---|---|---|---|"]
    floor = load["DecodeTilesetFloor/20000"]
    lines.append(f"| decoding alone (floor) | {fmt(floor, load_unit)} | | |")
    for name, what in (("LoadTileset/20000/0", "`LoadTexture`, software renderer, 14 bands"),
                       ("LoadTileset/20000/1", "`LoadTexture`, a window's OpenGL renderer")):
        if name not in load:
            lines.append(f"| {what} | not measured (no display) | | |")
            continue
        fast, mid = ratio(load[name], floor)
        lines.append(f"| {what} | {fmt(load[name], load_unit)} | {fast:.3f} ({mid:.3f}) | "
                     f"≤ 1.5: {verdict(fast <= 1.5)} |")

    best = None
    for _ in range(MEMORY_RUNS):
        out = subprocess.run([str(BUILD / "bench" / "bench_memory"), "--tileset", "20000"],
                             check=True, capture_output=True, text=True).stdout
        row = json.loads(out.splitlines()[-1])
        if best is None or row["load_peak_kb"] - row["load_before_kb"] < best["load_peak_kb"] - best["load_before_kb"]:
            best = row
    image = best["image_kb"]
    peak, kept = best["load_peak_kb"] - best["load_before_kb"], best["load_after_kb"] - best["load_before_kb"]
    decode_peak = best["decode_peak_kb"] - best["decode_before_kb"]
    tileset = Path("/tmp/tilemap-bench/tileset-20000.png")  # written by the benchmarks
    small_peak, small_running = viewer_memory_kb(TOP / "demo" / "final.png")
    big_peak, big_running = viewer_memory_kb(tileset)
    lines += ["", "Memory, as the decoded image's size (its " f"{image / 1024:.1f} MiB, 4 bytes a pixel): "
              "resident memory (VmHWM, VmRSS). In a process of its own, into a software renderer "
              f"(best of {MEMORY_RUNS}), over the process before the load; and the real viewer showing an "
              "empty map over the tileset, over the same viewer over the demo's small tileset. "
              "Targets: peak ≤ 2.2, running ≤ 1.2.", "",
              "| what | peak | running | target |", "|---|---|---|---|",
              f"| decoding alone | {decode_peak / image:.2f} | | |",
              f"| `LoadTexture`, {best['bands']} bands | {peak / image:.2f} | {kept / image:.2f} | "
              f"{verdict(peak <= 2.2 * image and kept <= 1.2 * image)} |",
              f"| the viewer ({big_peak / 1024:.1f} / {big_running / 1024:.1f} MiB, over "
              f"{small_peak / 1024:.1f} / {small_running / 1024:.1f} MiB) | {(big_peak - small_peak) / image:.2f} | "
              f"{(big_running - small_running) / image:.2f} | "
              f"{verdict(big_peak - small_peak <= 2.2 * image and big_running - small_running <= 1.2 * image)} |"]

    one, bands = frame_cpu["DrawMapTallTileset/0"], frame_cpu["DrawMapTallTileset/2048"]
    fast, mid = ratio(bands, one)
    lines += ["", "Drawing from bands: `DrawMap` of the full view of a 100² map (three layers of 32 × 32 tiles "
              "from all over a tileset of 1,536 blocks, 16,384 rows), on the software renderer, the tileset "
              "in 8 bands of 2,048 rows against the same tileset in one texture (processor time).", "",
              "| what | time | ratio | target |", "|---|---|---|---|",
              f"| one texture (floor) | {fmt(one, frame_unit)} | | |",
              f"| 8 bands | {fmt(bands, frame_unit)} | {fast:.3f} ({mid:.3f}) | ≤ 1.10: {verdict(fast <= 1.10)} |"]
    return lines


def main():
    rows = []
    display = e2e_helpers().Display()  # the window's renderer of the tileset's load
    try:
        load, load_units = run_benchmark("bench_load", LOAD_REPETITIONS,
                                        env=dict(os.environ, DISPLAY=display.name))
    finally:
        display.stop()
    frame, frame_units = run_benchmark("bench_frame", FRAME_REPETITIONS, "--benchmark_filter=-Zoom")  # zoom: below
    frame_cpu, _ = run_benchmark("bench_frame", FRAME_REPETITIONS, "--benchmark_filter=Tall|FullView/2048|Animated",
                                 measure="cpu_time")

    lines = ["# Performance", "",
             "Measured by `bench/run.sh` (it builds in Release and runs `bench/report.py`), "
             f"{LOAD_REPETITIONS} repetitions of each load and {FRAME_REPETITIONS} of each frame benchmark, "
             "interleaved in random order; "
             "figures are min / median / max of wall time. Ratios compare the fastest runs "
             "(interference on a shared machine only adds time), with the ratio of medians in "
             "brackets.", "",
             f"Machine: {machine()}. Run on {time.strftime('%Y-%m-%d')}.", ""]

    lines += ["## Loading a map", "",
              "`LoadMap` against its floor: `json_load_file` + `json_decref` of the same file "
              "(three layers, 32 × 32 tiles, nine cells in ten non-zero). Target: ratio ≤ 1.15 at "
              "1024² and 2048².", "",
              "| map | parse + release (floor) | `LoadMap` | ratio | target |", "|---|---|---|---|---|"]
    for size in (100, 1024, 2048):
        floor = load[f"ParseAndReleaseFloor/{size}"]
        ours = load[f"LoadMapIntoTable/{size}"]
        fast, mid = ratio(ours, floor)
        target = "≤ 1.15: " + verdict(fast <= 1.15) if size >= 1024 else "(not set)"
        unit = load_units[f"LoadMapIntoTable/{size}"]
        lines.append(f"| {size}² | {fmt(floor, unit)} | {fmt(ours, unit)} | "
                     f"{fast:.3f} ({mid:.3f}) | {target} |")

    lines += ["", "## Memory while loading", "",
              "Resident memory as the kernel counts it (VmRSS, VmHWM), each measurement in a fresh "
              f"process, best of {MEMORY_RUNS}. *Kept*: resident growth after `LoadMap` returns. "
              "*Peak over parse*: `LoadMap`'s peak minus the parse-alone peak. Per cell of all layers. "
              "Targets: kept ≤ 4 B/cell + a constant (1 MiB allowed); peak over parse ≤ 4 B/cell.", "",
              "| map | cells | kept | kept − 4 B/cell | peak over parse | target |", "|---|---|---|---|---|---|"]
    memory = {}
    for _ in range(MEMORY_RUNS):
        out = subprocess.run([str(BUILD / "bench" / "bench_memory"), "100", "1024", "2048"],
                             check=True, capture_output=True, text=True).stdout
        for line in out.splitlines():
            row = json.loads(line)
            best = memory.get(row["size"])
            if best is None or row["load_after_kb"] < best["load_after_kb"]:
                memory[row["size"]] = row
    for size, row in sorted(memory.items()):
        cells = row["cells"]
        kept = (row["load_after_kb"] - row["load_before_kb"]) * 1024
        over = kept - 4 * cells
        peak_over = (row["load_peak_kb"] - row["parse_peak_kb"]) * 1024
        ok = over <= 1024 * 1024 and peak_over <= 4 * cells
        lines.append(f"| {size}² | {cells:,} | {kept / cells:.2f} B/cell | {over / 1024:+.0f} KiB | "
                     f"{peak_over / cells:.2f} B/cell | {verdict(ok)} |")

    small, large = viewer_resident_kb(100), viewer_resident_kb(2048)
    lines += ["", "The viewer itself (the real binary in a virtual display, two seconds after start): "
              f"{small / 1024:.1f} MiB on the 100² map, {large / 1024:.1f} MiB on the 2048² map, "
              f"{(large - small) / 1024:.1f} MiB more. Target: at most 60 MB more: "
              f"{verdict((large - small) * 1024 <= 60e6)}."]

    draw100, draw2048 = frame["DrawMapFullView/100"], frame["DrawMapFullView/2048"]
    frame_unit = frame_units["TileCopyFloor"]
    floor = frame["TileCopyFloor"]
    ratio_floor, ratio_floor_mid = ratio(draw100, floor)
    ratio_size, ratio_size_mid = ratio(draw2048, draw100)
    still, moving = frame_cpu["DrawMapFullView/2048"], frame_cpu["DrawMapAnimatedView/2048"]
    moving_fast, moving_mid = ratio(moving, still)
    lines += ["", "## Drawing a frame", "",
              "`DrawMap` of a fully covered 1280 × 720 view, three layers of 32 × 32 tiles, on a "
              "software renderer, against the floor: the same 3 × 41 × 24 copies from a list made "
              "beforehand.", "",
              "| what | time | ratio | target |", "|---|---|---|---|",
              f"| tile copies alone (floor) | {fmt(floor, frame_unit)} | | |",
              f"| `DrawMap`, 100² map | {fmt(draw100, frame_unit)} | {ratio_floor:.3f} ({ratio_floor_mid:.3f}) over the floor | "
              f"≤ 1.10: {verdict(ratio_floor <= 1.10)} |",
              f"| `DrawMap`, 2048² map | {fmt(draw2048, frame_unit)} | {ratio_size:.3f} ({ratio_size_mid:.3f}) of the 100² map | "
              f"0.9 – 1.1: {verdict(0.9 <= ratio_size <= 1.1)} |",
              "", "## Animated tiles", "",
              "`DrawMap` of the 2048² map's full view with a third of its cells animated (4 of its 12 values, "
              "three frames of 150 ms each), the frames picked at each frame's time as the frame loop does, "
              "against the same map without animations (processor time).", "",
              "| what | time | ratio | target |", "|---|---|---|---|",
              f"| without animations | {fmt(still, frame_unit)} | | |",
              f"| a third of the cells animated | {fmt(moving, frame_unit)} | {moving_fast:.3f} ({moving_mid:.3f}) | "
              f"≤ 1.05: {verdict(moving_fast <= 1.05)} |",
              "", "## The update step", "",
              f"`RunUpdateSteps` for a 16 ms frame with two arrows held: "
              f"{fmt(frame['UpdateStepsPerFrame'], 'ns')} per frame."]
    on_m, loading = frame["OverviewOnM"], frame["LoadOverviewPicture"]
    lines += ["", "## The overview (M)", "",
              "The largest overview an import writes (1,280 × 720 of noise, the hardest to decode) for a world "
              "of 31,712 × 31,616 map pixels, on the software renderer. *M to the overview on screen*: the M "
              "event handled, the frame cleared, the picture and its frame drawn, presented. The picture is "
              "loaded once, at start-up, after the map. Target: M to the overview on screen ≤ 100 ms.", "",
              "| what | time | target |", "|---|---|---|",
              f"| M to the overview on screen | {fmt(on_m, frame_units['OverviewOnM'])} | "
              f"≤ 100 ms: {verdict(max(on_m) <= 100)} |",
              f"| loading the picture (start-up) | {fmt(loading, frame_units['LoadOverviewPicture'])} | |"]
    lines += tileset_section(load, load_units, frame_cpu, frame_units)
    lines += zoom_section() + [""]

    target = TOP / "docs" / "performance.md"
    target.write_text("\n".join(lines))
    print("\n".join(lines))
    print(f"== wrote {target}")


if __name__ == "__main__":
    main()
