// The section cascade: checked against the mathematics of the transfer
// function, and the block path against the sample path bit for bit.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "filters/iir_filter.h"
#include "filters/t_filter.h"
#include "kalo_artifacts/types.h"
#include "support/transfer_function.h"

namespace {

using Filters::Impl::TFilter;
using Filters::Impl::Algorithms::FullfilterCascade;
using Filters::Impl::Algorithms::HalfFilterCascade;
using Filters::Impl::Algorithms::IirFilter;
using Filters::Impl::Algorithms::Sections;
using kalo_test::magnitude;
using kalo_test::response;

constexpr double rate = 250.0;

std::unique_ptr<IirFilter> build(const char* text) { return TFilter::Create(text); }

// Amplitude of the steady state a sinusoid of `hz` produces: a 20 s tone, of
// which the last 2 s (a whole number of periods for every tone used here) are
// projected onto sine and cosine at that frequency.
double steadyStateGain(IirFilter& filter, double hz) {
    const int total = static_cast<int>(20 * rate);
    const int tail = static_cast<int>(2 * rate);
    double sinPart = 0.0;
    double cosPart = 0.0;
    for (int n = 0; n < total; ++n) {
        const double phase = 2.0 * std::numbers::pi * hz * n / rate;
        const double y = filter.Filter(std::sin(phase));
        if (n >= total - tail) {
            sinPart += y * std::sin(phase);
            cosPart += y * std::cos(phase);
        }
    }
    return 2.0 * std::hypot(sinPart, cosPart) / tail;
}

struct Tone {
    const char* name;
    const char* text;
    double hz;
};

TEST(IirFilter, SteadyStateGainsOfTheBuiltInTextsMatchTheirTransferFunctions) {
    const std::vector<Tone> tones = {
        {"K_lp_30", OviMath::Types::K_lp_30, 10},          {"K_lp_30", OviMath::Types::K_lp_30, 30},
        {"K_lp_30", OviMath::Types::K_lp_30, 60},          {"K_hp_10_Cheb3", OviMath::Types::K_hp_10_Cheb3, 1},
        {"K_hp_10_Cheb3", OviMath::Types::K_hp_10_Cheb3, 20}, {"K_hp_4", OviMath::Types::K_hp_4, 1},
        {"K_hp_4", OviMath::Types::K_hp_4, 20},            {"K_bs_45_55_4", OviMath::Types::K_bs_45_55_4, 50},
        {"K_bs_45_55_4", OviMath::Types::K_bs_45_55_4, 20}, {"K_bs_55_65", OviMath::Types::K_bs_55_65, 60},
        {"K_bs_55_65", OviMath::Types::K_bs_55_65, 20},    {"K_bs_62", OviMath::Types::K_bs_62, 62.5},
        {"K_bs_62", OviMath::Types::K_bs_62, 20},
    };
    for (const auto& tone : tones) {
        SCOPED_TRACE(std::string(tone.name) + " at " + std::to_string(tone.hz) + " Hz");
        auto filter = build(tone.text);
        const double expected = magnitude(*filter, tone.hz, rate);
        EXPECT_NEAR(steadyStateGain(*filter, tone.hz), expected, 1e-9);
    }
}

TEST(IirFilter, BuiltInTextsDoWhatTheirNamesSay) {
    const auto lowPass = build(OviMath::Types::K_lp_30);
    EXPECT_GT(magnitude(*lowPass, 10, rate), 0.99);
    EXPECT_NEAR(magnitude(*lowPass, 30, rate), 1.0 / std::sqrt(2.0), 1e-6);
    EXPECT_LT(magnitude(*lowPass, 60, rate), 0.15);
    EXPECT_NEAR(magnitude(*lowPass, 0, rate), 1.0, 1e-12);

    const auto highPass = build(OviMath::Types::K_hp_10_Cheb3);
    EXPECT_LT(magnitude(*highPass, 1, rate), 0.01);
    EXPECT_GT(magnitude(*highPass, 20, rate), 0.85);

    EXPECT_LT(magnitude(*build(OviMath::Types::K_bs_45_55_4), 50, rate), 1e-12);
    EXPECT_LT(magnitude(*build(OviMath::Types::K_bs_55_65), 60, rate), 1e-12);
    EXPECT_LT(magnitude(*build(OviMath::Types::K_bs_62), 62.5, rate), 1e-12);
    for (const char* text : {OviMath::Types::K_bs_45_55_4, OviMath::Types::K_bs_55_65, OviMath::Types::K_bs_62})
        EXPECT_NEAR(magnitude(*build(text), 0, rate), 1.0, 1e-6);
}

TEST(IirFilter, ImpulseResponseStartsWithTheGainAndItsSpectrumIsTheTransferFunction) {
    auto filter = build(OviMath::Types::K_lp_30);
    const int n = 4096;
    std::vector<double> impulse(n);
    for (int i = 0; i < n; ++i)
        impulse[i] = filter->Filter(i == 0 ? 1.0 : 0.0);
    EXPECT_EQ(impulse[0], 2.863530017091789e-02);
    EXPECT_LT(std::abs(impulse[n - 1]), 1e-15); // a stable filter's response dies away
    for (double hz : {0.0, 5.0, 30.0, 47.5, 100.0}) {
        std::complex<double> sum = 0.0;
        for (int i = 0; i < n; ++i)
            sum += impulse[i] * std::polar(1.0, -2.0 * std::numbers::pi * hz * i / rate);
        EXPECT_NEAR(std::abs(sum - response(*filter, hz, rate)), 0.0, 1e-12) << hz << " Hz";
    }
}

std::vector<double> randomSamples(int n, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> normal(0.0, 30e-6);
    std::vector<double> samples(n);
    for (auto& s : samples)
        s = normal(random);
    return samples;
}

void expectSameBits(const std::vector<double>& a, const std::vector<double>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint64_t>(a[i]), std::bit_cast<std::uint64_t>(b[i])) << "sample " << i;
}

TEST(IirFilter, BlockPathGivesTheSameBitsAsTheSamplePath) {
    for (const char* text : {OviMath::Types::K_bs_45_55_4, OviMath::Types::K_hp_4, OviMath::Types::K_lp_30}) {
        auto one = build(text);
        auto block = build(text);
        const auto input = randomSamples(1000, 7);
        std::vector<double> bySample(input.size());
        for (std::size_t i = 0; i < input.size(); ++i)
            bySample[i] = one->Filter(input[i]);
        std::vector<double> byBlock = input;
        // Uneven blocks: state must carry across block boundaries.
        block->Filter(byBlock.data(), 1);
        block->Filter(byBlock.data() + 1, 333);
        block->Filter(byBlock.data() + 334, 666);
        expectSameBits(bySample, byBlock);
    }
}

TEST(IirFilter, ComplementReturnsInputMinusCascade) {
    Sections sections;
    sections.push_back(std::make_unique<HalfFilterCascade>(1.0, -.5));
    IirFilter filter(0, 0, true, .25, std::move(sections));
    Sections plainSections;
    plainSections.push_back(std::make_unique<HalfFilterCascade>(1.0, -.5));
    IirFilter plain(0, 0, false, .25, std::move(plainSections));
    const auto input = randomSamples(64, 3);
    std::vector<double> block = input;
    filter.Filter(block.data(), static_cast<int>(block.size()));
    for (std::size_t i = 0; i < input.size(); ++i)
        EXPECT_EQ(block[i], input[i] - plain.Filter(input[i]));
    filter.Clear();
    EXPECT_EQ(filter.Filter(3.0), 0.0); // cleared: cascade is the identity, so x - x
}

TEST(IirFilter, ResetClearAndNewParameters) {
    auto used = build(OviMath::Types::K_hp_10_Cheb3);
    const auto input = randomSamples(300, 11);
    for (double x : input)
        used->Filter(x);
    used->Reset();
    auto fresh = build(OviMath::Types::K_hp_10_Cheb3);
    for (double x : input)
        ASSERT_EQ(used->Filter(x), fresh->Filter(x));

    used->Clear();
    EXPECT_EQ(used->gain(), 1.0);
    EXPECT_TRUE(used->sections().empty());
    for (double x : input)
        ASSERT_EQ(used->Filter(x), x);

    // New sections start from zero state, whatever the old ones held.
    double gain = 0.0;
    auto fromText = build(OviMath::Types::K_lp_30);
    fresh->SetParams(0, 0, false, 0.0, TFilter::CreateCascades(OviMath::Types::K_lp_30, gain));
    fresh->SetParams(0, 0, false, gain, TFilter::CreateCascades(OviMath::Types::K_lp_30, gain));
    for (double x : input)
        ASSERT_EQ(fresh->Filter(x), fromText->Filter(x));
}

TEST(IirFilter, DegenerateCascades) {
    IirFilter silent(0, 0, false, 0.0, Sections{});
    EXPECT_EQ(silent.Filter(5.0), 0.0);

    Sections passThrough;
    passThrough.push_back(std::make_unique<HalfFilterCascade>(0.0, 0.0));
    IirFilter identity(0, 0, false, 1.0, std::move(passThrough));
    for (double x : {1.0, -2.5, 1e300, 0.0})
        EXPECT_EQ(identity.Filter(x), x);
}

TEST(IirFilter, ANotANumberStaysInTheStateUntilReset) {
    Sections sections;
    sections.push_back(std::make_unique<FullfilterCascade>(2.0, 1.0, -1.0, .5));
    IirFilter filter(0, 0, false, 1.0, std::move(sections));
    filter.Filter(std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(std::isnan(filter.Filter(0.0)));
    EXPECT_TRUE(std::isnan(filter.Filter(0.0)));
    filter.Reset();
    EXPECT_EQ(filter.Filter(1.0), 1.0);
}

} // namespace
