"""The one duty of a window manager that Wine waits for: the WM_STATE of
each top-level window, Normal once it is mapped and Withdrawn once it is
unmapped. With no window manager on the virtual display, Wine gives up after
two seconds each time it hides or destroys a window; the Windows viewer does
so as it ends."""

import ctypes
import select
import threading

MAP_NOTIFY, UNMAP_NOTIFY = 19, 18
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
WITHDRAWN, NORMAL = 0, 1

_xlib = ctypes.CDLL("libX11.so.6")
_xlib.XInitThreads()  # this thread and the test's own Xlib calls
_xlib.XOpenDisplay.restype = ctypes.c_void_p
_xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
_xlib.XDefaultRootWindow.restype = ctypes.c_ulong
_xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_xlib.XInternAtom.restype = ctypes.c_ulong
_xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_xlib.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
_xlib.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                  ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
_xlib.XConnectionNumber.argtypes = _xlib.XPending.argtypes = [ctypes.c_void_p]
_xlib.XFlush.argtypes = _xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
_xlib.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
# A window may be gone before its state is set: X errors are ignored (Xlib's
# own handler would end the process).
_IGNORE_ERRORS = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda display, error: 0)
_xlib.XSetErrorHandler(_IGNORE_ERRORS)


class _MapEvent(ctypes.Structure):  # XMapEvent and XUnmapEvent begin alike
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("event", ctypes.c_ulong), ("window", ctypes.c_ulong),
                ("override_redirect", ctypes.c_int)]


class _Event(ctypes.Union):
    _fields_ = [("map", _MapEvent), ("pad", ctypes.c_long * 24)]


class WindowStates:
    """Sets WM_STATE on the display's top-level windows until stopped."""

    def __init__(self, display_name):
        self._connection = _xlib.XOpenDisplay(display_name.encode())
        if not self._connection:
            raise RuntimeError(f"cannot connect to {display_name}")
        self._wm_state = _xlib.XInternAtom(self._connection, b"WM_STATE", 0)
        _xlib.XSelectInput(self._connection, _xlib.XDefaultRootWindow(self._connection), SUBSTRUCTURE_NOTIFY_MASK)
        _xlib.XFlush(self._connection)
        self._stopping = threading.Event()
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def _serve(self):
        event = _Event()
        socket = _xlib.XConnectionNumber(self._connection)
        while not self._stopping.is_set():
            select.select([socket], [], [], 0.1)
            while _xlib.XPending(self._connection):
                _xlib.XNextEvent(self._connection, ctypes.byref(event))
                if event.map.type == MAP_NOTIFY and not event.map.override_redirect:
                    self._set(event.map.window, NORMAL)
                elif event.map.type == UNMAP_NOTIFY:
                    self._set(event.map.window, WITHDRAWN)
        _xlib.XCloseDisplay(self._connection)

    def _set(self, window, state):
        data = (ctypes.c_long * 2)(state, 0)  # the state and no icon window
        _xlib.XChangeProperty(self._connection, window, self._wm_state, self._wm_state, 32, 0, data, 2)
        _xlib.XFlush(self._connection)

    def stop(self):
        """Before the display goes: Xlib ends the process on a lost connection."""
        self._stopping.set()
        self._thread.join(timeout=10)
