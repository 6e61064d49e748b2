// Pins, as one digest per configuration, every record the engine publishes
// for a fixed synthetic input. Speed work must not change a single bit of
// what a host reads; when a change of the numbers is intended, the digests
// are updated in the same commit, with the reason.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "support/engine_settings.h"

namespace {

using namespace kalo_test;

// The input uses only additions and multiplications (a rotating phasor and a
// linear congruential generator), so it is the same on every machine.
struct Signal {
    double re = 1.0, im = 0.0; // 10 Hz at 250 Hz: rotation by 2*pi/25
    std::uint64_t state = 12345;
    double noise() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) * 0x1.0p-53 - 0.5;
    }
    // Microvolts: alpha that swells and fades, broadband noise, now and then a
    // blink-sized step and a stretch of electrode-off silence.
    double next(std::size_t n) {
        const double c = 0.96858316112863108, s = 0.24868988716485479;
        const double r = re * c - im * s;
        im = re * s + im * c;
        re = r;
        const double alpha = (n / 2500) % 2 ? 30.0 : 6.0;
        double uv = alpha * re + 25.0 * noise();
        if (n % 3000 > 2900)
            uv += 400.0;
        if (n % 7000 > 5500)
            uv = 0.0;
        return uv * 1e-6;
    }
};

struct Digest {
    std::uint64_t value = 14695981039346656037ULL; // FNV-1a
    void add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i)
            value = (value ^ bytes[i]) * 1099511628211ULL;
    }
};

// Four minutes in blocks of 10, calibrating from the 20th second, reading
// every queue, the raw values, the mean and the flags after each push.
std::uint64_t publishedDigest(const EngineSettings& settings, void (*configure)(MathLib*)) {
    _OutStatus status;
    const EngineHandle engine = createEngine(settings, &status);
    EXPECT_TRUE(engine) << status.error_msg;
    if (!engine)
        return 0;
    configure(engine.get());
    const int channels = settings.mathLib.bipolar_mode ? 2 : settings.mathLib.channels_number;
    std::vector<Signal> signals(static_cast<std::size_t>(channels));
    for (int c = 0; c < channels; ++c)
        signals[static_cast<std::size_t>(c)].state += static_cast<std::uint64_t>(c);
    Digest digest;
    std::vector<double> values(static_cast<std::size_t>(10 * channels));
    for (std::size_t n = 0; n < 60000; n += 10) {
        for (std::size_t i = 0; i < 10; ++i)
            for (int c = 0; c < channels; ++c)
                values[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                    signals[static_cast<std::size_t>(c)].next(n + i);
        std::vector<_RawChannelsArray> arrays;
        for (std::size_t i = 0; i < 10; ++i)
            arrays.push_back({&values[i * static_cast<std::size_t>(channels)]});
        const bool pushed = settings.mathLib.bipolar_mode
                                ? MathLibPushData(engine.get(), reinterpret_cast<_RawChannels*>(values.data()), 10, &status)
                                : MathLibPushDataArr(engine.get(), arrays.data(), 10, &status);
        EXPECT_TRUE(pushed && MathLibProcessDataArr(engine.get(), &status)) << status.error_msg;
        if (n == 5000)
            MathLibStartCalibration(engine.get(), &status);
        _SpectralDataPercents bands[SpectralPercentsArraySize];
        _MindData levels[MentalValueArraySize];
        int32_t spectra = SpectralPercentsArraySize, mental = MentalValueArraySize, percents = 0;
        _RawSpectVals raw{};
        _MindData mean{};
        bool both = false, sequence = false;
        MathLibReadSpectralDataPercentsArr(engine.get(), bands, &spectra, &status);
        MathLibReadMentalDataArr(engine.get(), levels, &mental, &status);
        MathLibReadRawSpectralVals(engine.get(), &raw, &status);
        MathLibReadAverageMentalData(engine.get(), 3, &mean, &status);
        MathLibGetCallibrationPercents(engine.get(), &percents, &status);
        MathLibIsBothSidesArtifacted(engine.get(), &both, &status);
        MathLibIsArtifactedSequence(engine.get(), &sequence, &status);
        digest.add(bands, sizeof(bands[0]) * static_cast<std::size_t>(spectra));
        digest.add(levels, sizeof(levels[0]) * static_cast<std::size_t>(mental));
        digest.add(&raw, sizeof(raw));
        digest.add(&mean, sizeof(mean));
        digest.add(&percents, sizeof(percents));
        digest.add(&both, sizeof(both));
        digest.add(&sequence, sizeof(sequence));
    }
    return digest.value;
}

TEST(PublishedDigest, EveryPublishedBitIsPinned) {
    struct Case {
        const char* name;
        EngineSettings settings;
        void (*configure)(MathLib*);
        std::uint64_t expected;
    };
    EngineSettings power = engineSettings(250, 500, true);
    power.mathLib.use_power_spectrum = true;
    power.artifactDetect.use_hamming = true;
    const Case cases[] = {
        {"bipolar, defaults", engineSettings(250, 500, true), [](MathLib*) {}, 5542036671775032204ULL},
        {"bipolar, power spectrum, Hamming, left priority, coefficients, second mode", power,
         [](MathLib* e) {
             MathLibSetPrioritySide(e, LEFT, nullptr);
             MathLibSetSpectNormalizationByBandsWidth(e, false, nullptr);
             MathLibSetSpectNormalizationByCoeffs(e, true, nullptr);
             MathLibSetWeightsForSpectra(e, 1.0, 2.0, 3.0, 4.0, 5.0, nullptr);
             MathLibSetMentalEstimationMode(e, true, nullptr);
             MathLibSetZeroSpectWaves(e, true, 0, 1, 1, 1, 0, nullptr);
         },
         366054797614529113ULL},
        {"four channels, Hanning", [] {
             EngineSettings s = engineSettings(250, 500, false, 4);
             s.artifactDetect.use_hanning = true;
             return s;
         }(), [](MathLib*) {}, 18385423356499275181ULL},
    };
    for (const Case& c : cases)
        EXPECT_EQ(publishedDigest(c.settings, c.configure), c.expected) << c.name;
}

} // namespace
