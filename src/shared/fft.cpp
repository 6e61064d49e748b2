#include "shared/fft.h"

#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
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

// A complex value (real, imaginary) or a pair of doubles in one 16-byte
// register. The plan's butterflies work on these: every lane performs the
// same IEEE operation the scalar formula performs, so the values are the
// same, only two of them are computed per instruction.
using Pair = double __attribute__((vector_size(16)));

// The same pair in memory that may be only 8-byte aligned (callers' arrays
// of std::complex<double>) and that is also reached as complex or double, as
// the x86 intrinsics' own unaligned vector types are declared.
using UnalignedPair = double __attribute__((vector_size(16), aligned(8), may_alias));

inline Pair load(const void* p) { return *static_cast<const UnalignedPair*>(p); }
inline void store(void* p, Pair v) { *static_cast<UnalignedPair*>(p) = v; }

// One butterfly with the twiddle w = (c, s) given as the pairs (c, c) and
// (-s, s):
//   t = (c, c) * (or, oi) + (-s, s) * (oi, or) = (c*or - s*oi, c*oi + s*or),
//   even' = even + t, odd' = even - t.
// This is the std::complex product w * odd: x + (-s)*y equals x - s*y
// exactly, and the sums are those of the product's expansion. Only when both
// parts come out NaN does the product differ (the recovery for infinite
// operands), and then it is taken from std::complex itself. The lanes of a
// NaN result may carry another sign or payload than the scalar code would
// give (IEEE 754 does not say which NaN operand propagates, and compilers
// commute sums and products freely); no number depends on it.
inline void butterfly(std::complex<double>* even, std::complex<double>* odd, const double* w) {
    const Pair o = load(odd);
    Pair t = load(w) * o + load(w + 2) * __builtin_shufflevector(o, o, 1, 0);
    if (t[0] != t[0] && t[1] != t[1]) [[unlikely]] { // both parts NaN
        const std::complex<double> product = std::complex<double>(w[0], w[3]) * std::complex<double>(o[0], o[1]);
        t = Pair{product.real(), product.imag()};
    }
    const Pair e = load(even);
    store(even, e + t);
    store(odd, e - t);
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
// caller. A mutex guards the table rather than thread_local copies: a plan of
// a large length holds megabytes, which thread-local caches would duplicate
// in every thread that ever transforms, and rebuild in every new thread of a
// host's pool. The lock is held only to look a plan up (tens of nanoseconds
// next to microseconds of transform), never while one is built, so a long
// build for one length does not stall transforms of other lengths. Plans are
// immutable, so once found a plan needs no lock.
class PlanCache {
public:
    const FftPlan& plan(std::size_t n) {
        const auto slot = static_cast<std::size_t>(std::countr_zero(n));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (plans_[slot])
                return *plans_[slot];
        }
        auto built = std::make_unique<const FftPlan>(n);
        std::lock_guard<std::mutex> lock(mutex_);
        // Another thread may have built the same plan meanwhile; both are
        // identical, keep the first.
        if (!plans_[slot])
            plans_[slot] = std::move(built);
        return *plans_[slot];
    }

private:
    std::mutex mutex_;
    // Slot b holds the plan of length 2^b once it has been asked for; a plan
    // is never replaced or removed, so references to it stay valid.
    std::array<std::unique_ptr<const FftPlan>, std::numeric_limits<std::size_t>::digits> plans_;
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

FftPlan::FftPlan(std::size_t n) : size_(n) {
    if (!isPowerOfTwo(n))
        throw std::invalid_argument("FftPlan: the length must be a power of two");

    // The recursion takes even entries into the first half and odd entries
    // into the second, level after level; the leaf that entry i reaches is
    // therefore i with its bits reversed. j walks through the bit-reversed
    // counting sequence alongside i, so every exchange is listed once.
    for (std::size_t i = 0, j = 0; i < n; ++i) {
        if (i < j) {
            swaps_.push_back(i);
            swaps_.push_back(j);
        }
        std::size_t bit = n >> 1;
        while (bit != 0 && (j & bit) != 0) {
            j ^= bit;
            bit >>= 1;
        }
        j |= bit;
    }
    swaps_.shrink_to_fit();

    // One table per stage, each from the stage's own length, exactly as the
    // recursion computes its angles. (Taking every (size/m)-th entry of the
    // full-length table would in fact give the same angles, since scaling k
    // and m by the same power of two changes neither rounding; separate
    // tables need no such argument and keep each stage's twiddles contiguous.)
    if (n > 1)
        twiddles_.reserve(4 * (n - 1));
    for (std::size_t m = 2; m <= n && m != 0; m <<= 1) {
        for (std::size_t k = 0; k < m / 2; ++k) {
            const std::complex<double> w = twiddle(k, m);
            twiddles_.insert(twiddles_.end(), {w.real(), w.real(), -w.imag(), w.imag()});
        }
    }
}

void FftPlan::transform(std::complex<double>* data) const {
    const std::size_t n = size_;
#ifdef KALO_BENCH_TRANSFORM_SWITCH
    if (transformForBenchmark != nullptr) {
        transformForBenchmark(data, n);
        return;
    }
#endif
    for (std::size_t p = 0; p < swaps_.size(); p += 2)
        std::swap(data[swaps_[p]], data[swaps_[p + 1]]);

    // After the permutation each sub-array of the recursion occupies a
    // contiguous block, its even half's transform before its odd half's.
    // Stage m combines all blocks of length m; blocks are independent, so
    // their order does not affect any value.
    for (std::size_t m = 2; m <= n && m != 0; m <<= 1) {
        const std::size_t h = m / 2;
        const double* w = twiddles_.data() + 4 * (h - 1);
        for (std::size_t block = 0; block < n; block += m) {
            std::complex<double>* x = data + block;
            for (std::size_t k = 0; k < h; ++k)
                butterfly(x + k, x + k + h, w + 4 * k);
        }
    }
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

} // namespace OviMath::Functions

namespace OviMath::Artifacts::Functions {

void fft(ComplexArray& spectrum) {
    OviMath::Functions::fftInPlace(spectrum.data(), spectrum.size());
}

} // namespace OviMath::Artifacts::Functions
