#include "row_writer.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace kalo::cli {

namespace {

class CsvRowWriter final : public RowWriter {
public:
    explicit CsvRowWriter(std::FILE* out) : out_(out) {
        fmt::print(out_, "time_s,rel_attention,rel_relaxation,inst_attention,inst_relaxation,"
                         "delta,theta,alpha,beta,gamma,raw_alpha,raw_beta,calibration_percent,"
                         "both_sides_artifacted,artifacted_sequence\n");
    }
    void write(const Row& r) override {
        fmt::print(out_, "{},{},{},{},{},{},{},{},{},{},{},{},{},{:d},{:d}\n", r.timeSec, r.mind.rel_attention,
                   r.mind.rel_relaxation, r.mind.inst_attention, r.mind.inst_relaxation, r.bands.delta,
                   r.bands.theta, r.bands.alpha, r.bands.beta, r.bands.gamma, r.raw.alpha, r.raw.beta,
                   r.calibrationPercent, static_cast<int>(r.bothSidesArtifacted),
                   static_cast<int>(r.artifactedSequence));
    }

private:
    std::FILE* out_;
};

class JsonRowWriter final : public RowWriter {
public:
    explicit JsonRowWriter(std::FILE* out) : out_(out) {}
    void write(const Row& r) override {
        // Ordered keys, so the columns read in the same order as the CSV's.
        const nlohmann::ordered_json row = {
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
            {"calibration_percent", r.calibrationPercent},
            {"both_sides_artifacted", r.bothSidesArtifacted},
            {"artifacted_sequence", r.artifactedSequence},
        };
        fmt::print(out_, "{}\n", row.dump());
    }

private:
    std::FILE* out_;
};

} // namespace

std::unique_ptr<RowWriter> makeRowWriter(RowFormat format, std::FILE* out) {
    if (format == RowFormat::JsonLines)
        return std::make_unique<JsonRowWriter>(out);
    return std::make_unique<CsvRowWriter>(out);
}

} // namespace kalo::cli
