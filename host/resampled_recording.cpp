#include "resampled_recording.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>
#include <soxr.h>

#include "error.h"

namespace kalo::host {

namespace {

// Source frames read at a time.
constexpr std::int64_t kBlockFrames = 1 << 14;

// The samples a channel of `count` samples at `from` Hz has at `to` Hz:
// those whose time falls within it.
std::int64_t resampledCount(std::int64_t count, double from, double to) {
    return static_cast<std::int64_t>(std::floor(static_cast<double>(count) * to / from));
}

struct SoxrDeleter {
    void operator()(soxr* s) const { soxr_delete(s); }
};

class ResampledRecording final : public Recording {
public:
    ResampledRecording(std::unique_ptr<Recording> source, int rateHz)
        : Recording(source->source(), source->format()), source_(std::move(source)), rateHz_(rateHz) {
        events_ = source_->events();
        notes_ = source_->notes();
        std::vector<double> fromRates;
        for (ChannelInfo c : source_->channels()) {
            if (!(c.rateHz > 0))
                throw badRecording(fmt::format("{}: channel {} has no sampling rate to resample from", source_->source(),
                                               c.name));
            if (std::find(fromRates.begin(), fromRates.end(), c.rateHz) == fromRates.end())
                fromRates.push_back(c.rateHz);
            c.sampleCount = resampledCount(c.sampleCount, c.rateHz, rateHz);
            c.rateHz = rateHz;
            channels_.push_back(std::move(c));
        }
        const double from = source_->channels().empty() ? rateHz : source_->channels().front().rateHz;
        for (Gap gap : source_->gaps()) {
            gap.afterSample = static_cast<std::int64_t>(std::floor(static_cast<double>(gap.afterSample) * rateHz / from));
            gap.missingSamples = std::max<std::int64_t>(1, std::llround(gap.missingSec * rateHz));
            gaps_.push_back(gap);
        }
        std::string list;
        for (const double r : fromRates)
            list += fmt::format("{}{:g}", list.empty() ? "" : ", ", r);
        if (fromRates != std::vector<double>{static_cast<double>(rateHz)})
            notes_.push_back(fmt::format("resampled from {} Hz to {} Hz (libsoxr, linear phase, very high quality)", list,
                                     rateHz));
        resampled_.resize(channels_.size());
    }

private:
    void readChecked(std::span<const int> channels, std::int64_t first, std::int64_t count, double* out) override {
        const std::size_t width = channels.size();
        for (std::size_t c = 0; c < width; ++c) {
            const auto channel = static_cast<std::size_t>(channels[c]);
            if (!resampled_[channel])
                resampled_[channel] = resampleChannel(static_cast<int>(channel));
            const double* from = resampled_[channel]->data() + first;
            for (std::int64_t i = 0; i < count; ++i)
                out[static_cast<std::size_t>(i) * width + c] = from[i];
        }
    }

    std::unique_ptr<std::vector<double>> resampleChannel(int channel) {
        const ChannelInfo& info = source_->channels()[static_cast<std::size_t>(channel)];
        const std::int64_t wanted = channels_[static_cast<std::size_t>(channel)].sampleCount;
        auto out = std::make_unique<std::vector<double>>();
        out->reserve(static_cast<std::size_t>(wanted) + 64);
        if (info.rateHz == rateHz_) {
            out->resize(static_cast<std::size_t>(wanted));
            source_->read(std::span<const int>(&channel, 1), 0, wanted, out->data());
            return out;
        }
        soxr_error_t error = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ | SOXR_LINEAR_PHASE, 0);
        std::unique_ptr<soxr, SoxrDeleter> resampler(
            soxr_create(info.rateHz, rateHz_, 1, &error, &io, &quality, nullptr));
        if (error != nullptr || !resampler)
            throw badRecording(fmt::format("{}: channel {} cannot be resampled from {:g} Hz to {} Hz: {}", source(),
                                           info.name, info.rateHz, rateHz_, soxr_strerror(error)));
        std::vector<double> in(static_cast<std::size_t>(kBlockFrames));
        std::vector<double> block(static_cast<std::size_t>(kBlockFrames) * 2 + 1024);
        const auto run = [&](const double* input, std::size_t length) {
            std::size_t used = 0;
            do {
                std::size_t taken = 0, made = 0;
                error = soxr_process(resampler.get(), input == nullptr ? nullptr : input + used, length - used, &taken,
                                     block.data(), block.size(), &made);
                if (error != nullptr)
                    throw badRecording(fmt::format("{}: channel {}: resampling failed: {}", source(), info.name,
                                                   soxr_strerror(error)));
                out->insert(out->end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(made));
                used += taken;
                if (input != nullptr && taken == 0 && made == 0)
                    throw badRecording(fmt::format("{}: channel {}: the resampler took no input", source(),
                                                   info.name));
                if (input == nullptr && made == 0)
                    return; // drained
                if (input != nullptr && used == length && made < block.size())
                    return;
            } while (true);
        };
        for (std::int64_t first = 0; first < info.sampleCount;) {
            const std::int64_t n = std::min(kBlockFrames, info.sampleCount - first);
            source_->read(std::span<const int>(&channel, 1), first, n, in.data());
            run(in.data(), static_cast<std::size_t>(n));
            first += n;
        }
        run(nullptr, 0);
        // The resampler's last output reaches past the last input sample by
        // up to one sample; a short tail (never expected) is refused rather
        // than filled.
        if (static_cast<std::int64_t>(out->size()) < wanted)
            throw badRecording(fmt::format("{}: channel {}: resampling gave {} samples, not {}", source(), info.name,
                                           out->size(), wanted));
        out->resize(static_cast<std::size_t>(wanted));
        return out;
    }

    std::unique_ptr<Recording> source_;
    int rateHz_;
    std::vector<std::unique_ptr<std::vector<double>>> resampled_;
};

} // namespace

std::unique_ptr<Recording> resampleRecording(std::unique_ptr<Recording> source, int rateHz) {
    return std::make_unique<ResampledRecording>(std::move(source), rateHz);
}

void refuseRateAboveEngine(const Recording& recording, const EngineInput& input, OptionStyle style) {
    if (input.rateHz > kEngineMostRateHz)
        throw badRecording(fmt::format("{}: a sampling rate of {} Hz is above the engine's {} Hz; resample it, for "
                                       "instance with {}",
                                       recording.source(), input.rateHz, kEngineMostRateHz,
                                       optionWithValue("resample", 250, style)));
}

std::string rateNote(int rateHz, OptionStyle style) {
    if (rateHz == 250)
        return {};
    return fmt::format("the engine's fixed filters are designed for 250 Hz: at {} Hz their notches move (the 50 Hz "
                       "band-stop sits at {:g} Hz); {} reads the recording at 250 Hz",
                       rateHz, 50.0 * rateHz / 250.0, optionWithValue("resample", 250, style));
}

} // namespace kalo::host
