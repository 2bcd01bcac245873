"""Runs the real viewer in a private Xvfb server and works it like a user."""

import ctypes
import io
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

from PIL import Image, ImageChops

VIEWER = os.environ["TILEMAP_VIEWER"]
DEMO = Path(os.environ["TILEMAP_DEMO"])
FAIL_WINDOW = os.environ.get("TILEMAP_FAIL_WINDOW", "")
# Libraries kept loaded for the whole run (sanitizer build): the OpenGL driver
# is otherwise unloaded at shutdown, and LeakSanitizer would then see its
# still-held memory as leaks from an unknown module.
KEEP_LOADED = os.environ.get("TILEMAP_KEEP_LOADED", "")
TITLE = "Hello World!"
VIEW_W, VIEW_H = 1280, 720


class Display:
    """An Xvfb server on a display number it picks itself; stopped by its pid."""

    def __init__(self):
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

    def env(self, **extra):
        env = dict(os.environ, DISPLAY=self.name)
        env.pop("WAYLAND_DISPLAY", None)
        env.update(extra)
        return env

    def viewer_env(self, **extra):
        env = self.env(**extra)
        preload = [path for path in (env.get("LD_PRELOAD", ""), KEEP_LOADED) if path]
        if preload:
            env["LD_PRELOAD"] = ":".join(preload)
        return env

    def xdotool(self, *args, timeout=10):
        return subprocess.run(["xdotool", *args], env=self.env(), capture_output=True, text=True,
                              timeout=timeout).stdout.strip()

    def screenshot(self):
        png = subprocess.run(["import", "-display", self.name, "-window", "root", "png:-"],
                             capture_output=True, check=True, timeout=20).stdout
        return Image.open(io.BytesIO(png)).convert("RGB")

    def close_window(self, window):
        """Asks the window to close, as a window manager's close button does:
        a WM_DELETE_WINDOW message (there is no window manager here)."""
        xlib = ctypes.CDLL("libX11.so.6")
        xlib.XOpenDisplay.restype = ctypes.c_void_p
        xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        xlib.XInternAtom.restype = ctypes.c_ulong
        xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                    ctypes.c_void_p]
        xlib.XFlush.argtypes = xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]

        class ClientMessage(ctypes.Structure):
            _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                        ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                        ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                        ("data", ctypes.c_long * 5)]

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
        os.kill(self.process.pid, signal.SIGTERM)
        self.process.wait(timeout=10)


def make_folder(tileset=None, map_doc=None, map_text=None):
    """A fresh working directory with the given "final.png" and "main.json"."""
    folder = Path(tempfile.mkdtemp(prefix="tilemap-e2e-"))
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
    def __init__(self, display, folder, args=(), wrapper=(), **env):
        self.display = display
        self.process = subprocess.Popen([*wrapper, VIEWER, *args], cwd=folder, env=display.viewer_env(**env),
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        stdin=subprocess.DEVNULL)
        self.window = None

    def wait_for_window(self, seconds=15):
        """Waits until the window is mapped, focuses it, and lets a few frames pass."""
        deadline = time.time() + seconds
        while time.time() < deadline and self.process.poll() is None:
            found = self.display.xdotool("search", "--onlyvisible", "--name", "^" + TITLE + "$")
            if found:
                self.window = found.splitlines()[0]
                self.display.xdotool("windowfocus", "--sync", self.window)
                time.sleep(0.7)
                return self.window
            time.sleep(0.1)
        status = self.process.poll()
        if status is None:
            tree = subprocess.run(["xwininfo", "-root", "-tree"], env=self.display.env(),
                                  capture_output=True, text=True).stdout
            raise AssertionError("the window did not appear in 15 seconds; windows:\n" + tree)
        out, err = self.process.communicate()
        raise AssertionError(f"the viewer ended with status {status} before its window appeared:\n"
                             f"{out.decode()}{err.decode()}")

    def hold(self, *keys, seconds):
        """Presses the keys together (one burst of events), holds, releases together."""
        self.display.xdotool("keydown", "--delay", "0", *keys)
        time.sleep(seconds)
        self.display.xdotool("keyup", "--delay", "0", *keys)

    def quit_with(self, key):
        # The viewer reads keys as held or not once per frame, so hold it a moment.
        self.hold(key, seconds=0.2)
        return self.finish()

    def finish(self, timeout=15):
        """Waits for the end; returns (status, stdout)."""
        try:
            out, _ = self.process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, _ = self.process.communicate()
            raise AssertionError("the viewer did not end")
        return self.process.returncode, out.decode()

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.communicate()


def run_to_end(display, folder, args=(), **env):
    """For runs that end by themselves (start-up failures)."""
    viewer = Viewer(display, folder, args, **env)
    return viewer.finish()


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
                    v = data[row * width + col]
                    k = v - 1
                    if v >= 1 and (k // 3 + 1) * th <= tileset.height:
                        if k not in tiles:
                            box = (k % 3 * tw, k // 3 * th, k % 3 * tw + tw, k // 3 * th + th)
                            tiles[k] = tileset.crop(box)
                        picture.alpha_composite(tiles[k], (x, y)) if x >= 0 and y >= 0 else \
                            paste_clipped(picture, tiles[k], x, y)
                x += tw
                col += 1
            y += th
            row += 1
    return picture.convert("RGB")


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
