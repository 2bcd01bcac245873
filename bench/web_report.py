"""The web page's first picture and what the browser downloads for it.

    python3 bench/web_report.py [SITE ...] [--runs N]

Serves each site (default build-web/site; a folder written by
`tilemap-import --site` works too) and opens it N times in one headless
Chromium with its cache off, as a first visit; the sites take turns, so a
machine that gets busier meanwhile weighs on each alike. Prints, per site,
the median, lowest and highest time from navigation to the viewer's first
frame, the median time the program started (asked for its WebGL context:
what comes before is the page's waiting), and the files fetched by then, with their sizes gzipped (-9), as a
server that compresses sends them."""

import argparse
import gzip
import statistics
import sys
from pathlib import Path
from urllib.parse import unquote, urlparse

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "web"))
from browser import Chromium, Site  # noqa: E402

FIRST_FRAME = "viewerFirstFrameMs !== null && [viewerFirstFrameMs, programStartedMs]"
# When the program, started, asks for its WebGL context: the page's part of
# the wait ends there, the program's own start and first frame follow.
STARTED = "window.programStartedMs = null; const getContext = HTMLCanvasElement.prototype.getContext; " \
          "HTMLCanvasElement.prototype.getContext = function (...args) { " \
          "if (programStartedMs === null) programStartedMs = performance.now(); return getContext.apply(this, args); };"
# What the page fetched before its first frame, by path.
FETCHED = "performance.getEntriesByType('resource').filter(e => e.startTime < viewerFirstFrameMs).map(e => e.name)"


def gzipped(path):
    return len(gzip.compress(path.read_bytes(), compresslevel=9))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("sites", nargs="*", type=Path, default=[Path("build-web/site")])
    parser.add_argument("--runs", type=int, default=9)
    options = parser.parse_args()
    servers = [Site(site) for site in options.sites]
    browser = Chromium()
    page = browser.page
    page.send("Network.enable")
    page.send("Network.setCacheDisabled", cacheDisabled=True)
    page.send("Page.addScriptToEvaluateOnNewDocument", source=STARTED)
    times = {site: [] for site in options.sites}
    started = {site: [] for site in options.sites}
    fetched = {}
    try:
        for _ in range(options.runs):
            for site, server in zip(options.sites, servers):
                page.open(server.url + "index.html", "typeof runViewer === 'function'")
                first, start = page.wait_for(FIRST_FRAME)
                times[site].append(first)
                started[site].append(start)
                fetched[site] = [unquote(urlparse(url).path).lstrip("/") for url in page.js(FETCHED)]
                page.open("about:blank")
    finally:
        browser.stop()
        for server in servers:
            server.stop()

    for site in options.sites:
        found = sorted(times[site])
        print(f"{site}: first frame {statistics.median(found):.0f} ms after navigation "
              f"(median of {len(found)}; {found[0]:.0f} to {found[-1]:.0f} ms); "
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
