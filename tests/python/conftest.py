"""Shared helpers of the Python binding's tests.

CTest gives the paths through the environment: KALO_LIBRARY (the library),
KALO_PROGRAM (the kalo command-line program, a C-interface host),
KALO_REFERENCE_HOST (reference_host.c) and KALO_REAL_DATA_DIR. Run by hand,
tests that miss one of them are skipped with a message saying which.
"""

import json
import os
import pathlib
import subprocess
import sys

import numpy as np
import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
if not os.environ.get("PYTHONPATH"):
    sys.path.insert(0, str(REPO / "python"))

import kalo  # noqa: E402  (after the path above)


def _tool(variable, what):
    path = os.environ.get(variable)
    if not path or not os.path.isfile(path):
        pytest.skip(f"{what} not found: set {variable} to its path (CTest does)")
    return path


@pytest.fixture(scope="session")
def kalo_program():
    return _tool("KALO_PROGRAM", "the kalo program")


@pytest.fixture(scope="session")
def reference_host():
    return _tool("KALO_REFERENCE_HOST", "the reference C host")


@pytest.fixture(scope="session")
def real_dir():
    folder = pathlib.Path(os.environ.get("KALO_REAL_DATA_DIR") or REPO.parent / "shared" / "data" / "real")
    if not folder.is_dir():
        pytest.skip(f"real recordings not found in {folder} (set KALO_REAL_DATA_DIR to the folder of real "
                    "EEG recordings)")
    return folder


@pytest.fixture(scope="session")
def mne():
    return pytest.importorskip("mne", reason="MNE (Debian: python3-mne) is not installed; EDF files need it")


def run(*command, stdin=None):
    """Runs a program; its stdout, or a failure carrying its stderr."""
    done = subprocess.run([str(c) for c in command], input=stdin, capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, f"{command[0]} exited with {done.returncode}: {done.stderr.strip()}"
    return done.stdout


def program_rows(kalo_program, recording, *arguments, summary_path=None):
    """`kalo analyze --format jsonl` rows as a structured array of kalo.WINDOW_DTYPE. Both writers print
    the shortest text that reads back as the same double, so the parsed values are the engine's bits.
    With ``summary_path``, also the program's summary (its --summary-json) as a dict."""
    extra = ["--summary-json", summary_path] if summary_path else []
    lines = run(kalo_program, "analyze", recording, "--format", "jsonl", "--quiet", *arguments, *extra).splitlines()
    rows = [json.loads(line) for line in lines]
    if rows:
        assert list(rows[0]) == list(kalo.WINDOW_DTYPE.names)
    table = np.array([tuple(row.values()) for row in rows], dtype=kalo.WINDOW_DTYPE)
    if summary_path is None:
        return table
    with open(summary_path, encoding="utf-8") as f:
        return table, json.load(f)


def assert_summary_matches_the_programs(summary, expected):
    """kalo.analyze_file's summary row against `kalo analyze --summary-json`: the counts and shares
    exactly; the whole-recording means against the program's per-minute means."""
    for key in ("rate_hz", "duration_s", "windows", "judged_windows", "artifacted_share", "artifacted_sequence_share"):
        assert summary[key] == expected[key], key
    for key in ("started", "finished"):
        value, actual = expected["calibration"][f"{key}_s"], summary[f"calibration_{key}_s"]
        if value is None:
            assert np.isnan(actual), key
        else:
            assert actual == value, key
    minutes = expected["minutes"]
    assert summary["settled_windows"] == sum(m["windows"] for m in minutes)
    for level in ("rel_attention", "rel_relaxation", "inst_attention", "inst_relaxation"):
        mean = sum(m["windows"] * m[level] for m in minutes) / summary["settled_windows"]
        assert summary["mean_" + level] == pytest.approx(mean, rel=1e-9, abs=1e-9), level


def assert_same_bits(actual, expected):
    """Two structured arrays hold the same records, every double bit for bit."""
    assert actual.dtype.names == expected.dtype.names
    assert actual.shape == expected.shape, f"{actual.size} records where {expected.size} were expected"
    for name in expected.dtype.names:
        a, e = np.ascontiguousarray(actual[name]), np.ascontiguousarray(expected[name])
        same = a.view(np.uint64) == e.view(np.uint64) if a.dtype == np.float64 else a == e
        if not same.all():
            row = int(np.argmin(same))
            pytest.fail(f"record {row}, {name}: {a[row]!r} where {e[row]!r} was expected")


def synthetic_eeg(rate, seconds, channels=2, seed=0):
    """A reproducible recording (volts, one column per channel) that gives the engine work: a background
    of sines with 1/f amplitudes and noise (about 20 uV), 10 Hz alpha that grows in the second half, a 300 uV
    blink every 7 s on the first two channels and 1.5 s of muscle noise every 11 s on all (artifacts)."""
    rng = np.random.default_rng(seed)
    t = np.arange(int(rate * seconds)) / rate
    data = rng.normal(0.0, 4e-6, (t.size, channels))
    for frequency in np.arange(1.0, 45.0, 0.7):
        phase = rng.uniform(0, 2 * np.pi, channels)
        data += (25e-6 / frequency) * np.sin(2 * np.pi * frequency * t[:, None] + phase)
    data += np.where(t > seconds / 2, 30e-6, 5e-6)[:, None] * np.sin(2 * np.pi * 10.0 * t)[:, None]
    for blink in np.arange(5.0, seconds, 7.0):
        data[:, :2] += 300e-6 * np.exp(-0.5 * ((t - blink) / 0.08) ** 2)[:, None]
    for burst in np.arange(9.0, seconds, 11.0):
        muscle = (t >= burst) & (t < burst + 1.5)
        data[muscle] += rng.normal(0.0, 150e-6, (muscle.sum(), channels))
    return data


def write_csv(path, data, rate, names, units_per_volt=1.0):
    """A CSV recording in the layout `kalo analyze` reads, every value written to read back exactly."""
    t = np.arange(data.shape[0]) / rate
    np.savetxt(path, np.column_stack([t, data * units_per_volt]), delimiter=",", fmt="%.17g",
               header=",".join(["t"] + list(names)), comments="")
    return path
