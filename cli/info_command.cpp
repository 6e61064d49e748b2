// kalo info: what each recording holds, read as kalo analyze would read it,
// so that channels can be chosen from it.

#include <fmt/format.h>

#include "commands.h"
#include "host/open_recording.h"
#include "host/recording_description.h"
#include "host/recording_info.h"

namespace kalo::cli {

int runInfo(const InfoOptions& o) {
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < o.recordings.size(); ++i) {
        const auto recording = host::openRecording(o.recordings[i], o.host.read, o.host.name("rate"));
        const nlohmann::ordered_json description = host::describeRecording(*recording);
        if (o.json)
            all.push_back(description);
        else
            fmt::print("{}{}", i == 0 ? "" : "\n", host::formatRecordingInfo(description));
    }
    if (o.json)
        fmt::print("{}\n", (all.size() == 1 ? all.front() : all).dump(2));
    return 0;
}

} // namespace kalo::cli
