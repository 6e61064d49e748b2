// Judging one 500-sample window at 250 Hz, as the engine does 25 times a
// second per side: without an input chain, and with the 50 Hz chain a host
// may add. The 512-point transform should dominate.

#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <vector>

#include "kalo_artifacts.h"
#include "shared/fft.h"

namespace {

std::vector<double> window500() {
    std::vector<double> window(500);
    for (int i = 0; i < 500; ++i)
        window[i] = 1e-6 * (20.0 * std::sin(2.0 * 3.141592653589793 * 10.0 * i / 250.0) + 8.0 * std::sin(1.3 * i));
    return window;
}

void judge(benchmark::State& state, bool withChain) {
    _OutStatus status;
    _ArtifactsMath* detector = createArtifactsMath(1, {250, 25, 500}, &status);
    ArtifactsMathInit(detector, 70, 800000, 50, 100);
    if (withChain)
        ArtifactsMathInitFilters(detector, 50, 0);
    const std::vector<double> source = window500();
    std::vector<double> window(source.size());
    bool artifacted = false;
    int quality = 0;
    for (auto _ : state) {
        window = source;
        ArtifactsMathIsArtifactedWin(&artifacted, &quality, detector, window.data(), 500, false);
        benchmark::DoNotOptimize(artifacted);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("items = windows");
    freeArtifactsMath(detector);
}

void BM_JudgeWindow500(benchmark::State& state) { judge(state, false); }
void BM_JudgeWindow500_WithInputChain(benchmark::State& state) { judge(state, true); }
BENCHMARK(BM_JudgeWindow500);
BENCHMARK(BM_JudgeWindow500_WithInputChain);

// The transform alone, for comparison.
void BM_Transform512(benchmark::State& state) {
    OviMath::ComplexArray data(512);
    const std::vector<double> source = window500();
    for (auto _ : state) {
        for (int i = 0; i < 512; ++i)
            data[i] = {i < 500 ? source[i] * 1e6 : 0.0, 0.0};
        OviMath::Artifacts::Functions::fft(data);
        benchmark::DoNotOptimize(data.data());
    }
}
BENCHMARK(BM_Transform512);

} // namespace

