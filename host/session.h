#pragma once

// The one procedure that runs the engine over samples, for every host: a
// finished recording, caller-supplied arrays, or a live stream.
//
// Samples are pushed to the engine in blocks of one window step
// (sampling_rate / process_win_freq samples, the distance between two
// analysis windows), as soon as a step is complete; after every block the
// engine processes what is due and both published queues are drained, so
// each block normally yields one row. A row's time is the number of samples
// pushed when it was published divided by the rate: the moment a live host
// would have received it. A calibration starts at the first block boundary
// at or after the asked time. finish() pushes the last, shorter block.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channel_choice.h"
#include "events.h"
#include "kalo_artifacts.h"
#include "options.h"

namespace kalo::host {

struct Row {
    double timeSec = 0.0;        // end of the analysis window, samples pushed / rate
    double windowStartSec = 0.0; // its first sample (may be negative during the first window)
    _MindData mind{};
    _SpectralDataPercents bands{};
    _RawSpectVals raw{};
    int calibrationPercent = 0;
    bool bothSidesArtifacted = false;
    bool artifactedSequence = false;
    bool calibrationFinished = false;
    std::string events; // descriptions of the events under the window, joined by ";"
};

// Facts about a run that a reader of the rows needs.
struct RunInfo {
    int rateHz = 0;
    int fftWindow = 0;
    int windowStep = 0;  // samples between two windows
    std::int64_t samplesPushed = 0;
    double durationSec = 0.0;
    std::optional<double> calibrationStartSec;
    std::optional<double> calibrationEndSec;
    _MathLibSetting mathLib{}; // as the engine was created, with the rate, window and mode filled in
};

// What the samples handed to push() are: frames of `frameWidth` values, of
// which `selection.columns` are given to the engine (left and right, or the
// channels in multichannel mode).
struct StreamLayout {
    std::string source;          // for messages and the summary
    int rateHz = 0;
    int frameWidth = 0;
    Selection selection;
    std::vector<std::string> names; // of the chosen channels
};

// Frames of every named channel, the option's channel choice given to the
// engine (the block entry and the live sources).
StreamLayout namedChannelsLayout(const Options& options, const std::string& source, int rateHz,
                                 const std::vector<std::string>& names);
// Frames that hold the chosen channels only, in the order chosen (blocks read
// from a recording).
StreamLayout chosenChannelsLayout(const std::string& source, const EngineInput& chosen);

class Session {
public:
    using RowSink = std::function<void(const Row&)>;

    // Creates the engine with the options' settings for this rate and
    // applies the setters; an Error when the engine refuses them.
    Session(const Options& options, StreamLayout layout, RowSink sink);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Events to match against the rows' windows; before the first push.
    void addEvents(const std::vector<Event>& events);

    // `count` frames, frame after frame. Rows go to the sink as they are
    // published.
    void push(const double* frames, std::size_t count);
    // A calibration starts at the next block boundary (a live host's
    // "calibrate now"); one already pending or running is started anew there.
    void startCalibration();
    // Pushes what remains (a last block shorter than a step). Nothing may be
    // pushed afterwards.
    void finish();

    const RunInfo& info() const { return info_; }
    const StreamLayout& layout() const { return layout_; }
    const EngineConfig& config() const { return config_; }

private:
    struct Engine;
    void pushStaged();

    EngineConfig config_;
    StreamLayout layout_;
    RowSink sink_;
    std::unique_ptr<Engine> engine_;
    RunInfo info_;
    std::vector<Event> events_;
    std::optional<EventsUnderWindows> eventsUnder_;
    std::vector<double> staged_;      // chosen columns of the frames of the step being filled
    std::size_t stagedFrames_ = 0;
    bool calibrationPending_ = false;
    // A calibration started again reports itself finished from the start
    // (the engine's flag is never cleared): its end is when its progress,
    // once below 100, reaches 100.
    bool awaitingProgress_ = false;
    std::int64_t calibrationSample_ = 0;
    bool finished_ = false;
};

} // namespace kalo::host
