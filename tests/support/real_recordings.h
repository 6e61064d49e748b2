#pragma once

// Access to the real EEG recordings kept outside the repository. Tests that
// use them skip, with a message saying so, when the folder is absent (as in
// a fresh clone).

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kalo_test {

inline std::filesystem::path realDataDir() {
    const char* dir = std::getenv("KALO_REAL_DATA_DIR");
    return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::path();
}

// The path of a recording, or empty when it is not available.
inline std::filesystem::path realRecording(const std::string& name) {
    const auto path = realDataDir() / name;
    return !realDataDir().empty() && std::filesystem::exists(path) ? path : std::filesystem::path();
}

// One channel (0-based, after the time column) of a converted "volts.csv"
// recording: a header line, then "t,ch0,ch1,..." rows in volts.
inline std::vector<double> readVoltsChannel(const std::filesystem::path& csv, int channel) {
    std::ifstream in(csv);
    std::string line;
    std::getline(in, line);
    std::vector<double> samples;
    while (std::getline(in, line)) {
        std::stringstream row(line);
        std::string cell;
        for (int column = 0; column <= channel + 1; ++column)
            std::getline(row, cell, ',');
        samples.push_back(std::stod(cell));
    }
    return samples;
}

} // namespace kalo_test

#define KALO_SKIP_WITHOUT_RECORDING(path, name)                                                             \
    if ((path).empty())                                                                                      \
    GTEST_SKIP() << "real recording " << (name) << " not found (set KALO_REAL_DATA_DIR to the folder of real " \
                 << "EEG recordings); skipping"
