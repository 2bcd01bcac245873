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


def run_benchmark(binary, repetitions, *flags):
    command = [str(BUILD / "bench" / binary), f"--benchmark_repetitions={repetitions}",
               "--benchmark_enable_random_interleaving=true", "--benchmark_format=json", *flags]
    print("==", " ".join(command[0:1] + [Path(command[0]).name] + list(flags)), flush=True)
    report = json.loads(subprocess.run(command, check=True, capture_output=True, text=True).stdout)
    runs = {}
    for row in report["benchmarks"]:
        if row.get("run_type") == "iteration":
            runs.setdefault(row["run_name"], []).append(row["real_time"])
    return runs, report["benchmarks"][0]["time_unit"]


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


def viewer_resident_kb(size):
    """VmRSS of the real viewer, two seconds after its window appears."""
    os.environ.setdefault("TILEMAP_VIEWER", str(BUILD / "tilemap-viewer"))
    os.environ.setdefault("TILEMAP_DEMO", str(TOP / "demo"))
    sys.path.insert(0, str(TOP / "tests" / "e2e"))
    from viewer import Display, Viewer, make_folder
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


def main():
    rows = []
    load, load_unit = run_benchmark("bench_load", LOAD_REPETITIONS)
    frame, frame_unit = run_benchmark("bench_frame", FRAME_REPETITIONS)

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
        lines.append(f"| {size}² | {fmt(floor, load_unit)} | {fmt(ours, load_unit)} | "
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
    floor = frame["TileCopyFloor"]
    ratio_floor, ratio_floor_mid = ratio(draw100, floor)
    ratio_size, ratio_size_mid = ratio(draw2048, draw100)
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
              "", "## The update step", "",
              f"`RunUpdateSteps` for a 16 ms frame with two arrows held: "
              f"{fmt(frame['UpdateStepsPerFrame'], 'ns')} per frame.", ""]

    target = TOP / "docs" / "performance.md"
    target.write_text("\n".join(lines))
    print("\n".join(lines))
    print(f"== wrote {target}")


if __name__ == "__main__":
    main()
