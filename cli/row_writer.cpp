#include "row_writer.h"

#include <iterator>

#include <fmt/compile.h>
#include <fmt/format.h>
#include "host/row_json.h"

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
        host::appendRowJson(buffer_, r);
        buffer_ += '\n';
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
