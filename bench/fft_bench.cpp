// The library's transform beside the plain recursive form it must equal bit
// for bit, and, for information, FFTW's fastest plan of the same length.
//
// Every timed iteration first copies a fixed input into the work array: the
// transform is unscaled, so transforming its own output again and again would
// soon overflow into infinities and NaNs, which take a different (slow) path
// of the complex multiplication. Fft_CopyOnly times that copy alone.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "shared/fft.h"
#include "shared/reference_fft.h"

#ifdef KALO_BENCH_WITH_FFTW
#include <fftw3.h>
#endif

namespace {

using OviMath::ComplexArray;
using Complex = std::complex<double>;

// The fixed input of one benchmark, placed so that restoring the work array
// from it is the cheap copy it ought to be. On some x86 processors glibc's
// memmove becomes some thirty times slower when the destination lies just
// above the source modulo 4096 bytes (its string-move instruction suffers
// from 4K aliasing), and two heap blocks allocated one after the other land
// exactly there. The input therefore starts half a page away from the work
// array, modulo 4096, wherever the allocator put the two.
class FixedInput {
public:
    FixedInput(std::size_t n, const void* work) : storage_(n + PageBytes / sizeof(Complex)), size_(n) {
        const auto distance = reinterpret_cast<std::uintptr_t>(work) - reinterpret_cast<std::uintptr_t>(storage_.data());
        begin_ = storage_.data() + ((distance - PageBytes / 2) % PageBytes) / sizeof(Complex);
        std::mt19937_64 rng(42);
        std::uniform_real_distribution<double> value(-100.0, 100.0);
        for (std::size_t i = 0; i < n; ++i)
            begin_[i] = Complex(value(rng), 0.0); // samples are real
    }

    // Given values instead of random ones.
    FixedInput(const ComplexArray& values, const void* work) : FixedInput(values.size(), work) {
        std::copy(values.begin(), values.end(), begin_);
    }

    void copyTo(void* work) const { std::memcpy(work, begin_, size_ * sizeof(Complex)); }

private:
    static constexpr std::size_t PageBytes = 4096;
    ComplexArray storage_;
    std::size_t size_;
    Complex* begin_;
};

std::size_t length(const benchmark::State& state) { return static_cast<std::size_t>(state.range(0)); }

// With --benchmark_repetitions the fastest repetition is reported as well:
// on a shared machine it is the figure least disturbed by other work.
void withMinimum(benchmark::internal::Benchmark* b) {
    b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

// The lengths timed, 512 (a typical analysis window) and 8192.
void lengths(benchmark::internal::Benchmark* b) {
    withMinimum(b);
    b->Arg(512)->Arg(8192);
}

void Fft_CopyOnly(benchmark::State& state) {
    ComplexArray work(length(state));
    const FixedInput input(work.size(), work.data());
    for (auto _ : state) {
        input.copyTo(work.data());
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
}

void Fft_Library(benchmark::State& state) {
    ComplexArray work(length(state));
    const FixedInput input(work.size(), work.data());
    OviMath::Functions::fft(&work); // builds the plan outside the timing
    for (auto _ : state) {
        input.copyTo(work.data());
        OviMath::Functions::fft(&work);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
}

void Fft_Recursive(benchmark::State& state) {
    ComplexArray work(length(state));
    const FixedInput input(work.size(), work.data());
    for (auto _ : state) {
        input.copyTo(work.data());
        KaloTest::referenceFft(work);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
}

using Path = OviMath::Functions::FftPlan::Path;

// One kernel forced, through a plan held by the caller (no plan look-up):
// Fft_Path/<length>/<0 portable, 1 AVX2, 2 AVX-512>. A path the processor
// lacks is reported as skipped.
void Fft_Path(benchmark::State& state) {
    const auto path = static_cast<Path>(state.range(1));
    if (!OviMath::Functions::FftPlan::available(path)) {
        state.SkipWithError("path not available on this processor");
        return;
    }
    const OviMath::Functions::FftPlan plan(length(state), path);
    ComplexArray work(length(state));
    const FixedInput input(work.size(), work.data());
    for (auto _ : state) {
        input.copyTo(work.data());
        plan.transform(work.data());
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
}

// The best path on input already in bit-reversed order: what a caller that
// writes its samples to plan.bitReversed() positions pays.
void Fft_Permuted(benchmark::State& state) {
    const OviMath::Functions::FftPlan plan(length(state));
    ComplexArray work(length(state));
    const FixedInput input(work.size(), work.data());
    input.copyTo(work.data());
    ComplexArray permuted(work.size());
    for (std::size_t i = 0; i < work.size(); ++i)
        permuted[plan.bitReversed()[i]] = work[i];
    const FixedInput permutedInput(permuted, work.data());
    for (auto _ : state) {
        permutedInput.copyTo(work.data());
        plan.transformPermuted(work.data());
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
}

void paths(benchmark::internal::Benchmark* b) {
    withMinimum(b);
    b->ArgsProduct({{512, 8192}, {0, 1, 2}});
}

BENCHMARK(Fft_CopyOnly)->Apply(lengths);
BENCHMARK(Fft_Library)->Apply(lengths);
BENCHMARK(Fft_Path)->Apply(paths);
BENCHMARK(Fft_Permuted)->Apply(lengths);
BENCHMARK(Fft_Recursive)->Apply(lengths);

#ifdef KALO_BENCH_WITH_FFTW
// In place, like ours, planned with FFTW_MEASURE (FFTW times candidate
// algorithms while planning and keeps the fastest; planning is not timed).
// Its arithmetic differs from ours, so its results are not comparable bit
// for bit; only its speed is of interest.
void Fft_FftwMeasure(benchmark::State& state) {
    const int n = static_cast<int>(length(state));
    fftw_complex* work = fftw_alloc_complex(length(state));
    fftw_plan plan = fftw_plan_dft_1d(n, work, work, FFTW_FORWARD, FFTW_MEASURE);
    const FixedInput input(length(state), work); // planning overwrote the array
    for (auto _ : state) {
        input.copyTo(work);
        fftw_execute(plan);
        benchmark::DoNotOptimize(work);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(work);
}

BENCHMARK(Fft_FftwMeasure)->Apply(lengths);
#endif

} // namespace
