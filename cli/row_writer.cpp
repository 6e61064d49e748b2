#include "row_writer.h"

#include <iterator>

#include <fmt/compile.h>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace kalo::cli {

namespace {

constexpr std::size_t kFlushAt = 1 << 16;

// A CSV cell: quoted when it holds a comma, a quote or a line break.
void csvText(std::string& out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// A number in its shortest form that reads back the same. The format is
// compiled, so no format string is parsed per value: an hour of rows is 1.35
// million numbers.
// Formatted into a small array first: appending to the string a character
// at a time costs more than the formatting.
template <typename T>
void number(std::string& out, T v) {
    char text[32]; // the longest double is 24 characters
    const char* end = fmt::format_to(text, FMT_COMPILE("{}"), v);
    out.append(text, static_cast<std::size_t>(end - text));
}

// A double as JSON writes it: the shortest form that reads back the same,
// with ".0" on whole numbers so that a reader sees a floating-point value,
// as the JSON library writes them.
void jsonNumber(std::string& out, double v) {
    const std::size_t start = out.size();
    number(out, v);
    if (out.find_first_of(".eE", start) == std::string::npos && out.find_first_of("ni", start) == std::string::npos)
        out += ".0";
}

class CsvRowWriter final : public RowWriter {
public:
    explicit CsvRowWriter(std::FILE* out) : RowWriter(out) {
        buffer_ += "time_s,rel_attention,rel_relaxation,inst_attention,inst_relaxation,"
                   "delta,theta,alpha,beta,gamma,raw_alpha,raw_beta,calibration_percent,"
                   "both_sides_artifacted,artifacted_sequence,events\n";
    }
    void write(const host::Row& r) override {
        for (const double v : {r.timeSec, r.mind.rel_attention, r.mind.rel_relaxation, r.mind.inst_attention,
                               r.mind.inst_relaxation, r.bands.delta, r.bands.theta, r.bands.alpha, r.bands.beta,
                               r.bands.gamma, r.raw.alpha, r.raw.beta}) {
            number(buffer_, v);
            buffer_ += ',';
        }
        number(buffer_, r.calibrationPercent);
        buffer_ += r.bothSidesArtifacted ? ",1," : ",0,";
        buffer_ += r.artifactedSequence ? "1," : "0,";
        csvText(buffer_, r.events);
        buffer_ += '\n';
        written();
    }
};

class JsonRowWriter final : public RowWriter {
public:
    explicit JsonRowWriter(std::FILE* out) : RowWriter(out) {}
    void write(const host::Row& r) override {
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
            buffer_ += separator;
            buffer_ += '"';
            buffer_ += key;
            buffer_ += "\":";
            jsonNumber(buffer_, value);
            separator = ',';
        }
        buffer_ += ",\"calibration_percent\":";
        number(buffer_, r.calibrationPercent);
        buffer_ += r.bothSidesArtifacted ? ",\"both_sides_artifacted\":true" : ",\"both_sides_artifacted\":false";
        buffer_ += r.artifactedSequence ? ",\"artifacted_sequence\":true" : ",\"artifacted_sequence\":false";
        buffer_ += ",\"events\":";
        if (r.events.empty())
            buffer_ += "\"\"";
        else // descriptions from files may hold anything: escaped, and invalid UTF-8 replaced
            buffer_ += nlohmann::json(r.events).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        buffer_ += "}\n";
        written();
    }
};

} // namespace

bool RowWriter::flush() {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
        failed_ = true;
    buffer_.clear();
    return !failed_;
}

void RowWriter::written() {
    if (buffer_.size() >= kFlushAt)
        flush();
}

std::unique_ptr<RowWriter> makeRowWriter(RowFormat format, std::FILE* out) {
    if (format == RowFormat::JsonLines)
        return std::make_unique<JsonRowWriter>(out);
    return std::make_unique<CsvRowWriter>(out);
}

} // namespace kalo::cli
