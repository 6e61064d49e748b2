// Any bytes as the GUI text file of an open EEG board, read through the host
// layer's reader as `kalo analyze` would open it.
//
// Input: the whole file (a signature line is prepended when the bytes lack
// one, so that the reader, not the format check, sees most inputs).
//
// Invariants: the reader either refuses the file with the host's error or
// gives channels whose every sample can be read, all of one count and rate.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "host/error.h"
#include "host/open_recording.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    if (text.rfind("%OpenBCI Raw E", 0) != 0)
        text = (size % 2 == 0 ? "%OpenBCI Raw EXG Data\n" : "%OpenBCI Raw EEG Data\n") + text;
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("kalo-fuzz-board-" + std::to_string(getpid()) + ".txt")).string();
    std::ofstream(path, std::ios::binary) << text;
    try {
        const auto recording = kalo::host::openRecording(path, {});
        const auto& channels = recording->channels();
        for (std::size_t c = 0; c < channels.size(); ++c) {
            if (channels[c].sampleCount != channels.front().sampleCount || channels[c].rateHz != channels.front().rateHz)
                std::abort();
            const int which[] = {static_cast<int>(c)};
            std::vector<double> samples(static_cast<std::size_t>(channels[c].sampleCount));
            recording->read(which, 0, channels[c].sampleCount, samples.data());
        }
    } catch (const kalo::host::Error&) {
        // refused, as it may be
    }
    std::filesystem::remove(path);
    return 0;
}
