// The layout of every public record is part of the binary interface: a host
// compiled against an older header must read the same bytes. The C compiler's
// view is compared with C++'s and with the pinned sizes and offsets.

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <string>

#include "kalo_artifacts.h"
#include "record_layout.h"

namespace {

std::map<std::string, std::size_t> cppLayout() {
#define KALO_SIZE_ENTRY(type) {"sizeof " #type, sizeof(type)},
#define KALO_OFFSET_ENTRY(type, field) {"offsetof " #type "." #field, offsetof(type, field)},
    return {KALO_RECORD_LAYOUT(KALO_SIZE_ENTRY, KALO_OFFSET_ENTRY)};
#undef KALO_SIZE_ENTRY
#undef KALO_OFFSET_ENTRY
}

TEST(RecordLayout, CAndCppAgree) {
    const auto cpp = cppLayout();
    std::size_t count = 0;
    const KaloLayoutEntry* c = kalo_c_record_layout(&count);
    ASSERT_EQ(count, cpp.size());
    for (std::size_t i = 0; i < count; ++i)
        EXPECT_EQ(c[i].value, cpp.at(c[i].name)) << c[i].name;
}

TEST(RecordLayout, MatchesThePinnedBinaryInterface) {
    // Natural alignment on x86-64: one-byte booleans, 32-bit integers,
    // 8-byte doubles and pointers.
    const std::map<std::string, std::size_t> pinned = {
        {"sizeof _SideType", 4},
        {"sizeof _RawChannels", 16},
        {"offsetof _RawChannels.right", 8},
        {"sizeof _RawChannelsArray", 8},
        {"sizeof _MindData", 32},
        {"offsetof _MindData.inst_relaxation", 24},
        {"sizeof _SpectralDataPercents", 40},
        {"offsetof _SpectralDataPercents.gamma", 32},
        {"sizeof _RawSpectVals", 16},
        {"sizeof _SpectralData", 20},
        {"offsetof _SpectralData.gamma", 16},
        {"sizeof _MathLibSetting", 28},
        {"offsetof _MathLibSetting.n_first_sec_skipped", 12},
        {"offsetof _MathLibSetting.bipolar_mode", 16},
        {"offsetof _MathLibSetting.use_power_spectrum", 17},
        {"offsetof _MathLibSetting.channels_number", 20},
        {"offsetof _MathLibSetting.channel_for_analysis", 24},
        {"sizeof _ArtifactDetectSetting", 28},
        {"offsetof _ArtifactDetectSetting.artifact_sequence_sec", 16},
        {"offsetof _ArtifactDetectSetting.detect_by_total_power", 20},
        {"offsetof _ArtifactDetectSetting.use_hanning", 21},
        {"offsetof _ArtifactDetectSetting.use_hamming", 22},
        {"offsetof _ArtifactDetectSetting.quality_history_length", 24},
        {"sizeof _ShortArtifactDetectSetting", 12},
        {"sizeof _MentalAndSpectralSetting", 8},
        {"sizeof _OutStatus", 520},
        {"offsetof _OutStatus.error_code", 4},
        {"offsetof _OutStatus.error_msg", 8},
        {"sizeof _FilterParam", 16},
        {"offsetof _FilterParam.sampling_rate", 4},
        {"offsetof _FilterParam.frequency", 8},
        {"sizeof _ArtifactSetting", 12},
        {"offsetof _ArtifactSetting.fft_window", 8},
        {"sizeof _ArtifactInfo", 12},
        {"offsetof _ArtifactInfo.is_start", 4},
        {"offsetof _ArtifactInfo.type", 8},
    };
    const auto cpp = cppLayout();
    for (const auto& [name, value] : pinned)
        EXPECT_EQ(cpp.at(name), value) << name;
    EXPECT_EQ(sizeof(_FilterType), 1u);
}

TEST(RecordLayout, ExportedDefaultsAndConstants) {
    EXPECT_EQ(BufferSize, 15000);
    EXPECT_EQ(MentalValueArraySize, 150);
    EXPECT_EQ(AttEstBufferSize, 100);
    EXPECT_EQ(SpectralPercentsArraySize, 200);

    EXPECT_EQ(MathLibSettingDefault.sampling_rate, 0);
    EXPECT_EQ(MathLibSettingDefault.process_win_freq, 25);
    EXPECT_EQ(MathLibSettingDefault.fft_window, 0);
    EXPECT_EQ(MathLibSettingDefault.n_first_sec_skipped, 4);
    EXPECT_FALSE(MathLibSettingDefault.bipolar_mode);
    EXPECT_FALSE(MathLibSettingDefault.use_power_spectrum);
    EXPECT_EQ(MathLibSettingDefault.channels_number, 4);
    EXPECT_EQ(MathLibSettingDefault.channel_for_analysis, 0);

    EXPECT_EQ(ArtifactDetectSettingDefault.amplitude_threshold, 70);
    EXPECT_EQ(ArtifactDetectSettingDefault.bad_samples_percent, 50);
    EXPECT_EQ(ArtifactDetectSettingDefault.band_power_threshold, 800000);
    EXPECT_EQ(ArtifactDetectSettingDefault.total_power_threshold, 30000000);
    EXPECT_EQ(ArtifactDetectSettingDefault.artifact_sequence_sec, 4);
    EXPECT_FALSE(ArtifactDetectSettingDefault.detect_by_total_power);
    EXPECT_FALSE(ArtifactDetectSettingDefault.use_hanning);
    EXPECT_FALSE(ArtifactDetectSettingDefault.use_hamming);
    EXPECT_EQ(ArtifactDetectSettingDefault.quality_history_length, 100);

    EXPECT_EQ(ShortArtifactDetectSettingDefault.peak_win_ms, 200);
    EXPECT_EQ(ShortArtifactDetectSettingDefault.peak_area_ms, 200);
    EXPECT_EQ(ShortArtifactDetectSettingDefault.peak_threshold, 30);
    EXPECT_EQ(MentalAndSpectralSettingDefault.mental_estimation_sec, 2);
    EXPECT_EQ(MentalAndSpectralSettingDefault.spectral_averaging_sec, 2);

    // The same objects are reachable under the namespace in C++.
    EXPECT_EQ(&OviMath::Types::BufferSize, &BufferSize);
    EXPECT_EQ(OviMath::Types::K_lp_30, K_lp_30);
}

} // namespace
