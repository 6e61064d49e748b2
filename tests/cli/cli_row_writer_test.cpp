// The row writers: numbers read back as the same doubles in both formats,
// JSON lines are the objects a JSON library writes (keys in column order),
// and event texts survive any character.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include <nlohmann/json.hpp>

#include "row_writer.h"

using kalo::host::Row;

namespace {

std::string written(kalo::cli::RowFormat format, const std::vector<Row>& rows) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    {
        const auto writer = kalo::cli::makeRowWriter(format, out);
        for (const Row& r : rows)
            writer->write(r);
        EXPECT_TRUE(writer->flush());
    }
    std::fclose(out);
    std::string copy(text, size);
    std::free(text);
    return copy;
}

std::vector<Row> awkwardRows() {
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::uint64_t> bits;
    const double special[] = {0.0, -0.0, 1.0, 100.0, 1e-5, 123456789012345680.0, 5e-324,
                              std::numeric_limits<double>::max(), 0.1 + 0.2, 1.0 / 3.0};
    const char* events[] = {"", "eyes closed", "task, hard", "say \"ah\"", "line\nbreak", "tab\there", "\xff\xfe"};
    std::vector<Row> rows;
    for (int i = 0; i < 400; ++i) {
        Row r;
        double* values[] = {&r.timeSec,       &r.mind.rel_attention, &r.mind.rel_relaxation, &r.mind.inst_attention,
                            &r.mind.inst_relaxation, &r.bands.delta, &r.bands.theta,        &r.bands.alpha,
                            &r.bands.beta,    &r.bands.gamma,        &r.raw.alpha,          &r.raw.beta};
        for (std::size_t v = 0; v < std::size(values); ++v) {
            if (i < 10) {
                *values[v] = special[(static_cast<std::size_t>(i) + v) % std::size(special)];
                continue;
            }
            double d = 0;
            do {
                const std::uint64_t b = bits(random);
                std::memcpy(&d, &b, sizeof d);
            } while (!std::isfinite(d));
            *values[v] = d;
        }
        r.calibrationPercent = i % 101;
        r.bothSidesArtifacted = i % 3 == 0;
        r.artifactedSequence = i % 5 == 0;
        r.events = events[i % std::size(events)];
        rows.push_back(r);
    }
    return rows;
}

std::uint64_t bitsOf(double d) {
    std::uint64_t b = 0;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

} // namespace

TEST(RowWriter, JsonLinesAreTheLibrarysObjectsWithEveryBitKept) {
    const std::vector<Row> rows = awkwardRows();
    const std::string text = written(kalo::cli::RowFormat::JsonLines, rows);
    std::size_t at = 0;
    for (const Row& r : rows) {
        const std::size_t end = text.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        const nlohmann::ordered_json line = nlohmann::ordered_json::parse(text.substr(at, end - at));
        at = end + 1;
        const nlohmann::ordered_json expected = {
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
            {"events", nlohmann::json::parse(nlohmann::json(r.events).dump(
                           -1, ' ', false, nlohmann::json::error_handler_t::replace))},
        };
        ASSERT_EQ(line.size(), expected.size());
        auto e = expected.begin();
        for (auto l = line.begin(); l != line.end(); ++l, ++e) {
            ASSERT_EQ(l.key(), e.key());
            if (e->is_number_float()) {
                ASSERT_TRUE(l->is_number_float()) << l.key() << ": " << *l; // 0 is written 0.0, as the library does
                ASSERT_EQ(bitsOf(l->get<double>()), bitsOf(e->get<double>())) << l.key();
            } else {
                ASSERT_EQ(*l, *e) << l.key();
            }
        }
    }
    EXPECT_EQ(at, text.size());
}

TEST(RowWriter, CsvHasSixteenColumnsAndQuotesEventTexts) {
    const std::vector<Row> rows = awkwardRows();
    const std::string text = written(kalo::cli::RowFormat::Csv, rows);
    EXPECT_EQ(text.rfind("time_s,rel_attention,rel_relaxation,inst_attention,inst_relaxation,delta,theta,alpha,beta,"
                         "gamma,raw_alpha,raw_beta,calibration_percent,both_sides_artifacted,artifacted_sequence,"
                         "events\n",
                         0),
              0u);
    // A quoted event with a comma, a doubled quote and a line break inside its quotes.
    EXPECT_NE(text.find(",\"task, hard\"\n"), std::string::npos);
    EXPECT_NE(text.find(",\"say \"\"ah\"\"\"\n"), std::string::npos);
    EXPECT_NE(text.find(",\"line\nbreak\"\n"), std::string::npos);
    // Every number reads back as the same double.
    std::vector<Row> plain = rows;
    for (Row& r : plain)
        r.events.clear();
    const std::string numbers = written(kalo::cli::RowFormat::Csv, plain);
    const char* cell = numbers.c_str() + numbers.find('\n') + 1;
    for (const Row& r : plain) {
        for (const double expected : {r.timeSec, r.mind.rel_attention, r.mind.rel_relaxation, r.mind.inst_attention,
                                      r.mind.inst_relaxation, r.bands.delta, r.bands.theta, r.bands.alpha,
                                      r.bands.beta, r.bands.gamma, r.raw.alpha, r.raw.beta}) {
            char* end = nullptr;
            ASSERT_EQ(bitsOf(std::strtod(cell, &end)), bitsOf(expected));
            ASSERT_EQ(*end, ',');
            cell = end + 1;
        }
        cell = std::strchr(cell, '\n') + 1;
    }
}
