#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace OviMath {

using ComplexArray = std::vector<std::complex<double>>;

namespace Functions {

// Forward discrete Fourier transform, in place and unscaled, with kernel
// e^(-2*pi*i*k*j/n): for n ones the result is n at bin 0 and zero elsewhere.
//
// The arithmetic is fixed to the operation. The result is, bit for bit, that
// of the plain recursive radix-2 decimation in time: split into even and odd
// entries, transform both halves, then for k = 0 .. n/2-1 combine them with
//     a = (k * -6.283185307179586) / n,  w = (cos a, sin a),
//     t = w * odd[k]  (std::complex multiplication, infinities recovered),
//     x[k] = even[k] + t,  x[k + n/2] = even[k] - t,
// where n is the length of the (sub-)array being combined. For powers of two
// the implementation is iterative, with a cached plan per length (twiddle
// tables, bit-reversal swaps) and two lanes per instruction, but it performs
// exactly those operations on exactly those values, so nothing downstream can
// tell the difference. (Only the sign and payload bits of a NaN may differ,
// which IEEE 754 leaves to the order of the operands.)
//
// Lengths 0 and 1 leave the array untouched. Only powers of two give a
// Fourier transform; other lengths are accepted and give what the recursive
// form gives (for odd n above 1 the last entry is never read nor written),
// through a slower literal rendering of the recursion that allocates per call.
// The only failure is running out of memory (std::bad_alloc), and for a power
// of two only on the first transform of its length: later ones allocate
// nothing. Safe to call from several threads at once on different arrays.
// A null `spectrum` is accepted and does nothing.
void fft(ComplexArray* spectrum);

// The same transform on `n` values starting at `data`.
void fftInPlace(std::complex<double>* data, std::size_t n);

// The precomputed tables for one power-of-two length. fft() keeps one per
// length for the life of the process; a caller that wants to hold its own can
// build one directly. A plan is immutable once built, so one plan may serve
// several threads at once.
class FftPlan {
public:
    // Throws std::invalid_argument unless `n` is a power of two (1 included).
    explicit FftPlan(std::size_t n);

    std::size_t size() const { return size_; }

    // Transforms size() values starting at `data` in place.
    void transform(std::complex<double>* data) const;

    static bool isPowerOfTwo(std::size_t n) { return n != 0 && (n & (n - 1)) == 0; }

private:
    std::size_t size_;
    // Index pairs (i, j), i < j, whose entries the bit-reversal permutation
    // exchanges; every other entry stays where it is.
    std::vector<std::size_t> swaps_;
    // The twiddles w = (cos a, sin a) of every stage, stage after stage: for
    // the stage that combines sub-arrays of length m (m = 2, 4, .., size) the
    // m/2 twiddles for k = 0 .. m/2-1 start at twiddle m/2 - 1. Each is kept
    // as the four doubles (cos a, cos a, -sin a, sin a), the operands of the
    // butterfly's paired multiplications.
    std::vector<double> twiddles_;
};

#ifdef KALO_BENCH_TRANSFORM_SWITCH
// Benchmark builds only (the benchmarks' CMakeLists defines the macro for the
// library's objects there; the library proper has no such entry point).
// Hands every power-of-two transform of the library, FftPlan::transform and
// both fft() names alike, to `transform` instead, so the engine can be timed
// with another transform of the same arithmetic; null restores the library's
// own. Not synchronised: set it while no transform runs.
using TransformForBenchmark = void (*)(std::complex<double>* data, std::size_t n);
void setTransformForBenchmark(TransformForBenchmark transform);
#endif

// The plan of a power-of-two length that fft() uses, built on first request
// and kept for the life of the process. A caller that transforms on a path
// that must not allocate asks for it up front. Throws std::invalid_argument
// unless `n` is a power of two.
const FftPlan& sharedPlan(std::size_t n);

} // namespace Functions

namespace Artifacts::Functions {

// The transform of OviMath::Functions::fft, by reference, for the artifact
// detector. One implementation serves both names, so the two can never drift
// apart.
void fft(ComplexArray& spectrum);

} // namespace Artifacts::Functions

} // namespace OviMath
