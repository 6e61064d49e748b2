// The engine over one hour of 250 Hz bipolar EEG, driven as a host drives
// it: a push, then every due window processed. Each iteration is one hour of
// signal, so the time reported is the time per hour of signal.
//
// - Engine_IntakeAndSchedule: filtering, storing, peak correction and the
//   window schedule alone (the per-window procedures replaced by a hook that
//   only counts windows).
// - Engine_Full: everything, through the C interface, with the host draining
//   both queues once a second; with the library's transform and with the
//   plain recursive one swapped in (recursive_fft:1). Both transforms give the
//   same bits, so the two rows must show the same mean_inst_relaxation.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

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
        auto engine = kalo_test::makeEngine(kalo_test::engineSettings(rate, window));
        engine->setWindowHookForTesting([&windows](std::int64_t) { ++windows; });
        state.ResumeTiming();
        for (std::size_t i = 0; i < hour; i += block) {
            engine->pushData(eeg.data() + i, block);
            engine->processDataArr();
        }
        state.PauseTiming();
        engine.reset();
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

void Engine_Full(benchmark::State& state) {
    const std::size_t block = static_cast<std::size_t>(state.range(0));
    OviMath::Functions::setTransformForBenchmark(state.range(1) != 0 ? &recursiveTransform : nullptr);
    const std::vector<_RawChannels>& eeg = hourOfEeg();
    std::vector<_SpectralDataPercents> bands(static_cast<std::size_t>(SpectralPercentsArraySize));
    std::vector<_MindData> levels(static_cast<std::size_t>(MentalValueArraySize));
    double relaxation = 0.0;
    std::int64_t records = 0;
    for (auto _ : state) {
        state.PauseTiming();
        _OutStatus status{};
        kalo_test::EngineHandle engine = kalo_test::createEngine(kalo_test::engineSettings(rate, window), &status);
        if (!engine) {
            state.SkipWithError(status.error_msg);
            break;
        }
        state.ResumeTiming();
        for (std::size_t i = 0; i < hour; i += block) {
            MathLibPushData(engine.get(), eeg.data() + i, block, &status);
            MathLibProcessDataArr(engine.get(), &status);
            if ((i + block) % rate == 0) {
                int32_t count = 0;
                MathLibReadSpectralDataPercentsArrSize(engine.get(), &count, &status);
                MathLibReadSpectralDataPercentsArr(engine.get(), bands.data(), &count, &status);
                MathLibReadMentalDataArrSize(engine.get(), &count, &status);
                MathLibReadMentalDataArr(engine.get(), levels.data(), &count, &status);
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
}

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
    ->ArgNames({"pairs_per_push", "recursive_fft"})
    ->Args({10, 0})
    ->Args({1, 0})
    ->Args({10, 1})
    ->Apply(perHourOfSignal);

} // namespace
