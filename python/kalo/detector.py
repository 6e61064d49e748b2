"""The artifact detector on its own: judges one window of samples at a time."""

import collections
from ctypes import POINTER, byref, c_bool, c_double, c_int

import numpy as np

from . import _convert
from ._owned import Owned
from ._library import DEFAULTS, ArtifactInfo, ArtifactSetting, OutStatus, lib
from .errors import check_status

ARTIFACT_DTYPE = np.dtype(ArtifactInfo)
ArtifactRecord = collections.namedtuple("ArtifactRecord", ["position", "is_start", "type"])
Verdict = collections.namedtuple("Verdict", ["artifacted", "quality"])

NO_ARTIFACT, AMPLITUDE, SPECTRAL = 0, 1, 2  # ArtifactRecord.type
_CLEAR_DATA = "_Z22ArtifactsMathClearDataP14_ArtifactsMath"  # exported under its C++ name only


def _free(handle):
    lib.freeArtifactsMath(handle)


class Detector(Owned):
    """An artifact detector for windows of ``fft_window`` samples (2 x rate by default) at ``rate`` Hz.

    Tune it with ``init()`` (defaults: the engine's artifact settings), optionally
    give it an input filter chain with ``init_filters()``, then ``judge()``
    windows in volts. Failed calls raise KaloError with the library's code.
    A detector takes no lock: use one from one thread at a time.
    """

    def __init__(self, rate, process_win_freq=25, fft_window=None, id=0):
        setting = ArtifactSetting(_convert.int32("rate", rate), _convert.int32("process_win_freq", process_win_freq),
                                  _convert.int32("fft_window", 2 * rate if fft_window is None else fft_window))
        status = OutStatus()
        handle = lib.createArtifactsMath(_convert.int32("id", id), setting, byref(status))
        check_status("createArtifactsMath", status, bool(handle))
        self._own(handle, _free)

    def _call(self, name, *args):
        check_status(name, getattr(lib, name)(self._handle, *args))

    def init(self, amplitude_threshold=None, band_power_threshold=None, bad_samples_percent=None,
             quality_history_length=None):
        """Thresholds: amplitude in microvolts, band power, percent of bad samples that make a window
        artifacted, and the windows the signal quality averages. None keeps the engine's default."""
        defaults = DEFAULTS["artifact_detect"]
        values = {"amplitude_threshold": amplitude_threshold, "band_power_threshold": band_power_threshold,
                  "bad_samples_percent": bad_samples_percent, "quality_history_length": quality_history_length}
        self._call("ArtifactsMathInit", *(_convert.int32(name, getattr(defaults, name) if value is None else value)
                                          for name, value in values.items()))

    def init_filters(self, mains_frequency=50, resistance=False):
        """Filters every judged window first: a mains band-stop (50 or 60 Hz), a 62.5 Hz band-stop when
        ``resistance``, a 10 Hz high-pass and a 30 Hz low-pass (designed for 250 Hz)."""
        self._call("ArtifactsMathInitFilters", _convert.int32("mains_frequency", mains_frequency),
                   int(_convert.flag("resistance", resistance)))

    def judge(self, window):
        """Judges one window (volts, 1-D): Verdict(artifacted, quality percent after it).
        The window is copied, so the caller's array is never filtered in place."""
        samples = np.array(_convert.samples(window, "window"), copy=True)
        if samples.ndim != 1:
            raise ValueError(f"a window is a 1-D array of samples, got shape {samples.shape}")
        artifacted, quality = c_bool(), c_int()
        status = lib.ArtifactsMathIsArtifactedWin(byref(artifacted), byref(quality), self._handle,
                                                  samples.ctypes.data_as(POINTER(c_double)),
                                                  _convert.int32("window length", samples.size), False)
        check_status("ArtifactsMathIsArtifactedWin", status)
        return Verdict(artifacted.value, quality.value)

    @property
    def current_artifact(self):
        """Where the current artifact began or the last one ended (position -1: none in progress)."""
        info = ArtifactInfo()
        self._call("ArtifactsMathReadArtifactInfo", byref(info))
        return ArtifactRecord(info.position, info.is_start, info.type)

    @property
    def artifact_count(self):
        """Starts and ends recorded and not yet read."""
        size = c_int()
        check_status("ArtifactsMathReadArtifactInfoArrSize", lib.ArtifactsMathReadArtifactInfoArrSize(
            byref(size), self._handle))
        return size.value

    def read_artifacts(self):
        """Drains the recorded starts and ends, oldest first (a structured array of ARTIFACT_DTYPE)."""
        out = np.zeros(self.artifact_count, dtype=ARTIFACT_DTYPE)
        size = c_int(out.size)
        self._call("ArtifactsMathReadArtifactInfoArr", out.ctypes.data_as(POINTER(ArtifactInfo)), byref(size))
        return out[:size.value]

    def clear(self):
        """Empties the record list."""
        self._call(_CLEAR_DATA)

    def set_hanning_window(self):
        """Hann weights before the detector's spectral tests."""
        self._call("ArtifactsMathSetHanningWinSpect")

    def set_hamming_window(self):
        """Hamming weights before the detector's spectral tests."""
        self._call("ArtifactsMathSetHammingWinSpect")

    def set_detect_by_total_power(self, threshold):
        """Switches the total-power test on with this limit."""
        self._call("ArtifactsMathSetArtifactDetectByTotalPower", _convert.int32("threshold", threshold))
