"""A small DevTools driver: headless Chromium, one page, JavaScript, keys,
files for a file input, and the canvas as the user sees it."""

import base64
import functools
import gzip
import http.server
import io
import itertools
import json
import re
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import urllib.request
from pathlib import Path

import websocket
from PIL import Image

# Bounds on waits for a condition, as in the desktop suite: a loaded machine
# takes longer to get there, never longer than this.
WAIT_SECONDS = 60
CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    # This machine's network is closed: any connection of Chromium's own
    # (updates, sync, safe browsing) would be refused and retried.
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    # Pixels are compared exactly: no colour conversion on the way to a screenshot.
    "--force-color-profile=srgb",
    # A page that is never shown must still get its animation frames and timers.
    "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
    "--remote-debugging-port=0", "--window-size=1400,1000",
    # Every page is opened afresh. A page kept for the back button after two
    # fingers moved on it leaves Chromium (156) giving the next pages'
    # touches to its own pinch-zoom instead of to them.
    "--disable-features=BackForwardCache"]
# The keys a test presses: DOM key, code and Windows key code (what the
# browser sends along for each).
KEYS = {"Escape": ("Escape", "Escape", 27), "q": ("q", "KeyQ", 81), "Right": ("ArrowRight", "ArrowRight", 39),
        "Left": ("ArrowLeft", "ArrowLeft", 37), "Enter": ("Enter", "Enter", 13),
        "Tab": ("Tab", "Tab", 9), "=": ("=", "Equal", 187), "m": ("m", "KeyM", 77)}


COMPRESSED = {".html", ".js", ".wasm", ".json", ".css"}


class Site:
    """The site folder over HTTP on a free port, in a thread of this process.
    Requests for the paths in `held` (as the page asks for them, e.g.
    "/maps/one/final.png") are answered only once `release()` is called (or
    after the bound), as a slow network would answer them. `asked`: the
    paths asked for, in order. With `compress`, text and programs go gzipped
    to a browser that takes them so, as static hosts send them."""

    def __init__(self, folder, held=(), compress=False):
        released = self.released = threading.Event()
        asked = self.asked = []

        class Quiet(http.server.SimpleHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                asked.append(self.path.split("?")[0])
                if asked[-1] in held:
                    released.wait(WAIT_SECONDS)
                path = Path(self.translate_path(self.path))
                if compress and path.suffix in COMPRESSED and path.is_file() and \
                        "gzip" in self.headers.get("Accept-Encoding", ""):
                    body = gzip.compress(path.read_bytes(), compresslevel=6)
                    self.send_response(200)
                    self.send_header("Content-Type", self.guess_type(str(path)))
                    self.send_header("Content-Encoding", "gzip")
                    self.send_header("Content-Length", str(len(body)))
                    self.end_headers()
                    self.wfile.write(body)
                    return
                super().do_GET()
        handler = functools.partial(Quiet, directory=str(folder))
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}/"
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def release(self):
        self.released.set()

    def stop(self):
        self.release()
        self.server.shutdown()
        self.server.server_close()


class Chromium:
    """One headless Chromium with a fresh profile, and the page it opens."""

    def __init__(self):
        self.profile = Path(tempfile.mkdtemp(prefix="tilemap-web-chromium-"))
        log = self.profile / "stderr.log"
        with open(log, "w") as stderr:
            self.process = subprocess.Popen(["chromium", *CHROMIUM_FLAGS, f"--user-data-dir={self.profile}",
                                             "about:blank"], stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=stderr, start_new_session=True)
        deadline = time.monotonic() + WAIT_SECONDS
        while not (found := re.search(r"^DevTools listening on ws://[^:/]+:(\d+)/", log.read_text(), re.M)):
            if time.monotonic() > deadline or self.process.poll() is not None:
                text = log.read_text()
                self.stop()
                raise RuntimeError("Chromium did not start:\n" + text)
            time.sleep(0.05)
        with urllib.request.urlopen(f"http://127.0.0.1:{found[1]}/json/list", timeout=WAIT_SECONDS) as reply:
            pages = json.load(reply)
        self.page = Page(next(p for p in pages if p["type"] == "page")["webSocketDebuggerUrl"])

    def stop(self):
        """Ends Chromium and its helper processes (its own process group),
        then removes the profile they write into."""
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        deadline = time.monotonic() + 20
        try:
            while time.monotonic() < deadline:
                os.killpg(self.process.pid, 0)
                time.sleep(0.05)
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        shutil.rmtree(self.profile, ignore_errors=True)


class Page:
    """One tab over its DevTools socket. Replies are matched to commands by
    id in a reader thread; console lines and uncaught errors are kept to
    show when a test fails."""

    def __init__(self, ws_url):
        self.socket = websocket.create_connection(ws_url, timeout=WAIT_SECONDS, suppress_origin=True)
        self.ids = itertools.count(1)
        self.replies = {}
        self.replied = threading.Condition()
        self.console = []
        self.loads = 0
        threading.Thread(target=self._read, daemon=True).start()
        # Enabled on about:blank: enabling later would replay what an
        # earlier page wrote.
        for method in ("Page.enable", "Runtime.enable"):
            self.send(method)
        self.send("Emulation.setDeviceMetricsOverride", width=1400, height=1000, deviceScaleFactor=1, mobile=False)
        # Headless has no window to focus; key events still need a focused page.
        self.send("Emulation.setFocusEmulationEnabled", enabled=True)
        # A screenshot of the whole page lays it out without its scroll bar:
        # without one at all, elements stay where the page said they were.
        self.send("Emulation.setScrollbarsHidden", hidden=True)

    def _read(self):
        while True:
            try:
                message = json.loads(self.socket.recv())
            except (websocket.WebSocketException, OSError, ValueError):
                return
            if "id" in message:
                with self.replied:
                    self.replies[message["id"]] = message
                    self.replied.notify_all()
            elif message.get("method") == "Page.loadEventFired":
                with self.replied:
                    self.loads += 1
                    self.replied.notify_all()
            elif message.get("method") == "Runtime.consoleAPICalled":
                args = message["params"]["args"]
                self.console.append(" ".join(str(a.get("value", a.get("description", ""))) for a in args))
            elif message.get("method") == "Runtime.exceptionThrown":
                details = message["params"]["exceptionDetails"]
                self.console.append("uncaught: " + details.get("exception", {}).get("description", details["text"]))

    def send(self, method, **params):
        number = next(self.ids)
        self.socket.send(json.dumps({"id": number, "method": method, "params": params}))
        with self.replied:
            if not self.replied.wait_for(lambda: number in self.replies, timeout=WAIT_SECONDS):
                raise TimeoutError(f"no reply to {method} in {WAIT_SECONDS} s")
            reply = self.replies.pop(number)
        if "error" in reply:
            raise RuntimeError(f"{method}: {reply['error']}")
        return reply["result"]

    def open(self, url, ready="true"):
        """Loads the page afresh; waits for its load event and then until
        `ready` (a JavaScript expression) holds."""
        self.console.clear()
        with self.replied:
            loads = self.loads
        self.send("Page.navigate", url=url)
        with self.replied:
            if not self.replied.wait_for(lambda: self.loads > loads, timeout=WAIT_SECONDS):
                raise TimeoutError(f"{url} did not load in {WAIT_SECONDS} s")
        self.wait_for(ready)

    def js(self, expression, promise=False):
        """The value of a JavaScript expression (awaited when `promise`)."""
        result = self.send("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=promise)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, expression, seconds=WAIT_SECONDS):
        """Waits until the expression is truthy; returns its value."""
        deadline = time.monotonic() + seconds
        while True:
            value = self.js(expression)
            if value:
                return value
            if time.monotonic() > deadline:
                raise AssertionError(f"not true within {seconds} s: {expression}\nconsole:\n" + "\n".join(self.console))
            time.sleep(0.02)

    def key(self, kind, name):
        """A key going down ("keyDown") or up ("keyUp"), to the focused element."""
        key, code, number = KEYS[name]
        text = "\r" if key == "Enter" else key if len(key) == 1 else None  # what the key types
        extra = {"text": text} if kind == "keyDown" and text else {}
        self.send("Input.dispatchKeyEvent", type=kind, key=key, code=code, windowsVirtualKeyCode=number,
                  nativeVirtualKeyCode=number, **extra)

    def click(self, selector):
        """A left click in the middle of the element, as a user gives it the keyboard."""
        box = self.js(f"(r => [r.x + r.width / 2, r.y + r.height / 2])"
                      f"(document.querySelector({json.dumps(selector)}).getBoundingClientRect())")
        for kind in ("mousePressed", "mouseReleased"):
            self.send("Input.dispatchMouseEvent", type=kind, x=box[0], y=box[1], button="left", clickCount=1)

    def wheel(self, x, y, notches):
        """The pointer moved to page point (x, y) and the wheel turned there
        `notches` away from the user (towards when negative)."""
        self.send("Input.dispatchMouseEvent", type="mouseMoved", x=x, y=y)
        self.send("Input.dispatchMouseEvent", type="mouseWheel", x=x, y=y, deltaX=0, deltaY=-100 * notches)

    def pinch(self, x, y, start, end):
        """Two fingers put down side by side about page point (x, y), `start`
        pixels apart, moved apart (or together) a pixel each at a time until
        they are `end` apart, and lifted."""
        def fingers(kind, spread):
            points = [dict(x=x - spread // 2, y=y, id=0), dict(x=x + spread // 2, y=y, id=1)]
            self.send("Input.dispatchTouchEvent", type=kind, touchPoints=[] if kind == "touchEnd" else points)
        fingers("touchStart", start)
        step = 2 if end > start else -2
        for spread in range(start + step, end + step, step):
            fingers("touchMove", spread)
        fingers("touchEnd", end)

    def set_files(self, selector, paths):
        """Chooses files in a file input, as its dialog would (a change event follows)."""
        document = self.send("DOM.getDocument")["root"]["nodeId"]
        node = self.send("DOM.querySelector", nodeId=document, selector=selector)["nodeId"]
        self.send("DOM.setFileInputFiles", nodeId=node, files=[str(p) for p in paths])

    def screenshot(self, selector="#canvas"):
        """The element's pixels as shown on the page, one to one."""
        box = self.js(f"(r => [r.x + scrollX, r.y + scrollY, r.width, r.height])"
                      f"(document.querySelector({json.dumps(selector)}).getBoundingClientRect())")
        shot = self.send("Page.captureScreenshot", format="png", captureBeyondViewport=True,
                         clip=dict(x=box[0], y=box[1], width=box[2], height=box[3], scale=1))
        return Image.open(io.BytesIO(base64.b64decode(shot["data"]))).convert("RGB")


def to_js_files(files):
    """{name: bytes} as a JavaScript expression of {name: Uint8Array}."""
    return "({" + ",".join(f"{json.dumps(name)}: Uint8Array.from(atob({json.dumps(base64.b64encode(data).decode())}),"
                           f" c => c.charCodeAt(0))" for name, data in files.items()) + "})"


def files_in(folder):
    """Every file under the folder, by its path relative to it."""
    return {path.relative_to(folder).as_posix(): path.read_bytes()
            for path in Path(folder).rglob("*") if path.is_file()}
