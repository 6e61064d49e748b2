"""Real recordings (../shared/data/real): the CSV copies and, through MNE, the EDF files."""

import numpy as np
import pytest

import kalo
from conftest import assert_same_bits, assert_summary_matches_the_programs, program_rows, run

PAIRS = {
    "S001R01": ("O1", "O2"),
    "S001R02_repaired60s": ("O1", "O2"),
    "OpenBCI_GUI-v6-blinks-jawClench-alpha": ("EXG_Channel_6", "EXG_Channel_7"),
    "eegnb_muse_P300_subject3_session2_2018-04-15-20.52.23": ("AF7", "AF8"),
}


@pytest.mark.parametrize("stem", PAIRS, ids=[stem[:20] for stem in PAIRS])
def test_csv_copies_give_the_kalo_programs_records_and_summary(stem, real_dir, kalo_program, tmp_path):
    path = real_dir / f"{stem}.volts.csv"
    left, right = PAIRS[stem]
    expected, summary = program_rows(kalo_program, path, "--left", left, "--right", right,
                                     summary_path=tmp_path / "summary.json")
    result = kalo.analyze_file(path, left=left, right=right)
    assert_same_bits(result.windows, expected)
    assert_summary_matches_the_programs(result.summary, summary)


@pytest.mark.parametrize("name", ["S001R01.edf", "S001R02_repaired60s.edf", "demo.edf"])
def test_edf_files_give_the_kalo_programs_records_bit_for_bit(name, kalo_program, tmp_path, request):
    """EDF through the host layer, as the program reads it: every bit and every event text the same. The
    demo's EDF+ (written by the program) carries annotations, so its rows carry events."""
    if name == "demo.edf":
        path = tmp_path / name
        run(kalo_program, "demo", "--write", path)
        pair = ()
    else:
        path = request.getfixturevalue("real_dir") / name
        pair = ("O1", "O2")
    arguments = ["--left", pair[0], "--right", pair[1]] if pair else []
    expected, summary = program_rows(kalo_program, path, *arguments, summary_path=tmp_path / "summary.json")
    result = kalo.analyze_file(path, *pair)
    assert_same_bits(result.windows, expected)
    assert_summary_matches_the_programs(result.summary, summary)
    if name == "demo.edf":
        assert {"eyes closed", "eyes open;blink"} <= set(result.windows["events"])


@pytest.mark.parametrize("stem", ["S001R01", "S001R02_repaired60s"])
def test_edf_files_read_by_mne_give_the_records_of_their_csv_copies(stem, real_dir, mne):
    raw = mne.io.read_raw_edf(real_dir / f"{stem}.edf", preload=False, verbose="error")
    from_edf = kalo.analyze_raw(raw)  # O1 and O2 by default; the EDF labels read "O1.." and "O2.."
    from_csv = kalo.analyze_file(real_dir / f"{stem}.volts.csv", left="O1", right="O2")
    assert from_edf.channels == ["O1", "O2"] and from_edf.rate == 160
    assert from_edf.windows.size == from_csv.windows.size > 1400
    # MNE scales the EDF integers in another order than the CSV converter did, so a sample may differ
    # in its last bit; the flags must not move, the numbers only in their last digits.
    for name in kalo.WINDOW_DTYPE.names:
        a, e = from_edf.windows[name], from_csv.windows[name]
        if a.dtype == np.float64:
            np.testing.assert_allclose(a, e, rtol=1e-9, atol=1e-12, err_msg=name)
        else:
            assert np.array_equal(a, e), name


def test_eyes_closed_relax_more_than_eyes_open(real_dir):
    """The same subject at rest: occipital alpha is far stronger with the eyes closed."""
    relaxation = {stem: kalo.analyze_file(real_dir / f"{stem}.volts.csv", left="O1", right="O2",
                                          keep_signal=False).summary["mean_inst_relaxation"]
                  for stem in ("S001R01", "S001R02_repaired60s")}
    assert relaxation["S001R02_repaired60s"] > relaxation["S001R01"] + 3


def test_analyze_raw_refuses_a_rate_that_is_not_whole(mne):
    info = mne.create_info(["O1", "O2"], 250.5, "eeg")
    raw = mne.io.RawArray(np.zeros((2, 2505)), info, verbose="error")
    with pytest.raises(ValueError, match=r"whole sampling rates.*250.5 Hz.*resample"):
        kalo.analyze_raw(raw)
