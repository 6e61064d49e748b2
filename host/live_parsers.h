#pragma once

// The texts and bytes a live stream arrives in, turned into frames of
// samples in volts (frame after frame, one value per channel). Every parser
// takes what it is given and says whether it held samples; a piece that does
// not is refused whole, so the caller counts it and goes on.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalo::host {

struct Frames {
    int channels = 0;
    std::vector<double> volts; // channels values per frame
    std::size_t count() const { return channels == 0 ? 0 : volts.size() / static_cast<std::size_t>(channels); }
};

// One datagram of the acquisition GUIs' networking shape:
// {"type":"timeSeriesRaw","data":[[channel 0 ...],[channel 1 ...],...]} in
// microvolts ("timeSeriesFiltered" too), usually ending in "\r\n". Nothing
// when it is not that shape, a channel is not a list of finite numbers, or
// the channels differ in length; `why` then says what was wrong.
std::optional<Frames> parseSampleDatagram(std::string_view text, std::string* why = nullptr);

// One line of CSV channel values for one sample, `unitsPerVolt` of the unit
// they are written in. Nothing when a cell is not a finite number or the
// line has not `channels` cells. A trailing "\r" is allowed.
std::optional<std::vector<double>> parseSampleLine(std::string_view line, int channels, double unitsPerVolt);

// Raw little-endian float32 frames of `channels` values, in the bytes as
// they come: pieces of any length, frames completed across them. A frame
// holding a value that is not finite is dropped and counted.
class Float32Frames {
public:
    Float32Frames(int channels, double unitsPerVolt);
    // Complete frames in what has arrived so far, in volts.
    Frames add(const char* bytes, std::size_t size);
    std::size_t refused() const { return refused_; }
    // Bytes of an incomplete last frame.
    std::size_t pending() const { return partial_.size(); }

private:
    int channels_;
    double unitsPerVolt_;
    std::string partial_;
    std::size_t refused_ = 0;
};

} // namespace kalo::host
