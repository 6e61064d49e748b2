#include "recording_description.h"

namespace kalo::host {

nlohmann::ordered_json gapJson(const Gap& g) {
    return {{"after_sample", g.afterSample},
            {"at_s", g.atSec},
            {"missing_samples", g.missingSamples},
            {"missing_s", g.missingSec}};
}

nlohmann::ordered_json describeRecording(const Recording& recording) {
    nlohmann::ordered_json channels = nlohmann::ordered_json::array();
    for (const ChannelInfo& c : recording.channels())
        channels.push_back({{"name", c.name},
                            {"unit", c.unit},
                            {"rate_hz", c.rateHz},
                            {"samples", c.sampleCount},
                            {"eeg", c.eeg},
                            {"problem", c.problem},
                            {"unit_assumed", c.unitAssumed}});
    nlohmann::ordered_json events = nlohmann::ordered_json::array();
    for (const Event& e : recording.events())
        events.push_back({{"onset_s", e.onsetSec}, {"duration_s", e.durationSec}, {"description", e.description}});
    nlohmann::ordered_json gaps = nlohmann::ordered_json::array();
    for (const Gap& g : recording.gaps())
        gaps.push_back(gapJson(g));
    return {{"source", recording.source()},
            {"format", recording.format()},
            {"duration_s", recording.durationSec()},
            {"channels", channels},
            {"events", events},
            {"gaps", gaps},
            {"notes", recording.notes()}};
}

} // namespace kalo::host
