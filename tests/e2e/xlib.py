"""Xlib through ctypes, for the test helpers that talk to the virtual
display themselves, and a connection whose events a thread of its own
serves until stopped."""

import ctypes
import select
import threading

xlib = ctypes.CDLL("libX11.so.6")
xlib.XInitThreads()  # the helpers' threads and the test's own Xlib calls
xlib.XOpenDisplay.restype = ctypes.c_void_p
xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
xlib.XDefaultRootWindow.restype = ctypes.c_ulong
xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
xlib.XCreateSimpleWindow.restype = ctypes.c_ulong
xlib.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 4 + \
                                    [ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
xlib.XInternAtom.restype = ctypes.c_ulong
xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
xlib.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
xlib.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                 ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
xlib.XConnectionNumber.argtypes = xlib.XPending.argtypes = [ctypes.c_void_p]
xlib.XFlush.argtypes = xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
xlib.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]


class EventHeader(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p)]


class ServedConnection:
    """A connection to the display; after `start`, a thread hands each event
    to `handle` (an instance of `event_type`) until `stop`."""

    def __init__(self, display_name, event_type):
        self.connection = xlib.XOpenDisplay(display_name.encode())
        if not self.connection:
            raise RuntimeError(f"cannot connect to {display_name}")
        self.root = xlib.XDefaultRootWindow(self.connection)
        self._event = event_type()
        self._stopping = threading.Event()
        self._thread = threading.Thread(target=self._serve, daemon=True)

    def start(self):
        xlib.XFlush(self.connection)
        self._thread.start()

    def _serve(self):
        socket = xlib.XConnectionNumber(self.connection)
        while not self._stopping.is_set():
            select.select([socket], [], [], 0.1)
            while xlib.XPending(self.connection):
                xlib.XNextEvent(self.connection, ctypes.byref(self._event))
                self.handle(self._event)
        xlib.XCloseDisplay(self.connection)

    def handle(self, event):
        raise NotImplementedError

    def stop(self):
        """Before the display goes: Xlib ends the process on a lost connection."""
        self._stopping.set()
        self._thread.join(timeout=10)


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


xlib.XGetImage.restype = ctypes.POINTER(XImage)
xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + [ctypes.c_uint] * 2 + \
                          [ctypes.c_ulong, ctypes.c_int]
xlib.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
ALL_PLANES, Z_PIXMAP = 0xFFFFFFFF, 2


def root_pixels(display_name, width, height):
    """The root window's pixels, as the server holds them: 32-bit pixels of
    a 24-bit screen, blue first. (ImageMagick's `import` made a PNG of each,
    which took most of a waiting test's time.)"""
    connection = xlib.XOpenDisplay(display_name.encode())
    if not connection:
        raise RuntimeError(f"cannot connect to {display_name}")
    try:
        image = xlib.XGetImage(connection, xlib.XDefaultRootWindow(connection), 0, 0, width, height,
                               ALL_PLANES, Z_PIXMAP)
        if not image:
            raise RuntimeError(f"cannot read the screen of {display_name}")
        try:
            shape = image.contents
            if (shape.bits_per_pixel, shape.byte_order) != (32, 0):
                raise RuntimeError(f"unexpected screen format: {shape.bits_per_pixel} bits, order {shape.byte_order}")
            return ctypes.string_at(shape.data, shape.bytes_per_line * shape.height), shape.bytes_per_line
        finally:
            xlib.XDestroyImage(image)
    finally:
        xlib.XCloseDisplay(connection)
