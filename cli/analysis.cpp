#include "analysis.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <fmt/format.h>

#include "cli_error.h"

namespace kalo::cli {

namespace {

struct EngineDeleter {
    void operator()(MathLib* engine) const { freeMathLib(engine, nullptr); }
};
using Engine = std::unique_ptr<MathLib, EngineDeleter>;

// Every engine call fills a status; a refusal becomes the user's error with
// what the program was doing at the time.
void check(bool ok, const _OutStatus& status, std::string_view doing) {
    if (!ok)
        throw CliError(fmt::format("{}: {} (engine code {})", doing, status.error_msg, status.error_code));
}

Engine createEngine(const EngineInput& input, const EngineConfig& config, _MathLibSetting& mathLib) {
    mathLib = config.mathLib;
    mathLib.sampling_rate = input.rateHz;
    mathLib.fft_window = config.fftWindow.value_or(2 * input.rateHz);
    mathLib.bipolar_mode = input.bipolar;
    if (!input.bipolar) {
        mathLib.channels_number = static_cast<int32_t>(input.channels.size());
        mathLib.channel_for_analysis = input.analysisChannel;
    }
    _OutStatus status{};
    Engine engine(createMathLib(mathLib, config.artifactDetect, config.shortArtifactDetect, config.mentalAndSpectral,
                                &status));
    if (!engine) {
        // The engine's messages name the settings record, not the value; the
        // rate is the one value that comes from the file rather than the user.
        const bool rateOutOfRange = input.rateHz < 50 || input.rateHz > 1000;
        throw CliError(fmt::format("the engine refused the settings for a {} Hz recording: {}{}", input.rateHz,
                                   status.error_msg,
                                   rateOutOfRange ? " (it analyses sampling rates from 50 to 1000 Hz)" : ""));
    }
    return engine;
}

void applySetters(MathLib* e, const EngineConfig& c) {
    _OutStatus s{};
    if (c.calibrationSec)
        check(MathLibSetCallibrationLength(e, *c.calibrationSec, &s), s, "--calibration-sec");
    if (c.priority)
        check(MathLibSetPrioritySide(e, *c.priority, &s), s, "--priority");
    if (c.mentalRatios)
        check(MathLibSetMentalEstimationMode(e, *c.mentalRatios, &s), s, "--mental-mode");
    if (c.normalization) {
        const bool width = *c.normalization == Normalization::Width;
        const bool coeffs = *c.normalization == Normalization::Coeffs;
        check(MathLibSetSpectNormalizationByBandsWidth(e, width, &s), s, "--normalize");
        check(MathLibSetSpectNormalizationByCoeffs(e, coeffs, &s), s, "--normalize");
    }
    if (const auto& w = c.weights)
        check(MathLibSetWeightsForSpectra(e, (*w)[0], (*w)[1], (*w)[2], (*w)[3], (*w)[4], &s), s, "--weights");
    if (const auto& z = c.zeroWaves)
        check(MathLibSetZeroSpectWaves(e, true, (*z)[0], (*z)[1], (*z)[2], (*z)[3], (*z)[4], &s), s, "--zero-waves");
    if (c.skipAfterArtifact)
        check(MathLibSetSkipWinsAfterArtifact(e, *c.skipAfterArtifact, &s), s, "--skip-after-artifact");
}

// One block of samples in the layout the push functions take.
class BlockBuffer {
public:
    explicit BlockBuffer(const EngineInput& input) : input_(input) {}

    void push(MathLib* engine, std::size_t first, std::size_t count) {
        _OutStatus status{};
        bool ok = false;
        const auto& ch = input_.channels;
        if (input_.bipolar) {
            pairs_.resize(count);
            for (std::size_t i = 0; i < count; ++i)
                pairs_[i] = {ch[0]->volts[first + i], ch[1]->volts[first + i]};
            ok = MathLibPushData(engine, pairs_.data(), count, &status);
        } else {
            const std::size_t width = ch.size();
            values_.resize(count * width);
            rows_.resize(count);
            for (std::size_t i = 0; i < count; ++i) {
                for (std::size_t c = 0; c < width; ++c)
                    values_[i * width + c] = ch[c]->volts[first + i];
                rows_[i].channels = values_.data() + i * width;
            }
            ok = MathLibPushDataArr(engine, rows_.data(), count, &status);
        }
        const double rate = input_.rateHz;
        check(ok, status,
              fmt::format("the engine refused the samples from {:.3f} s to {:.3f} s", first / rate,
                          (first + count) / rate));
    }

private:
    const EngineInput& input_;
    std::vector<_RawChannels> pairs_;
    std::vector<double> values_;
    std::vector<_RawChannelsArray> rows_;
};

} // namespace

RunInfo analyse(const EngineInput& input, const EngineConfig& config, const RowSink& sink,
                const ProgressSink& progress) {
    _MathLibSetting mathLib{};
    Engine engine = createEngine(input, config, mathLib);
    applySetters(engine.get(), config);

    const double rate = input.rateHz;
    RunInfo info;
    info.rateHz = input.rateHz;
    info.fftWindow = mathLib.fft_window;
    info.durationSec = input.sampleCount / rate;

    const std::size_t shift = static_cast<std::size_t>(mathLib.sampling_rate / mathLib.process_win_freq);
    const std::size_t total = input.sampleCount;
    // Calibration starts at the first block boundary at or after the asked time.
    bool calibrationPending = config.calibrateAtSec.has_value();
    const std::size_t calibrationSample =
        calibrationPending ? static_cast<std::size_t>(std::max(0.0, std::ceil(*config.calibrateAtSec * rate))) : 0;

    BlockBuffer block(input);
    std::vector<_SpectralDataPercents> spectra;
    std::vector<_MindData> minds;
    _OutStatus s{};
    MathLib* e = engine.get();
    for (std::size_t pushed = 0; pushed < total;) {
        if (calibrationPending && pushed >= calibrationSample) {
            check(MathLibStartCalibration(e, &s), s, "starting the calibration");
            info.calibrationStartSec = pushed / rate;
            calibrationPending = false;
        }
        const std::size_t count = std::min(shift, total - pushed);
        block.push(e, pushed, count);
        pushed += count;
        check(MathLibProcessDataArr(e, &s), s, fmt::format("processing the windows up to {:.3f} s", pushed / rate));

        int32_t spectraCount = 0, mindCount = 0;
        check(MathLibReadSpectralDataPercentsArrSize(e, &spectraCount, &s), s, "reading the band shares");
        check(MathLibReadMentalDataArrSize(e, &mindCount, &s), s, "reading the mental levels");
        spectra.resize(static_cast<std::size_t>(spectraCount));
        minds.resize(static_cast<std::size_t>(mindCount));
        check(MathLibReadSpectralDataPercentsArr(e, spectra.data(), &spectraCount, &s), s, "reading the band shares");
        check(MathLibReadMentalDataArr(e, minds.data(), &mindCount, &s), s, "reading the mental levels");
        // The engine appends to both queues for every window; a difference
        // would pair records of different windows.
        if (spectraCount != mindCount)
            throw CliError(fmt::format("the engine published {} band records but {} mental records at {:.3f} s",
                                       spectraCount, mindCount, pushed / rate));

        Row row;
        row.timeSec = pushed / rate;
        int32_t percent = 0;
        bool finished = false;
        check(MathLibReadRawSpectralVals(e, &row.raw, &s), s, "reading raw alpha and beta");
        check(MathLibGetCallibrationPercents(e, &percent, &s), s, "reading the calibration");
        check(MathLibCalibrationFinished(e, &finished, &s), s, "reading the calibration");
        check(MathLibIsBothSidesArtifacted(e, &row.bothSidesArtifacted, &s), s, "reading the artifact flags");
        check(MathLibIsArtifactedSequence(e, &row.artifactedSequence, &s), s, "reading the artifact flags");
        row.calibrationPercent = percent;
        if (finished && info.calibrationStartSec && !info.calibrationEndSec)
            info.calibrationEndSec = row.timeSec;
        for (int32_t i = 0; i < spectraCount; ++i) {
            row.bands = spectra[static_cast<std::size_t>(i)];
            row.mind = minds[static_cast<std::size_t>(i)];
            sink(row);
        }
        if (progress)
            progress(static_cast<double>(pushed) / static_cast<double>(total));
    }
    return info;
}

} // namespace kalo::cli
