#include "brainvision_recording.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include <fmt/format.h>

#include "csv_text.h"
#include "error.h"
#include "units.h"

namespace kalo::host {

namespace {

namespace fs = std::filesystem;

constexpr int kMostChannels = 4096;

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The sections of an INI-like file that a reader asks for, as key -> value
// with keys in lower case; the other sections (free text) are not read.
struct IniFile {
    std::map<std::string, std::map<std::string, std::string>> sections;
    bool utf8 = false;

    const std::string* find(const std::string& section, const std::string& key) const {
        const auto s = sections.find(section);
        if (s == sections.end())
            return nullptr;
        const auto k = s->second.find(key);
        return k == s->second.end() ? nullptr : &k->second;
    }
};

IniFile parseIni(const std::string& text, const std::string& path, std::initializer_list<std::string_view> wanted) {
    IniFile ini;
    const std::vector<std::string_view> lines = splitLines(text);
    std::string section;
    bool reading = false;
    for (std::size_t l = 1; l < lines.size(); ++l) {
        const std::string_view line = trim(lines[l]);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']')
                throw badRecording(fmt::format("{}: line {}: a section heading without \"]\"", path, l + 1));
            section = lower(trim(line.substr(1, line.size() - 2)));
            reading = std::find(wanted.begin(), wanted.end(), section) != wanted.end();
            continue;
        }
        if (!reading)
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0)
            throw badRecording(
                fmt::format("{}: line {} in [{}]: \"{}\" is not key=value", path, l + 1, section, line));
        const std::string key = lower(trim(line.substr(0, equals)));
        if (!ini.sections[section].emplace(key, std::string(trim(line.substr(equals + 1)))).second)
            throw badRecording(fmt::format("{}: line {}: {} is given twice in [{}]", path, l + 1, key, section));
    }
    const std::string* codepage = ini.find("common infos", "codepage");
    ini.utf8 = codepage != nullptr && lower(*codepage) == "utf-8";
    return ini;
}

std::string readText(const fs::path& path) { return readWholeFile(path.string()); }

// "a,b,c" with "\1" standing for a comma inside a field.
std::vector<std::string> fields(std::string_view value, bool utf8) {
    std::vector<std::string> out(1);
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == ',')
            out.emplace_back();
        else if (value.substr(i, 2) == "\\1") {
            out.back() += ',';
            ++i;
        } else
            out.back() += value[i];
    }
    for (std::string& f : out)
        f = utf8 ? std::string(trim(f)) : latin1ToUtf8(trim(f));
    return out;
}

std::optional<long long> wholeNumber(const std::string& text) {
    const std::optional<double> v = parseNumber(text);
    if (!v || *v != std::floor(*v) || std::abs(*v) > 9e15)
        return std::nullopt;
    return static_cast<long long>(*v);
}

// The numbered entries "Ch1".."ChN" (or "Mk1"..) of a section, in order.
std::vector<const std::string*> numbered(const IniFile& ini, const std::string& section, std::string_view prefix,
                                         const std::string& path) {
    std::vector<std::pair<long long, const std::string*>> entries;
    const auto s = ini.sections.find(section);
    if (s != ini.sections.end())
        for (const auto& [key, value] : s->second) {
            if (key.rfind(prefix, 0) != 0)
                continue;
            const std::optional<long long> n = wholeNumber(key.substr(prefix.size()));
            if (!n || *n < 1)
                throw badRecording(fmt::format("{}: [{}] has an entry \"{}\" that is not numbered", path, section, key));
            entries.emplace_back(*n, &value);
        }
    std::sort(entries.begin(), entries.end());
    std::vector<const std::string*> out;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].first != static_cast<long long>(i + 1))
            throw badRecording(fmt::format("{}: [{}] lacks entry {}{}", path, section, prefix, i + 1));
        out.push_back(entries[i].second);
    }
    return out;
}

enum class Binary { Int16, Int32, Float32 };

int bytesOf(Binary b) { return b == Binary::Int16 ? 2 : 4; }

double decode(const unsigned char* p, Binary b) {
    switch (b) {
    case Binary::Int16: {
        std::int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case Binary::Int32: {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    case Binary::Float32: {
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
    return 0;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Binary data, read from the file as asked.
class BinaryBrainVision final : public Recording {
public:
    BinaryBrainVision(const std::string& source, fs::path data, Binary type, bool vectorized,
                      std::vector<double> voltsPerCount, std::int64_t samples)
        : Recording(source, "BrainVision"), dataPath_(std::move(data)), type_(type), vectorized_(vectorized),
          scale_(std::move(voltsPerCount)), samples_(samples) {
        file_.reset(std::fopen(dataPath_.c_str(), "rb"));
        if (!file_)
            throw badRecording(fmt::format("{}: cannot open: {}", dataPath_.string(), std::strerror(errno)));
    }

    std::vector<ChannelInfo>& channelList() { return channels_; }
    std::vector<Event>& eventList() { return events_; }
    std::vector<std::string>& noteList() { return notes_; }

private:
    void readAt(std::int64_t offset, std::size_t bytes) {
        buffer_.resize(bytes);
        if (fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) != 0 ||
            std::fread(buffer_.data(), 1, bytes, file_.get()) != bytes)
            throw badRecording(fmt::format("{}: cannot be read at byte {}", dataPath_.string(), offset));
    }

    void readChecked(std::span<const int> channels, std::int64_t first, std::int64_t count, double* out) override {
        const std::size_t width = channels.size();
        const auto size = static_cast<std::int64_t>(bytesOf(type_));
        const auto all = static_cast<std::int64_t>(scale_.size());
        if (!vectorized_) {
            readAt(first * all * size, static_cast<std::size_t>(count * all * size));
            for (std::int64_t i = 0; i < count; ++i)
                for (std::size_t c = 0; c < width; ++c) {
                    const auto ch = static_cast<std::size_t>(channels[c]);
                    out[static_cast<std::size_t>(i) * width + c] =
                        decode(buffer_.data() + (i * all + channels[c]) * size, type_) * scale_[ch];
                }
            return;
        }
        for (std::size_t c = 0; c < width; ++c) {
            const auto ch = static_cast<std::size_t>(channels[c]);
            readAt((channels[c] * samples_ + first) * size, static_cast<std::size_t>(count * size));
            for (std::int64_t i = 0; i < count; ++i)
                out[static_cast<std::size_t>(i) * width + c] = decode(buffer_.data() + i * size, type_) * scale_[ch];
        }
    }

    fs::path dataPath_;
    Binary type_;
    bool vectorized_;
    std::vector<double> scale_;
    std::int64_t samples_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::vector<unsigned char> buffer_;
};

// ASCII data: numbers separated by white space, one line per sample
// (multiplexed) or per channel (vectorized, which may start with the
// channel's name).
std::vector<std::vector<double>> readAsciiData(const fs::path& path, const IniFile& ini, std::size_t channels,
                                               bool vectorized) {
    const std::string* decimal = ini.find("ascii infos", "decimalsymbol");
    const bool comma = decimal != nullptr && *decimal == ",";
    const auto count = [&](const char* key) -> std::size_t {
        const std::string* text = ini.find("ascii infos", key);
        if (text == nullptr)
            return 0;
        const std::optional<long long> n = wholeNumber(*text);
        if (!n || *n < 0 || *n > 1000000)
            throw badRecording(fmt::format("{}: {} \"{}\" is not a count", path.string(), key, *text));
        return static_cast<std::size_t>(*n);
    };
    const std::size_t skipLines = count("skiplines"), skipColumns = count("skipcolumns");
    const std::string text = readText(path);
    const std::vector<std::string_view> lines = splitLines(text);
    std::vector<std::vector<double>> values(channels);
    std::size_t row = 0;
    for (std::size_t l = skipLines; l < lines.size(); ++l) {
        std::vector<std::string> tokens;
        std::string token;
        for (const char ch : lines[l]) {
            if (std::isspace(static_cast<unsigned char>(ch)) || (!comma && ch == ',') || ch == ';') {
                if (!token.empty())
                    tokens.push_back(std::move(token));
                token.clear();
            } else {
                token += comma && ch == ',' ? '.' : ch;
            }
        }
        if (!token.empty())
            tokens.push_back(std::move(token));
        if (tokens.empty())
            continue;
        std::size_t from = std::min(skipColumns, tokens.size());
        if (vectorized && from < tokens.size() && !parseNumber(tokens[from]))
            ++from; // the channel's name
        const std::size_t n = tokens.size() - from;
        if (vectorized ? row >= channels : n != channels)
            throw badRecording(fmt::format("{}: line {} has {} values where {} were expected", path.string(), l + 1,
                                           n, vectorized ? std::size_t{0} : channels));
        for (std::size_t t = from; t < tokens.size(); ++t) {
            const std::optional<double> v = parseNumber(tokens[t]);
            if (!v)
                throw badRecording(
                    fmt::format("{}: line {}: \"{}\" is not a number", path.string(), l + 1, tokens[t]));
            values[vectorized ? row : t - from].push_back(*v);
        }
        ++row;
    }
    for (const auto& channel : values)
        if (channel.size() != values.front().size() || channel.empty())
            throw badRecording(fmt::format("{}: the channels hold different numbers of samples, or none",
                                           path.string()));
    return values;
}

std::vector<Event> readMarkers(const fs::path& path, double rate) {
    const std::string text = readText(path);
    if (lower(text.substr(0, 64)).find("data exchange marker file") == std::string::npos)
        throw badRecording(fmt::format("{}: not a BrainVision marker file", path.string()));
    const IniFile ini = parseIni(text, path.string(), {"common infos", "marker infos"});
    std::vector<Event> events;
    for (const std::string* entry : numbered(ini, "marker infos", "mk", path.string())) {
        const std::vector<std::string> f = fields(*entry, ini.utf8);
        const std::optional<long long> position = f.size() >= 3 ? wholeNumber(f[2]) : std::nullopt;
        if (!position || *position < 1)
            throw badRecording(fmt::format("{}: marker \"{}\" has no position (type,description,position,...)",
                                           path.string(), *entry));
        const std::optional<long long> size = f.size() >= 4 && !f[3].empty() ? wholeNumber(f[3]) : 1;
        if (!size || *size < 0)
            throw badRecording(fmt::format("{}: marker \"{}\" has no size in samples", path.string(), *entry));
        const std::string description = f[1].empty() ? f[0] : f[0] + "/" + f[1];
        events.push_back({static_cast<double>(*position - 1) / rate, *size > 1 ? static_cast<double>(*size) / rate : 0.0,
                          description});
    }
    return events;
}

} // namespace

bool looksLikeBrainVisionHeader(std::string_view head) {
    if (head.rfind("\xEF\xBB\xBF", 0) == 0)
        head.remove_prefix(3);
    return head.rfind("Brain Vision Data Exchange Header", 0) == 0 ||
           head.rfind("BrainVision Data Exchange Header", 0) == 0;
}

std::unique_ptr<Recording> openBrainVisionRecording(const std::string& headerPath) {
    const std::string text = readText(headerPath);
    if (!looksLikeBrainVisionHeader(text.substr(0, 64)))
        throw badRecording(fmt::format("{}: not a BrainVision header (its first line names no \"Data Exchange "
                                       "Header File\")",
                                       headerPath));
    const IniFile ini = parseIni(text, headerPath, {"common infos", "binary infos", "ascii infos", "channel infos"});
    const auto need = [&](const char* section, const char* key) -> const std::string& {
        const std::string* value = ini.find(section, key);
        if (value == nullptr || value->empty())
            throw badRecording(fmt::format("{}: [{}] gives no {}", headerPath, section, key));
        return *value;
    };
    const fs::path dir = fs::path(headerPath).parent_path();
    const fs::path dataPath = dir / fs::path(need("common infos", "datafile")).filename();

    const std::string format = lower(ini.find("common infos", "dataformat") ? *ini.find("common infos", "dataformat")
                                                                            : "binary");
    if (format != "binary" && format != "ascii")
        throw badRecording(fmt::format("{}: DataFormat {} is neither BINARY nor ASCII", headerPath, format));
    const std::string orientation =
        lower(ini.find("common infos", "dataorientation") ? *ini.find("common infos", "dataorientation")
                                                          : "multiplexed");
    if (orientation != "multiplexed" && orientation != "vectorized")
        throw badRecording(
            fmt::format("{}: DataOrientation {} is neither MULTIPLEXED nor VECTORIZED", headerPath, orientation));
    const bool vectorized = orientation == "vectorized";
    const std::string* dataType = ini.find("common infos", "datatype");
    if (dataType != nullptr && lower(*dataType) != "timedomain")
        throw badRecording(fmt::format("{}: DataType {} holds no samples in time (only TIMEDOMAIN is read)",
                                       headerPath, *dataType));

    const std::optional<double> interval = parseNumber(need("common infos", "samplinginterval"));
    if (!interval || !std::isfinite(*interval) || !(*interval > 0))
        throw badRecording(fmt::format("{}: SamplingInterval \"{}\" is not a time in microseconds", headerPath,
                                       need("common infos", "samplinginterval")));
    const double rate = 1e6 / *interval;
    const std::optional<long long> declared = wholeNumber(need("common infos", "numberofchannels"));
    const std::vector<const std::string*> entries = numbered(ini, "channel infos", "ch", headerPath);
    if (!declared || *declared < 1 || *declared > kMostChannels || static_cast<std::size_t>(*declared) != entries.size())
        throw badRecording(fmt::format("{}: NumberOfChannels {} but [Channel Infos] describes {}", headerPath,
                                       need("common infos", "numberofchannels"), entries.size()));

    std::vector<ChannelInfo> infos;
    std::vector<double> voltsPerCount;
    bool unitless = false;
    for (const std::string* entry : entries) {
        const std::vector<std::string> f = fields(*entry, ini.utf8);
        ChannelInfo info;
        info.name = f[0];
        info.rateHz = rate;
        const std::optional<double> resolution = f.size() >= 3 && !f[2].empty() ? parseNumber(f[2]) : 1.0;
        if (!resolution || !std::isfinite(*resolution) || *resolution == 0)
            throw badRecording(fmt::format("{}: channel {}: resolution \"{}\" is not a number", headerPath, info.name,
                                           f.size() >= 3 ? f[2] : ""));
        info.unit = f.size() >= 4 && !f[3].empty() ? f[3] : "µV";
        unitless = unitless || f.size() < 4 || f[3].empty();
        const std::optional<double> perVolt = unitsPerVolt(info.unit);
        if (!perVolt)
            info.problem = fmt::format("its unit \"{}\" is not a voltage", info.unit);
        voltsPerCount.push_back(*resolution / perVolt.value_or(1.0));
        infos.push_back(std::move(info));
    }

    // Markers and notes first: both kinds of recording take them.
    std::vector<Event> markers;
    std::vector<std::string> notes;
    if (const std::string* marker = ini.find("common infos", "markerfile"); marker != nullptr && !marker->empty()) {
        const fs::path markerPath = dir / fs::path(*marker).filename();
        if (fs::exists(markerPath))
            markers = readMarkers(markerPath, rate);
        else
            notes.push_back(fmt::format("marker file {} not found: no events", markerPath.string()));
    }
    if (unitless)
        notes.push_back("channels without a unit read as microvolts, the format's default");

    if (format == "ascii") {
        auto memory = std::make_unique<MemoryRecording>(headerPath, "BrainVision (ASCII)");
        std::vector<std::vector<double>> values = readAsciiData(dataPath, ini, infos.size(), vectorized);
        for (std::size_t c = 0; c < infos.size(); ++c) {
            for (double& v : values[c])
                v *= voltsPerCount[c];
            memory->addChannel(infos[c], std::move(values[c]));
        }
        for (Event& e : markers)
            memory->addEvent(std::move(e));
        for (std::string& n : notes)
            memory->addNote(std::move(n));
        return memory;
    }
    const std::string& typeName = need("binary infos", "binaryformat");
    const std::string t = lower(typeName);
    if (t != "int_16" && t != "int_32" && t != "ieee_float_32")
        throw badRecording(
            fmt::format("{}: BinaryFormat {} is not INT_16, INT_32 or IEEE_FLOAT_32", headerPath, typeName));
    const Binary type = t == "int_16" ? Binary::Int16 : t == "int_32" ? Binary::Int32 : Binary::Float32;
    std::error_code error;
    const auto bytes = static_cast<std::int64_t>(fs::file_size(dataPath, error));
    if (error)
        throw badRecording(fmt::format("{}: cannot open: {}", dataPath.string(), error.message()));
    const std::int64_t frame = static_cast<std::int64_t>(infos.size()) * bytesOf(type);
    const std::int64_t samples = bytes / frame;
    if (samples == 0)
        throw badRecording(fmt::format("{}: holds no whole sample of {} channels", dataPath.string(), infos.size()));
    if (bytes % frame != 0) {
        if (vectorized)
            throw badRecording(fmt::format("{}: {} bytes are not a whole number of samples of each channel",
                                           dataPath.string(), bytes));
        notes.push_back(fmt::format("the data file ends in a part sample ({} bytes), left out", bytes % frame));
    }
    auto binary =
        std::make_unique<BinaryBrainVision>(headerPath, dataPath, type, vectorized, voltsPerCount, samples);
    for (ChannelInfo& info : infos) {
        info.sampleCount = samples;
        binary->channelList().push_back(std::move(info));
    }
    binary->eventList() = std::move(markers);
    binary->noteList() = std::move(notes);
    return binary;
}

} // namespace kalo::host
