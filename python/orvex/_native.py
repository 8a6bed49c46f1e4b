"""ctypes declarations of the C API (orvex/orvex_client.h) and the library look-up."""

import ctypes
import ctypes.util
import os
import sys

ORVEX_OK = 0
E_TIMEOUT = -4
E_BUS_LOST = -6
E_TOPIC = -9

LINK_CLASSIC = 0
LINK_V2 = 1
ROLE_PUBLISHER = 1
ROLE_SUBSCRIBER = 2

EVENT_VALUE = 1
EVENT_TEXT = 2
EVENT_TOPIC_REQUEST = 3
EVENT_TOPIC_CLOSED = 4
EVENT_REFRESH = 5
EVENT_DISCONNECT = 6
EVENT_BUS_LOST = 7


class Value(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("int32", ctypes.c_int32),
        ("int64", ctypes.c_int64),
        ("number", ctypes.c_double),
        ("boolean", ctypes.c_int),
        ("text", ctypes.POINTER(ctypes.c_char)),
        ("length", ctypes.c_size_t),
    ]


class Event(ctypes.Structure):
    _fields_ = [
        ("kind", ctypes.c_int),
        ("handle", ctypes.c_uint32),
        ("text", ctypes.c_char_p),
        ("value", Value),
        ("items", ctypes.POINTER(ctypes.c_uint32)),
        ("item_count", ctypes.c_size_t),
    ]


HANDLER = ctypes.CFUNCTYPE(None, ctypes.POINTER(Event), ctypes.c_void_p)

if sys.platform == "win32":
    _NAMES = ["orvex_client.dll"]
else:
    _NAMES = ["liborvex_client.so", "liborvex_client.so.4"]


def _candidates():
    """Where the library is looked for: ORVEX_CLIENT_LIBRARY, beside this module, in
    the library folder of an installed tree (the module in <prefix>/lib/python/orvex, the
    library in <prefix>/lib, or <prefix>/bin on Windows), then the system's usual
    library path."""
    named = os.environ.get("ORVEX_CLIENT_LIBRARY")
    if named:
        return [named]
    here = os.path.dirname(os.path.abspath(__file__))
    lib_dir = os.path.dirname(os.path.dirname(here))
    folders = [here, lib_dir, os.path.join(os.path.dirname(lib_dir), "bin")]
    found = [os.path.join(folder, name) for folder in folders for name in _NAMES]
    found = [path for path in found if os.path.exists(path)]
    system = ctypes.util.find_library("orvex_client")
    return found + ([system] if system else []) + _NAMES


def load():
    """Loads the shared library and declares its functions; OSError when none loads."""
    errors = []
    for candidate in _candidates():
        try:
            lib = ctypes.CDLL(candidate)
        except OSError as error:
            errors.append(f"{candidate}: {error}")
            continue
        _declare(lib)
        return lib
    raise OSError("the Orvex client library was not found (set ORVEX_CLIENT_LIBRARY): "
                  + "; ".join(errors))


def _declare(lib):
    client_p = ctypes.c_void_p
    u32 = ctypes.c_uint32
    signatures = {
        "orvex_error_text": (ctypes.c_char_p, [ctypes.c_int]),
        "orvex_connect": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_int, u32,
                                         ctypes.POINTER(client_p)]),
        "orvex_register": (ctypes.c_int, [client_p, ctypes.c_char_p, ctypes.c_char_p,
                                          ctypes.c_int, u32]),
        "orvex_last_status": (ctypes.c_char_p, [client_p]),
        "orvex_request_topic": (ctypes.c_int, [client_p, u32, ctypes.c_char_p]),
        "orvex_close_topic": (ctypes.c_int, [client_p, u32]),
        "orvex_refresh": (ctypes.c_int, [client_p, ctypes.POINTER(u32), ctypes.c_size_t]),
        "orvex_publish_int32": (ctypes.c_int, [client_p, u32, ctypes.c_int32]),
        "orvex_publish_int64": (ctypes.c_int, [client_p, u32, ctypes.c_int64]),
        "orvex_publish_double": (ctypes.c_int, [client_p, u32, ctypes.c_double]),
        "orvex_publish_bool": (ctypes.c_int, [client_p, u32, ctypes.c_int]),
        "orvex_publish_text": (ctypes.c_int, [client_p, u32, ctypes.c_char_p]),
        "orvex_publish_bytes": (ctypes.c_int, [client_p, u32, ctypes.c_char_p,
                                               ctypes.c_size_t]),
        "orvex_publish_date": (ctypes.c_int, [client_p, u32, ctypes.c_int32]),
        "orvex_publish_datetime": (ctypes.c_int, [client_p, u32, ctypes.c_int64]),
        "orvex_poll": (ctypes.c_int, [client_p, ctypes.POINTER(Event), u32]),
        "orvex_poll_batch": (ctypes.c_int, [client_p, ctypes.POINTER(Event), ctypes.c_size_t,
                                            ctypes.POINTER(ctypes.c_size_t), u32]),
        "orvex_set_handler": (ctypes.c_int, [client_p, HANDLER, ctypes.c_void_p]),
        "orvex_set_receive_limit": (ctypes.c_int, [client_p, ctypes.c_uint64]),
        "orvex_disconnect_reason": (ctypes.c_char_p, [client_p]),
        "orvex_close": (ctypes.c_int, [client_p, ctypes.c_char_p, u32]),
    }
    for name, (restype, argtypes) in signatures.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
