"""IIR filters, filter lists and the library's catalogue of ready-made filters."""

import collections
from ctypes import POINTER, byref, c_bool, c_double, c_int

import numpy as np

from . import _convert
from ._owned import Owned
from ._library import FilterParam, lib
from .errors import KaloError

KINDS = ("HP", "LP", "BS", "BP")  # _FilterType 0..3: high-pass, low-pass, band-stop, band-pass
CatalogueEntry = collections.namedtuple("CatalogueEntry", ["kind", "frequency", "rate"])


def _flagged(function, *args, message):
    """Calls a filter function; its error flag carries no message, so the caller says what went wrong."""
    error = c_bool()
    result = getattr(lib, function)(*args, byref(error))
    if error.value:
        raise KaloError(function, message)
    return result


def _text(text):
    if not isinstance(text, str):
        raise TypeError(f"a coefficient text is a str, not {type(text).__name__}")
    if "\0" in text:
        raise ValueError("a coefficient text cannot hold a NUL character")
    return text.encode("ascii")


def _run(function, handle, values, what):
    """Filters a scalar (returns a float) or a 1-D array (returns a new array)."""
    samples = _convert.samples(values)
    failed = f"the {what} could not filter the samples" + (" (it was closed)" if handle is None else "")
    if samples.ndim == 0:
        return _flagged(function, handle, float(samples), message=failed)
    if samples.ndim != 1:
        raise ValueError(f"filters take a scalar or a 1-D array, got shape {samples.shape}")
    out = samples.copy()  # filtered in place by the library
    _flagged(function + "_array", handle, out.ctypes.data_as(POINTER(c_double)),
             _convert.int32("sample count", out.size), message=failed)
    return out


class _Handle(Owned):
    _delete = None

    def _own(self, handle):
        super()._own(handle, lambda h, delete=getattr(lib, self._delete): delete(h, None))

    def _do(self, function, *args):
        closed = " (it was closed)" if self._handle is None else ""
        return _flagged(function, self._handle, *args, message=f"{function} failed{closed}")


class Filter(_Handle):
    """A filter from a coefficient text ("K = gain" and "Term N:" sections), or from the catalogue with
    ``Filter.preinstalled("LP", 30, 250)``. Call it on a sample or a 1-D array; it keeps its state
    between calls."""

    _delete = "delete_TFilter"

    def __init__(self, text):
        self._own(_flagged("create_custom_TFilter", _text(text),
                           message="the library could not build a filter from the coefficient text"))

    @classmethod
    def preinstalled(cls, kind, frequency, rate):
        """The catalogue's ``kind`` (HP, LP, BS, BP) filter at ``frequency`` Hz for ``rate`` Hz."""
        kind = str(kind).upper()
        if kind not in KINDS:
            raise ValueError(f"kind must be one of {', '.join(KINDS)}, not {kind!r}")
        param = FilterParam(KINDS.index(kind), _convert.int32("rate", rate), float(frequency))
        self = cls.__new__(cls)
        self._own(_flagged("create_TFilter_by_param", param,
                           message=f"the catalogue holds no {kind} filter at {frequency} Hz for {rate} Hz "
                                   "(kalo.catalogue() lists those it holds)"))
        return self

    def filter(self, samples):
        """Filters a number or an array of samples, carrying the state on: the filtered values, as a
        float or a new float64 array (the input is not changed)."""
        return _run("TFilter_Filter", self._handle, samples, "filter")

    __call__ = filter

    def reset(self):
        """Zeroes the delay states."""
        self._do("TFilter_Reset")

    def clear_params(self):
        """Removes every section and sets the gain to 1: samples pass unchanged."""
        self._do("TFilter_ClearParams")

    def set_params(self, text):
        """New gain and sections from a coefficient text (copies added to lists later keep the old ones)."""
        self._do("TFilter_SetParams", _text(text))

    @property
    def id(self):
        """The filter's identity, 1000..9999, drawn at random (not unique)."""
        return self._do("getID_TFilter")


class FilterList(_Handle):
    """Filters applied one after another. The list keeps its own copies of the filters added."""

    _delete = "delete_TFilterList"

    def __init__(self, filters=()):
        self._own(_flagged("create_TFilterList", message="the library could not create a filter list"))
        for f in filters:
            self.add(f)

    def add(self, filter):
        """Appends a copy of ``filter`` to the chain; the list keeps its own copy, with the filter's
        coefficients and a new identity, so the filter stays the caller's."""
        if not isinstance(filter, Filter):
            raise TypeError(f"only kalo.Filter objects can be added, not {type(filter).__name__}")
        self._do("TFilterList_AddFilter", filter._handle)

    def filter(self, samples):
        """Runs a number or an array of samples through every filter of the chain in turn."""
        return _run("TFilterList_Filter", self._handle, samples, "filter list")

    __call__ = filter

    def reset(self):
        """Zeroes the delay states of every filter of the chain."""
        self._do("TFilterList_Reset")

    def clear(self):
        """Removes every filter; the list stays usable."""
        self._do("TFilter_List_ClearFilters")

    def remove(self, id):
        """Removes the list's filter with this identity (the last one when several share it; nothing when
        none has it). The copies a list makes get identities of their own, which the library does not
        report, so a Filter's ``id`` does not name its copy in a list: to change a list, clear() it and
        add the filters again."""
        self._do("TFilterList_Delete_TFilter", _convert.int32("id", id))


def catalogue():
    """Every preinstalled filter as CatalogueEntry(kind, frequency Hz, rate Hz)."""
    count = c_int()
    _flagged("get_preinstalled_filter_count", byref(count), message="the catalogue could not be read")
    entries = (FilterParam * count.value)()
    _flagged("get_preinstalled_filter_list", entries, message="the catalogue could not be read")
    return [CatalogueEntry(KINDS[e.filter_type], e.frequency, e.sampling_rate) for e in entries]
