"""The emotional-state engine: push samples in volts, process, read levels and band shares."""

import collections
from ctypes import POINTER, byref, c_bool, c_int32

import numpy as np

from . import _convert
from ._owned import Owned
from ._library import (DEFAULTS, ArtifactDetectSetting, MathLibSetting, MentalAndSpectralSetting, MindData,
                       OutStatus, RawChannels, RawChannelsArray, RawSpectVals, ShortArtifactDetectSetting,
                       SpectralDataPercents, lib)
from .errors import check_status

# Each structured array row has exactly the layout of the C record, so the
# library writes straight into numpy's memory.
MIND_DTYPE = np.dtype(MindData)
SPECTRA_DTYPE = np.dtype(SpectralDataPercents)

MindLevels = collections.namedtuple("MindLevels", [name for name, _ in MindData._fields_])
RawValues = collections.namedtuple("RawValues", ["alpha", "beta"])

# Which record each keyword of Engine() belongs to, in the order createMathLib takes them.
_RECORDS = {"math_lib": MathLibSetting, "artifact_detect": ArtifactDetectSetting,
            "short_artifact_detect": ShortArtifactDetectSetting, "mental_and_spectral": MentalAndSpectralSetting}
SETTING_RECORD = {field: record for record, cls in _RECORDS.items() for field, _ in cls._fields_}
# Given as Engine(rate, fft_window, bipolar) rather than by their field names.
_POSITIONAL = {"sampling_rate": "rate", "bipolar_mode": "bipolar"}


def default_settings():
    """The library's exported defaults, as {field: value} (sampling_rate and fft_window are 0 there)."""
    return {field: getattr(DEFAULTS[record], field) for field, record in SETTING_RECORD.items()}


def _records(settings):
    records = {name: cls.from_buffer_copy(DEFAULTS[name]) for name, cls in _RECORDS.items()}
    for field, value in settings.items():
        record = records[SETTING_RECORD[field]]
        if isinstance(getattr(record, field), bool):
            setattr(record, field, _convert.flag(field, value))
        else:
            setattr(record, field, _convert.int32(field, value))
    return records


def _free(handle):
    lib.freeMathLib(handle, None)


class Engine(Owned):
    """One engine of the library, for one recording.

    ``Engine(rate)`` is a bipolar engine (left and right channels) with the
    library's default settings, ``fft_window`` 2 x rate. Every field of the
    four settings records is a keyword (``amplitude_threshold=100``,
    ``mental_estimation_sec=3``, ``channels_number=8`` with ``bipolar=False``,
    ...). Samples are volts. Use it in a ``with`` block, or call ``close()``:
    the engine is freed then (and, failing that, when it is collected).

    Every failed call raises KaloError with the library's code and message.
    The published queues hold at most 150 mental and 200 band records (one
    per window step, 25 a second by default) and keep the newest: read them
    at least every few seconds of samples, as analyze_samples does after
    every step.
    All engines of a process share one lock inside the library, so engines in
    threads take turns; use processes to analyse recordings in parallel.
    """

    def __init__(self, rate, fft_window=None, bipolar=True, **settings):
        for field, keyword in _POSITIONAL.items():
            if field in settings:
                raise TypeError(f"give {field} as Engine's {keyword!r} argument")
        unknown = sorted(set(settings) - set(SETTING_RECORD))
        if unknown:
            raise TypeError(f"unknown engine setting(s) {', '.join(unknown)}; the settings are: "
                            + ", ".join(sorted(set(SETTING_RECORD) - set(_POSITIONAL))))
        rate = _convert.int32("rate", rate)
        settings = dict(settings, sampling_rate=rate, bipolar_mode=_convert.flag("bipolar", bipolar),
                        fft_window=2 * rate if fft_window is None else fft_window)
        records = _records(settings)
        status = OutStatus()
        handle = lib.createMathLib(*records.values(), byref(status))
        check_status("createMathLib", status, bool(handle))
        self._own(handle, _free)
        self.settings = {field: getattr(records[record], field) for field, record in SETTING_RECORD.items()}

    # ------------------------------------------------------------ plumbing

    def _call(self, name, *args):
        status = OutStatus()
        ok = getattr(lib, name)(self._handle, *args, byref(status))
        check_status(name, status, ok)

    def _read(self, name, ctype):
        value = ctype()
        self._call(name, byref(value))
        return value.value

    @property
    def rate(self):
        return self.settings["sampling_rate"]

    @property
    def bipolar(self):
        return self.settings["bipolar_mode"]

    @property
    def window_step(self):
        """Samples between two analysis windows: rate // process_win_freq."""
        return self.rate // self.settings["process_win_freq"]

    # ------------------------------------------------------------ samples

    def push(self, left, right=None):
        """Hands samples (volts) to the engine.

        ``push(left, right)``: two 1-D arrays of equal length (bipolar).
        ``push(samples)``: a 2-D array with one row per sample and one column
        per channel (2 columns bipolar, ``channels_number`` otherwise).
        Any real dtype or memory layout is accepted and converted to
        contiguous float64. The library refuses an empty block (code 1), a
        block with a non-finite sample, and the push function of the other mode.

        The records depend on how the samples are split into pushes (the
        engine's work on a push looks at the newest window it completes):
        push ``window_step`` samples at a time, as analyze_samples does, to get
        what a live host gets.
        """
        if right is not None:
            left = _convert.samples(left, "left")
            right = _convert.samples(right, "right")
            if left.ndim != 1 or right.ndim != 1 or left.shape != right.shape:
                raise ValueError(f"left and right must be 1-D arrays of one length, got shapes {left.shape} "
                                 f"and {right.shape}")
            block = np.column_stack((left, right))
        else:
            block = _convert.samples(left)
            width = 2 if self.bipolar else self.settings["channels_number"]
            if block.ndim != 2 or block.shape[1] != width:
                raise ValueError(f"expected an array of shape (samples, {width}): one row per sample, one column "
                                 f"per channel; got shape {block.shape}")
        self._push_rows(block, bipolar_call=right is not None or self.bipolar)

    def _push_rows(self, block, bipolar_call):
        count = block.shape[0]
        if bipolar_call:
            # An (n, 2) float64 C array is an array of _RawChannels {left, right}.
            self._call("MathLibPushData", block.ctypes.data_as(POINTER(RawChannels)), count)
        else:
            # One _RawChannelsArray (a pointer to the row's first value) per row.
            rows = np.uintp(block.ctypes.data) + np.arange(count, dtype=np.uintp) * np.uintp(block.strides[0])
            self._call("MathLibPushDataArr", rows.ctypes.data_as(POINTER(RawChannelsArray)), count)

    def process(self):
        """Processes every analysis window the pushed samples complete."""
        self._call("MathLibProcessDataArr")

    def process_window(self):
        """Processes the most recently scheduled window again; the schedule does not move."""
        self._call("MathLibProcessWindow")

    def process_data(self, side):
        """Runs the spectral step of one side on the most recently scheduled window."""
        self._call("MathLibProcessData", _convert.side(side))

    # ------------------------------------------------------------ calibration and artifacts

    def start_calibration(self):
        """Starts a calibration over the next clean windows; relative levels stay 0 until it finishes."""
        self._call("MathLibStartCalibration")

    @property
    def calibration_finished(self):
        return self._read("MathLibCalibrationFinished", c_bool)

    @property
    def calibration_percent(self):
        return self._read("MathLibGetCallibrationPercents", c_int32)

    def set_calibration_length(self, seconds):
        self._call("MathLibSetCallibrationLength", _convert.int32("seconds", seconds))

    def is_artifacted_window(self, side, flag=False):
        """Asks a side's detector about the most recently scheduled window."""
        artifacted = c_bool()
        self._call("MathLibIsArtifactedWin", _convert.side(side), bool(flag), byref(artifacted))
        return artifacted.value

    @property
    def artifacted_sequence(self):
        """True while the artifacted run has lasted longer than artifact_sequence_sec."""
        return self._read("MathLibIsArtifactedSequence", c_bool)

    @property
    def both_sides_artifacted(self):
        """True when the last window was artifacted on every side or channel."""
        return self._read("MathLibIsBothSidesArtifacted", c_bool)

    # ------------------------------------------------------------ results

    @property
    def spectra_size(self):
        """Band-share records waiting in the published queue."""
        return self._read("MathLibReadSpectralDataPercentsArrSize", c_int32)

    @property
    def mental_size(self):
        """Mental-level records waiting in the published queue."""
        return self._read("MathLibReadMentalDataArrSize", c_int32)

    def _drain(self, size_name, read_name, dtype, record):
        size = self._read(size_name, c_int32)
        out = np.zeros(size, dtype=dtype)
        if size:
            count = c_int32(size)
            self._call(read_name, out.ctypes.data_as(POINTER(record)), byref(count))
            out = out[:count.value]
        return out

    def read_spectra(self, as_frame=False):
        """Drains the published band values: one row per window, fields delta .. gamma (fractions)."""
        return _convert.table(self._drain("MathLibReadSpectralDataPercentsArrSize",
                                          "MathLibReadSpectralDataPercentsArr", SPECTRA_DTYPE,
                                          SpectralDataPercents), as_frame)

    def read_mental(self, as_frame=False):
        """Drains the published levels: one row per window, relative and instantaneous attention and
        relaxation, percent."""
        return _convert.table(self._drain("MathLibReadMentalDataArrSize", "MathLibReadMentalDataArr",
                                          MIND_DTYPE, MindData), as_frame)

    def read_average_mental(self, count=0):
        """Mean of the ``count`` newest levels still waiting in the published queue (those read_mental
        would return); the last window's own levels when count is 0 or more than are waiting. The queue
        is not drained."""
        out = MindData()
        self._call("MathLibReadAverageMentalData", _convert.int32("count", count), byref(out))
        return MindLevels(*(getattr(out, name) for name in MindLevels._fields))

    def read_raw(self):
        """Averaged alpha and beta band values before their division by the total."""
        out = RawSpectVals()
        self._call("MathLibReadRawSpectralVals", byref(out))
        return RawValues(out.alpha, out.beta)

    # ------------------------------------------------------------ setters

    def set_hamming_window(self):
        self._call("MathLibSetHammingWinSpect")

    def set_hanning_window(self):
        self._call("MathLibSetHanningWinSpect")

    def set_skip_windows_after_artifact(self, windows):
        """Clean windows that repeat the previous records after an artifact."""
        self._call("MathLibSetSkipWinsAfterArtifact", _convert.int32("windows", windows))

    def set_mental_estimation_mode(self, ratios):
        """False: instantaneous levels are the beta and alpha shares; True: 1 - alpha/beta and
        alpha / (2 theta + beta)."""
        self._call("MathLibSetMentalEstimationMode", _convert.flag("ratios", ratios))

    def set_priority_side(self, side):
        """The side analysed first in bipolar mode ('left', 'right', or 'none')."""
        self._call("MathLibSetPrioritySide", _convert.side(side))

    def set_zero_spect_waves(self, delta, theta, alpha, beta, gamma, active=True):
        """Integer band weights applied when the band values are read: 0 drops a band, and the
        rest are rescaled to add up to 1."""
        weights = [_convert.int32(name, value) for name, value in
                   zip(("delta", "theta", "alpha", "beta", "gamma"), (delta, theta, alpha, beta, gamma))]
        self._call("MathLibSetZeroSpectWaves", _convert.flag("active", active), *weights)

    def set_weights_for_spectra(self, delta, theta, alpha, beta, gamma):
        """Band divisors used while normalisation by coefficients is on."""
        self._call("MathLibSetWeightsForSpectra", *(float(w) for w in (delta, theta, alpha, beta, gamma)))

    def set_normalization_by_band_width(self, on):
        self._call("MathLibSetSpectNormalizationByBandsWidth", _convert.flag("on", on))

    def set_normalization_by_coeffs(self, on):
        self._call("MathLibSetSpectNormalizationByCoeffs", _convert.flag("on", on))

