"""The engine through the binding: the C interface's records bit for bit, errors, arrays."""

import numpy as np
import pytest

import kalo
from conftest import assert_same_bits, assert_summary_matches_the_programs, program_rows, synthetic_eeg, write_csv

# (channels in the file, kalo program arguments, the same choices for kalo.analyze_file)
SAME_RUN = {
    "bipolar defaults": (
        ("L", "R"), [], {}),
    "bipolar, millivolts, every behaviour setter": (
        ("L", "R"),
        ["--units", "mV", "--priority", "left", "--calibrate-at", "3.3", "--calibration-sec", "3",
         "--mental-mode", "ratios", "--normalize", "coeffs", "--weights", "1,2,3,4,5", "--zero-waves", "1,1,2,1,0",
         "--skip-after-artifact", "3", "--hanning"],
        dict(units="mV", priority_side="left", calibrate_at=3.3, calibration_length=3, mental_ratios=True,
             normalization="coeffs", weights=(1, 2, 3, 4, 5), zero_waves=(1, 1, 2, 1, 0), skip_after_artifact=3,
             use_hanning=True)),
    "multichannel, record settings": (
        ("A", "B", "C"),
        ["--channels", "A,B,C", "--analysis-channel", "b", "--process-win-freq", "10", "--fft-window", "625",
         "--skip-first-sec", "5", "--amplitude-threshold", "100", "--mental-estimation-sec", "3",
         "--spectral-averaging-sec", "1", "--power-spectrum", "--hamming", "--calibrate-at", "never"],
        dict(channels=["A", "B", "C"], analysis_channel="b", process_win_freq=10, fft_window=625,
             n_first_sec_skipped=5, amplitude_threshold=100, mental_estimation_sec=3, spectral_averaging_sec=1,
             use_power_spectrum=True, use_hamming=True, calibrate_at=None)),
}


@pytest.mark.parametrize("case", SAME_RUN, ids=list(SAME_RUN))
def test_records_equal_those_the_c_interface_gives_to_the_kalo_program(case, kalo_program, tmp_path):
    names, arguments, options = SAME_RUN[case]
    units = 1e3 if options.get("units") == "mV" else 1.0
    path = write_csv(tmp_path / "synthetic.csv", synthetic_eeg(250, 40, len(names), seed=len(arguments)), 250,
                     names, units)
    expected, summary = program_rows(kalo_program, path, *arguments, summary_path=tmp_path / "summary.json")
    result = kalo.analyze_file(path, **options)
    # The input exercises what the records can show: artifacts, clean stretches, a calibration when asked.
    assert expected.size > 300
    assert expected["both_sides_artifacted"].any() and not expected["both_sides_artifacted"].all()
    calibrated = options.get("calibrate_at", 0) is not None
    assert expected["rel_relaxation"].any() == calibrated
    assert_same_bits(result.windows, expected)
    assert_summary_matches_the_programs(result.summary, summary)


def _drive(engine, blocks, push):
    """Pushes block by block, draining both queues after each, as a live host does."""
    spectra, mental = [], []
    for block in blocks:
        push(engine, block)
        engine.process()
        spectra.append(engine.read_spectra())
        mental.append(engine.read_mental())
    return np.concatenate(spectra), np.concatenate(mental)


PUSH_FORMS = {
    "left and right": lambda e, b: e.push(b[:, 0], b[:, 1]),
    "Fortran-ordered 2-D": lambda e, b: e.push(np.asfortranarray(b)),
    "strided view": lambda e, b: e.push(np.repeat(b, 2, axis=0)[::2]),
    "nested lists": lambda e, b: e.push(b.tolist()),
    "pandas DataFrame": lambda e, b: e.push(pytest.importorskip("pandas").DataFrame(b, columns=["L", "R"])),
}


@pytest.mark.parametrize("form", PUSH_FORMS, ids=list(PUSH_FORMS))
def test_any_layout_of_the_same_volts_gives_the_same_records(form):
    blocks = np.array_split(synthetic_eeg(250, 12, seed=3), 37)
    with kalo.Engine(250) as engine:
        expected = _drive(engine, blocks, lambda e, b: e.push(b))
    with kalo.Engine(250) as engine:
        actual = _drive(engine, blocks, PUSH_FORMS[form])
    assert expected[0].size > 200
    for a, e in zip(actual, expected):
        assert a.tobytes() == e.tobytes()


def test_other_dtypes_are_converted_to_float64_first():
    volts = synthetic_eeg(250, 10, seed=4)
    with kalo.Engine(250) as a, kalo.Engine(250) as b:
        a.push(volts.astype(np.float32))
        b.push(volts.astype(np.float32).astype(np.float64))
        microvolts = np.round(volts * 1e6).astype(np.int16)
        a.push(microvolts * 1e-6)
        b.push(microvolts.astype(np.float64) * 1e-6)
        for engine in (a, b):
            engine.process()
        assert a.read_mental().tobytes() == b.read_mental().tobytes()
        assert a.read_spectra().tobytes() == b.read_spectra().tobytes()


def test_readers_setters_and_frames():
    volts = synthetic_eeg(250, 30, seed=7)
    with kalo.Engine(250, mental_estimation_sec=1) as engine:
        engine.set_calibration_length(2)
        engine.start_calibration()
        assert not engine.calibration_finished and engine.calibration_percent == 0
        published = 0
        for block in np.array_split(volts, 30):
            engine.push(block)
            engine.process()
            assert engine.spectra_size == engine.mental_size
            published += engine.mental_size
            average = engine.read_average_mental(5)  # over the records still waiting in the queue
            frame = engine.read_mental(as_frame=True)
            assert engine.mental_size == 0  # a read drains its queue
            engine.read_spectra()
        # At least one record per step once the first window is complete (the end of a skip period after
        # an artifact publishes two).
        assert published >= 30 * 25 - 2 * 25 + 1
        assert list(frame.columns) == ["time_s", "rel_attention", "rel_relaxation", "inst_attention",
                                       "inst_relaxation"]
        assert (np.diff(frame["time_s"].to_numpy()) >= 0).all() and frame["time_s"].iloc[-1] == 30.0
        for level in frame.columns[1:]:  # summed in order, then divided, as the library does
            assert getattr(average, level) == sum(frame[level].to_numpy()[-5:]) / 5
        assert engine.calibration_finished and engine.calibration_percent == 100
        raw = engine.read_raw()
        assert raw.alpha > 0 and raw.beta > 0
        engine.set_zero_spect_waves(0, 0, 1, 1, 0)
        engine.process_window()
        spectra = engine.read_spectra(as_frame=True)
        assert len(spectra) == 1 and (spectra[["delta", "theta", "gamma"]].to_numpy() == 0).all()
        assert spectra["alpha"][0] + spectra["beta"][0] == pytest.approx(1.0, rel=1e-12)


# (what is done to a fresh bipolar engine, code, words of the library's message)
REFUSED = {
    "settings the engine cannot analyse": (lambda e: kalo.Engine(10), 1, "MathLibSetting"),
    "NaN sample": (lambda e: e.push(np.array([[0.0, np.nan]])), 1, "sample 0"),
    "sample beyond 1e100 V": (lambda e: e.push(np.array([[0.0, 0.0], [1e101, 0.0]])), 1, "sample 1"),
    "empty block": (lambda e: e.push(np.zeros((0, 2))), 1, ""),
    "multichannel push on a bipolar engine": (lambda e: e._push_rows(np.zeros((3, 2)), False), 1, ""),
    "calibration of 0 s": (lambda e: e.set_calibration_length(0), 1, ""),
    "spectral weight 0": (lambda e: e.set_weights_for_spectra(0, 1, 1, 1, 1), 1, "MathLibSetZeroSpectWaves"),
    "negative band weight": (lambda e: e.set_zero_spect_waves(-1, 1, 1, 1, 1), 1, ""),
    "negative skip count": (lambda e: e.set_skip_windows_after_artifact(-1), 1, ""),
    "closed engine": (lambda e: (e.close(), e.process()), 1, "null"),
}


@pytest.mark.parametrize("case", REFUSED, ids=list(REFUSED))
def test_refused_calls_raise_kalo_error_with_the_code_and_change_nothing(case):
    action, code, words = REFUSED[case]
    volts = synthetic_eeg(250, 12, seed=8)
    with kalo.Engine(250) as untouched:
        untouched.push(volts)
        untouched.process()
        expected = untouched.read_spectra(), untouched.read_mental()
    with kalo.Engine(250) as engine:
        engine.push(volts[:1000])
        with pytest.raises(kalo.KaloError) as raised:
            action(engine)
        assert raised.value.code == code
        assert words.lower() in raised.value.message.lower()
        assert raised.value.function.startswith(("createMathLib", "MathLib"))
        if case == "closed engine":
            return
        engine.push(volts[1000:])
        engine.process()
        actual = engine.read_spectra(), engine.read_mental()
    for a, e in zip(actual, expected):
        assert a.tobytes() == e.tobytes()


# (what is done, exception type, words of the message); none of these reaches the library.
WRONG_ARRAYS = {
    "1-D block without right": (lambda e: e.push(np.zeros(10)), ValueError, r"shape \(samples, 2\)"),
    "three columns for a pair": (lambda e: e.push(np.zeros((10, 3))), ValueError, r"got shape \(10, 3\)"),
    "left and right of two lengths": (lambda e: e.push(np.zeros(10), np.zeros(9)), ValueError, "one length"),
    "2-D left": (lambda e: e.push(np.zeros((10, 2)), np.zeros(10)), ValueError, "1-D"),
    "text": (lambda e: e.push(np.array([["a", "b"]])), TypeError, "real numbers"),
    "complex volts": (lambda e: e.push(np.zeros((4, 2), complex)), TypeError, "complex"),
    "booleans": (lambda e: e.push(np.zeros((4, 2), bool)), TypeError, "bool"),
    "objects": (lambda e: e.push([[object(), 1.0]]), TypeError, "not numbers"),
    "setting beyond 32 bits": (lambda e: kalo.Engine(250, amplitude_threshold=2**31), ValueError, "32-bit"),
    "unknown setting": (lambda e: kalo.Engine(250, amplitude=70), TypeError, "amplitude_threshold"),
    "rate given twice": (lambda e: kalo.Engine(250, sampling_rate=250), TypeError, "'rate'"),
    "unknown side": (lambda e: e.set_priority_side("up"), ValueError, "'left', 'right' or 'none'"),
    "flag that is not a flag": (lambda e: e.set_mental_estimation_mode("yes"), TypeError, "True or False"),
    "three columns for four channels": (lambda e: kalo.Engine(250, bipolar=False, channels_number=4).push(
        np.zeros((10, 3))), ValueError, r"shape \(samples, 4\)"),
}


@pytest.mark.parametrize("case", WRONG_ARRAYS, ids=list(WRONG_ARRAYS))
def test_wrong_arrays_and_arguments_are_refused_clearly(case):
    action, error, words = WRONG_ARRAYS[case]
    with kalo.Engine(250) as engine:
        with pytest.raises(error, match=words):
            action(engine)


def test_feed_returns_every_record_of_the_block_entry_however_the_samples_are_split():
    volts = synthetic_eeg(250, 40, seed=11)
    expected = kalo.analyze_samples(volts, 250, calibrate_at=0, calibration_length=3).windows
    # 40 s publish about a thousand records: pushed at once they would overflow the 150-record queue.
    assert expected.size > 900 and expected["rel_relaxation"].any()
    splits = {"at once": [volts], "uneven chunks": np.array_split(volts, 17),
              "one sample short of steps": np.array_split(volts, np.arange(9, len(volts), 9))}
    for name, blocks in splits.items():
        with kalo.Engine(250) as engine:
            engine.set_calibration_length(3)
            engine.start_calibration()
            actual = np.concatenate([engine.feed(block) for block in blocks])
        assert actual.dtype == kalo.WINDOW_DTYPE, name
        for field in ("rel_attention", "rel_relaxation", "inst_attention", "inst_relaxation", "alpha",
                      "both_sides_artifacted"):
            assert actual[field].tobytes() == expected[field].tobytes(), (name, field)


# (what is done to an engine, exception type, words of the message)
FEED_REFUSALS = {
    "push after feed": (lambda e: (e.feed(np.zeros((10, 2))), e.push(np.zeros((10, 2)))), RuntimeError, "feed"),
    "feed after push": (lambda e: (e.push(np.zeros((10, 2))), e.feed(np.zeros((10, 2)))), RuntimeError,
                        "push"),
    "setter after feed": (lambda e: (e.feed(np.zeros((10, 2))), e.set_calibration_length(3)), RuntimeError,
                          "before the first feed"),
    "masked array": (lambda e: e.feed(np.ma.masked_array(np.zeros((10, 2)), mask=True)), TypeError,
                     "masked"),
    "integer microvolts": (lambda e: e.feed(np.zeros((10, 2), np.int32)), TypeError, r"samples \* 1e-6"),
    "integer left and right": (lambda e: e.push(np.zeros(10, np.int16), np.zeros(10, np.int16)), TypeError,
                               "left must be volts"),
}


@pytest.mark.parametrize("case", FEED_REFUSALS, ids=list(FEED_REFUSALS))
def test_feed_and_push_are_not_mixed_and_arrays_that_cannot_be_volts_are_refused(case):
    action, error, words = FEED_REFUSALS[case]
    with kalo.Engine(250) as engine:
        with pytest.raises(error, match=words):
            action(engine)


@pytest.mark.parametrize("spelling", ["uV", "µV", "microvolts", "MICROVOLTS"])
def test_the_program_and_the_package_accept_the_same_spellings_of_microvolts(spelling, kalo_program, tmp_path):
    path = write_csv(tmp_path / "microvolts.csv", synthetic_eeg(250, 12, 3, seed=2), 250, ("O1", "Oz", "O2"),
                     1e6)
    expected = program_rows(kalo_program, path, "--units", spelling, "--channels", "O1,Oz,O2")
    result = kalo.analyze_file(path, units=spelling, channels="O1,Oz,O2")
    assert expected.size > 200
    assert_same_bits(result.windows, expected)
