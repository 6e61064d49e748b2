// Every catalogue file, read through the library's own parser, is the filter
// its name promises. The frequency response
//     H(e^jw) = K * prod_i (1 + b1 e^-jw + b2 e^-2jw) / (1 + a1 e^-jw + a2 e^-2jw)
// is evaluated from the parsed coefficients as complex numbers and checked at
// the points where a Butterworth design of the named kind has known gains:
// 1 in the pass band's reference point, 1/sqrt(2) (-3 dB) at each band edge,
// 0 at a band-stop's centre. Edges are in Hz; a band's centre is the
// frequency whose prewarped value tan(pi f / fs) is the geometric mean of the
// prewarped edges. Every pole must lie strictly inside the unit circle.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "filters/embedded_filesystem.h"
#include "filters/iir_filter.h"
#include "filters/preinstalled.h"
#include "filters/t_filter.h"
#include "kalo_artifacts/types.h"
#include "support/transfer_function.h"

namespace {

using Filters::Impl::TFilter;
using Filters::Impl::Algorithms::IirFilter;
using Filters::Preinstalled::PreinstaledFilter;
using kalo_test::coefficientsOf;
using kalo_test::SectionCoefficients;

// Gains of 1, 1/sqrt(2) and 0 are met to this absolute tolerance. The files
// print 16 significant digits; the worst case, poles close to z = 1 (0.1 Hz at
// 1000 Hz), stays below 1e-10.
constexpr double gainTolerance = 1e-9;
const double halfPower = 1.0 / std::sqrt(2.0);

// The gain and sections of a text, as the library's parser reads them.
std::unique_ptr<IirFilter> parse(const char* text) {
    double K = 0.0;
    auto sections = TFilter::CreateCascades(text, K);
    return std::make_unique<IirFilter>(0, 0, false, K, std::move(sections));
}

std::vector<SectionCoefficients> sectionsOf(const IirFilter& design) {
    std::vector<SectionCoefficients> sections;
    for (const auto& section : design.sections())
        sections.push_back(coefficientsOf(*section));
    return sections;
}

double gain(const IirFilter& design, double frequencyHz, double rateHz) {
    return kalo_test::magnitude(design, frequencyHz, rateHz);
}

double prewarp(double frequencyHz, double rateHz) { return std::tan(std::numbers::pi * frequencyHz / rateHz); }

double bandCentre(double lowHz, double highHz, double rateHz) {
    return rateHz / std::numbers::pi * std::atan(std::sqrt(prewarp(lowHz, rateHz) * prewarp(highHz, rateHz)));
}

// The frequency in [lowHz, highHz] where the gain crosses 1/sqrt(2); the gain
// must be on different sides of it at the two ends.
double halfPowerCrossing(const IirFilter& design, double rateHz, double lowHz, double highHz) {
    const bool lowAbove = gain(design, lowHz, rateHz) > halfPower;
    EXPECT_NE(lowAbove, gain(design, highHz, rateHz) > halfPower) << "no crossing in " << lowHz << ".." << highHz;
    for (int step = 0; step < 60; ++step) {
        const double middle = 0.5 * (lowHz + highHz);
        ((gain(design, middle, rateHz) > halfPower) == lowAbove ? lowHz : highHz) = middle;
    }
    return 0.5 * (lowHz + highHz);
}

struct Entry {
    std::string name; // without ".dat"
    std::string kind;
    double frequencyHz;
    double rateHz;
};

Entry entryOf(const std::string& fileName) {
    Entry e;
    e.name = fileName.substr(0, fileName.size() - 4);
    const std::size_t first = e.name.find('_');
    const std::size_t second = e.name.find('_', first + 1);
    e.kind = e.name.substr(0, first);
    std::string frequency = e.name.substr(first + 1, second - first - 1);
    for (char& c : frequency)
        if (c == 'p')
            c = '.';
    e.frequencyHz = std::stod(frequency);
    e.rateHz = std::stod(e.name.substr(second + 1));
    return e;
}

// Band edges (Hz) of the band designs that follow the design rule.
std::pair<double, double> bandPassEdges(const Entry& e) {
    static const std::map<std::string, std::pair<double, double>> edges = {
        {"BP_1p75_500", {0.5, 4.0}}, {"BP_2p25_500", {0.5, 5.0}}, {"BP_6_500", {4.0, 8.0}},
        {"BP_11_500", {8.0, 14.0}},  {"BP_24_500", {14.0, 34.0}},
    };
    return edges.at(e.name);
}

std::pair<double, double> bandStopEdges(const Entry& e) {
    if (e.frequencyHz == 50.0)
        return {45.0, 55.0};
    if (e.frequencyHz == 60.0 && e.rateHz != 125.0)
        return {55.0, 65.0};
    if (e.name == "BS_59p5_125")
        return {58.0, 61.0};
    if (e.rateHz == 500.0)
        return {e.frequencyHz - 5.0, e.frequencyHz + 5.0};
    ADD_FAILURE() << e.name << " has no band edges in the design rule";
    return {0.0, 0.0};
}

// The three band-stop files that follow no rule, each checked on its own.
bool isSpecialBandStop(const std::string& name) {
    return name == "BS_62p5_250" || name == "BS_100_250" || name == "BS_60_125";
}

std::vector<std::string> catalogueFiles() {
    std::vector<std::string> names;
    for (const auto& entry : Filters::Resources::get_filesystem().iterate_directory("preinstalled/resources"))
        names.push_back(entry.name());
    return names;
}

class CatalogueFile : public testing::TestWithParam<std::string> {
protected:
    Entry entry = entryOf(GetParam());
    const char* text = PreinstaledFilter().GetFilterData(entry.name.c_str());
    std::unique_ptr<IirFilter> filter = parse(text);
    const IirFilter& design = *filter;
};

TEST_P(CatalogueFile, TextStartsWithTheGainAndUsesCrLf) {
    const std::string all(text);
    EXPECT_EQ(all.substr(0, 4), "K = ");
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all.substr(all.size() - 2), "\r\n") << "the last line ends with CR LF too";
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] == '\n') {
            ASSERT_TRUE(i > 0 && all[i - 1] == '\r') << "bare LF at byte " << i;
        }
        if (all[i] == '\r') {
            ASSERT_TRUE(i + 1 < all.size() && all[i + 1] == '\n') << "bare CR at byte " << i;
        }
    }
}

TEST_P(CatalogueFile, SectionsHaveTheShapeOfTheKind) {
    std::vector<int> orders;
    for (const SectionCoefficients& s : sectionsOf(design))
        orders.push_back(s.secondOrder ? 2 : 1);
    if (entry.kind == "LP" || entry.kind == "HP")
        EXPECT_EQ(orders, (std::vector<int>{1, 2}));
    else if (entry.name == "BS_62p5_250")
        EXPECT_EQ(orders, (std::vector<int>{2, 2, 2, 2}));
    else
        EXPECT_EQ(orders, (std::vector<int>{2, 2, 2}));
}

TEST_P(CatalogueFile, EveryPoleIsStrictlyInsideTheUnitCircle) {
    ASSERT_FALSE(design.sections().empty());
    EXPECT_LT(kalo_test::largestPoleRadius(design), 1.0);
}

TEST_P(CatalogueFile, GainsAtTheReferencePointsOfItsKind) {
    const double fs = entry.rateHz;
    const double f = entry.frequencyHz;
    if (entry.kind == "LP") {
        EXPECT_NEAR(gain(design, 0.0, fs), 1.0, gainTolerance) << "at 0 Hz";
        EXPECT_NEAR(gain(design, f, fs), halfPower, gainTolerance) << "at the cut-off";
    } else if (entry.kind == "HP") {
        EXPECT_NEAR(gain(design, fs / 2.0, fs), 1.0, gainTolerance) << "at half the rate";
        EXPECT_NEAR(gain(design, f, fs), halfPower, gainTolerance) << "at the cut-off";
    } else if (entry.kind == "BP") {
        const auto [low, high] = bandPassEdges(entry);
        EXPECT_NEAR(gain(design, bandCentre(low, high, fs), fs), 1.0, gainTolerance) << "at the centre";
        EXPECT_NEAR(gain(design, low, fs), halfPower, gainTolerance) << "at " << low << " Hz";
        EXPECT_NEAR(gain(design, high, fs), halfPower, gainTolerance) << "at " << high << " Hz";
    } else if (entry.kind == "BS") {
        EXPECT_NEAR(gain(design, 0.0, fs), 1.0, gainTolerance) << "at 0 Hz";
        // Their stop bands are checked against their own properties in
        // SpecialBandStops below.
        if (isSpecialBandStop(entry.name))
            return;
        const auto [low, high] = bandStopEdges(entry);
        EXPECT_NEAR(gain(design, bandCentre(low, high, fs), fs), 0.0, gainTolerance) << "at the centre";
        EXPECT_NEAR(gain(design, low, fs), halfPower, gainTolerance) << "at " << low << " Hz";
        EXPECT_NEAR(gain(design, high, fs), halfPower, gainTolerance) << "at " << high << " Hz";
    } else {
        ADD_FAILURE() << "unknown kind " << entry.kind;
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, CatalogueFile, testing::ValuesIn(catalogueFiles()),
                         [](const testing::TestParamInfo<std::string>& file) {
                             return file.param.substr(0, file.param.size() - 4);
                         });

TEST(SpecialBandStops, BS_62p5_250_IsTheBuiltInText) {
    const auto stored = parse(PreinstaledFilter().GetFilterData("BS_62p5_250"));
    const auto builtIn = parse(K_bs_62);
    EXPECT_EQ(stored->gain(), builtIn->gain());
    const auto a = sectionsOf(*stored);
    const auto b = sectionsOf(*builtIn);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].secondOrder, b[i].secondOrder) << "section " << i + 1;
        EXPECT_EQ(a[i].b1, b[i].b1) << "section " << i + 1;
        EXPECT_EQ(a[i].b2, b[i].b2) << "section " << i + 1;
        EXPECT_EQ(a[i].a1, b[i].a1) << "section " << i + 1;
        EXPECT_EQ(a[i].a2, b[i].a2) << "section " << i + 1;
    }
    EXPECT_NEAR(gain(*stored, 62.5, 250.0), 0.0, gainTolerance) << "null at 62.5 Hz";
}

// A band-stop whose three sections share one numerator 1 + b1 z^-1 + z^-2:
// its zeros lie on the unit circle at cos(w) = -b1 / 2.
double nullOf(const IirFilter& design, double rateHz) {
    const auto sections = sectionsOf(design);
    for (const SectionCoefficients& s : sections) {
        EXPECT_EQ(s.b1, sections.front().b1);
        EXPECT_EQ(s.b2, 1.0);
    }
    return std::acos(-sections.front().b1 / 2.0) / (2.0 * std::numbers::pi) * rateHz;
}

TEST(SpecialBandStops, BS_100_250_HasItsZeroAt100Hz) {
    const auto filter = parse(PreinstaledFilter().GetFilterData("BS_100_250"));
    const IirFilter& design = *filter;
    ASSERT_EQ(design.sections().size(), 3u);
    EXPECT_NEAR(nullOf(design, 250.0), 100.0, 1e-9);
    EXPECT_NEAR(gain(design, 100.0, 250.0), 0.0, gainTolerance);
    EXPECT_NEAR(gain(design, 0.0, 250.0), 1.0, gainTolerance);
    EXPECT_NEAR(halfPowerCrossing(design, 250.0, 90.0, 100.0), 97.4, 0.05);
    EXPECT_NEAR(halfPowerCrossing(design, 250.0, 100.0, 110.0), 102.4, 0.05);
}

TEST(SpecialBandStops, BS_60_125_HasItsNullNear39Hz) {
    const auto filter = parse(PreinstaledFilter().GetFilterData("BS_60_125"));
    const IirFilter& design = *filter;
    ASSERT_EQ(design.sections().size(), 3u);
    const double null = nullOf(design, 125.0);
    EXPECT_NEAR(null, 39.1, 0.05);
    EXPECT_NEAR(gain(design, null, 125.0), 0.0, gainTolerance);
    EXPECT_NEAR(gain(design, 0.0, 125.0), 1.0, gainTolerance);
    EXPECT_NEAR(halfPowerCrossing(design, 125.0, 30.0, null), 37.6, 0.05);
    EXPECT_NEAR(halfPowerCrossing(design, 125.0, null, 50.0), 40.6, 0.05);
}

TEST(CatalogueDesigns, EveryFileIsChecked) {
    // The parameterised checks above run once per stored file; this ties
    // their number to the catalogue's.
    EXPECT_EQ(catalogueFiles().size(), 151u);
}

} // namespace
