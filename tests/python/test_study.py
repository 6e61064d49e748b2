"""Studies of many recordings (local worker processes or a dask cluster) and session pictures."""

import os
import re
import subprocess
import sys

import numpy as np
import pytest

import kalo
from conftest import REPO, assert_same_bits, synthetic_eeg, write_csv


def _same_row(actual, expected):
    """Two summary rows hold the same values, NaN (a calibration that did not finish) matching NaN."""
    def same(a, e):
        return a == e or (isinstance(a, float) and isinstance(e, float) and np.isnan(a) and np.isnan(e))
    return actual.keys() == expected.keys() and all(same(actual[key], expected[key]) for key in expected)


@pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")  # Debian's tornado and dask
def test_analyze_many_gives_the_same_rows_with_and_without_a_dask_cluster(real_dir, mne):
    distributed = pytest.importorskip("distributed", reason="dask.distributed (Debian: python3-distributed) "
                                                            "is not installed")
    pandas = pytest.importorskip("pandas")
    paths = [str(real_dir / name) for name in ("S001R01.edf", "S001R02_repaired60s.edf", "S001R01.volts.csv",
                                               "S001R02_repaired60s.volts.csv")]
    local = kalo.analyze_many(paths, left="O1", right="O2", windows=True)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  silence_logs=40) as cluster, distributed.Client(cluster) as client:
        spread = kalo.analyze_many(paths, client, left="O1", right="O2", windows=True)
        workers = client.run(os.getpid)
    assert len(set(workers.values()) | {os.getpid()}) == 3  # two worker processes besides this one
    for a, e in zip(spread, local):
        pandas.testing.assert_frame_equal(a, e, check_exact=True)

    summary, windows = local
    assert list(summary["recording"]) == paths and summary["error"].isna().all()
    # A row is what analysing the recording in this process gives.
    alone = kalo.analyze_file(paths[3], left="O1", right="O2")
    assert _same_row(summary.drop(columns="error").iloc[3].to_dict(), alone.summary)
    rows = windows[windows["recording"] == paths[3]].drop(columns="recording")
    assert_same_bits(rows.to_records(index=False).astype(kalo.WINDOW_DTYPE), alone.windows)


def test_a_failed_recording_is_raised_or_recorded_while_the_others_go_on(tmp_path):
    good = [write_csv(tmp_path / f"r{i}.csv", synthetic_eeg(250, 12, seed=i), 250, ("L", "R")) for i in range(2)]
    bad = tmp_path / "bad.csv"
    bad.write_text("t,L,R\n0,1e-6,2e-6\n0.004,oops,1e-6\n")
    paths = [good[0], bad, tmp_path / "missing.csv", good[1]]

    rows = kalo.analyze_many(paths, on_error="record", as_frame=False, max_workers=2)
    assert [row["recording"] for row in rows] == [str(p) for p in paths]
    assert _same_row(rows[0], dict(kalo.analyze_file(good[0], keep_signal=False).summary, error=None))
    assert rows[3]["error"] is None and rows[3]["windows"] > 200
    assert "oops" in rows[1]["error"] and rows[2]["error"].startswith("FileNotFoundError")
    with pytest.raises(ValueError, match="oops") as raised:
        kalo.analyze_many(paths[:2], max_workers=2)
    assert f"while analysing {bad}" in raised.value.__notes__


def _report(*arguments):
    environment = dict(os.environ, PYTHONPATH=str(REPO / "python"))
    return subprocess.run([sys.executable, "-m", "kalo", "report", *map(str, arguments)], capture_output=True,
                          text=True, env=environment, timeout=120)


def test_the_report_command_draws_a_session_picture(tmp_path):
    image = pytest.importorskip("matplotlib.image")
    recording = write_csv(tmp_path / "session.csv", synthetic_eeg(250, 40, seed=21), 250, ("O1", "O2"))
    done = _report(recording, "-o", tmp_path / "report.png", "--set", "mental_estimation_sec=3")
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith(f"{tmp_path / 'report.png'}: ")
    assert (tmp_path / "report.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    pixels = image.imread(tmp_path / "report.png")
    assert pixels.shape[:2] == (1500, 1560)
    assert len(np.unique(pixels.reshape(-1, pixels.shape[2]), axis=0)) > 200  # drawn, not a blank canvas


# (keep the signal, multichannel) for the figure test
FIGURES = {"bipolar with its signal": (True, False), "multichannel without its signal": (False, True)}


@pytest.mark.parametrize("case", FIGURES, ids=list(FIGURES))
def test_the_picture_names_what_it_shows(case, tmp_path):
    keep, multichannel = FIGURES[case]
    volts = synthetic_eeg(250, 40, 3 if multichannel else 2, seed=22)
    options = (dict(bipolar=False, names=["Fp1", "O1", "O2"], analysis_channel="O1") if multichannel
               else dict(names=["O1", "O2"]))
    result = kalo.analyze_samples(volts, 250, keep_signal=keep, recording="synthetic", **options)
    figure = kalo.plot_session(result, tmp_path / "session.svg")
    assert (tmp_path / "session.svg").stat().st_size > 10_000
    bands, timeline, levels, signal = figure.axes
    labels = {axis: [text.get_text() for text in axis.get_legend().get_texts()]
              for axis in (bands, levels) + ((signal,) if keep else ())}
    assert labels[bands] == ["gamma  25–50 Hz", "beta  14–25 Hz", "alpha  7–14 Hz", "theta  4–7 Hz", "delta  < 4 Hz"]
    assert "attention, relative to calibration" in labels[levels] and "calibration" in labels[levels]
    lanes = [t.get_text() for t in timeline.get_yticklabels()]
    assert lanes[::-1] == ["start-up", "calibration", "artifact (both sides)", "artifacted sequence"]
    assert (bands.get_ylabel(), levels.get_ylabel(), signal.get_ylabel()) == (
        "share of the\nfive bands (%)", "level (%)", "µV")
    # Artifacts of the input are shaded: the blinks and muscle bursts give spans on the timeline.
    artifacts = len(timeline.collections[lanes.index("artifact (both sides)")].get_paths())
    assert artifacts >= 3
    assert len(levels.patches) >= 2 + artifacts  # start-up, calibration and every artifact shaded behind the levels
    if keep:
        assert labels[signal] == ["left: O1", "right: O2"]
    else:
        assert not signal.get_lines() and "not kept" in signal.texts[0].get_text()


# (arguments after the recording, words of the one-line message)
REPORT_ERRORS = {
    "unknown channel": (["--left", "Cz", "--right", "O2"], 'no channel "Cz"; its channels are: O1, O2'),
    "missing recording": (None, "No such file"),
    "setting the engine refuses": (["--set", "amplitude_threshold=5"], "--amplitude-threshold 5 is outside 50–120"),
    "setting by its flag": (["--peak-threshold", "100"], "--peak-threshold 100 is outside 25–70"),
}


@pytest.mark.parametrize("case", REPORT_ERRORS, ids=list(REPORT_ERRORS))
def test_the_report_command_fails_with_one_line_and_code_2(case, tmp_path):
    arguments, words = REPORT_ERRORS[case]
    recording = write_csv(tmp_path / "session.csv", synthetic_eeg(250, 8, seed=23), 250, ("O1", "O2"))
    done = _report(tmp_path / "absent.csv" if arguments is None else recording, "-o", tmp_path / "r.png",
                   *(arguments or []))
    assert done.returncode == 2
    assert words in done.stderr and len(done.stderr.strip().splitlines()) == 1
    assert not (tmp_path / "r.png").exists()


def test_the_package_works_without_its_optional_packages(tmp_path):
    """numpy is all the engine, the CSV reader and the analyses need; MNE, pandas, dask and matplotlib are
    imported only by the functions that use them, which then say what is missing."""
    recording = write_csv(tmp_path / "session.csv", synthetic_eeg(250, 8, seed=24), 250, ("O1", "O2"))
    script = f"""
import sys
sys.modules.update(mne=None, pandas=None, distributed=None, matplotlib=None)  # any import of them fails
import kalo
result = kalo.analyze_file({str(recording)!r})
assert result.windows.size > 100
for call in (lambda: result.frame(), lambda: kalo.analyze_file({str(tmp_path / "x.fif")!r}),
             lambda: kalo.plot_session(result)):
    try:
        call()
    except ImportError as error:
        print(error)
"""
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120,
                          env=dict(os.environ, PYTHONPATH=str(REPO / "python")))
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert len(lines) == 3
    assert "python3-pandas" in lines[0] and "python3-mne" in lines[1] and "python3-matplotlib" in lines[2]


def test_a_library_that_cannot_be_loaded_is_named_on_import(tmp_path):
    done = subprocess.run([sys.executable, "-c", "import kalo"], capture_output=True, text=True, timeout=60,
                          env=dict(os.environ, PYTHONPATH=str(REPO / "python"),
                                   KALO_LIBRARY=str(tmp_path / "libkalo_artifacts.so")))
    assert done.returncode != 0
    assert "ImportError: libkalo_artifacts.so was not found; set KALO_LIBRARY" in done.stderr
    assert str(tmp_path / "libkalo_artifacts.so") in done.stderr


def test_an_unguarded_script_gets_one_error_that_shows_the_guard(tmp_path):
    paths = [write_csv(tmp_path / f"r{i}.csv", synthetic_eeg(250, 12, seed=i), 250, ("L", "R")) for i in range(2)]
    script = tmp_path / "study.py"
    script.write_text(f"import kalo\nprint('study starts')\nkalo.analyze_many({list(map(str, paths))!r}, "
                      "max_workers=2)\n")
    environment = dict(os.environ, PYTHONPATH=str(REPO / "python"))
    run = subprocess.run([sys.executable, str(script)], capture_output=True, text=True, env=environment,
                         timeout=120, cwd=tmp_path)
    assert run.returncode == 1
    # Each worker runs the script's top level again up to the call (what it prints is printed again), and
    # stops there without a word of its own.
    assert set(run.stdout.splitlines()) == {"study starts"}
    assert 'if __name__ == "__main__":' in run.stderr
    assert run.stderr.count("Traceback") == 1 and "BrokenProcessPool" not in run.stderr


def test_the_version_is_the_projects():
    project = re.search(r"project\(kalo_artifacts VERSION ([0-9.]+)", (REPO / "CMakeLists.txt").read_text())
    assert kalo.__version__ == project.group(1)
