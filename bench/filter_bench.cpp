// Samples per second through the engine's five-filter chain (50, 60 and
// 62.5 Hz band-stops, 10 Hz high-pass, 30 Hz low-pass), fed through the C
// interface in 1 s blocks at 250 Hz, as the engine and hosts feed it.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "kalo_artifacts.h"

namespace {

constexpr int rate = 250;

std::vector<double> oneSecondOfSignal() {
    std::vector<double> block(rate);
    for (int i = 0; i < rate; ++i)
        block[i] = 20e-6 * std::sin(2.0 * 3.141592653589793 * 10.0 * i / rate) + 5e-6 * std::sin(0.7 * i);
    return block;
}

TFilterListHandle* engineChain() {
    bool error = false;
    TFilterListHandle* list = create_TFilterList(&error);
    for (const char* text : {K_bs_45_55_4, K_bs_55_65, K_bs_62, K_hp_10_Cheb3, K_lp_30}) {
        TFilterHandle* filter = create_custom_TFilter(text, &error);
        TFilterList_AddFilter(list, filter, &error);
        delete_TFilter(filter, &error);
    }
    return list;
}

void BM_FiveFilterChain_ArrayOf1s(benchmark::State& state) {
    TFilterListHandle* list = engineChain();
    const std::vector<double> signal = oneSecondOfSignal();
    std::vector<double> block(signal.size());
    bool error = false;
    for (auto _ : state) {
        block = signal;
        TFilterList_Filter_array(list, block.data(), rate, &error);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * rate);
    state.SetLabel("items = samples");
    bool ignored = false;
    delete_TFilterList(list, &ignored);
}
BENCHMARK(BM_FiveFilterChain_ArrayOf1s);

// The same chain one sample per call, as the engine's bipolar intake uses it.
void BM_FiveFilterChain_SampleBySample(benchmark::State& state) {
    TFilterListHandle* list = engineChain();
    const std::vector<double> signal = oneSecondOfSignal();
    bool error = false;
    for (auto _ : state) {
        double sum = 0.0;
        for (double x : signal)
            sum += TFilterList_Filter(list, x, &error);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * rate);
    bool ignored = false;
    delete_TFilterList(list, &ignored);
}
BENCHMARK(BM_FiveFilterChain_SampleBySample);

} // namespace

