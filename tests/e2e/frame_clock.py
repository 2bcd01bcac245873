"""When the virtual display was drawn on, by the X server's own clock.

Every frame the viewer presents draws on the screen, even an unchanged one,
and the Damage extension reports it with the server's time. So the gaps
between reports are the viewer's frame times as the server saw them, however
late this process reads them: a busy machine can't make a slow frame look
fast here."""

import bisect
import ctypes
import select
import threading

PROPERTY_NOTIFY = 28
PROPERTY_CHANGE_MASK = 1 << 22
DAMAGE_NOTIFY = 0  # added to the extension's event base
REPORT_NON_EMPTY = 3  # one report each time the damage, cleared after it, is drawn on again

_xlib = ctypes.CDLL("libX11.so.6")
_xlib.XInitThreads()  # this thread and the test's own Xlib calls
_damage = ctypes.CDLL("libXdamage.so.1")
_xlib.XOpenDisplay.restype = ctypes.c_void_p
_xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
_xlib.XDefaultRootWindow.restype = ctypes.c_ulong
_xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_xlib.XCreateSimpleWindow.restype = ctypes.c_ulong
_xlib.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 4 + \
                                     [ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
_xlib.XInternAtom.restype = ctypes.c_ulong
_xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_xlib.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
_xlib.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                  ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
_xlib.XConnectionNumber.argtypes = _xlib.XPending.argtypes = [ctypes.c_void_p]
_xlib.XFlush.argtypes = _xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
_xlib.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
_damage.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                          ctypes.POINTER(ctypes.c_int)]
_damage.XDamageCreate.restype = ctypes.c_ulong
_damage.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]
_damage.XDamageSubtract.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]


class _Header(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p)]


class _PropertyEvent(ctypes.Structure):
    _fields_ = _Header._fields_ + [("window", ctypes.c_ulong), ("atom", ctypes.c_ulong),
                                   ("time", ctypes.c_ulong), ("state", ctypes.c_int)]


class _DamageEvent(ctypes.Structure):
    _fields_ = _Header._fields_ + [("drawable", ctypes.c_ulong), ("damage", ctypes.c_ulong),
                                   ("level", ctypes.c_int), ("more", ctypes.c_int),
                                   ("timestamp", ctypes.c_ulong)]


class _Event(ctypes.Union):
    _fields_ = [("header", _Header), ("property", _PropertyEvent), ("damage", _DamageEvent),
                ("pad", ctypes.c_long * 24)]


class FrameClock:
    """Records the server time of every drawing on the display until stopped;
    `now` reads the server's clock, to mark when a key went down or up."""

    def __init__(self, display_name):
        self._connection = _xlib.XOpenDisplay(display_name.encode())
        if not self._connection:
            raise RuntimeError(f"cannot connect to {display_name}")
        event_base, error_base = ctypes.c_int(), ctypes.c_int()
        if not _damage.XDamageQueryExtension(self._connection, ctypes.byref(event_base), ctypes.byref(error_base)):
            raise RuntimeError(f"{display_name} has no Damage extension")
        self._damage_event = event_base.value + DAMAGE_NOTIFY
        root = _xlib.XDefaultRootWindow(self._connection)
        self._damage = _damage.XDamageCreate(self._connection, root, REPORT_NON_EMPTY)
        # An unmapped window whose property changes come back with the time.
        self._marker = _xlib.XCreateSimpleWindow(self._connection, root, 0, 0, 1, 1, 0, 0, 0)
        self._atom = _xlib.XInternAtom(self._connection, b"TILEMAP_FRAME_CLOCK", 0)
        _xlib.XSelectInput(self._connection, self._marker, PROPERTY_CHANGE_MASK)
        _xlib.XFlush(self._connection)
        self._drawn = []  # server milliseconds, in order
        self._marks = []
        self._marked = threading.Condition()
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
                if event.header.type == self._damage_event:
                    self._drawn.append(event.damage.timestamp)
                    _damage.XDamageSubtract(self._connection, self._damage, 0, 0)
                    _xlib.XFlush(self._connection)
                elif event.header.type == PROPERTY_NOTIFY:
                    with self._marked:
                        self._marks.append(event.property.time)
                        self._marked.notify_all()
        _xlib.XCloseDisplay(self._connection)

    def now(self, timeout=30):
        """The server's time in milliseconds, read by a round trip."""
        with self._marked:
            count = len(self._marks)
            data = ctypes.c_long(0)
            _xlib.XChangeProperty(self._connection, self._marker, self._atom, self._atom, 32, 0,
                                  ctypes.byref(data), 1)
            _xlib.XFlush(self._connection)
            if not self._marked.wait_for(lambda: len(self._marks) > count, timeout):
                raise AssertionError(f"the X server did not answer within {timeout} s")
            return self._marks[count]

    def drawn(self, start, end):
        """The server times of the drawings from the last one before `start`
        to the first one after `end`; None until one follows `end`."""
        drawn = list(self._drawn)
        last = bisect.bisect_right(drawn, end)
        if last >= len(drawn):
            return None
        return drawn[max(bisect.bisect_left(drawn, start) - 1, 0):last + 1]

    def stop(self):
        """Before the display goes: Xlib ends the process on a lost connection."""
        self._stopping.set()
        self._thread.join(timeout=10)
