// The coefficient-text parser: what gain and which sections a text yields.

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "filters/coefficient_text.h"
#include "filters/t_filter.h"
#include "kalo_artifacts/types.h"
#include "support/comma_locale.h"
#include "support/transfer_function.h"

namespace {

using Filters::Impl::TFilter;
using Filters::Impl::Algorithms::Sections;
using kalo_test::coefficientsOf;

struct Section {
    bool secondOrder;
    double b1, b2, a1, a2; // b2 and a2 are unused for a first-order section
};

struct Parsed {
    double gain = 0.0;
    Sections sections;
};

Parsed parse(const std::string& text) {
    Parsed parsed;
    parsed.sections = TFilter::CreateCascades(text.c_str(), parsed.gain);
    return parsed;
}

void expectSections(const Sections& actual, const std::vector<Section>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("section " + std::to_string(i));
        const auto c = coefficientsOf(*actual[i]);
        EXPECT_EQ(c.secondOrder, expected[i].secondOrder);
        EXPECT_EQ(c.b1, expected[i].b1);
        EXPECT_EQ(c.a1, expected[i].a1);
        if (expected[i].secondOrder) {
            EXPECT_EQ(c.b2, expected[i].b2);
            EXPECT_EQ(c.a2, expected[i].a2);
        }
    }
}

std::string withCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

struct BuiltIn {
    const char* name;
    const char* text;
    double gain;
    std::vector<Section> sections;
};

std::vector<BuiltIn> builtInTexts() {
    return {
        {"K_bs_45_55_4",
         OviMath::Types::K_bs_45_55_4,
         .7187168060459113,
         {{true, -.6180339887498949, 1, -.6362664997340413, .79387944010353},
          {true, -.6180339887498949, 1, -.7946350197100292, .9120234632540067},
          {true, -.6180339887498949, 1, -.4682186810673564, .7879440587968587},
          {true, -.6180339887498949, 1, -.3697762568291702, .905440002856472}}},
        {"K_bs_55_65",
         OviMath::Types::K_bs_55_65,
         .8483199451884242,
         {{true, -.1255810390586269, 1, -.1641550371654011, .8902373199109685},
          {true, -.1255810390586269, 1, -.2355097048812527, .9532507956706395},
          {true, -.1255810390586269, 1, -7.307243266028923e-02, .8899218207338772},
          {true, -.1255810390586269, 1, -8.95176032919359e-03, .9529157988730944}}},
        {"K_bs_62",
         OviMath::Types::K_bs_62,
         .7181611191112476,
         {{true, 0, 1, -8.749745930743569e-02, .7904680311187496},
          {true, 0, 1, -.2226137422507769, .9085264869628359},
          {true, 0, 1, 8.749745930743535e-02, .7904680311187496},
          {true, 0, 1, .2226137422507766, .9085264869628359}}},
        {"K_hp_4",
         OviMath::Types::K_hp_4,
         .9043187344847895,
         {{false, -1, 0, -.9042035937390208, 0}, {true, -2., 1, -1.894818420934282, .9044338752305583}}},
        {"K_hp_10_Cheb3",
         OviMath::Types::K_hp_10_Cheb3,
         .8347960711381394,
         {{false, -1, 0, -.8000268966243025, 0}, {true, -2., 1, -1.840584075799529, .8695652456519763}}},
        {"K_lp_30",
         OviMath::Types::K_lp_30,
         2.863530017091789e-02,
         {{false, 1, 0, -.432738642247426, 0}, {true, 2., 1, -1.086169992415511, .4900092425892617}}},
    };
}

TEST(CoefficientText, BuiltInTextsParseToTheirSectionsWithLfAndCrLf) {
    for (const auto& builtIn : builtInTexts()) {
        SCOPED_TRACE(builtIn.name);
        for (const std::string& text : {std::string(builtIn.text), withCrLf(builtIn.text)}) {
            const Parsed parsed = parse(text);
            EXPECT_EQ(parsed.gain, builtIn.gain);
            expectSections(parsed.sections, builtIn.sections);
        }
    }
}

TEST(CoefficientText, BuiltInTextsEndWithTwoLineFeeds) {
    for (const auto& builtIn : builtInTexts()) {
        const std::string text = builtIn.text;
        EXPECT_EQ(text.rfind("K = ", 0), 0u) << builtIn.name;
        EXPECT_EQ(text.substr(text.size() - 2), "\n\n") << builtIn.name;
        EXPECT_EQ(text.find('\r'), std::string::npos) << builtIn.name;
    }
}

TEST(CoefficientText, CatalogueExampleWithCrLf) {
    const Parsed parsed = parse("K = .9875121748695907\r\n\r\nTerm 1:\r\n1, -1\r\n1, -.9875119299073143\r\n\r\n"
                                "Term 2:\r\n1, -2., 1\r\n1, -1.987355494206334, .9875124198318671\r\n");
    EXPECT_EQ(parsed.gain, .9875121748695907);
    expectSections(parsed.sections, {{false, -1, 0, -.9875119299073143, 0},
                                     {true, -2, 1, -1.987355494206334, .9875124198318671}});
}

TEST(CoefficientText, TermStructureEdgeCases) {
    // A header right after a header: the first term has no values and is a
    // pass-through first-order section.
    expectSections(parse("K = 1\nTerm 1:\nTerm 2:\n1, 2., 1\n1, .5, .25\n").sections,
                   {{false, 0, 0, 0, 0}, {true, 2, 1, .5, .25}});
    // A numerator alone leaves the feedback coefficients at 0.
    expectSections(parse("K = 1\nTerm 1:\n1, .3, .2\n").sections, {{true, .3, .2, 0, 0}});
    // A leading 0 in a three-value numerator makes a first-order section
    // from the last slot of each group.
    expectSections(parse("K = 1\nTerm 1:\n0, 1, 2\n1, .5, .7\n").sections, {{false, 2, 0, .7, 0}});
    // Values before the first header belong to the first term.
    expectSections(parse("1, 2\nK = 1\nTerm 1:\n1, .5, .25\n").sections, {{false, 2, 0, .25, 0}});
}

TEST(CoefficientText, ALineWithSpacesBeforeCommasIsNoCoefficientLineAndClosesTheTerm) {
    const Parsed parsed = parse("K = 1\nTerm 1:\n1 , 2\n1, .5, .25\n");
    // "1 , 2" closes the empty term 1; the next line's values stay in the
    // slots of a term that is never opened, so no second section appears.
    expectSections(parsed.sections, {{false, 0, 0, 0, 0}});
}

TEST(CoefficientText, GainLines) {
    EXPECT_EQ(parse("K = 1\nK = 2.5\n").gain, 2.5);
    EXPECT_EQ(parse("K = 1e+3\n").gain, 1.0);     // capture stops at '+'
    EXPECT_EQ(parse("k=0.5\n").gain, 0.5);         // case and spaces do not matter
    EXPECT_EQ(parse("K = 3\nK = +5\n").gain, 3.0); // a signed gain is no gain line
    EXPECT_EQ(parse("gain: 2\n").gain, 0.0);       // no gain line: caller's value stays
}

TEST(CoefficientText, HeaderInCapitalsIsRecognised) {
    expectSections(parse("K = 1\nTERM 2:\n1, .5\n1, .25\n").sections, {{false, .5, 0, .25, 0}});
    // "Term1:" lacks the space: no header, so no term.
    EXPECT_TRUE(parse("K = 1\nTerm1:\n1, .5\n1, .25\n").sections.empty());
}

TEST(CoefficientText, EmptyAndNullTexts) {
    double gain = 0.0;
    EXPECT_TRUE(TFilter::CreateCascades("", gain).empty());
    EXPECT_EQ(gain, 0.0);
    gain = 7.0;
    EXPECT_THROW(TFilter::CreateCascades(nullptr, gain), std::logic_error);
    EXPECT_EQ(gain, 7.0);
}

TEST(CoefficientText, ValuesPastTheSixthSlotAreDropped) {
    // Eight values in one term: slots 0..5 take the first six.
    expectSections(parse("K = 1\nTerm 1:\n1, 2, 3, 4, 5, 6, 7, 8\n").sections, {{true, 2, 3, 5, 6}});
    // Three coefficient lines in one term.
    expectSections(parse("K = 1\nTerm 1:\n1, 2, 3\n1, 4, 5\n1, 6, 7\n").sections, {{true, 2, 3, 4, 5}});
    // A text with CR-only line ends is one line holding every comma.
    const Parsed crOnly = parse("K = .5\rTerm 1:\r1, 2., 1\r1, .5, .25\r\rTerm 2:\r1, 3., 1\r1, .6, .2\r");
    EXPECT_EQ(crOnly.sections.size(), 0u); // a coefficient line before any header; never closed
    EXPECT_EQ(crOnly.gain, 0.0);
}

TEST(CoefficientText, VeryLongLinesAreHandled) {
    std::string line(1 << 20, '1');
    for (std::size_t i = 1; i < line.size(); i += 2)
        line[i] = ',';
    const Parsed parsed = parse("K = 1\nTerm 1:\n" + line + "\n");
    expectSections(parsed.sections, {{true, 1, 1, 1, 1}});
}

TEST(CoefficientText, NumbersAreReadInTheCNotationWhateverTheLocale) {
    kalo_test::CommaLocale comma;
    if (!comma.available())
        GTEST_SKIP() << "locale " << comma.name << " is not available; cannot show the comma-decimal case";
    const Parsed underComma = parse(OviMath::Types::K_hp_4);
    comma.restore();
    ASSERT_TRUE(comma.hasDecimalComma()) << comma.name << " does not use a decimal comma";

    const Parsed underC = parse(OviMath::Types::K_hp_4);
    EXPECT_EQ(underComma.gain, underC.gain);
    EXPECT_EQ(underComma.gain, .9043187344847895);
    ASSERT_EQ(underComma.sections.size(), underC.sections.size());
    for (std::size_t i = 0; i < underC.sections.size(); ++i) {
        const auto a = coefficientsOf(*underComma.sections[i]);
        const auto b = coefficientsOf(*underC.sections[i]);
        EXPECT_EQ(a.a1, b.a1);
        EXPECT_EQ(a.a2, b.a2);
    }
}

// The hand-written recognisers must decide exactly what the line patterns
// decide. std::regex is the oracle here, on short random lines built from the
// characters that matter.
TEST(CoefficientText, RecognisersAgreeWithTheLinePatterns) {
    using namespace Filters::Impl::CoefficientText;
    const auto flags = std::regex::ECMAScript | std::regex::icase;
    const std::regex coefficient(R"((([0-9.e-]+),\s*)+([0-9.e-]+))", flags);
    const std::regex gain(R"(k\s*=\s*([0-9.e-]+))", flags);
    const std::regex header(R"(term (\d+):)", flags);

    const std::string alphabet = "0123456789.eE-+, \t\r\vkK=termTERM:x";
    std::mt19937 random(12345);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 24);

    std::vector<std::string> lines = {"1, -.5",  "1 , 2",   "1,2",      "1,\t2",    "k = 1e+3", "K=",
                                      "k = -",   "kk = 3",  "Term 1:",  "term 12:", "Term  1:", "Term 1 :",
                                      "xterm 3:", "TERM 9:", "e,e",     "-,-",      ",1",       "1,"};
    for (int i = 0; i < 20000; ++i) {
        std::string line;
        const int n = length(random);
        for (int j = 0; j < n; ++j)
            line += alphabet[pick(random)];
        lines.push_back(line);
    }
    for (const auto& line : lines) {
        SCOPED_TRACE("line \"" + line + "\"");
        EXPECT_EQ(isCoefficientLine(line), std::regex_search(line, coefficient));
        std::smatch match;
        const bool hasGain = std::regex_search(line, match, gain);
        const auto captured = gainCapture(line);
        ASSERT_EQ(captured.has_value(), hasGain);
        if (hasGain) {
            EXPECT_EQ(std::string(*captured), match[1].str());
        }
        EXPECT_EQ(isTermHeader(line), std::regex_search(line, header));
    }
}

TEST(CoefficientText, NumberConversionFollowsStrtod) {
    using Filters::Impl::CoefficientText::toNumber;
    EXPECT_EQ(toNumber(" .25\r"), .25);
    EXPECT_EQ(toNumber("-2."), -2.0);
    EXPECT_EQ(toNumber("-8.749745930743569e-02"), -8.749745930743569e-02);
    EXPECT_EQ(toNumber("abc"), 0.0);
    EXPECT_EQ(toNumber(""), 0.0);
    EXPECT_EQ(toNumber("3x"), 3.0);
}

} // namespace
