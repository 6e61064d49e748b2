#include "row_json.h"

#include <utility>

#include <fmt/compile.h>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace kalo::host {

namespace {

// Formatted into a small array first: appending to the string a character at
// a time costs more than the formatting, and an hour of rows is 1.35 million
// numbers.
template <typename T>
void number(std::string& out, T v) {
    char text[32]; // the longest double is 24 characters
    const char* end = fmt::format_to(text, FMT_COMPILE("{}"), v);
    out.append(text, static_cast<std::size_t>(end - text));
}

// A double as the JSON library writes it, with ".0" on whole numbers so that
// a reader sees a floating-point value.
void jsonNumber(std::string& out, double v) {
    const std::size_t start = out.size();
    number(out, v);
    if (out.find_first_of(".eE", start) == std::string::npos && out.find_first_of("ni", start) == std::string::npos)
        out += ".0";
}

} // namespace

void appendRowJson(std::string& out, const Row& r) {
    // The keys in the order of the CSV's columns.
    const std::pair<const char*, double> numbers[] = {
        {"time_s", r.timeSec},
        {"rel_attention", r.mind.rel_attention},
        {"rel_relaxation", r.mind.rel_relaxation},
        {"inst_attention", r.mind.inst_attention},
        {"inst_relaxation", r.mind.inst_relaxation},
        {"delta", r.bands.delta},
        {"theta", r.bands.theta},
        {"alpha", r.bands.alpha},
        {"beta", r.bands.beta},
        {"gamma", r.bands.gamma},
        {"raw_alpha", r.raw.alpha},
        {"raw_beta", r.raw.beta},
    };
    char separator = '{';
    for (const auto& [key, value] : numbers) {
        out += separator;
        out += '"';
        out += key;
        out += "\":";
        jsonNumber(out, value);
        separator = ',';
    }
    out += ",\"calibration_percent\":";
    number(out, r.calibrationPercent);
    out += r.bothSidesArtifacted ? ",\"both_sides_artifacted\":true" : ",\"both_sides_artifacted\":false";
    out += r.artifactedSequence ? ",\"artifacted_sequence\":true" : ",\"artifacted_sequence\":false";
    out += ",\"events\":";
    if (r.events.empty())
        out += "\"\"";
    else // descriptions from files may hold anything: escaped, and invalid UTF-8 replaced
        out += nlohmann::json(r.events).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    out += '}';
}

} // namespace kalo::host
