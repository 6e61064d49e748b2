// Events: the events file format, and which events lie under a window.

#include <gtest/gtest.h>

#include "host/error.h"
#include "host/events.h"
#include "support/scratch_dir.h"

using namespace kalo::host;

TEST(EventsFile, ReadsOnsetsDurationsAndDescriptionsWithCommas) {
    kalo_test::ScratchDir dir;
    dir.write("events.csv", "onset_s,duration_s,description\r\n"
                            "1.5,2,eyes closed\r\n"
                            "\r\n"
                            "4,0,\"task, hard\"\r\n"
                            "0.25,0.5,T1\r\n");
    const std::vector<Event> events = readEventsCsv((dir / "events.csv").string());
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].description, "eyes closed");
    EXPECT_DOUBLE_EQ(events[0].onsetSec, 1.5);
    EXPECT_DOUBLE_EQ(events[0].durationSec, 2.0);
    EXPECT_EQ(events[1].description, "task, hard");
    EXPECT_EQ(events[2].description, "T1");

    const struct {
        const char* text;
        const char* message;
    } bad[] = {
        {"onset,duration,label\n1,2,x\n", "starts with the header line"},
        {"onset_s,duration_s,description\n1,2\n", "line 2 has fewer than three cells"},
        {"onset_s,duration_s,description\nsoon,2,x\n", "line 2: the onset \"soon\""},
        {"onset_s,duration_s,description\n1,-2,x\n", "line 2: the duration \"-2\""},
        {"onset_s,duration_s,description\n1,nan,x\n", "the duration \"nan\""},
    };
    for (const auto& b : bad) {
        dir.write("bad.csv", b.text);
        try {
            readEventsCsv((dir / "bad.csv").string());
            ADD_FAILURE() << "accepted: " << b.text;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(b.message), std::string::npos) << e.what();
        }
    }
}

TEST(EventsUnderWindows, OverlapForSpansStartInsideForInstantsInOrderOfOnset) {
    EventsUnderWindows under({{5.0, 0.0, "marker"},
                              {0.0, 10.0, "rest"},
                              {2.0, 1.0, "blink"},
                              {9.0, 3.0, "task"},
                              {3.0, 0.0, "beep"}});
    const struct {
        double start, end;
        const char* expected;
    } windows[] = {
        {-2.0, 0.0, ""},                     // ends where "rest" begins
        {-1.0, 1.0, "rest"},
        {1.0, 3.0, "rest;blink"},            // "beep" at 3.0 is at the end, not inside
        {2.5, 4.5, "rest;blink;beep"},
        {3.0, 5.0, "rest;beep"},             // "blink" ended at 3.0
        {4.0, 6.0, "rest;marker"},
        {8.5, 10.5, "rest;task"},
        {10.0, 12.0, "task"},                // "rest" ended at 10.0
        {12.0, 14.0, ""},
    };
    for (const auto& w : windows)
        EXPECT_EQ(under.under(w.start, w.end), w.expected) << w.start << " to " << w.end;
}
