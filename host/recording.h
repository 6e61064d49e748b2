#pragma once

// One interface for any recording, whatever its file format: named channels
// with their unit and rate, samples in volts read in blocks, the events it
// carries, the gaps its timestamps show, and notes on what a reader had to
// assume. Readers fill it in; the driver reads blocks of the chosen channels.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "events.h"

namespace kalo::host {

struct ChannelInfo {
    std::string name;             // as stored in the file (EDF labels keep their dots)
    std::string unit;             // as the file states it, or as the reader assumed it
    double rateHz = 0.0;          // may be fractional in EDF files; checked when the channel is chosen
    std::int64_t sampleCount = 0;
    bool eeg = true;              // false for accelerometer, aux, digital and other non-EEG columns
    std::string problem;          // why the channel cannot be analysed (a unit that is not a voltage), or empty
    bool unitAssumed = false;     // the file states no unit and the user gave none: volts were assumed
};

// Samples missing from a recording, as its timestamps or packet counter
// show. The samples on either side follow each other in what is read: a gap
// is reported, never filled.
struct Gap {
    std::int64_t afterSample = 0;   // index of the last sample before the gap
    double atSec = 0.0;             // that sample's time on the recording's own clock
    std::int64_t missingSamples = 0;
    double missingSec = 0.0;
};

class Recording {
public:
    virtual ~Recording() = default;

    const std::string& source() const { return source_; }  // the path as the user gave it
    const std::string& format() const { return format_; }  // "EDF+", "CSV", ...
    const std::vector<ChannelInfo>& channels() const { return channels_; }
    const std::vector<Event>& events() const { return events_; }
    const std::vector<Gap>& gaps() const { return gaps_; }
    const std::vector<std::string>& notes() const { return notes_; }
    double durationSec() const;

    // `count` samples of each of `channels` (indices into channels()) from
    // sample `first` on, in volts, frame after frame: out[i * channels.size()
    // + c]. Every channel must hold first + count samples.
    void read(std::span<const int> channels, std::int64_t first, std::int64_t count, double* out);

    // For readers that set the rate after reading (--rate).
    void overrideRate(double rateHz);

protected:
    Recording(std::string source, std::string format) : source_(std::move(source)), format_(std::move(format)) {}
    virtual void readChecked(std::span<const int> channels, std::int64_t first, std::int64_t count, double* out) = 0;

    std::string source_;
    std::string format_;
    std::vector<ChannelInfo> channels_;
    std::vector<Event> events_;
    std::vector<Gap> gaps_;
    std::vector<std::string> notes_;
};

// A recording held in memory whole: text formats, synthetic recordings, and
// the output of resampling.
class MemoryRecording final : public Recording {
public:
    MemoryRecording(std::string source, std::string format) : Recording(std::move(source), std::move(format)) {}

    void addChannel(ChannelInfo info, std::vector<double> volts);
    void addEvent(Event event) { events_.push_back(std::move(event)); }
    void addGap(const Gap& gap) { gaps_.push_back(gap); }
    void addNote(std::string note) { notes_.push_back(std::move(note)); }
    std::vector<double>& volts(std::size_t channel) { return volts_[channel]; }

private:
    void readChecked(std::span<const int> channels, std::int64_t first, std::int64_t count, double* out) override;
    std::vector<std::vector<double>> volts_;
};

} // namespace kalo::host
