"""Runs the real viewer in a private Xvfb server and works it like a user."""

import ctypes
import fcntl
import json
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
from functools import lru_cache
from pathlib import Path

from PIL import Image, ImageChops

from waiting import hold_until
from window_states import WindowStates
from xlib import EventHeader, root_pixels, xlib

VIEWER = os.environ["TILEMAP_VIEWER"]
# The Windows build runs under Wine, each suite in a prefix of its own under
# this folder.
WINDOWS = VIEWER.endswith(".exe")
WINE_PREFIXES = os.environ.get("TILEMAP_WINE_PREFIXES", "")
WINE_DLLS = "mscoree,mshtml="  # no dialogs offering to install .NET or Gecko
# After a tileset failure the viewer runs "PAUSE": Windows' command
# interpreter prompts on standard output (and, with no keyboard on standard
# input, goes on at once); elsewhere the shell has no such command.
PAUSE_PROMPT = "Press any key to continue... " if WINDOWS else ""
DEMO = Path(os.environ["TILEMAP_DEMO"])
FAIL_WINDOW = os.environ.get("TILEMAP_FAIL_WINDOW", "")
# Libraries kept loaded for the whole run (sanitizer build): the OpenGL driver
# is otherwise unloaded at shutdown, and LeakSanitizer would then see its
# still-held memory as leaks from an unknown module.
KEEP_LOADED = os.environ.get("TILEMAP_KEEP_LOADED", "")
# Preloaded into every Linux viewer (tests/e2e/watch_release.c): it says on
# standard error what the viewer left alive when it ended.
WATCH_RELEASE = os.environ.get("TILEMAP_WATCH_RELEASE", "")
TITLE = "Hello World!"
VIEW_W, VIEW_H = 1280, 720
SANITIZED = os.environ.get("TILEMAP_SANITIZED") == "ON"
# Bounds on waits for a condition; a slow (sanitized, loaded) machine takes
# longer to reach it, never longer than this.
WAIT_SECONDS = 60
QUIT_SECONDS = 15
# A picture that has not changed for this long is still: the viewer has
# drawn several frames meanwhile, even on a busy machine. (Screenshots come
# every 20 ms or so; two in a row can agree while the view still moves.)
STILL_SECONDS = 0.3


class WineKilledAtExit(Exception):
    """Wine's server killed a Windows program (status -9) as it ended: a
    process slow to end (a loaded machine) rarely is, with its output
    complete. conftest.py runs the test once more and accepts the kill only if
    the same program's output in the passing run is the same."""

    def __init__(self, index, output):
        super().__init__(f"program {index + 1} of the test was killed by Wine's server (status -9) "
                         f"as it ended; its output:\n{output}")
        self.index, self.output = index, output


class WineDisplayMissing(Exception):
    """Under Wine the viewer found no display ("No displays available",
    status 1) where the test wanted its window: Wine's display devices, set
    up by its own desktop process, were not there yet on a loaded machine.
    The viewer reported SDL's failure as it should; conftest.py runs the test
    once more, and it must then pass."""


# The output of each program run of the current test that ended by itself, in
# the order they ended.
ENDED = []


def record_end(status, output):
    """Every program that ends by itself comes through here, a Windows
    program killed by Wine's server at its end as WineKilledAtExit."""
    if WINDOWS and status == -signal.SIGKILL:
        raise WineKilledAtExit(len(ENDED), output)
    ENDED.append(output)


class Display:
    """An Xvfb server on a display number it picks itself; stopped by its pid.
    For the Windows build it also owns the Wine prefix its viewers run in, and
    keeps the windows' states as a window manager does (window_states.py)."""

    def __init__(self, name="e2e"):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x720x24", "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number
        self.wine_prefix = None
        self.window_states = None
        if WINDOWS:
            self.window_states = WindowStates(self.name)
            self.start_wine(name)

    def env(self, **extra):
        env = dict(os.environ, DISPLAY=self.name)
        env.pop("WAYLAND_DISPLAY", None)
        if self.wine_prefix:
            env.update(WINEPREFIX=str(self.wine_prefix), WINEDEBUG="-all", WINEDLLOVERRIDES=WINE_DLLS)
        env.update(extra)
        return env

    def start_wine(self, name):
        """A prefix of this suite's own, copied from a fresh one made once
        for all suites (making one takes Wine a quarter of a minute)."""
        folder = Path(WINE_PREFIXES)
        folder.mkdir(parents=True, exist_ok=True)
        template = folder / "fresh"
        with open(folder / "fresh.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)  # suites may start together
            if not (template / "complete").exists():
                shutil.rmtree(template, ignore_errors=True)
                self.wine_prefix = template
                subprocess.run(["wineboot", "-i"], env=self.env(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, check=True, timeout=300)
                self.wine(["wineserver", "-w"])
                (template / "complete").touch()
        self.wine_prefix = folder / f"{name}-{os.getpid()}"
        shutil.rmtree(self.wine_prefix, ignore_errors=True)
        shutil.copytree(template, self.wine_prefix, symlinks=True)
        self.keep_wineserver()

    def keep_wineserver(self):
        """The prefix's wineserver stays up between viewers (until stop), so
        that each viewer doesn't start Wine's services anew. They are started
        here, by a program whose output nobody reads: started by a viewer,
        they would hold its output pipes open long after it ended."""
        self.wine(["wineserver", "-p"])
        self.wine(["wine", "cmd", "/c", "exit"], check=False)  # with no graphics driver it fails, started all the same

    def wine(self, command, timeout=120, check=True):
        """A Wine tool in this display's prefix; bounded, as every Wine run is."""
        subprocess.run(command, env=self.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=check, timeout=timeout)

    def wine_graphics(self, driver):
        """Sets (or with None, removes) the prefix's graphics driver. It takes
        effect once the prefix's wineserver has ended."""
        key = r"HKCU\Software\Wine\Drivers"
        if driver is None:
            self.wine(["wine", "reg", "delete", key, "/v", "Graphics", "/f"])
        else:
            self.wine(["wine", "reg", "add", key, "/v", "Graphics", "/d", driver, "/f"])
        self.wine(["wineserver", "-k"])
        self.wine(["wineserver", "-w"])
        self.keep_wineserver()

    def viewer_env(self, **extra):
        env = self.env(**extra)
        preload = [path for path in (env.get("LD_PRELOAD", ""), KEEP_LOADED, WATCH_RELEASE) if path]
        if preload:
            env["LD_PRELOAD"] = ":".join(preload)
        return env

    def xdotool(self, *args, timeout=10):
        return subprocess.run(["xdotool", *args], env=self.env(), capture_output=True, text=True,
                              timeout=timeout).stdout.strip()

    def screenshot(self):
        pixels, stride = root_pixels(self.name, VIEW_W, VIEW_H)
        return Image.frombuffer("RGB", (VIEW_W, VIEW_H), pixels, "raw", "BGRX", stride, 1)

    def close_window(self, window):
        """Asks the window to close, as a window manager's close button does:
        a WM_DELETE_WINDOW message (there is no window manager here)."""
        class ClientMessage(ctypes.Structure):
            _fields_ = EventHeader._fields_ + [("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                                               ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

        class Event(ctypes.Union):
            _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

        connection = xlib.XOpenDisplay(self.name.encode())
        event = Event()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = int(window)
        event.xclient.message_type = xlib.XInternAtom(connection, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = xlib.XInternAtom(connection, b"WM_DELETE_WINDOW", 0)
        xlib.XSendEvent(connection, int(window), 0, 0, ctypes.byref(event))
        xlib.XFlush(connection)
        xlib.XCloseDisplay(connection)

    def stop(self):
        if self.wine_prefix:
            subprocess.run(["wineserver", "-k"], env=self.env(), timeout=60)
            shutil.rmtree(self.wine_prefix, ignore_errors=True)
        if self.window_states:
            self.window_states.stop()
        os.kill(self.process.pid, signal.SIGTERM)
        self.process.wait(timeout=10)


# Every working directory of a suite lies in this one, removed when the suite
# ends.
_FOLDERS = tempfile.TemporaryDirectory(prefix="tilemap-e2e-")


def start_of(folder):
    """The camera the viewer starts at on the map in the folder: its
    view.json's start, else the program's own."""
    view = Path(folder) / "view.json"
    start = json.loads(view.read_text()).get("start") if view.exists() else None
    return (start["x"], start["y"]) if start else (START_X, START_Y)


def make_folder(tileset=None, map_doc=None, map_text=None):
    """A fresh working directory with the given "final.png" and "main.json"."""
    folder = Path(tempfile.mkdtemp(dir=_FOLDERS.name))
    if tileset is not None:
        if isinstance(tileset, Image.Image):
            tileset.save(folder / "final.png")
        elif isinstance(tileset, bytes):
            (folder / "final.png").write_bytes(tileset)
        else:
            shutil.copy(tileset, folder / "final.png")
    if map_doc is not None:
        (folder / "main.json").write_text(json.dumps(map_doc))
    if map_text is not None:
        (folder / "main.json").write_bytes(map_text if isinstance(map_text, bytes) else map_text.encode())
    return folder


class Viewer:
    """One run of the viewer. Its output is read as it comes, so a test can
    wait for a line, and neither pipe can fill up and stall the viewer."""

    def __init__(self, display, folder, args=(), wrapper=(), **env):
        self.display = display
        command = ["wine", VIEWER] if WINDOWS else [VIEWER]
        self.process = subprocess.Popen([*wrapper, *command, *args], cwd=folder, env=display.viewer_env(**env),
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        stdin=subprocess.DEVNULL)
        self.window = None
        self._out, self._err = bytearray(), bytearray()
        self._readers = [threading.Thread(target=self._drain, args=(pipe, into), daemon=True)
                         for pipe, into in ((self.process.stdout, self._out), (self.process.stderr, self._err))]
        for reader in self._readers:
            reader.start()

    @staticmethod
    def _drain(pipe, into):
        for chunk in iter(lambda: pipe.read1(65536), b""):
            into.extend(chunk)

    def output(self):
        text = self._out.decode(errors="replace")
        # Windows ends lines with CR LF; the lines themselves are the same.
        return text.replace("\r\n", "\n") if WINDOWS else text

    def errors(self):
        """What the viewer wrote on standard error so far, lines ended by LF."""
        return self._err.decode(errors="replace").replace("\r\n", "\n")

    def _fail(self, what):
        status = self.process.poll()
        if status is not None:
            self._join()
            if WINDOWS and status == 1 and self.output() == "No displays available\n":
                raise WineDisplayMissing(f"{what}: under Wine the viewer found no display (status 1)")
            raise AssertionError(f"{what}: the viewer ended with status {status}:\n"
                                 f"{self.output()}{self._err.decode(errors='replace')}")
        raise AssertionError(f"{what}; output so far:\n{self.output()}")

    def wait_for_window(self, seconds=WAIT_SECONDS):
        """Waits until the window is mapped and gives it the keyboard focus.
        The window appears before the files are read: this is not yet a
        running viewer (see wait_until_running)."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and self.process.poll() is None:
            found = self.display.xdotool("search", "--onlyvisible", "--name", "^" + TITLE + "$")
            if found:
                self.window = found.splitlines()[0]
                self.display.xdotool("windowfocus", "--sync", self.window)
                return self.window
            time.sleep(0.05)
        self._fail(f"the window did not appear in {seconds} s")

    def wait_until_running(self, output=None, picture=None, seconds=WAIT_SECONDS):
        """Waits until the frame loop runs: the loader has written `output`
        (a text or a predicate on the text so far), and the window shows
        `picture`, or, without one, the same picture for STILL_SECONDS.
        Returns that screenshot."""
        if self.window is None:
            self.wait_for_window(seconds)
        deadline = time.monotonic() + seconds
        if output is not None:
            done = output if callable(output) else (lambda text: text == output)
            while not done(self.output()):
                if time.monotonic() > deadline or self.process.poll() is not None:
                    self._fail(f"the loader did not write {output!r}")
                time.sleep(0.02)
        shot, unchanged_since = self.display.screenshot(), time.monotonic()
        while True:
            if picture is not None and same(shot, picture):
                return shot
            time.sleep(0.02)
            previous, shot = shot, self.display.screenshot()
            if not same(shot, previous):
                unchanged_since = time.monotonic()
            elif picture is None and time.monotonic() - unchanged_since >= STILL_SECONDS:
                return shot
            if time.monotonic() > deadline or self.process.poll() is not None:
                self._fail("the window did not show the expected picture")

    def wait_for_still_picture(self, seconds=WAIT_SECONDS):
        """The screenshot once the picture has not changed for STILL_SECONDS
        (after the keys are let go)."""
        return self.wait_until_running(seconds=seconds)

    def hold(self, *keys, seconds):
        """Presses the keys together (one burst of events), holds, releases
        together. Returns the shortest and longest time the keys can have
        been down, as the xdotool calls around the wait bound it."""
        before_down = time.monotonic()
        self.display.xdotool("keydown", "--delay", "0", *keys)
        after_down = time.monotonic()
        time.sleep(seconds)
        before_up = time.monotonic()
        self.display.xdotool("keyup", "--delay", "0", *keys)
        after_up = time.monotonic()
        return before_up - after_down, after_up - before_down

    def settle_on(self, name, seconds=WAIT_SECONDS):
        """Waits until the window holds still on a picture that `name` (a
        screenshot to a value, or None) can name; returns the value and the
        screenshot. On a loaded machine a still picture can be a frame the
        X server had only partly drawn when the viewer stalled: it is passed
        over, and the next still one looked at."""
        deadline = time.monotonic() + seconds
        rejected = None
        while True:
            shot = self.wait_for_still_picture(seconds)
            if rejected is None or not same(shot, rejected):
                value = name(shot)
                if value is not None:
                    return value, shot
                rejected = shot
            if time.monotonic() > deadline:
                kept = Path(tempfile.mkdtemp(prefix="tilemap-e2e-unknown-")) / "actual.png"
                shot.save(kept)
                raise AssertionError(f"the window settled on no picture the test knows within {seconds} s; "
                                     f"the last is {kept}")
            time.sleep(0.05)

    def hold_until(self, *keys, done, seconds=WAIT_SECONDS):
        """Holds the keys until `done(screenshot)` holds, then lets go;
        returns that screenshot. A viewer slow to draw makes this wait."""
        return hold_until(lambda: self.display.xdotool("keydown", "--delay", "0", *keys),
                          lambda: self.display.xdotool("keyup", "--delay", "0", *keys),
                          self.display.screenshot, done, seconds)

    def nudge(self, *keys, name=None, at_least=0.0, seconds=WAIT_SECONDS):
        """Holds the keys until the picture moves (and `at_least` seconds have
        passed, for a longer way in fewer stops), lets go, and returns the
        picture once it is still (with `name`, what settle_on gives): some
        steps of 5 pixels, however slowly the viewer draws."""
        before = self.display.screenshot()
        held_from = time.monotonic()
        self.hold_until(*keys, done=lambda shot: time.monotonic() - held_from >= at_least and not same(shot, before),
                        seconds=seconds + at_least)
        return self.settle_on(name, seconds) if name else self.wait_for_still_picture(seconds)

    def quit_with(self, key, timeout=QUIT_SECONDS):
        """Holds the key until the viewer ends, as a person does: the viewer
        reads keys as held or not once per frame. Returns (status, stdout)."""
        self.display.xdotool("keydown", key)
        try:
            return self.finish(timeout)
        finally:
            self.display.xdotool("keyup", key)

    def finish(self, timeout=QUIT_SECONDS):
        """Waits for the end; returns (status, stdout)."""
        try:
            self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError(f"the viewer did not end within {timeout} s")
        self._join()
        record_end(self.process.returncode, self.output())
        left = [line for line in self._err.decode(errors="replace").splitlines()
                if line.startswith("still alive at exit")]
        assert not left, f"the viewer ended with status {self.process.returncode} without releasing " \
                         f"everything: {left[0]}"
        return self.process.returncode, self.output()

    def _join(self):
        for reader in self._readers:
            reader.join(timeout=10)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self._join()


def run_to_end(display, folder, args=(), **env):
    """For runs that end by themselves (start-up failures)."""
    viewer = Viewer(display, folder, args, **env)
    return viewer.finish()


def tileset_failure_lines(out):
    """The lines the viewer wrote on a tileset failure, the pause prompt
    that follows them taken off."""
    assert out.endswith(PAUSE_PROMPT), out
    return out[:len(out) - len(PAUSE_PROMPT)].split("\n")


def trunc_div(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


def expected_picture(map_doc, tileset, camera_x, camera_y):
    """What the window should show, worked out from the files: the first
    visible row and column sit on the 32-pixel grid, every later one a tile
    further; later layers are pasted over earlier ones."""
    picture = Image.new("RGBA", (VIEW_W, VIEW_H), (0, 0, 0, 255))
    tw, th = map_doc["tilewidth"], map_doc["tileheight"]
    width, height = map_doc["width"], map_doc["height"]
    left, top = camera_x - 640, camera_y - 360
    first_col, first_row = trunc_div(left, 32), trunc_div(top, 32)
    x0, y0 = 32 * first_col - left, 32 * first_row - top
    tiles = {}
    for layer in map_doc["layers"]:
        data = layer.get("data", [])
        y, row = y0, first_row
        while y < VIEW_H:
            x, col = x0, first_col
            while x < VIEW_W:
                if 0 <= col < width and 0 <= row < height and row * width + col < len(data):
                    tile = tile_of(tiles, tileset, data[row * width + col], tw, th)
                    if tile is not None:
                        picture.alpha_composite(tile, (x, y)) if x >= 0 and y >= 0 else \
                            paste_clipped(picture, tile, x, y)
                x += tw
                col += 1
            y += th
            row += 1
    return picture.convert("RGB")


class MapPicture:
    """A map's whole picture, drawn once, over black; `origin`: the map pixel
    at its top-left. With 32-pixel tiles every tile sits at 32 times its
    column and row whatever the camera, so the window at any camera is a
    crop of it: a test that names the camera a screenshot shows looks
    through hundreds of cameras in the time one picture takes to draw."""

    def __init__(self, image, origin=(0, 0)):
        self.image, self.origin = image.convert("RGB"), origin

    @classmethod
    def of_map(cls, map_doc, tileset):
        assert (map_doc["tilewidth"], map_doc["tileheight"]) == (32, 32), "a crop is the window only for 32-pixel tiles"
        width, height = map_doc["width"], map_doc["height"]
        picture = Image.new("RGBA", (32 * width, 32 * height), (0, 0, 0, 255))
        tiles = {}
        for layer in map_doc["layers"]:
            for i, v in enumerate(layer.get("data", [])[:width * height]):
                tile = tile_of(tiles, tileset, v, 32, 32)
                if tile is not None:
                    picture.alpha_composite(tile, (i % width * 32, i // width * 32))
        return cls(picture)

    def _box(self, camera_x, camera_y, top=0, height=VIEW_H):
        left = camera_x - VIEW_W // 2 - self.origin[0]
        top += camera_y - VIEW_H // 2 - self.origin[1]
        return left, top, left + VIEW_W, top + height

    def view(self, camera_x, camera_y):
        """The window at that camera (black past the picture's edges)."""
        return self.image.crop(self._box(camera_x, camera_y))

    def camera(self, shot, cameras):
        """The first of `cameras` at which the window shows `shot` exactly,
        else None. The middle row is compared first: it rules out nearly all."""
        row = shot.crop((0, VIEW_H // 2, VIEW_W, VIEW_H // 2 + 1)).tobytes()
        return next((c for c in cameras if self.image.crop(self._box(*c, VIEW_H // 2, 1)).tobytes() == row
                     and same(shot, self.view(*c))), None)


@lru_cache(maxsize=None)
def demo_picture():
    return MapPicture.of_map(load_map(DEMO), load_tileset(DEMO))


def tile_of(tiles, tileset, value, tw, th):
    """The tile a cell value shows (kept in `tiles`), or None: 0 and values
    past the tileset's whole rows show nothing."""
    k = value - 1
    if value < 1 or (k // 3 + 1) * th > tileset.height:
        return None
    if k not in tiles:
        tiles[k] = tileset.crop((k % 3 * tw, k // 3 * th, k % 3 * tw + tw, k // 3 * th + th))
    return tiles[k]


def paste_clipped(picture, tile, x, y):
    cx, cy = max(0, -x), max(0, -y)
    part = tile.crop((cx, cy, tile.width, tile.height))
    picture.alpha_composite(part, (x + cx, y + cy))


def same(a, b):
    return ImageChops.difference(a, b).getbbox() is None


def load_map(folder):
    return json.loads((Path(folder) / "main.json").read_text())


def load_tileset(folder):
    return Image.open(Path(folder) / "final.png").convert("RGBA")


DEMO_OUTPUT = "\nLayer Name: ground\n\nLayer Name: details\n\nLayer Name: overlay\n"
START_X, START_Y = 2000, 2100
_demo_start = []


def demo_folder():
    return make_folder(tileset=DEMO / "final.png", map_text=(DEMO / "main.json").read_bytes())


def demo_at_start():
    """The demo as the window shows it before any key is pressed."""
    if not _demo_start:
        map_doc = json.loads((DEMO / "main.json").read_text())
        tileset = Image.open(DEMO / "final.png").convert("RGBA")
        _demo_start.append(expected_picture(map_doc, tileset, START_X, START_Y))
    return _demo_start[0]


def start_demo(display, running, args=()):
    """A viewer on the demo, once its first frames are on screen."""
    viewer = running(Viewer(display, demo_folder(), args))
    viewer.wait_until_running(DEMO_OUTPUT, demo_at_start())
    return viewer
