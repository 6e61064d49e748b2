// Any bytes as a BrainVision recording: header, data file and marker file,
// read through the host layer's reader as `kalo analyze` would open it.
//
// Input: the header up to the first zero byte, the marker file up to the
// next, and the data file after it. The header and marker files are saved
// beside each other as rec.vhdr, rec.vmrk and rec.eeg, the names the seeds'
// headers give.
//
// Invariants: the reader either refuses the recording with the host's error
// or gives channels whose every sample can be read, from the start and in
// parts.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "host/error.h"
#include "host/open_recording.h"

namespace {

std::string_view next(std::string_view& bytes) {
    const std::size_t end = std::min(bytes.find('\0'), bytes.size());
    const std::string_view part = bytes.substr(0, end);
    bytes.remove_prefix(std::min(end + 1, bytes.size()));
    return part;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string_view header = next(bytes), markers = next(bytes);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kalo-fuzz-brainvision-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "rec.vhdr", std::ios::binary) << header;
    std::ofstream(dir / "rec.vmrk", std::ios::binary) << markers;
    std::ofstream(dir / "rec.eeg", std::ios::binary) << bytes;
    try {
        const auto recording = kalo::host::openRecording((dir / "rec.vhdr").string(), {});
        std::vector<int> all;
        for (std::size_t c = 0; c < recording->channels().size(); ++c)
            all.push_back(static_cast<int>(c));
        const std::int64_t count = recording->channels().empty() ? 0 : recording->channels().front().sampleCount;
        std::vector<double> frames(static_cast<std::size_t>(count) * all.size());
        recording->read(all, 0, count, frames.data());
        if (count > 1) {
            std::vector<double> part(all.size());
            recording->read(all, count - 1, 1, part.data());
            for (std::size_t c = 0; c < all.size(); ++c)
                if (!(part[c] == frames[(static_cast<std::size_t>(count) - 1) * all.size() + c]) &&
                    !(part[c] != part[c]))
                    std::abort(); // a part read differs from the whole
        }
    } catch (const kalo::host::Error&) {
        // refused, as it may be
    }
    std::filesystem::remove_all(dir);
    return 0;
}
