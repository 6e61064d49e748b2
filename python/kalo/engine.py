"""The emotional-state engine: push samples in volts, process, read levels and band shares."""

import collections
import ctypes
import weakref
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

    Two ways to drive it:

    - ``feed(samples)``: samples of any length go to the host layer, which
      pushes them one window step at a time and drains both queues after
      each, exactly as ``kalo analyze`` does; every record comes back, as a
      structured array of kalo.WINDOW_DTYPE. Call it as often as samples
      arrive. This is the way to analyse a stream.
    - ``push``, ``process`` and the readers: the engine's own C interface,
      call by call. The published queues hold at most 150 mental and 200
      band records (one per window step, 25 a second by default) and keep
      the newest: what is pushed and processed beyond that before a read is
      lost. Read them at least every few seconds of samples.

    An engine is driven one way or the other, not both. Every failed call
    raises KaloError with the library's code and message.
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
        self._setters = []                # host options for feed(), from the setters called before it
        self._normalization = [None, None]  # (by band width, by coefficients), as last set
        self._calibrate = False             # start_calibration() before the first feed()
        self._session = None                # the host layer's session once feed() is used
        self._pushed = 0                    # samples pushed through push()
        self._times = collections.deque()   # (records, time_s) of each process() call, oldest first

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
        """Sampling rate, Hz."""
        return self.settings["sampling_rate"]

    @property
    def bipolar(self):
        """True for a bipolar engine (left and right), False for a multichannel one."""
        return self.settings["bipolar_mode"]

    # ------------------------------------------------------------ the host layer's driver

    def _direct(self, what):
        if self._session is not None:
            raise RuntimeError(f"{what}: this engine is driven by feed(); use feed() and its records")

    def _channel_names(self):
        return ["left", "right"] if self.bipolar else [f"ch{i}" for i in range(self.settings["channels_number"])]

    def _open_session(self):
        from . import _host
        from .analysis import _RECORD_FIELDS
        if self._pushed:
            raise RuntimeError("feed: this engine was driven by push(); feed() drives an engine from its start")
        names = self._channel_names()
        pairs = [("left", "left"), ("right", "right")] if self.bipolar else [
            ("channels", ",".join(names)), ("analysis_channel", names[self.settings["channel_for_analysis"]])]
        pairs.append(("calibrate_at", "0" if self._calibrate else "never"))
        pairs.append(("fft_window", self.settings["fft_window"]))
        for field, key in _RECORD_FIELDS.items():
            value = self.settings[field]
            pairs.append((key, ("true" if value else "false") if isinstance(value, bool) else value))
        width, coeffs = self._normalization
        if (width, coeffs) != (None, None):
            if width and coeffs:
                raise RuntimeError("feed: normalisation by band width and by coefficients are both on; "
                                   "the host layer takes one of width, coeffs or none")
            pairs.append(("normalize", "width" if width else "coeffs" if coeffs else "none"))
        self._options = _host.OptionSet(pairs + self._setters)
        c_names = (ctypes.c_char_p * len(names))(*[n.encode() for n in names])
        self._session = _host.call("kalo_session_open", self._options.handle, b"engine", self.rate, len(names),
                                   c_names)
        self._session_finalizer = weakref.finalize(self, _host.lib.kalo_session_free, self._session)

    def close(self):
        """Frees the engine (and the host layer's session of feed()). Later calls raise KaloError."""
        finalizer = getattr(self, "_session_finalizer", None)
        if finalizer is not None:
            finalizer()
        super().close()

    def feed(self, left, right=None):
        """Analyses samples (volts) of any length and returns every record they complete.

        The same arrays as push() take. The host layer pushes them one window
        step at a time and drains both queues after each, as ``kalo
        analyze`` does, so nothing is lost however much is fed at once;
        samples short of a whole step wait for the next call. Returns a
        structured array of kalo.WINDOW_DTYPE (``time_s`` is the samples fed
        so far when the record was published, divided by the rate).
        Settings and setters are those given before the first call; a
        calibration runs when start_calibration() is called (before or
        between calls).
        """
        from . import _host
        from .analysis import _rows
        block = self._block(left, right)
        if self._session is None:
            self._open_session()
        _host.call("kalo_session_push", self._session, block.ctypes.data_as(POINTER(ctypes.c_double)),
                   block.shape[0])
        rows, events = _host.drain(self._session)
        return _rows(rows, events)

    @property
    def window_step(self):
        """Samples between two analysis windows: rate // process_win_freq."""
        return self.rate // self.settings["process_win_freq"]

    # ------------------------------------------------------------ samples

    def _block(self, left, right):
        if right is not None:
            left = _convert.samples(left, "left")
            right = _convert.samples(right, "right")
            if left.ndim != 1 or right.ndim != 1 or left.shape != right.shape:
                raise ValueError(f"left and right must be 1-D arrays of one length, got shapes {left.shape} "
                                 f"and {right.shape}")
            if not self.bipolar:
                raise ValueError("left and right are for a bipolar engine; give a (samples, channels) array")
            return np.column_stack((left, right))
        block = _convert.samples(left)
        width = 2 if self.bipolar else self.settings["channels_number"]
        if block.ndim != 2 or block.shape[1] != width:
            raise ValueError(f"expected an array of shape (samples, {width}): one row per sample, one column "
                             f"per channel; got shape {block.shape}")
        return block

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
        push ``window_step`` samples at a time, as feed() does, to get what a
        live host gets. The queues keep the newest 150 mental and 200 band
        records: push and process more than that before reading and the
        older records are lost without a word (feed() loses nothing).
        """
        self._direct("push")
        block = self._block(left, right)
        self._push_rows(block, bipolar_call=right is not None or self.bipolar)
        self._pushed += block.shape[0]

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
        self._direct("process")
        before = self._read("MathLibReadMentalDataArrSize", c_int32)
        self._call("MathLibProcessDataArr")
        added = self._read("MathLibReadMentalDataArrSize", c_int32) - before
        if added > 0:
            self._times.append([added, self._pushed / self.rate])

    def process_window(self):
        """Processes the most recently scheduled window again; the schedule does not move."""
        self._call("MathLibProcessWindow")

    def process_data(self, side):
        """Runs the spectral step of one side on the most recently scheduled window."""
        self._call("MathLibProcessData", _convert.side(side))

    # ------------------------------------------------------------ calibration and artifacts

    def start_calibration(self):
        """Starts a calibration over the next clean windows (with feed(), at the next window step);
        the relative levels stay 0 until one has finished."""
        if self._session is not None:
            from . import _host
            _host.call("kalo_session_start_calibration", self._session)
            return
        self._calibrate = True
        self._call("MathLibStartCalibration")

    @property
    def calibration_finished(self):
        """True once a calibration has finished (it stays true)."""
        self._direct("calibration_finished")
        return self._read("MathLibCalibrationFinished", c_bool)

    @property
    def calibration_percent(self):
        """Progress of the running calibration, percent (100 once finished)."""
        self._direct("calibration_percent")
        return self._read("MathLibGetCallibrationPercents", c_int32)

    def _setter(self, pair, name, *args):
        if self._session is not None:
            raise RuntimeError(f"{name}: the setters apply before the first feed()")
        if pair is not None:
            self._setters.append(pair)
        self._call(name, *args)

    def set_calibration_length(self, seconds):
        """Clean seconds a calibration covers (8 by default)."""
        seconds = _convert.int32("seconds", seconds)
        self._setter(("calibration_sec", seconds), "MathLibSetCallibrationLength", seconds)

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
        relaxation, percent. With ``as_frame=True``, a DataFrame whose first column ``time_s`` is the
        samples pushed when the record was published divided by the rate (records the queue dropped
        before this read have no row)."""
        levels = self._drain("MathLibReadMentalDataArrSize", "MathLibReadMentalDataArr", MIND_DTYPE, MindData)
        times = self._record_times(levels.size)
        if not as_frame:
            return levels
        frame = _convert.table(levels, as_frame)
        frame.insert(0, "time_s", times)
        return frame

    def _record_times(self, count):
        """The times of the ``count`` newest records published, oldest first; forgets them."""
        times = [t for n, t in self._times for _ in range(n)][-count:] if count else []
        self._times.clear()
        return np.array(times, dtype=np.float64)

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
        """Hamming weights before the spectra of the engine and its detectors."""
        self._setter(("hamming", "true"), "MathLibSetHammingWinSpect")

    def set_hanning_window(self):
        """Hann weights before the spectra of the engine and its detectors."""
        self._setter(("hanning", "true"), "MathLibSetHanningWinSpect")

    def set_skip_windows_after_artifact(self, windows):
        """Clean windows that repeat the previous records after an artifact."""
        windows = _convert.int32("windows", windows)
        self._setter(("skip_after_artifact", windows), "MathLibSetSkipWinsAfterArtifact", windows)

    def set_mental_estimation_mode(self, ratios):
        """False: instantaneous levels are the beta and alpha shares; True: 1 - alpha/beta and
        alpha / (2 theta + beta)."""
        ratios = _convert.flag("ratios", ratios)
        self._setter(("mental_mode", "ratios" if ratios else "shares"), "MathLibSetMentalEstimationMode", ratios)

    def set_priority_side(self, side):
        """The side analysed first in bipolar mode ('left', 'right', or 'none')."""
        side = _convert.side(side)
        self._setter(("priority", side.name.lower()), "MathLibSetPrioritySide", side)

    def set_zero_spect_waves(self, delta, theta, alpha, beta, gamma, active=True):
        """Integer band weights applied when the band values are read: 0 drops a band, and the
        rest are rescaled to add up to 1."""
        weights = [_convert.int32(name, value) for name, value in
                   zip(("delta", "theta", "alpha", "beta", "gamma"), (delta, theta, alpha, beta, gamma))]
        active = _convert.flag("active", active)
        pair = ("zero_waves", ",".join(map(str, weights) if active else ["1"] * 5))
        self._setter(pair, "MathLibSetZeroSpectWaves", active, *weights)

    def set_weights_for_spectra(self, delta, theta, alpha, beta, gamma):
        """Band divisors used while normalisation by coefficients is on."""
        weights = [float(w) for w in (delta, theta, alpha, beta, gamma)]
        self._setter(("weights", ",".join(map(repr, weights))), "MathLibSetWeightsForSpectra", *weights)

    def set_normalization_by_band_width(self, on):
        """Band values divided by their band's width in bins (on by default)."""
        on = _convert.flag("on", on)
        self._setter(None, "MathLibSetSpectNormalizationByBandsWidth", on)
        self._normalization[0] = on

    def set_normalization_by_coeffs(self, on):
        """Band values divided by the weights of set_weights_for_spectra."""
        on = _convert.flag("on", on)
        self._setter(None, "MathLibSetSpectNormalizationByCoeffs", on)
        self._normalization[1] = on

