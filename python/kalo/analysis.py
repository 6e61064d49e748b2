"""Whole-recording analysis: drive an engine over a recording the way a live host would.

Samples are pushed one window step at a time (rate // process_win_freq
samples, the distance between two analysis windows); after every push the
engine processes what is due and both published queues are drained, so they
never overflow. A record's time is the number of samples pushed when it was
published divided by the rate: the moment a live host would have received it.
This is exactly how the ``kalo analyze`` program drives the engine, so the
two give the same rows, bit for bit.
"""

import dataclasses
import math
import os
import warnings

import numpy as np

from . import _convert
from .engine import MIND_DTYPE, SPECTRA_DTYPE, Engine

# One row per published record: the columns of `kalo analyze`.
WINDOW_DTYPE = np.dtype(
    [("time_s", "f8")] + MIND_DTYPE.descr + SPECTRA_DTYPE.descr
    + [("raw_alpha", "f8"), ("raw_beta", "f8"), ("calibration_percent", "i4"),
       ("both_sides_artifacted", "?"), ("artifacted_sequence", "?")])

UNITS_PER_VOLT = {"V": 1.0, "mV": 1e3, "uV": 1e6, "µV": 1e6}
NORMALIZATIONS = {"width": (True, False), "coeffs": (False, True), "none": (False, False)}


@dataclasses.dataclass
class Analysis:
    """What one analysis gives.

    ``windows``: one row per record the engine published (structured array,
    fields of WINDOW_DTYPE; ``frame()`` gives a DataFrame). ``summary``: one
    flat dict (see ``summarise``). ``signal``: the samples given to the engine,
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


def choose(names, left, right, channels, analysis_channel, source):
    """(column indices, bipolar, index of the analysed column among them)."""
    if channels is not None:
        if left is not None or right is not None:
            raise ValueError("give either left and right (bipolar) or channels (multichannel), not both")
        columns = [pick(names, c, source) for c in channels]
        chosen = [names[i] for i in columns]
        analysed = 0 if analysis_channel is None else pick(chosen, analysis_channel, source)
        return columns, False, analysed
    if left is None and right is None:
        if len(names) != 2:
            raise ValueError(f"{source} has {len(names)} channels: name the pair with left= and right= "
                             f"(its channels are: {', '.join(map(str, names))})")
        return [0, 1], True, 0
    if left is None or right is None:
        raise ValueError("a bipolar pair needs both left and right")
    return [pick(names, left, source), pick(names, right, source)], True, 0


def _apply_setters(engine, calibration_length, priority_side, mental_ratios, normalization, weights, zero_waves,
                   skip_after_artifact):
    if calibration_length is not None:
        engine.set_calibration_length(calibration_length)
    if priority_side is not None:
        engine.set_priority_side(priority_side)
    if mental_ratios is not None:
        engine.set_mental_estimation_mode(mental_ratios)
    if normalization is not None:
        if normalization not in NORMALIZATIONS:
            raise ValueError(f"normalization must be one of {', '.join(NORMALIZATIONS)}, not {normalization!r}")
        by_width, by_coeffs = NORMALIZATIONS[normalization]
        engine.set_normalization_by_band_width(by_width)
        engine.set_normalization_by_coeffs(by_coeffs)
    if weights is not None:
        engine.set_weights_for_spectra(*weights)
    if zero_waves is not None:
        engine.set_zero_spect_waves(*zero_waves)
    if skip_after_artifact is not None:
        engine.set_skip_windows_after_artifact(skip_after_artifact)


def analyze_samples(samples, rate, *, names=None, bipolar=True, analysis_channel=0, recording="samples",
                    keep_signal=True, calibrate_at=0.0, calibration_length=None, priority_side=None,
                    mental_ratios=None, normalization=None, weights=None, zero_waves=None,
                    skip_after_artifact=None, fft_window=None, **settings):
    """Analyses samples (volts) with one row per sample: 2 columns (left, right) when ``bipolar``,
    otherwise one column per channel with ``analysis_channel`` (index or name) analysed.

    ``calibrate_at``: seconds at which a calibration starts (None: never).
    The other keywords call the engine's setters (``calibration_length`` s,
    ``priority_side``, ``mental_ratios``, ``normalization`` 'width' | 'coeffs'
    | 'none', ``weights`` and ``zero_waves`` five values each,
    ``skip_after_artifact`` windows); ``fft_window`` and ``**settings`` are
    Engine's settings. Returns an Analysis.
    """
    data = _convert.samples(samples)
    if data.ndim != 2 or (bipolar and data.shape[1] != 2) or data.shape[0] == 0:
        raise ValueError(f"expected samples of shape (samples, {'2' if bipolar else 'channels'}), "
                         f"got {data.shape}")
    rate = _convert.int32("rate", rate)
    names = [str(n) for n in (names if names is not None else range(data.shape[1]))]
    if len(names) != data.shape[1]:
        raise ValueError(f"{len(names)} names for {data.shape[1]} channels")
    if not bipolar:
        analysis_channel = pick(names, analysis_channel, recording)
        settings.update(channels_number=data.shape[1], channel_for_analysis=analysis_channel)

    with Engine(rate, fft_window, bipolar, **settings) as engine:
        _apply_setters(engine, calibration_length, priority_side, mental_ratios, normalization, weights,
                       zero_waves, skip_after_artifact)
        windows, calibration = _drive(engine, data, calibrate_at)
        used = engine.settings
    result = Analysis(recording, rate, names, bipolar, names[0 if bipolar else analysis_channel], used, windows,
                      {}, data if keep_signal else None)
    result.summary = summarise(result, data.shape[0] / rate, *calibration)
    return result


def _drive(engine, data, calibrate_at):
    rate, step, total = engine.rate, engine.window_step, data.shape[0]
    # The calibration starts at the first push boundary at or after the asked time.
    calibration_sample = None if calibrate_at is None else max(0, math.ceil(calibrate_at * rate))
    started = finished = None
    blocks = []
    pushed = 0
    while pushed < total:
        if calibration_sample is not None and started is None and pushed >= calibration_sample:
            engine.start_calibration()
            started = pushed / rate
        count = min(step, total - pushed)
        engine.push(data[pushed:pushed + count])
        pushed += count
        engine.process()
        spectra, mind = engine.read_spectra(), engine.read_mental()
        if spectra.size != mind.size:  # the engine appends to both queues for every window
            raise RuntimeError(f"the engine published {spectra.size} band records but {mind.size} mental records "
                               f"at {pushed / rate:.3f} s")
        raw = engine.read_raw()
        percent, done = engine.calibration_percent, engine.calibration_finished
        both, sequence = engine.both_sides_artifacted, engine.artifacted_sequence
        if done and started is not None and finished is None:
            finished = pushed / rate
        if spectra.size:
            block = np.zeros(spectra.size, dtype=WINDOW_DTYPE)
            block["time_s"] = pushed / rate
            for source in (spectra, mind):
                for field in source.dtype.names:
                    block[field] = source[field]
            block["raw_alpha"], block["raw_beta"] = raw.alpha, raw.beta
            block["calibration_percent"] = percent
            block["both_sides_artifacted"], block["artifacted_sequence"] = both, sequence
            blocks.append(block)
    windows = np.concatenate(blocks) if blocks else np.zeros(0, dtype=WINDOW_DTYPE)
    return windows, (started, finished)


LEVELS = ("rel_attention", "rel_relaxation", "inst_attention", "inst_relaxation")
# The fields of a summary row, in order (see summarise).
SUMMARY_COLUMNS = ["recording", "mode", "channels", "rate_hz", "duration_s", "windows", "judged_windows",
                   "artifacted_share", "artifacted_sequence_share", "calibration_started_s",
                   "calibration_finished_s", "settled_windows"] + ["mean_" + level for level in LEVELS]


def summarise(result, duration_s, calibration_started_s=None, calibration_finished_s=None):
    """One flat row for a recording.

    The shares count windows after the start-up (``n_first_sec_skipped``,
    whose records are zeros). The means of the levels leave out the start-up
    plus ``mental_estimation_sec`` (the levels average that much) and the
    windows artifacted on both sides, which only repeat the previous record.
    """
    w, s = result.windows, result.settings
    judged = w["time_s"] >= s["n_first_sec_skipped"]
    settled = (w["time_s"] >= s["n_first_sec_skipped"] + s["mental_estimation_sec"]) & ~w["both_sides_artifacted"]
    n_judged = int(judged.sum())
    row = {
        "recording": result.recording,
        "mode": "bipolar" if result.bipolar else "multichannel",
        "channels": " / ".join(result.channels) if result.bipolar else ", ".join(result.channels),
        "rate_hz": result.rate,
        "duration_s": duration_s,
        "windows": int(w.size),
        "judged_windows": n_judged,
        "artifacted_share": float(w["both_sides_artifacted"][judged].sum() / n_judged) if n_judged else 0.0,
        "artifacted_sequence_share": float(w["artifacted_sequence"][judged].sum() / n_judged) if n_judged else 0.0,
        # NaN rather than None when the calibration did not start or finish, so the columns of a study
        # stay numeric.
        "calibration_started_s": math.nan if calibration_started_s is None else calibration_started_s,
        "calibration_finished_s": math.nan if calibration_finished_s is None else calibration_finished_s,
        "settled_windows": int(settled.sum()),
    }
    for level in LEVELS:
        row["mean_" + level] = float(w[level][settled].mean()) if settled.any() else math.nan
    return row


# ---------------------------------------------------------------- recordings

def read_csv(path, rate=None, units="V"):
    """Reads a CSV recording: a header line naming the columns, then one row per sample.

    A column named ``t`` holds seconds and gives the rate (samples over the
    span, which must be a whole number of hertz within 0.5 %); without it give
    ``rate``. The other columns are channels in ``units`` (V, mV or uV).
    Returns (samples in volts with one column per channel, channel names, rate).
    """
    if units not in UNITS_PER_VOLT:
        raise ValueError(f"units must be one of {', '.join(UNITS_PER_VOLT)}, not {units!r}")
    with open(path, encoding="utf-8") as f:
        first = f.readline().rstrip("\r\n")
    if not first:
        raise ValueError(f"{path}: no header line naming the columns")
    header = [cell.strip(" \t\r") for cell in first.split(",")]
    header = [c[1:-1] if len(c) >= 2 and c[0] == c[-1] == '"' else c for c in header]
    time_column = next((i for i, c in enumerate(header) if _key(c) == "t"), None)
    names = [c for i, c in enumerate(header) if i != time_column]
    if not names:
        raise ValueError(f"{path}: the header names no channel")
    try:
        # numpy parses every cell to the nearest double, as the kalo program does, so both analyse the
        # same samples; a cell that is not a number is an error naming its row and column.
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", UserWarning)  # "input contained no data": reported below
            table = np.loadtxt(path, delimiter=",", skiprows=1, ndmin=2, dtype=np.float64)
    except ValueError as error:
        raise ValueError(f"{path}: {error}") from None
    if table.shape[0] == 0:
        raise ValueError(f"{path}: no samples after the header line")
    if table.shape[1] != len(header):
        raise ValueError(f"{path}: rows have {table.shape[1]} cells where the header has {len(header)}")
    if rate is None:
        if time_column is None:
            raise ValueError(f"{path}: no t column, so give the sampling rate (rate=)")
        rate = _rate_from_times(table[:, time_column], path)
    channel_columns = [i for i in range(len(header)) if i != time_column]
    return np.ascontiguousarray(table[:, channel_columns] / UNITS_PER_VOLT[units]), names, int(rate)


def _rate_from_times(t, path):
    span = t[-1] - t[0] if t.size else 0.0
    if t.size < 2 or not span > 0:
        raise ValueError(f"{path}: the t column does not increase, so it gives no sampling rate; give rate=")
    estimate = (t.size - 1) / span
    rate = math.floor(estimate + 0.5)
    if rate < 1 or abs(estimate - rate) > 0.005 * rate:
        raise ValueError(f"{path}: the t column gives {estimate:.4g} samples per second, not a whole rate in Hz; "
                         "give rate=")
    return rate


def analyze_raw(raw, left="O1", right="O2", *, channels=None, analysis_channel=None, **options):
    """Analyses an MNE Raw object (its data are volts): the bipolar pair ``left``/``right``, or, with
    ``channels``, those channels in multichannel mode. Names match ignoring case and surrounding dots.
    Options as for analyze_samples."""
    if channels is not None and (left, right) == ("O1", "O2"):
        left = right = None
    return _analyze_raw(raw, left, right, channels, analysis_channel, options)


def _analyze_raw(raw, left, right, channels, analysis_channel, options):
    source = options.pop("recording", None) or (raw.filenames[0] if raw.filenames and raw.filenames[0] else "raw")
    sfreq = float(raw.info["sfreq"])
    if sfreq != round(sfreq):
        raise ValueError(f"{source}: the engine takes whole sampling rates, this recording has {sfreq} Hz "
                         "(resample it first, e.g. raw.resample(250))")
    columns, bipolar, analysed = choose(raw.ch_names, left, right, channels, analysis_channel, source)
    data = raw.get_data(picks=columns).T
    names = [raw.ch_names[i].strip(". ") for i in columns]
    return analyze_samples(data, int(sfreq), names=names, bipolar=bipolar, analysis_channel=analysed,
                           recording=str(source), **options)


def analyze_file(path, left=None, right=None, *, channels=None, analysis_channel=None, rate=None, units="V",
                 **options):
    """Analyses a recording file: CSV (see read_csv) or anything MNE reads (EDF, BDF, ...).

    Channels as in ``kalo analyze``: ``left``/``right`` for a bipolar pair (a
    file of exactly two channels needs no names), or ``channels`` (with
    ``analysis_channel``) for multichannel mode. Options as for analyze_samples.
    """
    path = os.fspath(path)
    if path.lower().endswith(".csv"):
        data, names, file_rate = read_csv(path, rate, units)
        columns, bipolar, analysed = choose(names, left, right, channels, analysis_channel, path)
        return analyze_samples(data[:, columns], file_rate, names=[names[i] for i in columns], bipolar=bipolar,
                               analysis_channel=analysed, recording=path, **options)
    if rate is not None:
        raise ValueError("rate= applies to CSV files only; MNE reads the rate from the file")
    try:
        import mne
    except ImportError:
        raise ImportError(f"{path}: files other than CSV are read with MNE (Debian: python3-mne)") from None
    raw = mne.io.read_raw(path, preload=False, verbose="error")
    return _analyze_raw(raw, left, right, channels, analysis_channel, dict(options, recording=path))
