#include "recording_info.h"

#include <map>
#include <set>

#include <fmt/format.h>

namespace kalo::host {

namespace {

std::string rateText(double hz) { return fmt::format("{:g} Hz", hz); }

std::string channelLine(const nlohmann::ordered_json& c) {
    std::string unit = c["unit"].get<std::string>();
    if (unit.empty())
        unit = "no unit";
    if (c.value("unit_assumed", false))
        unit += " (assumed)";
    std::string line = fmt::format("    {:<24} {:<16} {}", c["name"].get<std::string>(), unit,
                                   rateText(c["rate_hz"].get<double>()));
    const std::string problem = c["problem"].get<std::string>();
    if (!problem.empty() && c["eeg"].get<bool>())
        line += "  (" + problem + ")";
    return line + "\n";
}

} // namespace

std::string formatRecordingInfo(const nlohmann::ordered_json& d) {
    std::string out = fmt::format("{}\n", d["source"].get<std::string>());
    out += fmt::format("  format     {}\n", d["format"].get<std::string>());
    out += fmt::format("  duration   {:.3f} s\n", d["duration_s"].get<double>());

    std::set<double> rates;
    std::string eeg, others;
    int eegCount = 0, otherCount = 0;
    bool assumed = false;
    for (const auto& c : d["channels"]) {
        rates.insert(c["rate_hz"].get<double>());
        assumed = assumed || c.value("unit_assumed", false);
        if (c["eeg"].get<bool>()) {
            eeg += channelLine(c);
            ++eegCount;
        } else {
            others += channelLine(c);
            ++otherCount;
        }
    }
    std::string rateList;
    for (const double r : rates)
        rateList += (rateList.empty() ? "" : ", ") + rateText(r);
    out += fmt::format("  rate       {}\n", rates.empty() ? "none" : rateList);
    out += fmt::format("  EEG channels ({}):\n{}", eegCount, eeg);
    if (otherCount > 0)
        out += fmt::format("  other channels, not EEG ({}):\n{}", otherCount, others);
    if (assumed)
        out += "  units marked (assumed) are not stated by the file: give the right one with --units\n";

    const auto& events = d["events"];
    if (events.empty()) {
        out += "  events     none\n";
    } else {
        // By description, in the order each first occurs.
        std::vector<std::string> order;
        std::map<std::string, int> counts;
        for (const auto& e : events) {
            const std::string description = e["description"].get<std::string>();
            if (counts[description]++ == 0)
                order.push_back(description);
        }
        out += fmt::format("  events     {} ({} different):\n", events.size(), order.size());
        for (const std::string& description : order)
            out += fmt::format("    {:>6} x {}\n", counts[description], description);
    }
    const auto& gaps = d["gaps"];
    if (gaps.empty()) {
        out += "  gaps       none\n";
    } else {
        std::int64_t missing = 0;
        for (const auto& g : gaps)
            missing += g["missing_samples"].get<std::int64_t>();
        out += fmt::format("  gaps       {} ({} samples missing, not filled):\n", gaps.size(), missing);
        constexpr std::size_t kShown = 10;
        for (std::size_t i = 0; i < gaps.size() && i < kShown; ++i)
            out += fmt::format("    at {:.3f} s, {} samples ({:.3f} s)\n", gaps[i]["at_s"].get<double>(),
                               gaps[i]["missing_samples"].get<std::int64_t>(), gaps[i]["missing_s"].get<double>());
        if (gaps.size() > kShown)
            out += fmt::format("    and {} more (--json lists all)\n", gaps.size() - kShown);
    }
    for (const auto& note : d["notes"])
        out += fmt::format("  note       {}\n", note.get<std::string>());
    return out;
}

} // namespace kalo::host
