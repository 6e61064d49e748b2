"""Whole-recording analysis, through the host layer (libkalo_host).

The host layer reads the recording, pushes its samples to an engine one
window step at a time (rate // process_win_freq samples, the distance between
two analysis windows), drains both published queues after every push and
summarises the run. A record's time is the number of samples pushed when it
was published divided by the rate: the moment a live host would have received
it. The ``kalo analyze`` program runs the same code, so the two give the same
rows, bit for bit, for every format the layer reads. This module converts
keywords to the layer's options, arrays to its blocks, and its rows and
summary to numpy and dicts.
"""

import ctypes
import dataclasses
import errno
import json
import math
import os

import numpy as np

from . import _convert, _host
from .engine import MIND_DTYPE, SPECTRA_DTYPE

# One row per published record: the columns of `kalo analyze`, the events under its window last.
WINDOW_DTYPE = np.dtype(
    [("time_s", "f8")] + MIND_DTYPE.descr + SPECTRA_DTYPE.descr
    + [("raw_alpha", "f8"), ("raw_beta", "f8"), ("calibration_percent", "i4"),
       ("both_sides_artifacted", "?"), ("artifacted_sequence", "?"), ("events", "O")])

UNITS_PER_VOLT = {"V": 1.0, "mV": 1e3, "uV": 1e6, "µV": 1e6, "microvolts": 1e6}
NORMALIZATIONS = ("width", "coeffs", "none")


@dataclasses.dataclass
class Analysis:
    """What one analysis gives.

    ``windows``: one row per record the engine published (structured array,
    fields of WINDOW_DTYPE; ``frame()`` gives a DataFrame). ``summary``: one
    flat dict (SUMMARY_COLUMNS, from the host layer's summary). ``signal``: the samples given to the engine,
    one column per channel, volts (None when not kept).
    """

    recording: str
    rate: int
    channels: list
    bipolar: bool
    analysis_channel: str
    settings: dict
    windows: np.ndarray
    summary: dict
    signal: np.ndarray = None

    def frame(self):
        """The rows as a pandas DataFrame, one column per field of WINDOW_DTYPE."""
        return _convert.table(self.windows, as_frame=True)


def _key(name):
    """Channel names match ignoring case and surrounding dots and spaces (EDF labels like "O1..")."""
    return str(name).strip(". ").casefold()


def pick(names, wanted, source):
    """Index of a channel by name (or index), with an error that lists the channels."""
    if isinstance(wanted, (int, np.integer)):
        if not 0 <= wanted < len(names):
            raise ValueError(f"{source}: no channel number {wanted}; it has {len(names)}")
        return int(wanted)
    keys = [_key(n) for n in names]
    if _key(wanted) not in keys:
        raise ValueError(f"{source}: no channel {wanted!r}; its channels are: {', '.join(map(str, names))}")
    return keys.index(_key(wanted))


# Keywords of the engine's settings records and what the host layer calls them.
_RECORD_FIELDS = {
    "process_win_freq": "process_win_freq", "n_first_sec_skipped": "skip_first_sec",
    "use_power_spectrum": "power_spectrum", "amplitude_threshold": "amplitude_threshold",
    "bad_samples_percent": "bad_samples_percent", "band_power_threshold": "band_power_threshold",
    "total_power_threshold": "total_power_threshold", "artifact_sequence_sec": "artifact_sequence_sec",
    "detect_by_total_power": "detect_by_total_power", "use_hanning": "hanning", "use_hamming": "hamming",
    "quality_history_length": "quality_history_length", "peak_win_ms": "peak_win_ms",
    "peak_area_ms": "peak_area_ms", "peak_threshold": "peak_threshold",
    "mental_estimation_sec": "mental_estimation_sec", "spectral_averaging_sec": "spectral_averaging_sec",
}
# A keyword left out, where None has a meaning of its own.
_UNSET = object()
_FIXED = {"sampling_rate", "bipolar_mode", "channels_number", "channel_for_analysis"}


def _value(value):
    """A keyword's value as the option text the host layer parses (repr keeps every bit of a float)."""
    if isinstance(value, (bool, np.bool_)):
        return "true" if value else "false"
    if isinstance(value, (float, np.floating)):
        return repr(float(value))
    return str(value)


def _option_pairs(calibrate_at=_UNSET, calibration_length=None, priority_side=None, mental_ratios=None,
                  normalization=None, weights=None, zero_waves=None, skip_after_artifact=None, fft_window=None,
                  events=None, settings=None, **fields):
    """Keywords as (host key, text) pairs. A settings file (``settings=``) goes first; the keywords
    given with it win over it, as flags do over ``kalo analyze --settings``."""
    pairs = [] if settings is None else [("settings", os.fspath(settings))]
    # Not given, the host layer's own default (0 s) applies, or the file's.
    if calibrate_at is not _UNSET:
        pairs.append(("calibrate_at", "never" if calibrate_at is None else _value(calibrate_at)))
    for key, value in (("calibration_sec", calibration_length), ("skip_after_artifact", skip_after_artifact),
                       ("fft_window", fft_window)):
        if value is not None:
            pairs.append((key, _convert.int32(key, value)))
    if priority_side is not None:
        pairs.append(("priority", _convert.side(priority_side).name.lower()))
    if mental_ratios is not None:
        pairs.append(("mental_mode", "ratios" if _convert.flag("mental_ratios", mental_ratios) else "shares"))
    if normalization is not None:
        if normalization not in NORMALIZATIONS:
            raise ValueError(f"normalization must be one of {', '.join(NORMALIZATIONS)}, not {normalization!r}")
        pairs.append(("normalize", normalization))
    for key, values in (("weights", weights), ("zero_waves", zero_waves)):
        if values is not None:
            values = list(values)
            if len(values) != 5:
                raise ValueError(f"{key} takes five values (delta, theta, alpha, beta, gamma)")
            pairs.append((key, ",".join(_value(v) for v in values)))
    for file in ([] if events is None else [events] if isinstance(events, (str, os.PathLike)) else events):
        pairs.append(("events", os.fspath(file)))
    for name, value in fields.items():
        if name in _FIXED:
            raise TypeError(f"{name} follows from the recording and the channels; it is not a keyword here")
        key = _RECORD_FIELDS.get(name, name if name in _RECORD_FIELDS.values() else None)
        if key is None:
            raise TypeError(f"unknown engine setting {name}; the settings are: "
                            + ", ".join(sorted(_RECORD_FIELDS)))
        pairs.append((key, _value(value) if isinstance(value, (bool, np.bool_)) else _convert.int32(name, value)))
    return pairs


def _channel_pairs(names, left, right, channels, analysis_channel, source):
    """The channel choice as host options; indices become the names they point at."""
    def name(wanted):
        return names[pick(names, wanted, source)] if isinstance(wanted, (int, np.integer)) else str(wanted)
    if isinstance(channels, str):
        channels = [c for c in channels.split(",") if c.strip()]
    if channels is not None:
        if left is not None or right is not None:
            raise ValueError("give either left and right (bipolar) or channels (multichannel), not both")
        pairs = [("channels", ",".join(name(c) for c in channels))]
        if analysis_channel is not None:
            pairs.append(("analysis_channel", name(analysis_channel)))
        return pairs
    if left is None and right is None:
        return []
    if left is None or right is None:
        raise ValueError("a bipolar pair needs both left and right")
    return [("left", name(left)), ("right", name(right))]


def _rows(rows, events):
    """Host rows as WINDOW_DTYPE."""
    windows = np.zeros(rows.size, dtype=WINDOW_DTYPE)
    for field in WINDOW_DTYPE.names:
        if field != "events":
            windows[field] = rows[field]
    windows["events"] = events
    return windows


def _summary_row(summary):
    """The host's summary (JSON) as one flat row; NaN rather than None where the calibration did not
    start or finish, so the columns of a study stay numeric."""
    calibration = summary["calibration"]
    means = summary["means"]
    row = {
        "recording": summary["recording"],
        "mode": summary["mode"],
        "channels": (" / " if summary["mode"] == "bipolar" else ", ").join(summary["channels"]),
        "rate_hz": summary["rate_hz"],
        "duration_s": summary["duration_s"],
        "windows": summary["windows"],
        "judged_windows": summary["judged_windows"],
        "artifacted_share": summary["artifacted_share"],
        "artifacted_sequence_share": summary["artifacted_sequence_share"],
        "calibration_started_s": math.nan if calibration["started_s"] is None else calibration["started_s"],
        "calibration_finished_s": math.nan if calibration["finished_s"] is None else calibration["finished_s"],
        "settled_windows": means["windows"],
    }
    for level in LEVELS:
        row["mean_" + level] = means[level] if means["windows"] else math.nan
    return row


def _result(session, source, signal):
    rows, events = _host.drain(session)
    summary = json.loads(_host.text("kalo_session_summary", session, True))
    settings = summary["settings"]
    channels = summary["channels"]
    bipolar = summary["mode"] == "bipolar"
    analysed = channels[0 if bipolar else settings["channel_for_analysis"]]
    return Analysis(source, summary["rate_hz"], channels, bipolar, analysed, settings, _rows(rows, events),
                    _summary_row(summary), signal)


def _free_session(session):
    if session:
        _host.lib.kalo_session_free(session)


LEVELS = ("rel_attention", "rel_relaxation", "inst_attention", "inst_relaxation")
# The fields of a summary row, in order (see Analysis.summary).
SUMMARY_COLUMNS = ["recording", "mode", "channels", "rate_hz", "duration_s", "windows", "judged_windows",
                   "artifacted_share", "artifacted_sequence_share", "calibration_started_s",
                   "calibration_finished_s", "settled_windows"] + ["mean_" + level for level in LEVELS]


def analyze_samples(samples, rate, *, names=None, bipolar=True, analysis_channel=0, recording="samples",
                    keep_signal=True, **options):
    """Analyses samples (volts) with one row per sample: 2 columns (left, right) when ``bipolar``,
    otherwise one column per channel with ``analysis_channel`` (index or name) analysed.

    The samples go to the host layer's block entry, which pushes them one
    window step at a time, as ``kalo analyze`` does. Keywords:
    ``calibrate_at`` (seconds at which a calibration starts, None: never;
    0 by default), the setters ``calibration_length`` (s), ``priority_side``,
    ``mental_ratios``, ``normalization`` ('width' | 'coeffs' | 'none'),
    ``weights`` and ``zero_waves`` (five values each), ``skip_after_artifact``
    (windows); ``fft_window`` and the fields of the engine's settings records
    (``amplitude_threshold=100``, ...); ``events`` (events files);
    ``settings`` (a settings file, as ``kalo fit`` and ``kalo analyze
    --print-settings`` write it; the other keywords win over it). Returns an
    Analysis.
    """
    data = _convert.samples(samples)
    if data.ndim != 2 or (bipolar and data.shape[1] != 2) or data.shape[0] == 0:
        raise ValueError(f"expected samples of shape (samples, {'2' if bipolar else 'channels'}), "
                         f"got {data.shape}")
    rate = _convert.int32("rate", rate)
    names = [str(n) for n in (names if names is not None else range(data.shape[1]))]
    if len(names) != data.shape[1]:
        raise ValueError(f"{len(names)} names for {data.shape[1]} channels")
    if bipolar:
        choice = [("left", names[0]), ("right", names[1])]
    else:
        choice = [("channels", ",".join(names)), ("analysis_channel", names[pick(names, analysis_channel, recording)])]
    if len({_key(n) for n in names}) != len(names):
        raise ValueError(f"{recording}: two channels share a name ({', '.join(names)}); give distinct names=")
    holder = _host.OptionSet(choice + _option_pairs(**options))
    c_names = (ctypes.c_char_p * len(names))(*[n.encode() for n in names])
    session = _host.call("kalo_session_open", holder.handle, str(recording).encode(), rate, len(names), c_names)
    try:
        _host.call("kalo_session_push", session, data.ctypes.data_as(ctypes.POINTER(ctypes.c_double)),
                   data.shape[0])
        _host.call("kalo_session_finish", session)
        return _result(session, recording, data if keep_signal else None)
    finally:
        _free_session(session)


def read_csv(path, rate=None, units=None):
    """Reads a CSV recording as ``kalo analyze`` reads it: a header line naming the columns, then one row
    per sample. A column named ``t`` holds seconds and gives the rate (the median spacing, which must be
    within 0.5 % of a whole number of hertz); without it give ``rate``. The other columns are channels in
    ``units`` (V, mV, uV, µV or microvolts; volts when not given, refused when the values cannot be volts).
    Returns (samples in volts with one column per channel,
    channel names, rate).
    """
    recording = _open(path, _read_pairs(rate, units))
    try:
        info = json.loads(_host.text("kalo_recording_describe", recording))
        return _read_all(recording, info, range(len(info["channels"]))), [c["name"] for c in info["channels"]], \
            int(info["channels"][0]["rate_hz"])
    finally:
        _host.lib.kalo_recording_free(recording)


def _read_pairs(rate, units, resample=None):
    pairs = [("units", units)] if units is not None else []
    if rate is not None:
        pairs.append(("rate", _convert.int32("rate", rate)))
    if resample is not None:
        pairs.append(("resample", _convert.int32("resample", resample)))
    return pairs


def _open(path, read_pairs, style=_host.STYLE_KEYWORDS):
    path = os.fspath(path)
    if not os.path.exists(path):
        raise FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), path)
    holder = _host.OptionSet(read_pairs, style)
    return _host.call("kalo_recording_open", path.encode(), holder.handle)


def _read_all(recording, info, columns):
    columns = list(columns)
    count = min(info["channels"][c]["samples"] for c in columns) if columns else 0
    out = np.zeros((count, len(columns)))
    chosen = (ctypes.c_int32 * len(columns))(*columns)
    _host.call("kalo_recording_read", recording, chosen, len(columns), 0, count,
               out.ctypes.data_as(ctypes.POINTER(ctypes.c_double)))
    return out


def analyze_raw(raw, left="O1", right="O2", *, channels=None, analysis_channel=None, **options):
    """Analyses an MNE Raw object (its data are volts): the bipolar pair ``left``/``right``, or, with
    ``channels``, those channels in multichannel mode. Names match ignoring case and surrounding dots.
    The samples go through the host layer's block entry. Options as for analyze_samples."""
    if channels is not None and (left, right) == ("O1", "O2"):
        left = right = None
    source = options.pop("recording", None) or (raw.filenames[0] if raw.filenames and raw.filenames[0] else "raw")
    sfreq = float(raw.info["sfreq"])
    if sfreq != round(sfreq):
        raise ValueError(f"{source}: the engine takes whole sampling rates, this recording has {sfreq} Hz "
                         "(resample it first, e.g. raw.resample(250))")
    if isinstance(channels, str):
        channels = [c for c in channels.split(",") if c.strip()]
    names = list(raw.ch_names)
    if channels is not None:
        if left is not None or right is not None:
            raise ValueError("give either left and right (bipolar) or channels (multichannel), not both")
        columns = [pick(names, c, source) for c in channels]
        chosen = [names[i] for i in columns]
        analysed = 0 if analysis_channel is None else pick(chosen, analysis_channel, source)
        bipolar = False
    else:
        if left is None or right is None:
            raise ValueError("a bipolar pair needs both left and right")
        columns, bipolar, analysed = [pick(names, left, source), pick(names, right, source)], True, 0
    data = raw.get_data(picks=columns).T
    names = [names[i].strip(". ") for i in columns]
    return analyze_samples(data, int(sfreq), names=names, bipolar=bipolar, analysis_channel=analysed,
                           recording=str(source), **options)


# Formats the host layer reads itself; anything else goes through MNE.
HOST_FORMATS = (".edf", ".bdf", ".rec", ".csv", ".txt", ".vhdr")


def analyze_file(path, left=None, right=None, *, channels=None, analysis_channel=None, rate=None, units=None,
                 resample=None, keep_signal=True, **options):
    """Analyses a recording file: EDF, EDF+, BDF, BDF+, CSV, BrainVision (.vhdr) and the GUI text
    of open EEG boards (.txt) through the host layer, exactly as ``kalo analyze`` reads and analyses
    them; other formats MNE reads through MNE. ``resample`` (Hz, up to 1000) resamples a host
    format, as ``--resample``.

    Channels as in ``kalo analyze``: ``left``/``right`` for a bipolar pair (a
    file of exactly two channels needs no names), or ``channels`` (a list or
    "A,B,C", with ``analysis_channel``) for multichannel mode. ``rate`` and
    ``units`` apply to CSV files. ``events``: events files
    (onset_s,duration_s,description) whose descriptions the rows carry.
    Options as for analyze_samples.
    """
    path = os.fspath(path)
    if not path.lower().endswith(HOST_FORMATS):
        if rate is not None:
            raise ValueError("rate= applies to CSV files only; MNE reads the rate from the file")
        if resample is not None:
            raise ValueError("resample= applies to the formats the host layer reads; for others use "
                             "analyze_raw(raw.resample(HZ))")
        try:
            import mne
        except ImportError:
            raise ImportError(f"{path}: this format is read with MNE (Debian: python3-mne)") from None
        raw = mne.io.read_raw(path, preload=False, verbose="error")
        return analyze_raw(raw, left, right, channels=channels, analysis_channel=analysis_channel,
                           recording=path, keep_signal=keep_signal, **options)
    pairs = _option_pairs(**options)
    return run_file(path, _read_pairs(rate, units, resample),
                    lambda names: _channel_pairs(names, left, right, channels, analysis_channel, path) + pairs,
                    keep_signal=keep_signal)


def run_file(path, read_pairs, options_for, *, keep_signal=True, style=_host.STYLE_KEYWORDS):
    """A recording the host layer reads with the host options ``read_pairs`` (rate, units), analysed
    with those ``options_for(channel names)`` gives, both as (key, text) pairs; messages name options
    in ``style``. The conversions of analyze_file and of ``python3 -m kalo report`` meet here."""
    path = os.fspath(path)
    recording = _open(path, read_pairs, style)
    try:
        info = json.loads(_host.text("kalo_recording_describe", recording))
        names = [c["name"] for c in info["channels"]]
        holder = _host.OptionSet(options_for(names), style)
        session = _host.call("kalo_analyze_recording", recording, holder.handle, _host.ROW_CALLBACK(),
                             _host.PROGRESS_CALLBACK(), None)
        try:
            result = _result(session, path, None)
        finally:
            _free_session(session)
        if keep_signal:
            keys = [_key(n) for n in names]
            result.signal = _read_all(recording, info, [keys.index(_key(c)) for c in result.channels])
        return result
    finally:
        _host.lib.kalo_recording_free(recording)
