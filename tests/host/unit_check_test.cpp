// Values that cannot be volts of EEG, read as volts because the file states
// no unit and the user gave none, are refused with the option that reads them
// right; volts, large electrode offsets included, pass.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include <fmt/format.h>

#include "host/analyze_recording.h"
#include "host/error.h"
#include "host/open_recording.h"
#include "support/real_recordings.h"
#include "support/scratch_dir.h"

using namespace kalo::host;

namespace {

// 20 s at 250 Hz: 20 µV of alpha on an offset, in volts times `scale`.
std::string csv(double scale, double offsetVolts) {
    std::string text = "t,a,b\n";
    for (int i = 0; i < 5000; ++i) {
        const double v = offsetVolts + 20e-6 * std::sin(2 * M_PI * 10 * i / 250.0) + 5e-6 * std::sin(0.7 * i);
        text += fmt::format("{:.6f},{},{}\n", i / 250.0, v * scale, -v * scale);
    }
    return text;
}

// How an analysis of the file ends: empty when it ran, else the message.
std::string analysed(const std::string& path, const Options& options) {
    try {
        auto recording = openRecording(path, options.read);
        analyseRecording(*recording, options, [](const Row&) {});
        return {};
    } catch (const Error& e) {
        return e.what();
    }
}

} // namespace

TEST(UnitCheck, MicrovoltsReadAsVoltsAreRefusedNamingTheUnitsOption) {
    kalo_test::ScratchDir dir;
    dir.write("volts.csv", csv(1.0, 0.0));
    dir.write("offset.csv", csv(1.0, 0.061)); // a 61 mV electrode offset, as one amplifier records
    dir.write("microvolts.csv", csv(1e6, 0.0));
    dir.write("offset-microvolts.csv", csv(1e6, 0.061));

    Options options;
    EXPECT_EQ(analysed((dir / "volts.csv").string(), options), "");
    EXPECT_EQ(analysed((dir / "offset.csv").string(), options), "");
    for (const char* name : {"microvolts.csv", "offset-microvolts.csv"}) {
        const std::string message = analysed((dir / name).string(), options);
        EXPECT_NE(message.find("far beyond EEG in volts; if the file holds microvolts, give --units uV"),
                  std::string::npos)
            << message;
        EXPECT_NE(message.find("channel a"), std::string::npos) << message;
    }
    Options keyword(OptionStyle::Keyword);
    EXPECT_NE(analysed((dir / "microvolts.csv").string(), keyword).find("give units=\"uV\""), std::string::npos);

    // A unit given explicitly is believed, whichever spelling.
    for (const char* unit : {"uV", "µV", "microvolts"}) {
        Options micro;
        micro.set("units", unit);
        EXPECT_EQ(analysed((dir / "microvolts.csv").string(), micro), "") << unit;
    }
}

TEST(UnitCheck, TheSharedRecordingsPassInVoltsAndAreRefusedInMicrovolts) {
    const char* const names[] = {"OpenBCI_GUI-v6-blinks-jawClench-alpha.volts.csv", "S001R01.volts.csv",
                                 "eegnb_muse_P300_subject3_session2_2018-04-15-20.52.23.volts.csv"};
    const std::pair<const char*, const char*> pairs[] = {
        {"EXG_Channel_6", "EXG_Channel_7"}, {"O1", "O2"}, {"AF7", "AF8"}};
    kalo_test::ScratchDir dir;
    for (std::size_t r = 0; r < std::size(names); ++r) {
        const auto path = kalo_test::realRecording(names[r]);
        KALO_SKIP_WITHOUT_RECORDING(path, names[r]);
        Options options;
        options.set("left", pairs[r].first);
        options.set("right", pairs[r].second);
        EXPECT_EQ(analysed(path.string(), options), "") << names[r];

        // The same samples in microvolts: every cell but t times a million.
        std::ifstream in(path);
        std::ofstream out(dir / "micro.csv");
        std::string line;
        std::getline(in, line);
        out << line << '\n';
        for (int n = 0; n < 7500 && std::getline(in, line); ++n) {
            std::stringstream cells(line);
            std::string cell;
            std::getline(cells, cell, ',');
            out << cell;
            while (std::getline(cells, cell, ','))
                out << ',' << fmt::format("{}", std::stod(cell) * 1e6);
            out << '\n';
        }
        out.close();
        EXPECT_NE(analysed((dir / "micro.csv").string(), options).find("--units uV"), std::string::npos) << names[r];
    }
}
