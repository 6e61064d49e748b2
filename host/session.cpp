#include "session.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "error.h"
#include "settings_check.h"

namespace kalo::host {

namespace {

struct EngineDeleter {
    void operator()(MathLib* engine) const { freeMathLib(engine, nullptr); }
};

// Every engine call fills a status; a refusal becomes the user's error with
// what the driver was doing at the time.
void check(bool ok, const _OutStatus& status, std::string_view doing) {
    if (!ok)
        throw Error(ErrorKind::EngineRefused,
                    fmt::format("{}: {} (engine code {})", doing, status.error_msg, status.error_code));
}

} // namespace

struct Session::Engine {
    std::unique_ptr<MathLib, EngineDeleter> handle;
    _MathLibSetting mathLib{};
    std::vector<_RawChannels> pairs;
    std::vector<_RawChannelsArray> rows;
    std::vector<_SpectralDataPercents> spectra;
    std::vector<_MindData> minds;
};

namespace {

void applySetters(MathLib* e, const EngineConfig& c, const Options& o) {
    _OutStatus s{};
    if (c.calibrationSec)
        check(MathLibSetCallibrationLength(e, *c.calibrationSec, &s), s, o.name("calibration_sec"));
    if (c.priority)
        check(MathLibSetPrioritySide(e, *c.priority, &s), s, o.name("priority"));
    if (c.mentalRatios)
        check(MathLibSetMentalEstimationMode(e, *c.mentalRatios, &s), s, o.name("mental_mode"));
    if (c.normalization) {
        const bool width = *c.normalization == Normalization::Width;
        const bool coeffs = *c.normalization == Normalization::Coeffs;
        check(MathLibSetSpectNormalizationByBandsWidth(e, width, &s), s, o.name("normalize"));
        check(MathLibSetSpectNormalizationByCoeffs(e, coeffs, &s), s, o.name("normalize"));
    }
    if (const auto& w = c.weights)
        check(MathLibSetWeightsForSpectra(e, (*w)[0], (*w)[1], (*w)[2], (*w)[3], (*w)[4], &s), s, o.name("weights"));
    if (const auto& z = c.zeroWaves)
        check(MathLibSetZeroSpectWaves(e, true, (*z)[0], (*z)[1], (*z)[2], (*z)[3], (*z)[4], &s), s,
              o.name("zero_waves"));
    if (c.skipAfterArtifact)
        check(MathLibSetSkipWinsAfterArtifact(e, *c.skipAfterArtifact, &s), s, o.name("skip_after_artifact"));
}

} // namespace

StreamLayout namedChannelsLayout(const Options& options, const std::string& source, int rateHz,
                                 const std::vector<std::string>& names) {
    StreamLayout layout;
    layout.source = source;
    layout.rateHz = rateHz;
    layout.frameWidth = static_cast<int>(names.size());
    layout.selection = selectChannels(names, options.channels, source, options.style());
    for (const int c : layout.selection.columns)
        layout.names.push_back(names[static_cast<std::size_t>(c)]);
    return layout;
}

StreamLayout chosenChannelsLayout(const std::string& source, const EngineInput& chosen) {
    StreamLayout layout;
    layout.source = source;
    layout.rateHz = chosen.rateHz;
    layout.names = chosen.names;
    layout.frameWidth = static_cast<int>(chosen.selection.columns.size());
    layout.selection = chosen.selection;
    for (std::size_t c = 0; c < layout.selection.columns.size(); ++c)
        layout.selection.columns[c] = static_cast<int>(c);
    return layout;
}

Session::Session(const Options& options, StreamLayout layout, RowSink sink)
    : config_(options.engine), layout_(std::move(layout)), sink_(std::move(sink)), engine_(std::make_unique<Engine>()) {
    const std::size_t width = layout_.selection.columns.size();
    if (layout_.frameWidth < 1 || width < 1 || (layout_.selection.bipolar && width != 2))
        throw invalidArgument(fmt::format("{}: a session needs frames with the chosen channels", layout_.source));
    for (const int c : layout_.selection.columns)
        if (c < 0 || c >= layout_.frameWidth)
            throw invalidArgument(fmt::format("{}: channel column {} is outside frames of {} values", layout_.source,
                                              c, layout_.frameWidth));

    checkSettings(options, layout_.rateHz);
    _MathLibSetting& m = engine_->mathLib;
    m = config_.mathLib;
    m.sampling_rate = layout_.rateHz;
    m.fft_window = config_.fftWindow.value_or(2 * layout_.rateHz);
    m.bipolar_mode = layout_.selection.bipolar;
    if (!layout_.selection.bipolar) {
        m.channels_number = static_cast<int32_t>(width);
        m.channel_for_analysis = layout_.selection.analysisChannel;
    }
    _OutStatus status{};
    engine_->handle.reset(createMathLib(m, config_.artifactDetect, config_.shortArtifactDetect,
                                        config_.mentalAndSpectral, &status));
    if (!engine_->handle) {
        // The engine's messages name the settings record, not the value; the
        // rate is the one value that comes from the file rather than the user.
        const bool rateOutOfRange = layout_.rateHz < 50 || layout_.rateHz > 1000;
        throw Error(ErrorKind::EngineRefused,
                    fmt::format("the engine refused the settings for a {} Hz recording: {}{}", layout_.rateHz,
                                status.error_msg,
                                rateOutOfRange ? " (it analyses sampling rates from 50 to 1000 Hz)" : ""));
    }
    applySetters(engine_->handle.get(), config_, options);

    info_.rateHz = layout_.rateHz;
    info_.mathLib = m;
    info_.fftWindow = m.fft_window;
    info_.windowStep = m.sampling_rate / m.process_win_freq;
    calibrationPending_ = config_.calibrateAtSec.has_value();
    if (calibrationPending_)
        calibrationSample_ =
            static_cast<std::int64_t>(std::max(0.0, std::ceil(*config_.calibrateAtSec * layout_.rateHz)));
    staged_.resize(static_cast<std::size_t>(info_.windowStep) * width);
}

Session::~Session() = default;

void Session::addEvents(const std::vector<Event>& events) {
    if (info_.samplesPushed > 0 || stagedFrames_ > 0)
        throw invalidArgument(fmt::format("{}: events are added before the first samples", layout_.source));
    events_.insert(events_.end(), events.begin(), events.end());
}

void Session::push(const double* frames, std::size_t count) {
    if (finished_)
        throw invalidArgument(fmt::format("{}: samples pushed after the end", layout_.source));
    if (!eventsUnder_)
        eventsUnder_.emplace(events_);
    const std::size_t width = layout_.selection.columns.size();
    const auto frameWidth = static_cast<std::size_t>(layout_.frameWidth);
    const auto step = static_cast<std::size_t>(info_.windowStep);
    for (std::size_t f = 0; f < count; ++f) {
        const double* frame = frames + f * frameWidth;
        double* to = staged_.data() + stagedFrames_ * width;
        for (std::size_t c = 0; c < width; ++c)
            to[c] = frame[layout_.selection.columns[c]];
        if (++stagedFrames_ == step)
            pushStaged();
    }
}

void Session::startCalibration() {
    if (finished_)
        throw invalidArgument(fmt::format("{}: the run is finished", layout_.source));
    calibrationPending_ = true;
    calibrationSample_ = info_.samplesPushed;
}

void Session::finish() {
    if (finished_)
        return;
    if (!eventsUnder_)
        eventsUnder_.emplace(events_);
    if (stagedFrames_ > 0)
        pushStaged();
    finished_ = true;
    info_.durationSec = static_cast<double>(info_.samplesPushed) / info_.rateHz;
}

void Session::pushStaged() {
    MathLib* e = engine_->handle.get();
    const double rate = info_.rateHz;
    _OutStatus s{};
    if (calibrationPending_ && info_.samplesPushed >= calibrationSample_) {
        check(MathLibStartCalibration(e, &s), s, "starting the calibration");
        info_.calibrationStartSec = static_cast<double>(info_.samplesPushed) / rate;
        awaitingProgress_ = info_.calibrationEndSec.has_value();
        info_.calibrationEndSec.reset();
        calibrationPending_ = false;
    }

    const std::size_t count = stagedFrames_;
    const std::size_t width = layout_.selection.columns.size();
    bool ok = false;
    if (layout_.selection.bipolar) {
        engine_->pairs.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            engine_->pairs[i] = {staged_[i * width], staged_[i * width + 1]};
        ok = MathLibPushData(e, engine_->pairs.data(), count, &s);
    } else {
        engine_->rows.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            engine_->rows[i].channels = staged_.data() + i * width;
        ok = MathLibPushDataArr(e, engine_->rows.data(), count, &s);
    }
    const std::int64_t first = info_.samplesPushed;
    check(ok, s,
          fmt::format("the engine refused the samples from {:.3f} s to {:.3f} s", static_cast<double>(first) / rate,
                      static_cast<double>(first + static_cast<std::int64_t>(count)) / rate));
    stagedFrames_ = 0;
    info_.samplesPushed += static_cast<std::int64_t>(count);
    const double now = static_cast<double>(info_.samplesPushed) / rate;
    check(MathLibProcessDataArr(e, &s), s, fmt::format("processing the windows up to {:.3f} s", now));

    int32_t spectraCount = 0, mindCount = 0;
    check(MathLibReadSpectralDataPercentsArrSize(e, &spectraCount, &s), s, "reading the band shares");
    check(MathLibReadMentalDataArrSize(e, &mindCount, &s), s, "reading the mental levels");
    engine_->spectra.resize(static_cast<std::size_t>(spectraCount));
    engine_->minds.resize(static_cast<std::size_t>(mindCount));
    check(MathLibReadSpectralDataPercentsArr(e, engine_->spectra.data(), &spectraCount, &s), s,
          "reading the band shares");
    check(MathLibReadMentalDataArr(e, engine_->minds.data(), &mindCount, &s), s, "reading the mental levels");
    // The engine appends to both queues for every window; a difference
    // would pair records of different windows.
    if (spectraCount != mindCount)
        throw Error(ErrorKind::EngineRefused,
                    fmt::format("the engine published {} band records but {} mental records at {:.3f} s",
                                spectraCount, mindCount, now));

    Row row;
    row.timeSec = now;
    row.windowStartSec = static_cast<double>(info_.samplesPushed - info_.fftWindow) / rate;
    int32_t percent = 0;
    check(MathLibReadRawSpectralVals(e, &row.raw, &s), s, "reading raw alpha and beta");
    check(MathLibGetCallibrationPercents(e, &percent, &s), s, "reading the calibration");
    check(MathLibCalibrationFinished(e, &row.calibrationFinished, &s), s, "reading the calibration");
    check(MathLibIsBothSidesArtifacted(e, &row.bothSidesArtifacted, &s), s, "reading the artifact flags");
    check(MathLibIsArtifactedSequence(e, &row.artifactedSequence, &s), s, "reading the artifact flags");
    row.calibrationPercent = percent;
    if (awaitingProgress_ && percent < 100)
        awaitingProgress_ = false;
    if (row.calibrationFinished && !awaitingProgress_ && percent >= 100 && info_.calibrationStartSec &&
        !info_.calibrationEndSec)
        info_.calibrationEndSec = row.timeSec;
    if (spectraCount > 0)
        row.events = eventsUnder_->under(row.windowStartSec, row.timeSec);
    for (int32_t i = 0; i < spectraCount; ++i) {
        row.bands = engine_->spectra[static_cast<std::size_t>(i)];
        row.mind = engine_->minds[static_cast<std::size_t>(i)];
        sink_(row);
    }
}

} // namespace kalo::host
