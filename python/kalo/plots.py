"""One picture of an analysed session, for someone who has never seen the library.

Three panels share the session's time axis (seconds): the band composition of
each window, stacked; attention and relaxation, relative and instantaneous;
and a short excerpt of the raw signal. Start-up, calibration and artifacted
windows are shaded alike in every panel.
"""

import math
import os

import numpy as np

BANDS = (("delta", "delta  < 4 Hz", "#4c72b0"), ("theta", "theta  4–7 Hz", "#64b5cd"),
         ("alpha", "alpha  7–14 Hz", "#55a868"), ("beta", "beta  14–25 Hz", "#dd8452"),
         ("gamma", "gamma  25–50 Hz", "#c44e52"))
ATTENTION, RELAXATION = "#d1495b", "#2e86ab"
STARTUP, CALIBRATION, ARTIFACT, SEQUENCE = "#bbbbbb", "#8fd694", "#f4a3a3", "#c0392b"
EXCERPT_S = 10.0


def _runs(mask, starts, ends):
    """(start, end) of every run of consecutive True entries."""
    runs, begin = [], None
    for i, on in enumerate(mask):
        if on and begin is None:
            begin = starts[i]
        if begin is not None and (not on or i == len(mask) - 1):
            runs.append((begin, ends[i] if on else ends[i - 1]))
            begin = None
    return runs


def _spans(result):
    """Shaded spans in seconds: start-up, calibration, artifacted windows, artifacted sequences.

    A record's time is the end of the push that published it; its flags
    describe the window step that ends there."""
    w, s = result.windows, result.settings
    step_s = (result.rate // s["process_win_freq"]) / result.rate
    ends = w["time_s"]
    starts = ends - step_s
    summary = result.summary
    calibration = []
    started, finished = summary.get("calibration_started_s"), summary.get("calibration_finished_s")
    if started is not None and not math.isnan(started):
        end = finished if finished is not None and not math.isnan(finished) else summary["duration_s"]
        calibration = [(started, end)]
    return {
        "startup": [(0.0, min(float(s["n_first_sec_skipped"]), summary["duration_s"]))],
        "calibration": calibration,
        "artifact": _runs(w["both_sides_artifacted"], starts, ends),
        "sequence": _runs(w["artifacted_sequence"], starts, ends),
        "calibration_finished": finished is not None and not math.isnan(finished),
    }


_SHADES = (("startup", "start-up: no estimates yet",
            dict(facecolor=STARTUP, alpha=0.35, hatch="//", edgecolor="#888888", linewidth=0)),
           ("calibration", "calibration", dict(facecolor=CALIBRATION, alpha=0.35, linewidth=0)),
           ("artifact", "artifact on both sides:\nthe last clean record repeats",
            dict(facecolor=ARTIFACT, alpha=0.45, linewidth=0)),
           ("sequence", "artifacted sequence", dict(facecolor="none", hatch="xx", edgecolor=SEQUENCE, alpha=0.5,
                                                    linewidth=0)))


def _shade(ax, spans):
    for key, _, style in _SHADES:
        for start, end in spans[key]:
            ax.axvspan(start, end, zorder=0, **style)


def _legend_patches(spans):
    from matplotlib.patches import Patch

    patches = []
    for key, label, style in _SHADES:
        if key == "calibration" and not spans["calibration_finished"]:
            label += " (not finished)"
        patches.append(Patch(label=label, **style))
    return patches


def _timeline(ax, spans):
    """One lane per kind of span, so they can be read even where the panels above are covered."""
    lanes = [("startup", "start-up"), ("calibration", "calibration"), ("artifact", "artifact (both sides)"),
             ("sequence", "artifacted sequence")]
    for lane, (key, _) in enumerate(reversed(lanes)):
        style = dict(_SHADES[[k for k, _, _ in _SHADES].index(key)][2])
        style["alpha"] = min(1.0, style["alpha"] * 2)
        if key == "sequence":
            style.update(facecolor=SEQUENCE, alpha=0.6)
        ax.broken_barh([(a, b - a) for a, b in spans[key]], (lane - 0.35, 0.7), **style)
    ax.set_yticks(range(len(lanes)), [label for _, label in reversed(lanes)], fontsize=9)
    ax.set_ylim(-0.6, len(lanes) - 0.4)


def _excerpt(result, excerpt, spans):
    """(start, end) seconds of the raw-signal excerpt.

    By default 10 s around the first artifact after the start-up, where a
    reader most wants to see the signal; without one, the 10 s after the
    start-up."""
    duration = result.summary["duration_s"]
    if excerpt is not None:
        start, length = (float(v) for v in excerpt)
        if not length > 0:
            raise ValueError(f"the excerpt's length must be positive, not {length}")
    else:
        length = EXCERPT_S
        startup = spans["startup"][0][1]
        later = [a for a, _ in spans["artifact"] if a >= startup]
        start = later[0] - length / 3 if later else startup
    length = min(length, duration)
    start = min(max(0.0, start), duration - length)
    return start, start + length


def _without_drift(values, first, last, half):
    """values[first:last] minus their centred moving average over 2 * half + 1 samples (fewer at the ends
    of the recording): electrode drift of millivolts would otherwise flatten the EEG to a line."""
    low, high = max(0, first - half), min(values.size, last + half + 1)
    segment = values[low:high] - np.mean(values[low:high])  # centred first, so the running sums stay exact enough
    sums = np.concatenate(([0.0], np.cumsum(segment)))
    at = np.arange(first, last) - low
    begin, end = np.maximum(at - half, 0), np.minimum(at + half + 1, segment.size)
    return segment[at] - (sums[end] - sums[begin]) / (end - begin)


def _legend(ax, handles=None):
    ax.legend(handles=handles, loc="upper left", bbox_to_anchor=(1.01, 1.0), frameon=False, fontsize=9)


def plot_session(result, path=None, *, excerpt=None, title=None, dpi=120):
    """Draws an analysed session (a kalo.Analysis) and saves it to ``path`` when given (PNG, SVG, PDF, ...
    by the extension). Returns the matplotlib Figure.

    ``excerpt``: (start, length) in seconds of the raw-signal panel; by
    default 10 s around the first artifact after the start-up. The excerpt
    needs the signal, which analyses keep unless ``keep_signal=False``.
    """
    try:
        from matplotlib.figure import Figure
        from matplotlib.lines import Line2D
    except ImportError:
        raise ImportError("plot_session needs matplotlib (Debian: python3-matplotlib)") from None

    w, s, summary = result.windows, result.settings, result.summary
    if w.size == 0:
        raise ValueError(f"{result.recording}: the engine published no record (the recording is shorter than "
                         "one analysis window), so there is nothing to draw")
    spans = _spans(result)
    t = w["time_s"]
    duration = summary["duration_s"]
    start, end = _excerpt(result, excerpt, spans)

    # Drawn without pyplot: no display, no global state, safe in worker processes.
    figure = Figure(figsize=(13, 12.5), dpi=dpi, layout="constrained")
    heading, body = figure.subfigures(2, 1, height_ratios=[0.55, 11.95])
    bands_ax, timeline_ax, levels_ax, signal_ax = body.subplots(4, 1, height_ratios=[3, 1.1, 3, 2.4])
    timeline_ax.sharex(bands_ax)
    levels_ax.sharex(bands_ax)
    names = " / ".join(result.channels) if result.bipolar else ", ".join(result.channels)
    mode = "bipolar pair" if result.bipolar else f"channels (analysed: {result.analysis_channel})"
    step_ms = 1000 * (result.rate // s["process_win_freq"]) / result.rate
    heading.text(0.5, 0.95, title or f"EEG session: {os.path.basename(result.recording)}", ha="center", va="top",
                 fontsize=14, fontweight="bold")
    heading.text(0.5, 0.2, f"{duration:.1f} s at {result.rate} Hz  ·  {mode} {names}  ·  one record every "
                 f"{step_ms:.3g} ms  ·  {100 * summary['artifacted_share']:.0f} % of the windows after the start-up "
                 "artifacted on both sides", ha="center", va="bottom", fontsize=10, color="#444444")

    # Band composition: each window's five values as shares of their sum. The start-up records are
    # all zero and have no composition, so they stay blank.
    values = np.column_stack([w[band] for band, _, _ in BANDS])
    totals = values.sum(axis=1, keepdims=True)
    with np.errstate(invalid="ignore", divide="ignore"):
        shares = np.where(totals > 0, 100.0 * values / totals, np.nan)
    bands_ax.stackplot(t, shares.T, labels=[label for _, label, _ in BANDS], colors=[c for _, _, c in BANDS],
                       alpha=0.9, linewidth=0)
    bands_ax.set_ylim(0, 100)
    bands_ax.set_ylabel("share of the\nfive bands (%)")
    bands_ax.set_title("Band composition of each analysis window (stacked; blank until the engine has published "
                       "an estimate)", loc="left", fontsize=11)
    handles, _ = bands_ax.get_legend_handles_labels()
    _legend(bands_ax, handles[::-1])

    _timeline(timeline_ax, spans)
    timeline_ax.set_title("What the engine reports about each window", loc="left", fontsize=11)

    # Mental levels: relative ones compare with the calibration and stay 0 until it has finished.
    for level, colour in (("attention", ATTENTION), ("relaxation", RELAXATION)):
        levels_ax.plot(t, w["rel_" + level], color=colour, linewidth=1.8, label=f"{level}, relative to calibration")
        levels_ax.plot(t, w["inst_" + level], color=colour, linewidth=0.9, alpha=0.7, linestyle="--",
                       label=f"{level}, instantaneous")
    levels_ax.set_ylim(-2, 102)
    levels_ax.set_ylabel("level (%)")
    levels_ax.set_title("Attention and relaxation (relative levels stay 0 until the calibration has finished)",
                        loc="left", fontsize=11)
    levels_ax.set_xlabel("time since the start of the recording (s)")
    _shade(levels_ax, spans)
    handles, _ = levels_ax.get_legend_handles_labels()
    excerpt_mark = Line2D([], [], color="black", linestyle=":", label="raw-signal excerpt below")
    _legend(levels_ax, handles + [excerpt_mark] + _legend_patches(spans))
    for ax in (bands_ax, levels_ax):
        ax.axvline(start, color="black", linestyle=":", linewidth=1.2)
        ax.axvline(end, color="black", linestyle=":", linewidth=1.2)
    bands_ax.set_xlim(0, duration)

    # The excerpt, in microvolts, with nothing but the slow drift taken away: mains hum, blinks and
    # muscle bursts stay visible, as the engine receives them.
    signal_ax.set_title(f"Raw signal, {start:.1f}–{end:.1f} s (slow drift removed: each sample minus the mean "
                        "of the second around it)", loc="left", fontsize=11)
    signal_ax.set_xlabel("time since the start of the recording (s)")
    signal_ax.set_ylabel("µV")
    if result.signal is None:
        signal_ax.text(0.5, 0.5, "the signal was not kept (keep_signal=False)", transform=signal_ax.transAxes,
                       ha="center", va="center", color="#666666")
    else:
        first = int(math.floor(start * result.rate))
        last = min(int(math.ceil(end * result.rate)), result.signal.shape[0])
        times = np.arange(first, last) / result.rate
        columns = [0, 1] if result.bipolar else [result.channels.index(result.analysis_channel)]
        for column, colour in zip(columns, ("#1b4f72", "#b9770e")):
            trace = _without_drift(result.signal[:, column], first, last, result.rate // 2) * 1e6
            label = result.channels[column]
            if result.bipolar:
                label = ("left: " if column == 0 else "right: ") + label
            signal_ax.plot(times, trace, color=colour, linewidth=0.7, label=label)
        _shade(signal_ax, spans)
        _legend(signal_ax)
    signal_ax.set_xlim(start, end)
    for ax in (bands_ax, timeline_ax, levels_ax, signal_ax):
        ax.grid(True, axis="x" if ax is timeline_ax else "both", color="#dddddd", linewidth=0.6)
        ax.set_axisbelow(True)

    if path is not None:
        figure.savefig(path)
    return figure
