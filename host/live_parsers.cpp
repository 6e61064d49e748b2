#include "live_parsers.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <nlohmann/json.hpp>

#include "error.h"

namespace kalo::host {

namespace {

constexpr double kMicrovoltsPerVolt = 1e6;

std::optional<Frames> refuse(std::string* why, const char* reason) {
    if (why != nullptr)
        *why = reason;
    return std::nullopt;
}

} // namespace

std::optional<Frames> parseSampleDatagram(std::string_view text, std::string* why) {
    const nlohmann::json json = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return refuse(why, "not a JSON object");
    const auto type = json.find("type");
    if (type == json.end() || !type->is_string() ||
        (*type != "timeSeriesRaw" && *type != "timeSeriesFiltered"))
        return refuse(why, "its type is not timeSeriesRaw or timeSeriesFiltered");
    const auto data = json.find("data");
    if (data == json.end() || !data->is_array() || data->empty())
        return refuse(why, "it has no data");
    const std::size_t channels = data->size();
    const std::size_t length = (*data)[0].is_array() ? (*data)[0].size() : 0;
    if (length == 0)
        return refuse(why, "its first channel holds no samples");
    Frames frames;
    frames.channels = static_cast<int>(channels);
    frames.volts.resize(channels * length);
    for (std::size_t c = 0; c < channels; ++c) {
        const nlohmann::json& channel = (*data)[c];
        if (!channel.is_array() || channel.size() != length)
            return refuse(why, "its channels differ in length");
        for (std::size_t i = 0; i < length; ++i) {
            if (!channel[i].is_number())
                return refuse(why, "a sample is not a number");
            const double microvolts = channel[i].get<double>();
            if (!std::isfinite(microvolts))
                return refuse(why, "a sample is not finite");
            frames.volts[i * channels + c] = microvolts / kMicrovoltsPerVolt;
        }
    }
    return frames;
}

std::optional<std::vector<double>> parseSampleLine(std::string_view line, int channels, double unitsPerVolt) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(channels));
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        std::string_view cell = line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        while (!cell.empty() && (cell.front() == ' ' || cell.front() == '\t'))
            cell.remove_prefix(1);
        while (!cell.empty() && (cell.back() == ' ' || cell.back() == '\t'))
            cell.remove_suffix(1);
        if (!cell.empty() && cell.front() == '+')
            cell.remove_prefix(1);
        double value = 0;
        const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
        if (cell.empty() || error != std::errc() || end != cell.data() + cell.size() || !std::isfinite(value))
            return std::nullopt;
        values.push_back(value / unitsPerVolt);
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    if (values.size() != static_cast<std::size_t>(channels))
        return std::nullopt;
    return values;
}

Float32Frames::Float32Frames(int channels, double unitsPerVolt) : channels_(channels), unitsPerVolt_(unitsPerVolt) {
    if (channels <= 0)
        throw invalidArgument("float32 frames need at least one channel");
}

Frames Float32Frames::add(const char* bytes, std::size_t size) {
    static_assert(std::endian::native == std::endian::little, "float32 frames are read on little-endian machines");
    partial_.append(bytes, size);
    const std::size_t frameBytes = static_cast<std::size_t>(channels_) * sizeof(float);
    const std::size_t complete = partial_.size() / frameBytes;
    Frames frames;
    frames.channels = channels_;
    frames.volts.reserve(complete * static_cast<std::size_t>(channels_));
    for (std::size_t f = 0; f < complete; ++f) {
        const char* frame = partial_.data() + f * frameBytes;
        bool finite = true;
        const std::size_t at = frames.volts.size();
        for (int c = 0; c < channels_; ++c) {
            float value = 0;
            std::memcpy(&value, frame + static_cast<std::size_t>(c) * sizeof(float), sizeof(float));
            finite = finite && std::isfinite(value);
            frames.volts.push_back(static_cast<double>(value) / unitsPerVolt_);
        }
        if (!finite) {
            frames.volts.resize(at);
            ++refused_;
        }
    }
    partial_.erase(0, complete * frameBytes);
    return frames;
}

} // namespace kalo::host
