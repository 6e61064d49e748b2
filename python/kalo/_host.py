"""Loading libkalo_host.so, the host layer, and declaring its C interface for ctypes.

The host layer reads recordings, runs the engine over them one window step at
a time and summarises the run, for the kalo program and for this package
alike: the rows it gives here are the program's rows by construction. This
module only converts: texts, statuses and rows.
"""

import ctypes
import json
import os
import pathlib
from ctypes import (CFUNCTYPE, POINTER, Structure, c_bool, c_char, c_char_p, c_double, c_int32, c_int64, c_size_t,
                    c_void_p)

import numpy as np

from . import _library
from ._library import MindData, RawSpectVals, SpectralDataPercents

LIBRARY_ENV = "KALO_HOST_LIBRARY"
_SONAMES = ("libkalo_host.so.1", "libkalo_host.so")

OK, INVALID_ARGUMENT, BAD_RECORDING, ENGINE_REFUSED, STOPPED, INTERNAL = range(6)
STYLE_FLAGS, STYLE_KEYWORDS = 0, 1


class HostStatus(Structure):
    _fields_ = [("code", c_int32), ("message", c_char * 1024)]


class Row(Structure):
    _fields_ = [("time_s", c_double), ("mind", MindData), ("bands", SpectralDataPercents), ("raw", RawSpectVals),
                ("calibration_percent", c_int32), ("both_sides_artifacted", c_bool),
                ("artifacted_sequence", c_bool), ("calibration_finished", c_bool), ("window_start_s", c_double),
                ("events", c_void_p)]


# The C row as numpy sees it: nested records flattened by offset.
ROW_DTYPE = np.dtype({
    "names": ["time_s"] + [f for f, _ in MindData._fields_] + [f for f, _ in SpectralDataPercents._fields_]
             + ["raw_alpha", "raw_beta", "calibration_percent", "both_sides_artifacted", "artifacted_sequence",
                "calibration_finished", "window_start_s", "events"],
    "formats": ["f8"] * 12 + ["i4", "?", "?", "?", "f8", "u8"],
    "offsets": [Row.time_s.offset]
               + [Row.mind.offset + getattr(MindData, f).offset for f, _ in MindData._fields_]
               + [Row.bands.offset + getattr(SpectralDataPercents, f).offset for f, _ in SpectralDataPercents._fields_]
               + [Row.raw.offset + RawSpectVals.alpha.offset, Row.raw.offset + RawSpectVals.beta.offset,
                  Row.calibration_percent.offset, Row.both_sides_artifacted.offset, Row.artifacted_sequence.offset,
                  Row.calibration_finished.offset, Row.window_start_s.offset, Row.events.offset],
    "itemsize": ctypes.sizeof(Row),
})


class _Opaque(Structure):
    pass


class Options(_Opaque):
    pass


class Recording(_Opaque):
    pass


class Session(_Opaque):
    pass


_ST = POINTER(HostStatus)
_OPT, _REC, _SES = POINTER(Options), POINTER(Recording), POINTER(Session)
ROW_CALLBACK = CFUNCTYPE(c_bool, POINTER(Row), c_void_p)
PROGRESS_CALLBACK = CFUNCTYPE(c_bool, c_double, c_void_p)

_PROTOTYPES = {
    "kalo_host_version": (c_char_p, []),
    "kalo_text_free": (None, [c_void_p]),
    "kalo_options_create": (_OPT, [c_int32, _ST]),
    "kalo_options_set": (c_bool, [_OPT, c_char_p, c_char_p, _ST]),
    "kalo_options_free": (None, [_OPT]),
    "kalo_options_keys": (c_void_p, [_ST]),
    "kalo_recording_open": (_REC, [c_char_p, _OPT, _ST]),
    "kalo_recording_describe": (c_void_p, [_REC, _ST]),
    "kalo_recording_read": (c_bool, [_REC, POINTER(c_int32), c_size_t, c_int64, c_int64, POINTER(c_double), _ST]),
    "kalo_recording_free": (None, [_REC]),
    "kalo_analyze_recording": (_SES, [_REC, _OPT, ROW_CALLBACK, PROGRESS_CALLBACK, c_void_p, _ST]),
    "kalo_session_open": (_SES, [_OPT, c_char_p, c_int32, c_size_t, POINTER(c_char_p), _ST]),
    "kalo_session_set_row_callback": (c_bool, [_SES, ROW_CALLBACK, c_void_p, _ST]),
    "kalo_session_add_event": (c_bool, [_SES, c_double, c_double, c_char_p, _ST]),
    "kalo_session_push": (c_bool, [_SES, POINTER(c_double), c_size_t, _ST]),
    "kalo_session_start_calibration": (c_bool, [_SES, _ST]),
    "kalo_session_finish": (c_bool, [_SES, _ST]),
    "kalo_session_row_count": (c_bool, [_SES, POINTER(c_size_t), _ST]),
    "kalo_session_read_rows": (c_bool, [_SES, c_void_p, c_size_t, POINTER(c_size_t), _ST]),
    "kalo_session_summary": (c_void_p, [_SES, c_bool, _ST]),
    "kalo_session_free": (None, [_SES]),
}


def candidates():
    """KALO_HOST_LIBRARY when set; then beside the engine library that was loaded (a build tree keeps
    them in sibling folders, an install in one), beside this package, and the loader's own search."""
    explicit = os.environ.get(LIBRARY_ENV)
    if explicit:
        return [explicit]
    engine = pathlib.Path(_library.path).resolve()
    places = [engine.parent, engine.parent.parent / "host", pathlib.Path(__file__).resolve().parent]
    found = [str(place / name) for place in places for name in _SONAMES if (place / name).exists()]
    return found + list(_SONAMES)


def _load():
    tried = []
    for candidate in candidates():
        try:
            lib = ctypes.CDLL(candidate)
            break
        except OSError as error:
            tried.append(f"{candidate}: {error}")
    else:
        raise ImportError("libkalo_host.so was not found; set KALO_HOST_LIBRARY to its path (for instance "
                          "build/host/libkalo_host.so). Tried:\n  " + "\n  ".join(tried))
    for name, (restype, argtypes) in _PROTOTYPES.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


lib = _load()
path = lib._name


class HostError(Exception):
    """What a failed host call says: its status code and one line."""


def _raise(function, status):
    from .errors import KaloError
    message = status.message.decode("utf-8", "replace")
    if status.code in (INVALID_ARGUMENT, BAD_RECORDING):
        raise ValueError(message)
    if status.code == ENGINE_REFUSED:
        raise KaloError(function, message)
    raise RuntimeError(f"{function}: {message}")


def call(function, *args):
    """Calls a host function with a status as its last argument; raises on failure."""
    status = HostStatus()
    result = getattr(lib, function)(*args, ctypes.byref(status))
    if status.code != OK:
        _raise(function, status)
    return result


def text(function, *args):
    """A host function that returns a text the caller frees."""
    pointer = call(function, *args)
    try:
        return ctypes.string_at(pointer).decode("utf-8", "replace")
    finally:
        lib.kalo_text_free(pointer)


class OptionSet:
    """A kalo_options handle filled from (key, value) pairs, freed with the object."""

    def __init__(self, pairs, style=STYLE_KEYWORDS):
        self.handle = call("kalo_options_create", style)
        try:
            for key, value in pairs:
                call("kalo_options_set", self.handle, key.encode(), str(value).encode())
        except BaseException:
            # Freed here, and not again when the half-made object is collected.
            handle, self.handle = self.handle, None
            lib.kalo_options_free(handle)
            raise

    def __del__(self):
        handle, self.handle = getattr(self, "handle", None), None
        if handle:
            lib.kalo_options_free(handle)


def keys():
    return json.loads(text("kalo_options_keys"))


def drain(session):
    """Every waiting row of a session, as a structured array of ROW_DTYPE, and their events texts."""
    waiting = c_size_t()
    call("kalo_session_row_count", session, ctypes.byref(waiting))
    rows = np.zeros(waiting.value, dtype=ROW_DTYPE)
    got = c_size_t()
    call("kalo_session_read_rows", session, rows.ctypes.data_as(c_void_p), rows.size, ctypes.byref(got))
    # The texts live until the next call on the session.
    events = [ctypes.string_at(int(p)).decode("utf-8", "replace") for p in rows["events"][:got.value]]
    return rows[:got.value], events
