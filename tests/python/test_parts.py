"""Records, detector, filters and catalogue through the binding, held against C hosts of the library."""

import ctypes

import numpy as np
import pytest

import kalo
from kalo import _library
from conftest import run, synthetic_eeg


def test_every_record_is_laid_out_as_the_c_compiler_lays_it_out(reference_host):
    seen = {}
    for line in run(reference_host, "layout").splitlines():
        what, value = line.rsplit(" ", 1)
        kind, name = what.split(" ")
        record, _, field = name.partition(".")
        mirror = ctypes.c_int32 if record == "_SideType" else _library.RECORDS[record]
        actual = getattr(mirror, field).offset if kind == "offsetof" else ctypes.sizeof(mirror)
        assert actual == int(value), f"{what}: ctypes says {actual}, C says {value}"
        seen.setdefault(record, set()).add(field)
    for record, mirror in _library.RECORDS.items():
        assert {name for name, _ in mirror._fields_} == seen[record] - {""}, f"{record} has other fields in C"


def test_detector_verdicts_and_records_equal_the_c_hosts(reference_host):
    rate, window, step = 250, 500, 125
    samples = synthetic_eeg(rate, 40, 1, seed=11)[:, 0]
    lines = run(reference_host, "detector", rate, window, step,
                stdin="\n".join(repr(float(v)) for v in samples)).splitlines()
    actual = []
    with kalo.Detector(rate, fft_window=window) as detector:
        detector.init()
        detector.init_filters(mains_frequency=50)
        detector.set_hanning_window()
        for first in range(0, samples.size - window + 1, step):
            before = samples[first:first + window].copy()
            verdict = detector.judge(samples[first:first + window])
            assert np.array_equal(samples[first:first + window], before)  # the caller's window is not filtered
            where = detector.current_artifact
            actual.append(f"window {int(verdict.artifacted)} {verdict.quality} {where.position} "
                          f"{int(where.is_start)} {where.type}")
        assert detector.artifact_count == len([line for line in lines if line.startswith("record")])
        for record in detector.read_artifacts():
            actual.append(f"record {record['position']} {int(record['is_start'])} {record['type']}")
        assert detector.artifact_count == 0
    verdicts = [line.split()[1] for line in lines if line.startswith("window")]
    assert "0" in verdicts and "1" in verdicts  # the input has clean and artifacted windows
    assert actual == lines


def _program_filter(kalo_program, samples, *arguments):
    out = run(kalo_program, "filter", *arguments, stdin="\n".join(repr(float(v)) for v in samples) + "\n")
    return np.array([float(line) for line in out.splitlines()])


FILTERS = {
    "coefficient text": (lambda: kalo.Filter(_library.COEFFICIENT_TEXTS["K_hp_10_Cheb3"]), "K_hp_10_Cheb3"),
    "catalogue band-stop": (lambda: kalo.Filter.preinstalled("BS", 50, 250), ["--type", "BS", "--freq", "50",
                                                                               "--rate", "250"]),
    "catalogue low-pass": (lambda: kalo.Filter.preinstalled("lp", 30.0, 250), ["--type", "LP", "--freq", "30",
                                                                                "--rate", "250"]),
}


@pytest.mark.parametrize("case", FILTERS, ids=list(FILTERS))
def test_filters_give_the_c_interfaces_output_sample_by_sample_and_in_blocks(case, kalo_program, tmp_path):
    make, arguments = FILTERS[case]
    if isinstance(arguments, str):
        text = tmp_path / "filter.txt"
        text.write_text(_library.COEFFICIENT_TEXTS[arguments])
        arguments = ["--coefficients", text]
    samples = synthetic_eeg(250, 4, 1, seed=12)[:, 0]
    expected = _program_filter(kalo_program, samples, *arguments)
    with make() as whole, make() as pieces:
        assert np.array_equal(whole(samples), expected)
        first = [pieces(float(v)) for v in samples[:100]]  # scalars continue the same state as blocks
        assert np.array_equal(np.concatenate([first, pieces(samples[100:])]), expected)
        whole.reset()
        assert np.array_equal(whole(samples.astype(np.float32)), _program_filter(
            kalo_program, samples.astype(np.float32), *arguments))


def test_a_filter_list_runs_copies_of_its_filters_in_order():
    samples = synthetic_eeg(250, 4, 1, seed=13)[:, 0]
    with kalo.Filter.preinstalled("BS", 50, 250) as notch, kalo.Filter.preinstalled("LP", 30, 250) as low:
        expected = low(notch(samples))
        notch.reset()
        low.reset()
        with kalo.FilterList([notch, low]) as chain:
            notch.set_params(_library.COEFFICIENT_TEXTS["K_hp_4"])  # the list holds copies
            assert np.array_equal(chain(samples), expected)
            chain.reset()
            assert np.array_equal(chain(samples), expected)
            chain.clear()
            assert np.array_equal(chain(samples), samples)


def test_the_catalogue_is_the_one_the_kalo_program_lists(kalo_program):
    lines = run(kalo_program, "filters").splitlines()[1:]
    expected = [(kind, float(frequency), int(rate)) for kind, frequency, rate in (line.split() for line in lines)]
    assert sorted(tuple(entry) for entry in kalo.catalogue()) == sorted(expected)
    assert len(expected) == 151


def _closed(thing):
    thing.close()
    return thing


# (what is done, exception, library code: None for the filter family, whose error flag carries none, and
# for errors raised before the library; words of the message)
FAILURES = {
    "detector settings": (lambda: kalo.Detector(10), kalo.KaloError, 1, "ArtifactSetting"),
    "closed detector": (lambda: _closed(kalo.Detector(250)).judge(np.zeros(500)), kalo.KaloError, 1, "is null"),
    "filter the catalogue lacks": (lambda: kalo.Filter.preinstalled("LP", 29.5, 250), kalo.KaloError, None,
                                   "kalo.catalogue()"),
    "closed filter": (lambda: _closed(kalo.Filter.preinstalled("LP", 30, 250))(1.0), kalo.KaloError, None, "closed"),
    "closed filter list": (lambda: _closed(kalo.FilterList()).reset(), kalo.KaloError, None, "closed"),
    "2-D window": (lambda: kalo.Detector(250).judge(np.zeros((2, 250))), ValueError, None, "1-D"),
    "text window": (lambda: kalo.Detector(250).judge(["a"] * 500), TypeError, None, "real numbers"),
    "2-D samples for a filter": (lambda: kalo.Filter.preinstalled("LP", 30, 250)(np.zeros((2, 2))), ValueError,
                                 None, "1-D"),
    "unknown filter kind": (lambda: kalo.Filter.preinstalled("XX", 30, 250), ValueError, None, "HP, LP, BS, BP"),
    "text that is not a str": (lambda: kalo.Filter(b"K = 1"), TypeError, None, "str"),
    "something else in a list": (lambda: kalo.FilterList(["K = 1"]), TypeError, None, "kalo.Filter"),
}


@pytest.mark.parametrize("case", FAILURES, ids=list(FAILURES))
def test_failures_raise_clear_errors(case):
    action, error, code, words = FAILURES[case]
    with pytest.raises(error, match=words) as raised:
        action()
    assert getattr(raised.value, "code", None) == code
