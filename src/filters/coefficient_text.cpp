// The coefficient-text parser. A text is a gain line ("K = .98") and terms
// ("Term 1:") each holding a numerator and a denominator line. The parser never
// rejects a malformed text: what it does not recognise it skips, and a number
// it cannot read counts as 0. The only error is a null text.

#include "filters/coefficient_text.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

#include "filters/t_filter.h"

namespace Filters::Impl {

namespace CoefficientText {
namespace {

// [0-9.e-] matched without regard to case, so 'E' belongs to it as well.
bool isNumberChar(char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-';
}

// \s of the "C" locale.
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t skipSpaces(std::string_view line, std::size_t pos) {
    while (pos < line.size() && isSpace(line[pos]))
        ++pos;
    return pos;
}

locale_t classicLocale() {
    // Created once and never freed: it lives as long as the library.
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        throw std::runtime_error("cannot create the \"C\" locale for reading numbers");
    return locale;
}

} // namespace

bool isCoefficientLine(std::string_view line) {
    // A match needs, somewhere, a number character touching a comma, then
    // optional white space, then a number character; everything else the
    // pattern allows only extends such a minimal match.
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        if (line[i + 1] != ',' || !isNumberChar(line[i]))
            continue;
        const std::size_t next = skipSpaces(line, i + 2);
        if (next < line.size() && isNumberChar(line[next]))
            return true;
    }
    return false;
}

std::optional<std::string_view> gainCapture(std::string_view line) {
    // The leftmost 'k' from which "\s*=\s*" and a number character follow
    // starts the match; the greedy capture then takes every number character.
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (lower(line[i]) != 'k')
            continue;
        std::size_t pos = skipSpaces(line, i + 1);
        if (pos >= line.size() || line[pos] != '=')
            continue;
        pos = skipSpaces(line, pos + 1);
        std::size_t end = pos;
        while (end < line.size() && isNumberChar(line[end]))
            ++end;
        if (end > pos)
            return line.substr(pos, end - pos);
    }
    return std::nullopt;
}

bool isTermHeader(std::string_view line) {
    static constexpr std::string_view word = "term ";
    for (std::size_t i = 0; i + word.size() < line.size(); ++i) {
        bool same = true;
        for (std::size_t j = 0; j < word.size() && same; ++j)
            same = lower(line[i + j]) == word[j];
        if (!same)
            continue;
        std::size_t pos = i + word.size();
        const std::size_t digits = pos;
        while (pos < line.size() && isDigit(line[pos]))
            ++pos;
        if (pos > digits && pos < line.size() && line[pos] == ':')
            return true;
    }
    return false;
}

double toNumber(std::string_view piece) {
    const std::string terminated(piece);
    return strtod_l(terminated.c_str(), nullptr, classicLocale());
}

} // namespace CoefficientText

namespace {

constexpr int slotCount = 6;

const char* requireText(const char* text) {
    if (text == nullptr)
        throw std::logic_error("coefficient text is null");
    return text;
}

// Slot 0 (the leading numerator value) decides the kind of section: a
// first-order term leaves it at 0, because its two-value lines are stored in
// the last two slots of their group of three.
std::unique_ptr<Algorithms::IFilterCascade> makeSection(const std::array<double, slotCount>& slots) {
    if (slots[0] == 0.0)
        return std::make_unique<Algorithms::HalfFilterCascade>(slots[2], slots[5]);
    return std::make_unique<Algorithms::FullfilterCascade>(slots[1], slots[2], slots[4], slots[5]);
}

} // namespace

Algorithms::Sections TFilter::CreateCascades(const char* text, double& K) {
    const std::string_view all(requireText(text));

    std::array<double, slotCount> slots{};
    int index = 0;
    bool termOpen = false;
    Algorithms::Sections result;

    // Slots are cleared only when a term closes: coefficient lines standing
    // outside a term become part of the next one.
    auto closeTerm = [&] {
        result.push_back(makeSection(slots));
        slots.fill(0.0);
        index = 0;
        termOpen = false;
    };

    std::size_t pos = 0;
    while (pos < all.size()) {
        const std::size_t newline = all.find('\n', pos);
        const std::size_t end = newline == std::string_view::npos ? all.size() : newline;
        const std::string_view line = all.substr(pos, end - pos);
        pos = end + 1;

        if (line.empty() && termOpen) {
            closeTerm();
            continue;
        }
        if (CoefficientText::isCoefficientLine(line)) {
            CreateTerm(std::string(line), slots.data(), index);
            continue;
        }
        if (termOpen)
            closeTerm();
        if (const auto gain = CoefficientText::gainCapture(line))
            K = CoefficientText::toNumber(*gain);
        termOpen = CoefficientText::isTermHeader(line);
    }
    if (termOpen)
        closeTerm();
    return result;
}

void TFilter::CreateTerm(std::string line, double* slots, int& index) {
    // A two-value line belongs in the last two slots of its group of three,
    // so the coefficient of the longest delay always lands in slot 2 or 5.
    if (std::count(line.begin(), line.end(), ',') == 1)
        index = std::min(index + 1, slotCount);

    std::size_t pos = 0;
    while (true) {
        const std::size_t comma = line.find(',', pos);
        const std::size_t end = comma == std::string::npos ? line.size() : comma;
        const double value = CoefficientText::toNumber(std::string_view(line).substr(pos, end - pos));
        if (index < slotCount)
            slots[index++] = value;
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
}

} // namespace Filters::Impl
