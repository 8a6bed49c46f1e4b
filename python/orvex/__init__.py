"""Python client of the Orvex RTD Bus, over the C library orvex_client.

    import orvex
    with orvex.Bus() as bus:                  # the default bus, classic link
        bus.subscribe("@BUS:TICKER")
        for event in bus:                     # values (and the other events) as they come
            print(event.topic, event.value)

A publisher registers with its SID, waits for topic requests and publishes under the
topic id each request carries (see publish). Texts are UTF-8 here and 8-bit on the bus.
"""

import ctypes
import datetime
import sys
import threading
import time

from . import _native

__all__ = ["Bus", "Event", "OrvexError", "LinkEnded", "OrvexTimeout", "DEFAULT_BUS"]

DEFAULT_BUS = "Local\\Vantel"

# Texts pass through unchanged on Linux (any bytes survive a round trip); Windows uses
# the ANSI code page, whose codec knows no escapes.
if sys.platform == "win32":
    _ENCODING, _ERRORS = "mbcs", "replace"
else:
    _ENCODING, _ERRORS = "utf-8", "surrogateescape"
_EPOCH = datetime.date(1970, 1, 1)
_KINDS = {
    _native.EVENT_VALUE: "value",
    _native.EVENT_TEXT: "text",
    _native.EVENT_TOPIC_REQUEST: "topic_request",
    _native.EVENT_TOPIC_CLOSED: "topic_closed",
    _native.EVENT_REFRESH: "refresh",
    _native.EVENT_DISCONNECT: "disconnect",
    _native.EVENT_BUS_LOST: "bus_lost",
}
TYPE_NAMES = {0: "empty", 1: "int32", 2: "int64", 3: "double", 4: "bool", 5: "text",
              6: "wtext", 7: "bytes", 8: "date", 9: "datetime", 10: "textlist",
              12: "text2", 13: "wtext2", 14: "list"}

_lib = None
_lib_lock = threading.Lock()


def library():
    """The loaded C library (loaded on first use)."""
    global _lib
    with _lib_lock:
        if _lib is None:
            _lib = _native.load()
        return _lib


def _encode(text, what="text"):
    """The bytes the C library gets; a NUL would end the text there, so it is refused."""
    raw = text.encode(_ENCODING, _ERRORS)
    if b"\0" in raw:
        raise ValueError(f"{what} contains a NUL character")
    return raw


_U32 = (0, 2**32 - 1)
_I64 = (-2**63, 2**63 - 1)


def _in_range(number, bounds, what):
    """`number` when it is an int within `bounds`; ValueError otherwise (ctypes would
    silently wrap it)."""
    if isinstance(number, bool) or not isinstance(number, int):
        raise TypeError(f"{what} must be an int, not {type(number).__name__}")
    if not bounds[0] <= number <= bounds[1]:
        raise ValueError(f"{what} {number} is out of range {bounds[0]}..{bounds[1]}")
    return number


def _decode(raw):
    return raw.decode(_ENCODING, _ERRORS) if raw is not None else ""


class OrvexError(Exception):
    """A call of the C library failed; `code` is its ORVEX_E_* code."""

    def __init__(self, code, what):
        self.code = code
        text = _decode(library().orvex_error_text(code))
        super().__init__(f"{what}: {text}")


class LinkEnded(OrvexError):
    """The link ended: the bus closed it (`reason`: its goodbye, e.g. "Server shutting
    down") or is gone (`reason`: "silent", or why it counts as gone). Raised by
    iteration, values() and poll() once every event before was taken; `code` is
    E_BUS_LOST (-6)."""

    def __init__(self, reason):
        self.reason = reason
        super().__init__(_native.E_BUS_LOST, "link ended" + (f" ({reason})" if reason else ""))


class OrvexTimeout(OrvexError, TimeoutError):
    """Nothing arrived within the time-out given to iteration or values(); `code` is
    E_TIMEOUT (-4)."""

    def __init__(self, what):
        super().__init__(_native.E_TIMEOUT, what)


class Event:
    """One thing received from the bus. Its `kind`, and the fields each kind fills:

    "value" (subscriber): handle (yours), topic (the text subscribed with), value (int,
        float, bool, str, bytes, datetime.date or datetime.datetime in UTC) and type
        (its type name: "int32", "int64", "double", "bool", "text", "bytes", "date",
        "datetime", ...).
    "text" (subscriber): handle, topic, text (a text message of the bus).
    "topic_request" (publisher): handle (the bus's topic id, to publish under) and
        text (the topic without "@SID:").
    "topic_closed" (publisher): handle (a topic id nobody wants any more).
    "refresh" (publisher): items (the topic ids whose values to send again).
    "disconnect": text (the bus's reason for ending the link); the last event.
    "bus_lost": text (why the bus counts as gone); the last event.
    Fields a kind does not fill are None, "" or ()."""

    __slots__ = ("kind", "handle", "topic", "text", "value", "type", "items")

    def __init__(self, kind, handle, topic=None, text="", value=None, type=None, items=()):
        self.kind = kind
        self.handle = handle
        self.topic = topic
        self.text = text
        self.value = value
        self.type = type
        self.items = items

    def __repr__(self):
        return (f"Event({self.kind!r}, handle={self.handle}, topic={self.topic!r}, "
                f"text={self.text!r}, value={self.value!r}, type={self.type!r})")


def _value_of(v):
    raw = ctypes_string(v.text, v.length)
    if v.type == 1:
        return v.int32
    if v.type == 2:
        return v.int64
    if v.type == 3:
        return v.number
    if v.type == 4:
        return bool(v.boolean)
    if v.type == 7:
        return raw
    if v.type == 8:
        return _EPOCH + datetime.timedelta(days=v.int32)
    if v.type == 9:
        return datetime.datetime.fromtimestamp(v.int64, tz=datetime.timezone.utc)
    return _decode(raw)


def ctypes_string(pointer, length):
    return ctypes.string_at(pointer, length) if length else b""


class Bus:
    """A link to a bus. Bus(name, v2=False, timeout=10.0) connects at once; close() (or
    leaving a with-block) sends the goodbye, waits until the bus has everything that was
    sent and closes. Methods raise OrvexError on failure. One thread at a time should
    iterate or poll; publishing is safe from any thread."""

    def __init__(self, name=DEFAULT_BUS, v2=False, timeout=10.0):
        """Connects to the bus `name`, waiting up to `timeout` seconds for it to appear
        (a bus started at the same time is waited for)."""
        self._lib = library()
        self._client = ctypes.c_void_p()
        self._topics = {}
        self._next_handle = 1
        self._registered = False
        self._batch = None  # poll_batch's event array, kept for the next call
        link = _native.LINK_V2 if v2 else _native.LINK_CLASSIC
        self._check(self._lib.orvex_connect(_encode(name, "bus name"), link, _ms(timeout),
                                            ctypes.byref(self._client)), "connect")

    def _check(self, code, what):
        if code != _native.ORVEX_OK:
            raise OrvexError(code, what)

    def _live(self):
        if not self._client:
            raise ValueError("the link is closed")
        return self._client

    def register(self, sid="", name="python client", publisher=False, subscriber=False,
                 timeout=10.0):
        """Registers once; publishers need a SID. OrvexError with the bus's status text
        when it refuses."""
        roles = (_native.ROLE_PUBLISHER if publisher else 0) | \
                (_native.ROLE_SUBSCRIBER if subscriber else 0)
        code = self._lib.orvex_register(self._live(), _encode(sid, "SID"),
                                        _encode(name, "client name"), roles, _ms(timeout))
        if code != _native.ORVEX_OK:
            status = _decode(self._lib.orvex_last_status(self._client))
            raise OrvexError(code, f"register {sid!r}" + (f" ({status})" if status else ""))
        self._registered = True

    def subscribe(self, topic, handle=None):
        """Asks for `topic` (e.g. "@BUS:TICKER"); registers as a subscriber first if this
        link has not registered. Returns the handle its values carry."""
        raw = _encode(topic, "topic")
        if handle is not None:
            _in_range(handle, _U32, "handle")
        if not self._registered:
            self.register(subscriber=True)
        if handle is None:
            while self._next_handle in self._topics:
                self._next_handle += 1
            handle = self._next_handle
        self._check(self._lib.orvex_request_topic(self._live(), handle, raw),
                    f"subscribe {topic!r}")
        self._topics[handle] = topic
        return handle

    def unsubscribe(self, handle):
        _in_range(handle, _U32, "handle")
        self._check(self._lib.orvex_close_topic(self._live(), handle), "unsubscribe")
        self._topics.pop(handle, None)

    def refresh(self, handles):
        handles = [_in_range(handle, _U32, "handle") for handle in handles]
        items = (ctypes.c_uint32 * len(handles))(*handles)
        self._check(self._lib.orvex_refresh(self._live(), items, len(handles)), "refresh")

    def publish(self, topic_id, value):
        """Publishes `value` for the bus's topic `topic_id` (from a "topic_request"):
        bool, int (int32 when it fits, else int64), float, str, bytes,
        datetime.datetime (seconds, UTC when naive) or datetime.date. ValueError for
        what the bus cannot carry as given (an int beyond 64 bits, a text with a NUL, an
        id beyond 32 bits) rather than a changed value; OrvexError E_TOPIC (-9) for an
        id the bus never asked this link for."""
        c = self._live()
        lib = self._lib
        _in_range(topic_id, _U32, "topic id")
        if isinstance(value, bool):
            code = lib.orvex_publish_bool(c, topic_id, int(value))
        elif isinstance(value, int):
            if -2**31 <= value < 2**31:
                code = lib.orvex_publish_int32(c, topic_id, value)
            else:
                code = lib.orvex_publish_int64(c, topic_id, _in_range(value, _I64, "value"))
        elif isinstance(value, float):
            code = lib.orvex_publish_double(c, topic_id, value)
        elif isinstance(value, str):
            code = lib.orvex_publish_text(c, topic_id, _encode(value))
        elif isinstance(value, (bytes, bytearray)):
            code = lib.orvex_publish_bytes(c, topic_id, bytes(value), len(value))
        elif isinstance(value, datetime.datetime):
            if value.tzinfo is None:
                value = value.replace(tzinfo=datetime.timezone.utc)
            code = lib.orvex_publish_datetime(c, topic_id, int(value.timestamp()))
        elif isinstance(value, datetime.date):
            code = lib.orvex_publish_date(c, topic_id, (value - _EPOCH).days)
        else:
            raise TypeError(f"cannot publish a {type(value).__name__}")
        self._check(code, "publish")

    def poll(self, timeout=1.0):
        """The next event, or None when none came within `timeout` seconds. Raises
        LinkEnded (an OrvexError, code E_BUS_LOST) once the link has ended and every
        event was taken."""
        raw = _native.Event()
        code = self._lib.orvex_poll(self._live(), ctypes.byref(raw), _ms(timeout))
        if code == _native.E_TIMEOUT:
            return None
        if code == _native.E_BUS_LOST:
            raise LinkEnded(_decode(self._lib.orvex_disconnect_reason(self._client)))
        self._check(code, "poll")
        return self._event_of(raw)

    def poll_batch(self, max_events=256, timeout=1.0):
        """A list of up to `max_events` events: waits up to `timeout` seconds for the
        first, then takes every event already received behind it, in order, without
        waiting more; the rest stay for the next call. Empty when none came. Raises
        LinkEnded as poll() does once the link has ended and every event was taken."""
        if max_events < 1:
            raise ValueError("max_events must be at least 1")
        if self._batch is None or len(self._batch) < max_events:
            self._batch = (_native.Event * max_events)()
        count = ctypes.c_size_t(0)
        code = self._lib.orvex_poll_batch(self._live(), self._batch, max_events,
                                          ctypes.byref(count), _ms(timeout))
        if code == _native.E_TIMEOUT:
            return []
        if code == _native.E_BUS_LOST:
            raise LinkEnded(_decode(self._lib.orvex_disconnect_reason(self._client)))
        self._check(code, "poll_batch")
        return [self._event_of(self._batch[i]) for i in range(count.value)]

    def _event_of(self, raw):
        kind = _KINDS.get(raw.kind, "unknown")
        event = Event(kind, raw.handle, text=_decode(raw.text))
        if kind in ("value", "text"):
            event.topic = self._topics.get(raw.handle)
        if kind == "value":
            event.value = _value_of(raw.value)
            event.type = TYPE_NAMES.get(raw.value.type, "unknown")
        if kind == "refresh":
            event.items = tuple(raw.items[i] for i in range(raw.item_count))
        return event

    def __iter__(self):
        """Every event as it comes; see events()."""
        return self.events()

    def events(self, timeout=None):
        """Every event as it comes. When the link ends the last event ("disconnect" or
        "bus_lost") is yielded and the next step raises LinkEnded with its reason: a
        loop over the bus never ends as if all went well. With `timeout` (seconds),
        OrvexTimeout when no event came for that long."""
        while True:
            event = self.poll(1.0 if timeout is None else timeout)
            if event is not None:
                yield event
            elif timeout is not None:
                raise OrvexTimeout(f"no event within {timeout} s")

    def values(self, count=None, timeout=None):
        """(topic, value) of each value received, `count` of them or for ever. Raises
        LinkEnded when the link ends first and, with `timeout` (seconds), OrvexTimeout
        when no value came for that long."""
        seen = 0
        if count is not None and count <= 0:
            return
        while True:
            event = self._next_value(timeout)
            seen += 1
            yield event.topic, event.value
            if count is not None and seen >= count:
                return

    def _next_value(self, timeout):
        deadline = None if timeout is None else time.monotonic() + timeout
        while True:
            left = 1.0 if deadline is None else max(0.0, deadline - time.monotonic())
            event = self.poll(left)
            if event is not None and event.kind == "value":
                return event
            if deadline is not None and time.monotonic() >= deadline:
                raise OrvexTimeout(f"no value within {timeout} s")

    @property
    def disconnect_reason(self):
        """Why the bus ended the link, or "" while it is up."""
        return _decode(self._lib.orvex_disconnect_reason(self._live()))

    def close(self, reason=None, timeout=5.0):
        """Says goodbye, waits up to `timeout` seconds until the bus has everything sent,
        and closes; OrvexError (E_TIMEOUT) when the bus did not take it all in time."""
        if not self._client:
            return
        raw = _encode(reason, "reason") if reason else None
        client, self._client = self._client, None
        code = self._lib.orvex_close(client, raw, _ms(timeout))
        self._check(code, "close")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        if getattr(self, "_client", None):
            self._lib.orvex_close(self._client, None, 1000)


def _ms(seconds):
    return max(0, min(int(seconds * 1000), 0xFFFFFFFF))
