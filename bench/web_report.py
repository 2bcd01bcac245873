"""The web page's first pictures and what the browser downloads for them.

    python3 bench/web_report.py [SITE ...] [--runs N] [--import TILEMAP_IMPORT]
    python3 bench/web_report.py --throttled [--runs N] [--import TILEMAP_IMPORT] [SITE]

Serves each site (default: build-web/site, and a site that `tilemap-import
--site` writes for a generated map of 1,000 distinct blocks and 200 x 200
cells of 32 x 32) and opens it N times in one headless Chromium with its
cache off, as a first visit; the sites take turns, so a machine that gets
busier meanwhile weighs on each alike. Prints, per site, the median, lowest
and highest time from navigation to the map's overview on screen (a site's
map that has one; the bound is 0.5 s) and to the viewer's first frame (the
bound is 2.0 s), the median time the program started (asked for its WebGL
context: what comes before is the page's waiting), and the files fetched by
then, with their sizes gzipped (-9), as a server that compresses sends
them.

With --throttled, the network is a visitor's (25 Mbit/s down, 20 ms
latency, through DevTools) and the maps are big: a site of the benchmark
world of 32,768 x 32,768 pixels (big.world) and of the map of 2048 x 2048
cells (map32), as bench_import makes them (or SITE, a site of the two made
before). Prints, per map, the time from
navigation to the first whole picture at 1:1 (every piece of the view in;
the bound is 1.0 s) and the bytes fetched by then besides the programs (the
bound is 3 MB), as sent, and the longest task the page ran until then (the
bound is 200 ms): the server compresses text and programs (gzip -6),
as static hosts do; and, after a tour
of each map (crossed at 1:1 to seven places by M and a click, zoomed out to
the whole map and in again), the most memory the tab's renderer process
held on the way (the bound is 300 MiB)."""

import argparse
import gzip
import json
import os
import random
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path
from urllib.parse import unquote, urlparse

from PIL import Image

TOP = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(TOP / "tests" / "web"))
sys.path.insert(0, str(TOP / "tests" / "e2e"))
from browser import Chromium, Site  # noqa: E402
import import_maps as maps  # noqa: E402

OVERVIEW_BOUND_MS = 500
FIRST_FRAME_BOUND_MS = 2000
FIRST_FRAME = "viewerFirstFrameMs !== null && [viewerFirstFrameMs, programStartedMs, window.overviewShownMs ?? null]"
# When the program, started, asks for its WebGL context: the page's part of
# the wait ends there, the program's own start and first frame follow.
STARTED = "window.programStartedMs = null; const getContext = HTMLCanvasElement.prototype.getContext; " \
          "HTMLCanvasElement.prototype.getContext = function (...args) { " \
          "if (programStartedMs === null) programStartedMs = performance.now(); return getContext.apply(this, args); };"
# What the page fetched before its first frame, by path.
FETCHED = "performance.getEntriesByType('resource').filter(e => e.startTime < viewerFirstFrameMs).map(e => e.name)"


def generated_site(importer, folder):
    """The site of a map of 200 x 200 cells of 32 x 32, each one of 1,000
    tiles of coarse noise (1,000 distinct blocks, neighbours far apart in
    the tileset): 6,400 pixels a side."""
    count, columns, rows = 1000, 200, 200
    noise = random.Random(11).randbytes(count * 8 * 8 * 3)
    sheet = Image.frombytes("RGB", (40 * 8, 25 * 8), noise).resize((40 * 32, 25 * 32), Image.NEAREST)
    tiles = dict(name="noise", tilewidth=32, tileheight=32, image=("noise.png", sheet.convert("RGBA")))
    doc = dict(name="thousand", tilewidth=32, tileheight=32, width=columns, height=rows, tilesets=[(1, tiles)],
               layers=[dict(type="tilelayer", name="cells", encoding="base64", compression="zlib",
                            cells=maps.grid(columns, rows, lambda x, y: (y * columns + x) * 7919 % count + 1))])
    path = maps.write(doc, folder / "map", "xml")
    site = folder / "site"
    print(f"$ {importer} --site {site} {path}")
    subprocess.run([importer, "--site", str(site), str(path)], check=True)
    return site


THROTTLE = dict(offline=False, latency=20, downloadThroughput=25e6 / 8, uploadThroughput=5e6 / 8)
WHOLE_VIEW_BOUND_MS = 1000
WHOLE_VIEW_BOUND_BYTES = 3e6
LONGEST_TASK_BOUND_MS = 200
# The first frame whose view is whole: every piece of it drawn from its own
# files (the page's count), looked at each animation frame; and the longest
# task the page ran (what a visitor waits for when a key or click has to wait).
WATCH_WHOLE_VIEW = "window.longestTaskMs = 0; new PerformanceObserver((list) => { for (const e of list.getEntries()) " \
                   "longestTaskMs = Math.max(longestTaskMs, e.duration); }).observe({ entryTypes: ['longtask'] }); " \
                   "window.wholeViewMs = null; (function watch() { const p = window.viewerPieces; " \
                   "if (p && p[1] > 0 && p[0] === p[1]) { window.wholeViewMs = performance.now(); return; } " \
                   "requestAnimationFrame(watch); })();"
# What the page fetched until then besides its programs, in bytes as sent.
FETCHED_BYTES = "performance.getEntriesByType('resource').filter(e => e.responseEnd <= wholeViewMs && " \
                "!/[.](js|wasm)$/.test(new URL(e.name).pathname)).reduce((sum, e) => sum + e.encodedBodySize, 0)"


def big_site(importer, folder):
    """A site of the benchmark world of 32,768 pixels a side and of the map
    of 2048 x 2048 cells, as bench_import makes them."""
    maps_folder, site = folder / "maps", folder / "site"
    maps_folder.mkdir()
    subprocess.run([str(TOP / "build" / "bench" / "bench_import"), "make", str(maps_folder)], check=True)
    for name in ("big.world", "map32.tmx"):
        print(f"$ {importer} --site {site} {maps_folder / name}")
        subprocess.run([importer, "--site", str(site), str(maps_folder / name)], check=True,
                       stdout=subprocess.DEVNULL)
    return site


TOUR_BOUND_MIB = 300
WHOLE = "viewerPieces && viewerPieces[1] > 0 && viewerPieces[0] === viewerPieces[1]"


def renderer_mib(browser):
    """The largest resident memory of the browser's renderer processes, in MiB."""
    most = 0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.getsid(int(pid)) != browser.process.pid or \
                    b"--type=renderer" not in Path(f"/proc/{pid}/cmdline").read_bytes():
                continue
            rss = next(line for line in Path(f"/proc/{pid}/status").read_text().splitlines() if line.startswith("VmRSS:"))
            most = max(most, int(rss.split()[1]) / 1024)
        except (OSError, StopIteration):
            pass
    return most


def tour(page, browser):
    """Crosses the map at 1:1 by M and a click on the overview (to seven
    places), each time until the view is whole, then zooms out to the whole
    map and back in: the renderer's largest memory on the way, in MiB."""
    x, y, width, height = page.js("(r => [r.x, r.y, r.width, r.height])(canvas.getBoundingClientRect())")
    # The overview, which comes after the first view, in the viewer; the keys to the canvas.
    page.wait_for("performance.getEntriesByType('resource').some(e => e.name.endsWith('/overview.png'))")
    page.wait_for(f"viewerFrames > {page.js('viewerFrames') + 3}")
    page.js("canvas.focus()")
    most = renderer_mib(browser)
    for across, down in ((0.05, 0.05), (0.95, 0.05), (0.5, 0.5), (0.05, 0.95), (0.95, 0.95), (0.3, 0.7), (0.7, 0.3)):
        camera, frames = page.js("viewerCamera"), page.js("viewerFrames")
        page.key("keyDown", "m")
        page.key("keyUp", "m")
        page.wait_for(f"viewerFrames > {frames + 2}")
        # The square map's overview fills the window's height, centred across.
        at = (x + (280 + across * 720) * width / 1280, y + down * height)
        page.send("Input.dispatchMouseEvent", type="mouseMoved", x=at[0], y=at[1])  # where the button goes down
        for kind in ("mousePressed", "mouseReleased"):
            page.send("Input.dispatchMouseEvent", type=kind, x=at[0], y=at[1], button="left", clickCount=1)
        page.wait_for(f"JSON.stringify(viewerCamera) !== '{json.dumps(camera, separators=(',', ':'))}' && {WHOLE}")
        most = max(most, renderer_mib(browser))
    for notches in (-40, 40):
        page.wheel(x + width / 2, y + height / 2, notches)
        page.wait_for(f"viewerCamera[2] {'<' if notches < 0 else '>='} 0 && {WHOLE}")
        most = max(most, renderer_mib(browser))
    return most


def throttled(options):
    site = options.sites[0] if options.sites else big_site(options.importer,
                                                           Path(tempfile.mkdtemp(prefix="tilemap-web-bench-")))
    server, browser = Site(site, compress=True), Chromium()
    page = browser.page
    page.send("Network.enable")
    page.send("Network.setCacheDisabled", cacheDisabled=True)
    page.send("Network.emulateNetworkConditions", **THROTTLE)
    page.send("Page.addScriptToEvaluateOnNewDocument", source=WATCH_WHOLE_VIEW)
    names = ("big", "map32")
    times, sizes = {name: [] for name in names}, {name: [] for name in names}
    tasks, toured = {name: [] for name in names}, {}
    try:
        for run in range(options.runs):
            for name in names:
                page.open(server.url + f"index.html?map={name}", "typeof runViewer === 'function'")
                times[name].append(page.wait_for("wholeViewMs"))
                sizes[name].append(page.js(FETCHED_BYTES))
                tasks[name].append(page.js("longestTaskMs"))
                if run == 0:
                    page.send("Network.emulateNetworkConditions", offline=False, latency=0, downloadThroughput=-1,
                              uploadThroughput=-1)
                    toured[name] = tour(page, browser)
                    page.send("Network.emulateNetworkConditions", **THROTTLE)
                page.open("about:blank")
    finally:
        browser.stop()
        server.stop()
    for name in names:
        most = max(sizes[name])
        print(f"{name}: whole view at 1:1 {spread(times[name], WHOLE_VIEW_BOUND_MS)} after navigation, at "
              f"25 Mbit/s and 20 ms; {most / 1e6:.2f} MB fetched by then besides the programs (at most; "
              f"{'within' if most <= WHOLE_VIEW_BOUND_BYTES else 'OVER'} 3 MB)")
        print(f"{name}: the longest task until then {max(tasks[name]):.0f} ms (at most; "
              f"{'within' if max(tasks[name]) <= LONGEST_TASK_BOUND_MS else 'OVER'} {LONGEST_TASK_BOUND_MS} ms)")
        print(f"{name}: crossed at 1:1 to seven places, zoomed out to the whole map and in again: the tab's "
              f"renderer at most {toured[name]:.0f} MiB ({'within' if toured[name] <= TOUR_BOUND_MIB else 'OVER'} "
              f"{TOUR_BOUND_MIB} MiB)")


def spread(found, bound=None):
    found = sorted(found)
    within = "" if bound is None else f", {'within' if statistics.median(found) <= bound else 'OVER'} {bound} ms"
    return f"{statistics.median(found):.0f} ms (median of {len(found)}; {found[0]:.0f} to {found[-1]:.0f} ms{within})"


def gzipped(path):
    return len(gzip.compress(path.read_bytes(), compresslevel=9))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("sites", nargs="*", type=Path)
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--import", dest="importer", default=str(TOP / "build" / "tilemap-import"),
                        help="the importer that writes the generated map's site")
    parser.add_argument("--throttled", action="store_true",
                        help="big maps over a visitor's network: the time to the first whole view")
    options = parser.parse_args()
    if options.throttled:
        throttled(options)
        return
    if not options.sites:
        generated = generated_site(options.importer, Path(tempfile.mkdtemp(prefix="tilemap-web-bench-")))
        options.sites = [TOP / "build-web" / "site", generated]
    servers = [Site(site) for site in options.sites]
    browser = Chromium()
    page = browser.page
    page.send("Network.enable")
    page.send("Network.setCacheDisabled", cacheDisabled=True)
    page.send("Page.addScriptToEvaluateOnNewDocument", source=STARTED)
    times = {site: [] for site in options.sites}
    overviews = {site: [] for site in options.sites}
    started = {site: [] for site in options.sites}
    fetched = {}
    try:
        for _ in range(options.runs):
            for site, server in zip(options.sites, servers):
                page.open(server.url + "index.html", "typeof runViewer === 'function'")
                first, start, overview = page.wait_for(FIRST_FRAME)
                times[site].append(first)
                if overview is not None:
                    overviews[site].append(overview)
                started[site].append(start)
                fetched[site] = [unquote(urlparse(url).path).lstrip("/") for url in page.js(FETCHED)]
                page.open("about:blank")
    finally:
        browser.stop()
        for server in servers:
            server.stop()

    for site in options.sites:
        print(f"{site}:")
        if overviews[site]:
            print(f"  overview on screen {spread(overviews[site], OVERVIEW_BOUND_MS)} after navigation")
        print(f"  first frame {spread(times[site], FIRST_FRAME_BOUND_MS)} after navigation; "
              f"the program started at {statistics.median(started[site]):.0f} ms (median)")
        files = ["index.html", *fetched[site]]
        code = 0
        for name in files:
            path = site / name
            if not path.is_file():  # asked for, not there (maps.json on a site with the demo)
                continue
            size = gzipped(path)
            code += size if path.suffix in (".js", ".wasm") else 0
            print(f"  {name}: {path.stat().st_size / 1000:.1f} kB, {size / 1000:.1f} kB gzipped")
        print(f"  JavaScript and WebAssembly: {code / 1000:.1f} kB gzipped")


if __name__ == "__main__":
    main()
