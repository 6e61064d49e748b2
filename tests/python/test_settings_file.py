"""settings= reads the settings file kalo analyze --print-settings writes: the same rows as the keywords
it was printed from, keywords given with it winning over it, and a bad file refused naming file and key."""

import json
import subprocess

import numpy as np
import pytest

import kalo
from conftest import assert_same_bits


def _volts(seconds=16, rate=250):
    t = np.arange(seconds * rate) / rate
    left = 2e-5 * np.sin(2 * np.pi * 10 * t) + 8e-6 * np.sin(2 * np.pi * 18 * t)
    right = 1.5e-5 * np.sin(2 * np.pi * 9 * t + 1) + np.where((t % 6) > 4, 1.2e-4 * np.sin(2 * t), 0)
    return np.column_stack([left, right])


def test_a_settings_file_gives_the_rows_of_its_keywords_and_keywords_win_over_it(kalo_program, tmp_path):
    flags = ["--band-power-threshold", "650000", "--amplitude-threshold", "55", "--hanning", "--calibrate-at", "3"]
    printed = subprocess.run([kalo_program, "analyze", "--print-settings", *flags], check=True,
                             capture_output=True, text=True).stdout
    path = tmp_path / "settings.json"
    path.write_text(printed)
    volts = _volts()
    keywords = kalo.analyze_samples(volts, 250, band_power_threshold=650000, amplitude_threshold=55,
                                    use_hanning=True, calibrate_at=3)
    assert_same_bits(kalo.analyze_samples(volts, 250, settings=path).windows, keywords.windows)
    assert not np.array_equal(kalo.analyze_samples(volts, 250).windows, keywords.windows)
    # A keyword wins over the file, calibrate_at as any other.
    overridden = kalo.analyze_samples(volts, 250, settings=path, amplitude_threshold=120, calibrate_at=None)
    assert overridden.settings["amplitude_threshold"] == 120
    assert overridden.settings["band_power_threshold"] == 650000
    assert np.isnan(overridden.summary["calibration_started_s"])

    path.write_text(json.dumps({"settings": {"amplitude_threshold": "sixty"}}))
    with pytest.raises(ValueError, match=rf"{path}: amplitude_threshold takes a whole number"):
        kalo.analyze_samples(volts, 250, settings=path)
