"""When the virtual display was drawn on, by the X server's own clock.

Every frame the viewer presents draws on the screen, even an unchanged one,
and the Damage extension reports it with the server's time. So the gaps
between reports are the viewer's frame times as the server saw them, however
late this process reads them: a busy machine can't make a slow frame look
fast here."""

import bisect
import ctypes
import threading

from xlib import EventHeader, ServedConnection, xlib

PROPERTY_NOTIFY = 28
PROPERTY_CHANGE_MASK = 1 << 22
DAMAGE_NOTIFY = 0  # added to the extension's event base
REPORT_NON_EMPTY = 3  # one report each time the damage, cleared after it, is drawn on again

_damage = ctypes.CDLL("libXdamage.so.1")
_damage.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                          ctypes.POINTER(ctypes.c_int)]
_damage.XDamageCreate.restype = ctypes.c_ulong
_damage.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]
_damage.XDamageSubtract.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]


class _PropertyEvent(ctypes.Structure):
    _fields_ = EventHeader._fields_ + [("window", ctypes.c_ulong), ("atom", ctypes.c_ulong),
                                       ("time", ctypes.c_ulong), ("state", ctypes.c_int)]


class _DamageEvent(ctypes.Structure):
    _fields_ = EventHeader._fields_ + [("drawable", ctypes.c_ulong), ("damage", ctypes.c_ulong),
                                       ("level", ctypes.c_int), ("more", ctypes.c_int),
                                       ("timestamp", ctypes.c_ulong)]


class _Event(ctypes.Union):
    _fields_ = [("header", EventHeader), ("property", _PropertyEvent), ("damage", _DamageEvent),
                ("pad", ctypes.c_long * 24)]


class FrameClock(ServedConnection):
    """Records the server time of every drawing on the display until stopped;
    `now` reads the server's clock, to mark when a key went down or up."""

    def __init__(self, display_name):
        super().__init__(display_name, _Event)
        event_base, error_base = ctypes.c_int(), ctypes.c_int()
        if not _damage.XDamageQueryExtension(self.connection, ctypes.byref(event_base), ctypes.byref(error_base)):
            raise RuntimeError(f"{display_name} has no Damage extension")
        self._damage_event = event_base.value + DAMAGE_NOTIFY
        self._damage = _damage.XDamageCreate(self.connection, self.root, REPORT_NON_EMPTY)
        # An unmapped window whose property changes come back with the time.
        self._marker = xlib.XCreateSimpleWindow(self.connection, self.root, 0, 0, 1, 1, 0, 0, 0)
        self._atom = xlib.XInternAtom(self.connection, b"TILEMAP_FRAME_CLOCK", 0)
        xlib.XSelectInput(self.connection, self._marker, PROPERTY_CHANGE_MASK)
        self._drawn = []  # server milliseconds, in order
        self._marks = []
        self._marked = threading.Condition()
        self.start()

    def handle(self, event):
        if event.header.type == self._damage_event:
            self._drawn.append(event.damage.timestamp)
            _damage.XDamageSubtract(self.connection, self._damage, 0, 0)
            xlib.XFlush(self.connection)
        elif event.header.type == PROPERTY_NOTIFY:
            with self._marked:
                self._marks.append(event.property.time)
                self._marked.notify_all()

    def now(self, timeout=30):
        """The server's time in milliseconds, read by a round trip."""
        with self._marked:
            count = len(self._marks)
            data = ctypes.c_long(0)
            xlib.XChangeProperty(self.connection, self._marker, self._atom, self._atom, 32, 0,
                                 ctypes.byref(data), 1)
            xlib.XFlush(self.connection)
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
