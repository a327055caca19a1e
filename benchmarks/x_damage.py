"""Counts the updates an X window's contents receive, seen from the X server (the DAMAGE extension), so that a
program's repaints can be counted without tracing inside it: each push of a layered window's surface reaches
the X server as one batch of damaged rectangles.

    with DamageCounter(":5", 0x200001) as damage:
        ...
        damage.count()      # batches of damage so far

Through ctypes on libX11 and libXdamage (the X server's own client libraries; Xvfb has the extension).
"""
import ctypes
import select
import threading

_DAMAGE_REPORT_RAW_RECTANGLES = 0
_DAMAGE_NOTIFY = 0
_EVENT_BYTES = 192  # sizeof(XEvent) on 64-bit Linux
_MORE_OFFSET = 52  # XDamageNotifyEvent.more
_POLL_S = 0.2


class DamageCounter:
    def __init__(self, display, window):
        self._x11 = ctypes.CDLL("libX11.so.6")
        self._damage = ctypes.CDLL("libXdamage.so.1")
        self._x11.XOpenDisplay.restype = ctypes.c_void_p
        self._x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self._x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
        self._x11.XPending.argtypes = [ctypes.c_void_p]
        self._x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        self._x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self._damage.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                                       ctypes.POINTER(ctypes.c_int)]
        self._damage.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]
        self._damage.XDamageCreate.restype = ctypes.c_ulong
        self._display_name = display.encode()
        self._window = window
        self._count = 0
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._ready = threading.Event()
        self._error = None
        self._thread = None

    def __enter__(self):
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()
        self._ready.wait(10)
        if self._error:
            raise RuntimeError(self._error)
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join(10)

    def count(self):
        with self._lock:
            return self._count

    def _run(self):
        # One thread owns the connection from its opening to its closing.
        display = self._x11.XOpenDisplay(self._display_name)
        if not display:
            self._error = "the X display cannot be opened"
            self._ready.set()
            return
        try:
            event_base, error_base = ctypes.c_int(), ctypes.c_int()
            if not self._damage.XDamageQueryExtension(display, ctypes.byref(event_base), ctypes.byref(error_base)):
                self._error = "the X server has no DAMAGE extension"
                return
            self._damage.XDamageCreate(display, self._window, _DAMAGE_REPORT_RAW_RECTANGLES)
            self._x11.XSync(display, 0)
            self._ready.set()
            event = ctypes.create_string_buffer(_EVENT_BYTES)
            connection = self._x11.XConnectionNumber(display)
            while not self._stop.is_set():
                select.select([connection], [], [], _POLL_S)
                while self._x11.XPending(display) > 0:
                    self._x11.XNextEvent(display, event)
                    kind = ctypes.c_int.from_buffer(event, 0).value & 0x7F
                    more = ctypes.c_int.from_buffer(event, _MORE_OFFSET).value
                    if kind == event_base.value + _DAMAGE_NOTIFY and not more:
                        with self._lock:
                            self._count += 1
        finally:
            self._ready.set()
            self._x11.XCloseDisplay(display)
