// Validation of the engine's four settings records, record by record and at
// every boundary.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/kalo_setting.h"

namespace {

using namespace OviMath::Types;

struct Settings {
    _MathLibSetting mathLib = MathLibSettingDefault;
    _ArtifactDetectSetting artifact = ArtifactDetectSettingDefault;
    _ShortArtifactDetectSetting shortArtifact = ShortArtifactDetectSettingDefault;
    _MentalAndSpectralSetting mental = MentalAndSpectralSettingDefault;

    Settings() {
        mathLib.sampling_rate = 250;
        mathLib.fft_window = 500;
    }

    _OutStatus check() const { return OviMath::Math::checkSettingMathLib(&mathLib, &artifact, &shortArtifact, &mental); }
};

const std::string mathLibMessage = "Wrong settings for MathLibSetting!";
const std::string artifactMessage = "Wrong settings for ArtifactDetectSetting!";
const std::string shortMessage = "Wrong settings for ShortArtifactDetectSetting!";
const std::string mentalMessage = "Wrong settings for Mental & Spectral Settings";

// Passes, or fails with code 1, exactly `message` and the rest of the 512
// bytes zero.
::testing::AssertionResult verdict(const _OutStatus& status, const std::string& message) {
    char expected[512] = {};
    std::memcpy(expected, message.data(), message.size());
    const bool wantSuccess = message.empty();
    if (status.success != wantSuccess)
        return ::testing::AssertionFailure() << "success is " << status.success << ", message \"" << status.error_msg << "\"";
    if (status.error_code != (wantSuccess ? 0 : 1))
        return ::testing::AssertionFailure() << "code " << status.error_code;
    if (std::memcmp(status.error_msg, expected, sizeof(expected)) != 0)
        return ::testing::AssertionFailure() << "message \"" << status.error_msg << "\", expected \"" << message << "\"";
    return ::testing::AssertionSuccess();
}

TEST(SettingsValidation, ExportedDefaultsFailUntilRateAndWindowAreSet) {
    Settings s;
    EXPECT_TRUE(verdict(s.check(), ""));
    s.mathLib = MathLibSettingDefault;
    EXPECT_TRUE(verdict(s.check(), mathLibMessage));
}

TEST(SettingsValidation, MathLibSettingBoundaries) {
    auto withMathLib = [](auto change) {
        Settings s;
        change(s.mathLib);
        return s.check();
    };
    EXPECT_TRUE(verdict(withMathLib([](auto& m) { m.fft_window = 250; }), ""));
    EXPECT_TRUE(verdict(withMathLib([](auto& m) { m.fft_window = 2000; }), ""));
    EXPECT_TRUE(verdict(withMathLib([](auto& m) { m.fft_window = 249; }), mathLibMessage));
    EXPECT_TRUE(verdict(withMathLib([](auto& m) { m.fft_window = 2001; }), mathLibMessage));
    EXPECT_TRUE(verdict(withMathLib([](auto& m) { m.process_win_freq = 5; }), ""));
    EXPECT_TRUE(verdict(withMathLib([](auto& m) { m.process_win_freq = 4; }), mathLibMessage));
    EXPECT_TRUE(verdict(withMathLib([](auto& m) { m.process_win_freq = 26; }), mathLibMessage));
    EXPECT_TRUE(verdict(withMathLib([](auto& m) { m.n_first_sec_skipped = 3; }), mathLibMessage));
    EXPECT_TRUE(verdict(withMathLib([](auto& m) { m.n_first_sec_skipped = 6; }), ""));
    EXPECT_TRUE(verdict(withMathLib([](auto& m) { m.n_first_sec_skipped = 7; }), mathLibMessage));
    // The channel test holds in bipolar mode as well.
    EXPECT_TRUE(verdict(withMathLib([](auto& m) { m.channel_for_analysis = 3; }), ""));
    EXPECT_TRUE(verdict(withMathLib([](auto& m) { m.channel_for_analysis = 4; }), mathLibMessage));
    EXPECT_TRUE(verdict(withMathLib([](auto& m) {
                            m.bipolar_mode = true;
                            m.channel_for_analysis = 4;
                        }),
                        mathLibMessage));
    EXPECT_TRUE(verdict(withMathLib([](auto& m) { m.channel_for_analysis = -1; }), mathLibMessage));
}

TEST(SettingsValidation, RatesThatCannotBeAnalysedAreRefused) {
    auto withRate = [](int rate, int window, int windowsPerSecond) {
        Settings s;
        s.mathLib.sampling_rate = rate;
        s.mathLib.fft_window = window;
        s.mathLib.process_win_freq = windowsPerSecond;
        return s.check();
    };
    // A zero rate would divide by zero later on.
    EXPECT_TRUE(verdict(withRate(0, 0, 25), mathLibMessage));
    // Below 50 Hz the 0-50 Hz bins do not fit the transform; that also
    // covers rates below the window frequency (windows 0 samples apart).
    EXPECT_TRUE(verdict(withRate(49, 98, 5), mathLibMessage));
    EXPECT_TRUE(verdict(withRate(20, 40, 25), mathLibMessage));
    EXPECT_TRUE(verdict(withRate(50, 100, 25), ""));
    EXPECT_TRUE(verdict(withRate(-250, -500, 25), mathLibMessage));
    // 8 x rate does not fit 32 bits; it must not wrap into a pass.
    EXPECT_TRUE(verdict(withRate(1 << 29, 1 << 29, 25), shortMessage));
    EXPECT_TRUE(verdict(withRate(1 << 29, -2147483647 - 1, 25), mathLibMessage));
}

TEST(SettingsValidation, ArtifactDetectSettingBoundaries) {
    auto withArtifact = [](auto change) {
        Settings s;
        change(s.artifact);
        return s.check();
    };
    EXPECT_TRUE(verdict(withArtifact([](auto& a) { a.amplitude_threshold = 120; }), ""));
    EXPECT_TRUE(verdict(withArtifact([](auto& a) { a.amplitude_threshold = 121; }), artifactMessage));
    EXPECT_TRUE(verdict(withArtifact([](auto& a) { a.amplitude_threshold = 49; }), artifactMessage));
    EXPECT_TRUE(verdict(withArtifact([](auto& a) { a.bad_samples_percent = 19; }), artifactMessage));
    EXPECT_TRUE(verdict(withArtifact([](auto& a) { a.bad_samples_percent = 71; }), artifactMessage));
    EXPECT_TRUE(verdict(withArtifact([](auto& a) { a.band_power_threshold = 599999; }), artifactMessage));
    EXPECT_TRUE(verdict(withArtifact([](auto& a) { a.band_power_threshold = 600000; }), ""));
    EXPECT_TRUE(verdict(withArtifact([](auto& a) { a.artifact_sequence_sec = 3; }), artifactMessage));
    EXPECT_TRUE(verdict(withArtifact([](auto& a) { a.total_power_threshold = 0; }), ""));
    EXPECT_TRUE(verdict(withArtifact([](auto& a) { a.quality_history_length = -5; }), ""));
}

TEST(SettingsValidation, ShortArtifactDetectSettingBoundaries) {
    auto withShort = [](auto change) {
        Settings s;
        change(s);
        return s.check();
    };
    EXPECT_TRUE(verdict(withShort([](auto& s) { s.shortArtifact.peak_threshold = 24; }), shortMessage));
    EXPECT_TRUE(verdict(withShort([](auto& s) { s.shortArtifact.peak_threshold = 25; }), ""));
    EXPECT_TRUE(verdict(withShort([](auto& s) { s.shortArtifact.peak_threshold = 70; }), ""));
    EXPECT_TRUE(verdict(withShort([](auto& s) { s.shortArtifact.peak_threshold = 71; }), shortMessage));
    // At 250 Hz with a 500-sample window the peak window may reach
    // (500 / 2) x (1000 / 250) = 1000 ms.
    EXPECT_TRUE(verdict(withShort([](auto& s) { s.shortArtifact.peak_win_ms = 1000; }), ""));
    EXPECT_TRUE(verdict(withShort([](auto& s) { s.shortArtifact.peak_win_ms = 1001; }), shortMessage));
    EXPECT_TRUE(verdict(withShort([](auto& s) { s.shortArtifact.peak_win_ms = 99; }), shortMessage));
    EXPECT_TRUE(verdict(withShort([](auto& s) {
                            s.shortArtifact.peak_win_ms = 300;
                            s.shortArtifact.peak_area_ms = 301;
                        }),
                        shortMessage));
    EXPECT_TRUE(verdict(withShort([](auto& s) { s.shortArtifact.peak_area_ms = 99; }), shortMessage));
    // Above 1000 Hz, 1000 / rate is 0 and no peak window fits.
    EXPECT_TRUE(verdict(withShort([](auto& s) {
                            s.mathLib.sampling_rate = 1001;
                            s.mathLib.fft_window = 2002;
                        }),
                        shortMessage));
}

TEST(SettingsValidation, MentalAndSpectralSettingBoundaries) {
    for (int seconds : {0, 5}) {
        Settings s;
        s.mental.mental_estimation_sec = seconds;
        EXPECT_TRUE(verdict(s.check(), mentalMessage));
        Settings t;
        t.mental.spectral_averaging_sec = seconds;
        EXPECT_TRUE(verdict(t.check(), mentalMessage));
    }
    Settings s;
    s.mental = {1, 4};
    EXPECT_TRUE(verdict(s.check(), ""));
}

TEST(SettingsValidation, RecordsAreTestedInOrderAndTheFirstFailureWins) {
    Settings s;
    s.mental.mental_estimation_sec = 0;
    s.shortArtifact.peak_threshold = 0;
    s.artifact.amplitude_threshold = 0;
    EXPECT_TRUE(verdict(s.check(), artifactMessage));
    s.mathLib.process_win_freq = 0;
    EXPECT_TRUE(verdict(s.check(), mathLibMessage));
    EXPECT_TRUE(verdict(OviMath::Math::checkSettingMathLib(nullptr, &s.artifact, &s.shortArtifact, &s.mental),
                        mathLibMessage));
}

} // namespace
