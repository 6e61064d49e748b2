#include "shared/fft.h"

#include "shared/fft_kernels.h"

#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <utility>

namespace OviMath::Functions {

namespace {

// 2*pi in double precision, negated inside the angle: forward transform.
constexpr double TwoPi = 6.283185307179586;

// The twiddle of butterfly k in a combine step of length m. Every twiddle of
// the library comes from here, so the tables and the path for other lengths
// cannot disagree. The evaluation order (product, then quotient, both in
// double) is part of the result.
std::complex<double> twiddle(std::size_t k, std::size_t m) {
    const double a = (static_cast<double>(k) * (-TwoPi)) / static_cast<double>(m);
    return std::complex<double>(std::cos(a), std::sin(a));
}

// The recursive form itself, for lengths that are not powers of two. For
// such lengths the halves have uneven shapes (an odd sub-length drops its last
// entry, and the angle divides by the sub-length, not by twice its half), so
// no permutation of the iterative scheme reproduces them; they are never
// used in practice, and following the recursion literally is the safe way to
// give the same values. `scratch` holds the even and odd halves of every
// level: 2h at this level plus what the levels below need, under 2n in all.
void transformAnyLength(std::complex<double>* x, std::size_t n, std::complex<double>* scratch) {
    const std::size_t h = n / 2;
    if (h == 0)
        return;
    std::complex<double>* even = scratch;
    std::complex<double>* odd = scratch + h;
    for (std::size_t i = 0; i < h; ++i) {
        even[i] = x[2 * i];
        odd[i] = x[2 * i + 1];
    }
    transformAnyLength(even, h, scratch + 2 * h);
    transformAnyLength(odd, h, scratch + 2 * h);
    for (std::size_t k = 0; k < h; ++k) {
        const std::complex<double> t = twiddle(k, n) * odd[k];
        x[k] = even[k] + t;
        x[k + h] = even[k] - t;
    }
}

// Plans are kept per length for the life of the process, shared by every
// caller, rather than as thread_local copies: a plan of a large length holds
// megabytes, which thread-local caches would duplicate in every thread that
// ever transforms, and rebuild in every new thread of a host's pool. Looking
// a plan up is one atomic load, with no lock: next to a transform of a few
// hundred nanoseconds even an uncontended mutex would show. A missing plan
// is built outside any lock, so a long build for one length stalls nobody
// else; two threads may build the same plan at once, and the first to
// publish it wins. Plans are immutable, so once found a plan needs no lock.
class PlanCache {
public:
    PlanCache() = default;
    PlanCache(const PlanCache&) = delete;
    PlanCache& operator=(const PlanCache&) = delete;
    ~PlanCache() {
        for (auto& slot : plans)
            delete slot.load(std::memory_order_acquire);
    }

    const FftPlan& plan(std::size_t n) {
        std::atomic<const FftPlan*>& slot = plans[static_cast<std::size_t>(std::countr_zero(n))];
        if (const FftPlan* found = slot.load(std::memory_order_acquire))
            return *found;
        auto built = std::make_unique<const FftPlan>(n);
        const FftPlan* published = nullptr;
        if (slot.compare_exchange_strong(published, built.get(), std::memory_order_acq_rel, std::memory_order_acquire))
            return *built.release();
        return *published; // another thread's, identical
    }

private:
    // Slot b holds the plan of length 2^b once it has been asked for; a plan
    // is never replaced or removed, so references to it stay valid.
    std::array<std::atomic<const FftPlan*>, std::numeric_limits<std::size_t>::digits> plans{};
};

// Built on first use, not when the library is loaded.
PlanCache& planCache() {
    static PlanCache cache;
    return cache;
}

#ifdef KALO_BENCH_TRANSFORM_SWITCH
TransformForBenchmark transformForBenchmark = nullptr;
#endif

} // namespace

#ifdef KALO_BENCH_TRANSFORM_SWITCH
void setTransformForBenchmark(TransformForBenchmark transform) { transformForBenchmark = transform; }
#endif

bool FftPlan::available(Path path) {
    switch (path) {
    case Path::Portable:
        return true;
#ifdef KALO_FFT_X86
    // The processor must have the instructions and the operating system must
    // save the wider registers; __builtin_cpu_supports checks both.
    case Path::Avx2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    case Path::Avx512:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f");
#endif
    default:
        return false;
    }
}

FftPlan::Path FftPlan::bestPath() {
    for (Path path : {Path::Avx512, Path::Avx2})
        if (available(path))
            return path;
    return Path::Portable;
}

FftPlan::FftPlan(std::size_t n) : FftPlan(n, bestPath()) {}

FftPlan::FftPlan(std::size_t n, Path path) : length(n), kernelPath(path) {
    if (!isPowerOfTwo(n))
        throw std::invalid_argument("FftPlan: the length must be a power of two");
    if (std::countr_zero(n) > 32) // the bit-reversal table holds 32-bit entries
        throw std::invalid_argument("FftPlan: lengths above 2^32 are not supported");
    if (!available(path))
        throw std::invalid_argument("FftPlan: that path is not available on this processor");

    // The recursion takes even entries into the first half and odd entries
    // into the second, level after level; the leaf that entry i reaches is
    // therefore i with its bits reversed.
    const auto bits = static_cast<unsigned>(std::countr_zero(n));
    bitReversal.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t reversed = 0;
        for (unsigned bit = 0; bit < bits; ++bit)
            reversed |= ((i >> bit) & 1) << (bits - 1 - bit);
        bitReversal[i] = static_cast<std::uint32_t>(reversed);
    }

    // A kernel of W lanes works on W x W tiles (see fft_kernels.h); a length
    // below W^2 goes to a narrower one, and lengths 1 and 2 to none.
    const unsigned widest = path == Path::Avx512 ? 8 : path == Path::Avx2 ? 4 : 2;
    for (unsigned lanes = widest; lanes >= 2 && kernelLanes == 0; lanes /= 2)
        if (n >= lanes * lanes)
            kernelLanes = lanes;
    if (kernelLanes == 0)
        return;

    // Every twiddle from twiddle(k, m), as the recursion computes it; the
    // tables only arrange them. Stage of length m = 2h uses twiddle(k, 2h).
    const std::size_t w = kernelLanes;
    const std::size_t tiles = n / (w * w);
    const std::size_t rowLength = n / w;
    const std::size_t firstDoubles = 2 * (w - 1);
    const std::size_t middleDoubles = 2 * w * (tiles - 1);
    const std::size_t lastDoubles = 2 * rowLength * (w - 1);
    const auto lineUp = [](std::size_t doubles) { return (doubles + 7) / 8 * 8; };
    middleStart = lineUp(firstDoubles);
    lastStart = middleStart + lineUp(middleDoubles);
    twiddleLines.resize((lastStart + lastDoubles + 7) / 8);
    double* const table = twiddleLines.front().values;
    const auto put = [](double* at, std::complex<double> value) {
        at[0] = value.real();
        at[1] = value.imag();
    };
    // The first stages, within a tile: half-length h = 1 .. W/2.
    for (std::size_t h = 1; h < w; h *= 2)
        for (std::size_t k = 0; k < h; ++k)
            put(table + 2 * (h - 1 + k), twiddle(k, 2 * h));
    // The middle stages: half-length h = W * rows, row b's twiddles together.
    for (std::size_t rows = 1; rows < tiles; rows *= 2)
        for (std::size_t b = 0; b < w; ++b)
            for (std::size_t t = 0; t < rows; ++t)
                put(table + middleStart + 2 * w * (rows - 1) + 2 * (b * rows + t), twiddle(t * w + b, 2 * w * rows));
    // The last stages: half-length h = n/W * 2^j, cosines then sines, each
    // run of W in the kernel's lane order there (fft_kernels.h).
    const unsigned laneBits = static_cast<unsigned>(std::countr_zero(w));
    for (std::size_t j = 1; j < w; j *= 2) {
        const std::size_t h = rowLength * j;
        double* const stage = table + lastStart + 2 * rowLength * (j - 1);
        for (std::size_t k = 0; k < h; ++k) {
            const std::size_t lane = k % w;
            const std::size_t rotated = (lane >> 1) | ((lane & 1) << (laneBits - 1));
            const std::complex<double> t = twiddle(k - lane + rotated, 2 * h);
            stage[k] = t.real();
            stage[h + k] = t.imag();
        }
    }
}

void FftPlan::execute(std::complex<double>* data, bool permuted) const {
    if (kernelLanes == 0) {
        // Lengths 1 and 2, each its own bit reversal.
        if (length == 2) {
            const std::complex<double> t = twiddle(0, 2) * data[1];
            const std::complex<double> even = data[0];
            data[0] = even + t;
            data[1] = even - t;
        }
        return;
    }
    FftKernels::Tables tables;
    tables.size = length;
    tables.log2Size = static_cast<unsigned>(std::countr_zero(length));
    tables.first = twiddleLines.front().values;
    tables.middle = tables.first + middleStart;
    tables.last = tables.first + lastStart;
    tables.bitReversed = bitReversal.data();
    // std::complex<double> is an array of two doubles, real part first.
    double* const values = reinterpret_cast<double*>(data);
    switch (kernelLanes) {
#ifdef KALO_FFT_X86
    case 8:
        FftKernels::avx512(tables, values, permuted);
        return;
    case 4:
        FftKernels::avx2(tables, values, permuted);
        return;
#endif
    default:
        FftKernels::portable(tables, values, permuted);
        return;
    }
}

void FftPlan::transform(std::complex<double>* data) const {
#ifdef KALO_BENCH_TRANSFORM_SWITCH
    if (transformForBenchmark != nullptr) {
        transformForBenchmark(data, length);
        return;
    }
#endif
    execute(data, false);
}

void FftPlan::transformPermuted(std::complex<double>* data) const {
#ifdef KALO_BENCH_TRANSFORM_SWITCH
    if (transformForBenchmark != nullptr) {
        // The substitute takes natural order: undo the caller's reordering.
        for (std::size_t i = 0; i < length; ++i)
            if (i < bitReversal[i])
                std::swap(data[i], data[bitReversal[i]]);
        transformForBenchmark(data, length);
        return;
    }
#endif
    execute(data, true);
}

const FftPlan& sharedPlan(std::size_t n) { return planCache().plan(n); }

void fftInPlace(std::complex<double>* data, std::size_t n) {
    if (n < 2)
        return;
    if (FftPlan::isPowerOfTwo(n)) {
        sharedPlan(n).transform(data);
        return;
    }
    std::vector<std::complex<double>> scratch(2 * n);
    transformAnyLength(data, n, scratch.data());
}

void fft(ComplexArray* spectrum) {
    // The engine always passes its own array; without one there is nothing
    // to transform.
    if (spectrum == nullptr)
        return;
    fftInPlace(spectrum->data(), spectrum->size());
}

namespace FftKernels {

void complexProduct(double c, double s, double re, double im, double* productRe, double* productIm) {
    const std::complex<double> product = std::complex<double>(c, s) * std::complex<double>(re, im);
    *productRe = product.real();
    *productIm = product.imag();
}

} // namespace FftKernels

} // namespace OviMath::Functions

namespace OviMath::Artifacts::Functions {

void fft(ComplexArray& spectrum) {
    OviMath::Functions::fftInPlace(spectrum.data(), spectrum.size());
}

} // namespace OviMath::Artifacts::Functions
