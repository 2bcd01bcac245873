"""The one duty of a window manager that Wine waits for: the WM_STATE of
each top-level window, Normal once it is mapped and Withdrawn once it is
unmapped. With no window manager on the virtual display, Wine gives up after
two seconds each time it hides or destroys a window; the Windows viewer does
so as it ends."""

import ctypes

from xlib import EventHeader, ServedConnection, xlib

MAP_NOTIFY, UNMAP_NOTIFY = 19, 18
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
WITHDRAWN, NORMAL = 0, 1

# A window may be gone before its state is set: X errors are ignored (Xlib's
# own handler would end the process).
_IGNORE_ERRORS = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda display, error: 0)
xlib.XSetErrorHandler(_IGNORE_ERRORS)


class _MapEvent(ctypes.Structure):  # XMapEvent and XUnmapEvent begin alike
    _fields_ = EventHeader._fields_ + [("event", ctypes.c_ulong), ("window", ctypes.c_ulong),
                                       ("override_redirect", ctypes.c_int)]


class _Event(ctypes.Union):
    _fields_ = [("map", _MapEvent), ("pad", ctypes.c_long * 24)]


class WindowStates(ServedConnection):
    """Sets WM_STATE on the display's top-level windows until stopped."""

    def __init__(self, display_name):
        super().__init__(display_name, _Event)
        self._wm_state = xlib.XInternAtom(self.connection, b"WM_STATE", 0)
        xlib.XSelectInput(self.connection, self.root, SUBSTRUCTURE_NOTIFY_MASK)
        self.start()

    def handle(self, event):
        if event.map.type == MAP_NOTIFY and not event.map.override_redirect:
            self._set(event.map.window, NORMAL)
        elif event.map.type == UNMAP_NOTIFY:
            self._set(event.map.window, WITHDRAWN)

    def _set(self, window, state):
        data = (ctypes.c_long * 2)(state, 0)  # the state and no icon window
        xlib.XChangeProperty(self.connection, window, self._wm_state, self._wm_state, 32, 0, data, 2)
        xlib.XFlush(self.connection)
