// The engine over one hour of 250 Hz bipolar EEG, driven as a host drives
// it: a push, then every due window processed. Each iteration is one hour of
// signal, so the time reported is the time per hour of signal.
//
// - Engine_IntakeAndSchedule: filtering, storing, peak correction and the
//   window schedule alone: the engine's bipolar sample store and schedule,
//   each due window only counted.
// - Engine_Full: everything, through the C interface, with the host draining
//   both queues once a second: bipolar, and multichannel (channels:8); with
//   the library's transform and with the plain recursive one swapped in
//   (recursive_fft:1). Both transforms give the same bits, so the two rows
//   must show the same digest of the published records.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <memory>
#include <vector>

#include "engine/bipolar_samples.h"
#include "engine/peak_correction.h"
#include "engine/window_schedule.h"
#include "shared/fft.h"
#include "shared/reference_fft.h"
#include "support/eeg_signals.h"
#include "support/engine_settings.h"

namespace {

constexpr int rate = 250;
constexpr int window = 500; // 2 s; 25 windows a second by default
constexpr std::size_t hour = 3600u * rate;

// Background with an alpha rhythm, different on each side, and every 20 s a
// jaw clench (2 s of 20 Hz muscle activity) on both, which the detectors
// flag: about one window in seven takes the artifact path.
const std::vector<_RawChannels>& hourOfEeg() {
    static const std::vector<_RawChannels> pairs = [] {
        const std::vector<double> left = kalo_test::eegLike(int(hour), rate, 1);
        const std::vector<double> right = kalo_test::eegLike(int(hour), rate, 2, 15.0, 8.0);
        std::vector<_RawChannels> p(hour);
        for (std::size_t i = 0; i < hour; ++i) {
            const bool clench = i % (20 * rate) < 2 * rate;
            const double muscle =
                clench ? 30.0 * kalo_test::microvolt * std::sin(2.0 * std::numbers::pi * 20.0 * i / rate) : 0.0;
            p[i] = {left[i] + muscle, right[i] + muscle};
        }
        return p;
    }();
    return pairs;
}

void Engine_IntakeAndSchedule(benchmark::State& state) {
    const std::size_t block = static_cast<std::size_t>(state.range(0));
    const std::vector<_RawChannels>& eeg = hourOfEeg();
    std::int64_t windows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const kalo_test::EngineSettings settings = kalo_test::engineSettings(rate, window);
        auto schedule = std::make_unique<OviMath::MathLib::WindowSchedule>(window, rate / settings.mathLib.process_win_freq);
        auto store = std::make_unique<OviMath::MathLib::BipolarSamples>(
            OviMath::MathLib::peakGeometry(settings.mathLib, settings.shortArtifactDetect), *schedule);
        state.ResumeTiming();
        for (std::size_t i = 0; i < hour; i += block) {
            store->push(eeg.data() + i, block);
            while (schedule->nextWindow())
                ++windows;
        }
        state.PauseTiming();
        store.reset();
        schedule.reset();
        state.ResumeTiming();
    }
    state.counters["windows"] = benchmark::Counter(double(windows), benchmark::Counter::kAvgIterations);
}

// The transform as the library's tests define it, behind the library's
// entry point (a copy in and out of the vector it works on).
void recursiveTransform(std::complex<double>* data, std::size_t n) {
    std::vector<std::complex<double>> x(data, data + n);
    KaloTest::referenceFft(x);
    std::copy(x.begin(), x.end(), data);
}

// FNV-1a over the bytes of every published record: the same value before and
// after a change of speed shows that no number moved.
struct Digest {
    std::uint64_t value = 14695981039346656037ULL;
    void add(const void* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            value = (value ^ static_cast<const unsigned char*>(data)[i]) * 1099511628211ULL;
    }
};

// channels 0: the bipolar engine; otherwise a multichannel engine whose
// channels alternate between the two sides' signals, scaled apart.
void Engine_Full(benchmark::State& state) {
    const std::size_t block = static_cast<std::size_t>(state.range(0));
    OviMath::Functions::setTransformForBenchmark(state.range(1) != 0 ? &recursiveTransform : nullptr);
    const int channels = static_cast<int>(state.range(2));
    const std::vector<_RawChannels>& eeg = hourOfEeg();
    std::vector<double> values(channels > 0 ? block * static_cast<std::size_t>(channels) : 0);
    std::vector<_RawChannelsArray> samples(block);
    for (std::size_t i = 0; i < block; ++i)
        samples[i].channels = values.data() + i * static_cast<std::size_t>(channels);
    std::vector<_SpectralDataPercents> bands(static_cast<std::size_t>(SpectralPercentsArraySize));
    std::vector<_MindData> levels(static_cast<std::size_t>(MentalValueArraySize));
    double relaxation = 0.0;
    std::int64_t records = 0;
    Digest digest;
    for (auto _ : state) {
        state.PauseTiming();
        _OutStatus status{};
        kalo_test::EngineHandle engine = kalo_test::createEngine(
            kalo_test::engineSettings(rate, window, channels == 0, channels > 0 ? channels : 4), &status);
        if (!engine) {
            state.SkipWithError(status.error_msg);
            break;
        }
        digest = Digest{};
        state.ResumeTiming();
        for (std::size_t i = 0; i < hour; i += block) {
            if (channels == 0) {
                MathLibPushData(engine.get(), eeg.data() + i, block, &status);
            } else {
                for (std::size_t j = 0; j < block; ++j)
                    for (int c = 0; c < channels; ++c)
                        values[j * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                            (c % 2 ? eeg[i + j].right : eeg[i + j].left) * (1.0 + 0.1 * c);
                MathLibPushDataArr(engine.get(), samples.data(), block, &status);
            }
            MathLibProcessDataArr(engine.get(), &status);
            if ((i + block) % rate == 0) {
                int32_t count = 0;
                MathLibReadSpectralDataPercentsArrSize(engine.get(), &count, &status);
                MathLibReadSpectralDataPercentsArr(engine.get(), bands.data(), &count, &status);
                digest.add(bands.data(), sizeof(bands[0]) * static_cast<std::size_t>(count));
                MathLibReadMentalDataArrSize(engine.get(), &count, &status);
                MathLibReadMentalDataArr(engine.get(), levels.data(), &count, &status);
                digest.add(levels.data(), sizeof(levels[0]) * static_cast<std::size_t>(count));
                for (int32_t k = 0; k < count; ++k)
                    relaxation += levels[static_cast<std::size_t>(k)].inst_relaxation;
                records += count;
            }
        }
        state.PauseTiming();
        engine.reset();
        state.ResumeTiming();
    }
    OviMath::Functions::setTransformForBenchmark(nullptr);
    state.counters["mental_records"] = benchmark::Counter(double(records), benchmark::Counter::kAvgIterations);
    state.counters["mean_inst_relaxation"] = records > 0 ? relaxation / double(records) : 0.0;
    // The low 32 bits, exact in a counter's double.
    state.counters["digest"] = double(digest.value & 0xffffffffu);
}

// Resident memory of the process, KiB.
long residentKib() {
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// What one engine adds to the process once its sample buffers are full and
// windows are being processed: bipolar (channels:0) and 64 channels.
void Engine_ResidentMemory(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    const std::vector<_RawChannels>& eeg = hourOfEeg();
    const std::size_t width = channels > 0 ? static_cast<std::size_t>(channels) : 2;
    std::vector<double> values(20000 * width);
    std::vector<_RawChannelsArray> samples(20000);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i].channels = values.data() + i * width;
        for (std::size_t c = 0; c < width; ++c)
            values[i * width + c] = c % 2 ? eeg[i].right : eeg[i].left;
    }
    long added = 0;
    for (auto _ : state) {
        const long before = residentKib();
        _OutStatus status{};
        kalo_test::EngineHandle engine = kalo_test::createEngine(
            kalo_test::engineSettings(rate, window, channels == 0, channels > 0 ? channels : 4), &status);
        for (std::size_t i = 0; i < samples.size(); i += 10) {
            if (channels == 0)
                MathLibPushData(engine.get(), eeg.data() + i, 10, &status);
            else
                MathLibPushDataArr(engine.get(), samples.data() + i, 10, &status);
            MathLibProcessDataArr(engine.get(), &status);
        }
        added = residentKib() - before;
    }
    state.counters["engine_rss_kib"] = double(added);
}
BENCHMARK(Engine_ResidentMemory)->ArgName("channels")->Arg(0)->Arg(64)->Iterations(1);

// Wall time, in milliseconds per hour of signal. With --benchmark_repetitions
// the fastest repetition is reported too: on a shared machine it is the
// figure least disturbed by other work.
void perHourOfSignal(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
    });
}

BENCHMARK(Engine_IntakeAndSchedule)->ArgName("pairs_per_push")->Arg(10)->Arg(1)->Apply(perHourOfSignal);
BENCHMARK(Engine_Full)
    ->ArgNames({"pairs_per_push", "recursive_fft", "channels"})
    ->Args({10, 0, 0})
    ->Args({1, 0, 0})
    ->Args({10, 0, 8})
    ->Args({10, 1, 0})
    ->Apply(perHourOfSignal);

} // namespace
