#include "board_text_recording.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

#include <fmt/format.h>

#include "csv_text.h"
#include "error.h"

namespace kalo::host {

namespace {

constexpr std::string_view kCurrentSignature = "%OpenBCI Raw EXG Data";
constexpr std::string_view kOlderSignature = "%OpenBCI Raw EEG Data";

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// What the "%Key = value" comment lines say.
struct Comments {
    std::optional<double> rateHz;
    std::optional<int> channelCount;
    bool daisy = false;
    bool lastColumnIsTimestamp = false;
};

void readComment(std::string_view line, Comments& comments, const std::string& path, std::size_t lineNumber) {
    line.remove_prefix(1);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return;
    const std::string key = lower(trim(line.substr(0, equals)));
    std::string_view value = trim(line.substr(equals + 1));
    if (key == "sample rate") {
        // "250 Hz", "250.0 Hz"
        const std::size_t unit = lower(value).find("hz");
        const std::optional<double> rate = parseNumber(trim(value.substr(0, unit)));
        if (!rate || !std::isfinite(*rate) || !(*rate > 0))
            throw badRecording(fmt::format("{}: line {}: \"{}\" is not a sampling rate", path, lineNumber, value));
        comments.rateHz = *rate;
    } else if (key == "number of channels") {
        const std::optional<double> n = parseNumber(value);
        if (!n || *n != std::floor(*n) || *n < 1 || *n > 1024)
            throw badRecording(
                fmt::format("{}: line {}: \"{}\" is not a number of channels", path, lineNumber, value));
        comments.channelCount = static_cast<int>(*n);
    } else if (key == "board") {
        comments.daisy = lower(value).find("daisy") != std::string::npos;
    } else if (key == "last column") {
        comments.lastColumnIsTimestamp = lower(value).find("timestamp") != std::string::npos;
    }
}

enum class Role { Counter, Exg, Accelerometer, Auxiliary, Marker, Ignored };

// A column of the current layout, by its name in the header row.
Role roleOfName(std::string_view name) {
    const std::string n = lower(name);
    const auto starts = [&](std::string_view prefix) { return n.rfind(prefix, 0) == 0; };
    if (starts("sample index"))
        return Role::Counter;
    if (starts("exg channel") || starts("eeg channel"))
        return Role::Exg;
    if (starts("accel"))
        return Role::Accelerometer;
    if (starts("marker"))
        return Role::Marker;
    if (starts("timestamp") || starts("not used"))
        return Role::Ignored;
    return Role::Auxiliary; // digital, analog, other
}

struct Column {
    std::string name;
    Role role;
};

// The older layout names no column: the counter, the EXG channels the
// comments count, then accelerometer axes and auxiliary values; text cells
// (a formatted time) and a last timestamp column are not channels.
std::vector<Column> olderLayoutColumns(const std::vector<std::string_view>& firstRow, const Comments& comments,
                                       const std::string& path) {
    if (!comments.channelCount)
        throw badRecording(fmt::format("{}: no \"%Number of channels = N\" line says how many columns are EEG", path));
    const std::size_t exg = static_cast<std::size_t>(*comments.channelCount);
    if (firstRow.size() < exg + 1)
        throw badRecording(fmt::format("{}: the first row has {} cells, fewer than the sample index and {} channels",
                                       path, firstRow.size(), exg));
    std::vector<Column> columns = {{"Sample Index", Role::Counter}};
    for (std::size_t c = 0; c < exg; ++c)
        columns.push_back({fmt::format("EXG Channel {}", c), Role::Exg});
    int accel = 0, aux = 0;
    for (std::size_t c = exg + 1; c < firstRow.size(); ++c) {
        const bool last = c + 1 == firstRow.size();
        if (!parseNumber(firstRow[c]) || (last && comments.lastColumnIsTimestamp))
            columns.push_back({"Timestamp", Role::Ignored});
        else if (accel < 3)
            columns.push_back({fmt::format("Accel Channel {}", accel++), Role::Accelerometer});
        else
            columns.push_back({fmt::format("Aux Channel {}", aux++), Role::Auxiliary});
    }
    return columns;
}

// Where the counter wraps: after 255, or after 200 with the daisy board.
int counterModulus(const std::vector<double>& counter, const Comments& comments, int exgChannels) {
    const double highest = counter.empty() ? 0.0 : *std::max_element(counter.begin(), counter.end());
    if (highest > 200)
        return 256;
    if (comments.daisy || exgChannels == 16 || highest == 200)
        return 201;
    return 256;
}

} // namespace

bool looksLikeBoardText(std::string_view head) {
    if (head.size() >= 3 && head.substr(0, 3) == "\xEF\xBB\xBF")
        head.remove_prefix(3);
    return head.rfind(kCurrentSignature, 0) == 0 || head.rfind(kOlderSignature, 0) == 0;
}

std::unique_ptr<Recording> readBoardTextRecording(const std::string& path, std::optional<int> rateHz,
                                                const std::string& rateOption) {
    std::string text = readWholeFile(path);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    if (!looksLikeBoardText(text))
        throw badRecording(fmt::format("{}: does not start with \"{}\" or \"{}\"", path, kCurrentSignature,
                                       kOlderSignature));
    const bool current = text.rfind(kCurrentSignature, 0) == 0;
    const std::vector<std::string_view> lines = splitLines(text);

    Comments comments;
    std::size_t l = 0;
    for (; l < lines.size() && (lines[l].empty() || lines[l].front() == '%'); ++l)
        if (!lines[l].empty())
            readComment(lines[l], comments, path, l + 1);
    if (l == lines.size())
        throw badRecording(fmt::format("{}: no samples after the comment lines", path));

    std::vector<Column> columns;
    if (current) {
        for (const std::string_view name : splitCells(lines[l]))
            columns.push_back({std::string(name), roleOfName(name)});
        ++l;
    } else {
        columns = olderLayoutColumns(splitCells(lines[l]), comments, path);
    }
    const auto counterAt = std::find_if(columns.begin(), columns.end(),
                                        [](const Column& c) { return c.role == Role::Counter; });
    const int exgChannels = static_cast<int>(
        std::count_if(columns.begin(), columns.end(), [](const Column& c) { return c.role == Role::Exg; }));
    if (counterAt == columns.end())
        throw badRecording(fmt::format("{}: the header row names no \"Sample Index\" column", path));
    if (exgChannels == 0)
        throw badRecording(fmt::format("{}: the header row names no \"EXG Channel\" column", path));
    const std::size_t counterColumn = static_cast<std::size_t>(counterAt - columns.begin());

    // Channel number of each column, or -1.
    std::vector<int> channelOf(columns.size(), -1);
    std::vector<std::string> names;
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (columns[c].role == Role::Exg || columns[c].role == Role::Accelerometer ||
            columns[c].role == Role::Auxiliary) {
            channelOf[c] = static_cast<int>(names.size());
            names.push_back(columns[c].name);
        }
    std::vector<std::vector<double>> values(names.size());
    std::vector<double> counter;
    std::vector<std::pair<std::int64_t, double>> markers; // sample, value
    for (; l < lines.size(); ++l) {
        if (lines[l].empty() || lines[l].front() == '%')
            continue;
        const std::vector<std::string_view> cells = splitCells(lines[l]);
        const auto row = static_cast<std::int64_t>(counter.size());
        if (cells.size() != columns.size())
            throw badRecording(fmt::format("{}: line {} has {} cells where the {} has {}", path, l + 1, cells.size(),
                                           current ? "header row" : "first row", columns.size()));
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (columns[c].role == Role::Ignored)
                continue;
            const std::optional<double> value = parseNumber(cells[c]);
            if (!value || !std::isfinite(*value))
                throw badRecording(fmt::format("{}: line {}, column {} ({}): \"{}\" is not a number", path, l + 1,
                                               c + 1, columns[c].name, cells[c]));
            if (c == counterColumn) {
                if (*value < 0 || *value > 255 || *value != std::floor(*value))
                    throw badRecording(fmt::format("{}: line {}: sample index \"{}\" is not a packet counter "
                                                   "(a whole number from 0 to 255)",
                                                   path, l + 1, cells[c]));
                counter.push_back(*value);
            } else if (columns[c].role == Role::Marker) {
                if (*value != 0)
                    markers.emplace_back(row, *value);
            } else if (columns[c].role == Role::Exg) {
                values[static_cast<std::size_t>(channelOf[c])].push_back(*value / 1e6);
            } else {
                values[static_cast<std::size_t>(channelOf[c])].push_back(*value);
            }
        }
    }
    if (counter.empty())
        throw badRecording(fmt::format("{}: no samples after the header", path));
    if (!rateHz && !comments.rateHz)
        throw badRecording(fmt::format("{}: no \"%Sample Rate = N Hz\" line, so give the rate with {}", path,
                                       rateOption));
    const double rate = rateHz ? static_cast<double>(*rateHz) : *comments.rateHz;

    auto recording = std::make_unique<MemoryRecording>(path, current ? "Raw EXG text" : "Raw EEG text (older layout)");
    const int modulus = counterModulus(counter, comments, exgChannels);
    std::int64_t missingSoFar = 0;
    for (std::size_t i = 1; i < counter.size(); ++i) {
        const int step = (static_cast<int>(counter[i]) - static_cast<int>(counter[i - 1]) + modulus) % modulus;
        if (step == 1)
            continue;
        // The same value again is the counter a whole turn later.
        const std::int64_t missing = step == 0 ? modulus - 1 : step - 1;
        const auto last = static_cast<std::int64_t>(i - 1);
        recording->addGap({last, static_cast<double>(last + missingSoFar) / rate, missing,
                           static_cast<double>(missing) / rate});
        missingSoFar += missing;
    }
    for (const auto& [sample, value] : markers)
        recording->addEvent({static_cast<double>(sample) / rate, 0.0, fmt::format("marker {:g}", value)});
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (channelOf[c] < 0)
            continue;
        ChannelInfo info;
        info.name = columns[c].name;
        info.rateHz = rate;
        if (columns[c].role == Role::Exg) {
            info.unit = "uV";
        } else if (columns[c].role == Role::Accelerometer) {
            info.unit = "g";
            info.eeg = false;
            info.problem = "not an EEG channel (an accelerometer axis, in g)";
        } else {
            info.eeg = false;
            info.problem = "not an EEG channel (a digital, analog or other auxiliary column)";
        }
        recording->addChannel(std::move(info), std::move(values[static_cast<std::size_t>(channelOf[c])]));
    }
    if (!current)
        recording->addNote("older layout without column names: channels named EXG Channel 0... as in the current "
                           "layout, the columns after them taken as accelerometer axes, then auxiliary values");
    if (!recording->gaps().empty())
        recording->addNote(fmt::format("the sample counter (wrapping after {}) shows dropped packets: reported as "
                                       "gaps, not filled",
                                       modulus - 1));
    return recording;
}

} // namespace kalo::host
