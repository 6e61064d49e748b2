// The host layer's C interface, used as a host uses it: refusals with their
// codes, the recording driver and the block entry giving the same rows and
// summary, callbacks that stop a run.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "kalo_host.h"
#include "support/scratch_dir.h"

namespace {

struct Options {
    kalo_options* handle;
    explicit Options(std::initializer_list<std::pair<const char*, const char*>> values) {
        handle = kalo_options_create(KALO_HOST_STYLE_FLAGS, nullptr);
        for (const auto& [k, v] : values)
            EXPECT_TRUE(kalo_options_set(handle, k, v, nullptr)) << k;
    }
    ~Options() { kalo_options_free(handle); }
};

std::string text(char* owned) {
    std::string copy = owned != nullptr ? owned : "";
    kalo_text_free(owned);
    return copy;
}

// 20 s at 250 Hz of three channels, in volts, with t.
std::string recordingCsv(std::vector<double>& frames) {
    std::string csv = "t,x,y,z\n";
    for (int i = 0; i < 5000; ++i) {
        const double v[3] = {2e-5 * std::sin(2 * M_PI * 10 * i / 250.0) + 3e-6 * std::sin(0.37 * i),
                             1e-5 * std::cos(0.2 * i), 2e-5 * std::sin(2 * M_PI * 20 * i / 250.0 + 1)};
        csv += fmt::format("{:.6f},{},{},{}\n", i / 250.0, v[0], v[1], v[2]);
        frames.insert(frames.end(), v, v + 3);
    }
    return csv;
}

std::vector<kalo_row> drain(kalo_session* session, std::vector<std::string>& events) {
    size_t waiting = 0;
    EXPECT_TRUE(kalo_session_row_count(session, &waiting, nullptr));
    std::vector<kalo_row> rows(waiting);
    size_t got = 0;
    kalo_host_status status{};
    EXPECT_TRUE(kalo_session_read_rows(session, rows.data(), rows.size(), &got, &status)) << status.message;
    EXPECT_EQ(got, waiting);
    for (const kalo_row& r : rows)
        events.emplace_back(r.events);
    return rows;
}

bool sameNumbers(const kalo_row& a, const kalo_row& b) {
    // Everything before the events pointer.
    return std::memcmp(&a, &b, offsetof(kalo_row, calibration_finished) + 1) == 0 &&
           a.window_start_s == b.window_start_s;
}

} // namespace

TEST(HostCInterface, RecordingDriverAndBlockEntryGiveTheSameRowsAndSummary) {
    kalo_test::ScratchDir dir;
    std::vector<double> frames;
    dir.write("rec.csv", recordingCsv(frames));
    dir.write("events.csv", "onset_s,duration_s,description\n8,4,task\n");
    const std::string events = (dir / "events.csv").string();
    Options options({{"left", "x"}, {"right", "z"}, {"events", events.c_str()}, {"calibrate_at", "1"}});

    kalo_host_status status{};
    kalo_recording* recording = kalo_recording_open((dir / "rec.csv").c_str(), options.handle, &status);
    ASSERT_NE(recording, nullptr) << status.message;
    const auto described = text(kalo_recording_describe(recording, &status));
    EXPECT_NE(described.find("\"format\":\"CSV\""), std::string::npos) << described;
    EXPECT_NE(described.find("\"name\":\"y\""), std::string::npos) << described;

    struct Seen {
        std::vector<kalo_row> rows;
        std::vector<std::string> events;
        int progress = 0;
    } seen;
    kalo_session* analysed = kalo_analyze_recording(
        recording, options.handle,
        [](const kalo_row* row, void* user) {
            auto* s = static_cast<Seen*>(user);
            s->rows.push_back(*row);
            s->events.emplace_back(row->events); // the pointer lives only during the call
            return true;
        },
        [](double, void* user) { return ++static_cast<Seen*>(user)->progress > 0; }, &seen, &status);
    ASSERT_NE(analysed, nullptr) << status.message;
    EXPECT_GT(seen.progress, 0);
    ASSERT_GT(seen.rows.size(), 400u);

    const char* names[] = {"x", "y", "z"};
    kalo_session* block = kalo_session_open(options.handle, (dir / "rec.csv").c_str(), 250, 3, names, &status);
    ASSERT_NE(block, nullptr) << status.message;
    std::vector<kalo_row> rows;
    std::vector<std::string> rowEvents;
    for (std::size_t first = 0; first < frames.size() / 3; first += 1000) {
        ASSERT_TRUE(kalo_session_push(block, frames.data() + 3 * first, 1000, &status)) << status.message;
        for (const kalo_row& r : drain(block, rowEvents))
            rows.push_back(r);
    }
    EXPECT_EQ(text(kalo_session_summary(block, false, &status)), "");
    EXPECT_EQ(status.code, KALO_HOST_INVALID_ARGUMENT); // not finished yet
    ASSERT_TRUE(kalo_session_finish(block, &status));
    for (const kalo_row& r : drain(block, rowEvents))
        rows.push_back(r);

    ASSERT_EQ(rows.size(), seen.rows.size());
    int underTask = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_TRUE(sameNumbers(rows[i], seen.rows[i])) << "row " << i;
        ASSERT_EQ(rowEvents[i], seen.events[i]) << "row " << i;
        underTask += seen.events[i] == "task";
    }
    // A row's window [t - 2, t) overlaps [8, 12) for t in (8, 14): 149 steps of 0.04 s.
    EXPECT_EQ(underTask, 149);
    // The summaries agree but for the gaps and notes only a recording has.
    auto fromFile = text(kalo_session_summary(analysed, true, &status));
    auto fromBlocks = text(kalo_session_summary(block, true, &status));
    EXPECT_EQ(fromFile, fromBlocks);

    kalo_session_free(block);
    kalo_session_free(analysed);
    kalo_recording_free(recording);
}

TEST(HostCInterface, RefusalsCarryTheirCodeAndNameWhatIsWrong) {
    kalo_test::ScratchDir dir;
    std::vector<double> frames;
    dir.write("rec.csv", recordingCsv(frames));
    Options none({});
    Options pair({{"left", "x"}, {"right", "y"}});
    const char* names[] = {"x", "y", "z"};
    kalo_host_status status{};
    const auto refused = [&](bool ok, int code, const char* message) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(status.code, code) << status.message;
        EXPECT_NE(std::string(status.message).find(message), std::string::npos) << status.message;
        status = {};
    };

    refused(kalo_options_create(7, &status) != nullptr, KALO_HOST_INVALID_ARGUMENT, "style");
    refused(kalo_options_set(nullptr, "left", "x", &status), KALO_HOST_INVALID_ARGUMENT, "options is null");
    refused(kalo_options_set(none.handle, nullptr, "x", &status), KALO_HOST_INVALID_ARGUMENT, "key is null");
    refused(kalo_options_set(none.handle, "fft_widow", "5", &status), KALO_HOST_INVALID_ARGUMENT,
            "unknown option --fft-widow");
    refused(kalo_options_set(none.handle, "priority", "up", &status), KALO_HOST_INVALID_ARGUMENT,
            "--priority takes left, right or none: \"up\" is not accepted");
    refused(kalo_recording_open((dir / "absent.edf").c_str(), none.handle, &status) != nullptr,
            KALO_HOST_BAD_RECORDING, "absent.edf: cannot open");
    refused(kalo_recording_open(nullptr, none.handle, &status) != nullptr, KALO_HOST_INVALID_ARGUMENT, "path");
    refused(kalo_recording_describe(nullptr, &status) != nullptr, KALO_HOST_INVALID_ARGUMENT, "recording is null");

    kalo_recording* recording = kalo_recording_open((dir / "rec.csv").c_str(), none.handle, &status);
    ASSERT_NE(recording, nullptr);
    refused(kalo_analyze_recording(recording, none.handle, nullptr, nullptr, nullptr, &status) != nullptr,
            KALO_HOST_INVALID_ARGUMENT, "3 channels; name a bipolar pair with --left and --right");
    double out[4];
    const int32_t channels[] = {0, 5};
    refused(kalo_recording_read(recording, channels, 2, 0, 2, out, &status), KALO_HOST_INVALID_ARGUMENT,
            "no channel number 5");
    refused(kalo_recording_read(recording, channels, 1, 4999, 2, out, &status), KALO_HOST_INVALID_ARGUMENT,
            "holds 5000 samples");
    int calls = 0;
    refused(kalo_analyze_recording(
                recording, pair.handle, [](const kalo_row*, void* user) { return ++*static_cast<int*>(user) < 10; },
                nullptr, &calls, &status) != nullptr,
            KALO_HOST_STOPPED, "stopped by the row callback");
    EXPECT_EQ(calls, 10);
    kalo_recording_free(recording);

    refused(kalo_session_open(pair.handle, "s", 40, 3, names, &status) != nullptr, KALO_HOST_BAD_RECORDING,
            "40 Hz is outside");
    refused(kalo_session_open(pair.handle, "s", 250, 3, nullptr, &status) != nullptr, KALO_HOST_INVALID_ARGUMENT,
            "names is null");
    kalo_session* session = kalo_session_open(pair.handle, "s", 250, 3, names, nullptr);
    ASSERT_NE(session, nullptr);
    refused(kalo_session_push(session, nullptr, 3, &status), KALO_HOST_INVALID_ARGUMENT, "frames is null");
    EXPECT_TRUE(kalo_session_push(session, frames.data(), 100, nullptr));
    refused(kalo_session_add_event(session, 1, 1, "late", &status), KALO_HOST_INVALID_ARGUMENT, "before the first");
    size_t count = 0;
    refused(kalo_session_read_rows(session, nullptr, 4, &count, &status), KALO_HOST_INVALID_ARGUMENT, "rows is null");
    frames[3 * 150] = INFINITY;
    refused(kalo_session_push(session, frames.data(), 200, &status), KALO_HOST_ENGINE_REFUSED,
            "refused the samples");
    refused(kalo_session_push(session, frames.data(), 1, &status), KALO_HOST_INVALID_ARGUMENT,
            "stopped at an earlier error");
    kalo_session_free(session);
    kalo_session_free(nullptr);
    kalo_recording_free(nullptr);
    kalo_options_free(nullptr);
    EXPECT_STRNE(kalo_host_version(), "");
}
