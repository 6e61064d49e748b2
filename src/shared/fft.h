#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
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
// tables, bit-reversal table) and vectors of 2, 4 or 8 lanes chosen for the
// processor at run time, but every lane performs exactly those operations on
// exactly those values, so nothing downstream can tell the difference. (Only
// the sign and payload bits of a NaN may differ, which IEEE 754 leaves to the
// order of the operands.)
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
// several threads at once, and transforming allocates nothing.
//
// Speed: up to length 1024 the values wait in an aligned array on the stack
// (16 KiB at most), so the caller's array may have any alignment. Longer
// transforms work in the caller's array, which is then 20 to 30% faster when
// it starts on a 64-byte boundary (std::vector's guarantee is 16).
class FftPlan {
public:
    // The butterfly kernels compiled into the library. Each computes the same
    // bits; they differ in vector width only. Portable runs anywhere (two
    // lanes in the baseline instruction set); Avx2 (four lanes) and Avx512
    // (eight lanes, AVX-512F) need a processor that has them.
    enum class Path { Portable, Avx2, Avx512 };

    // Throws std::invalid_argument unless `n` is a power of two (1 included)
    // no larger than 2^32. Uses the widest path the processor supports.
    explicit FftPlan(std::size_t n);
    // The same with a chosen path, for tests and benchmarks; throws
    // std::invalid_argument if the path is not available here as well.
    FftPlan(std::size_t n, Path path);

    // Whether `path` is compiled in and the processor supports it.
    static bool available(Path path);
    // The widest available path: what FftPlan(n) and fft() use.
    static Path bestPath();

    std::size_t size() const { return length; }
    Path path() const { return kernelPath; }

    // Transforms size() values starting at `data` in place.
    void transform(std::complex<double>* data) const;

    // Entry i of the natural order is entry bitReversed()[i] of the
    // bit-reversed order: i with its log2(size()) bits reversed. The mapping
    // is its own inverse.
    const std::vector<std::uint32_t>& bitReversed() const { return bitReversal; }

    // The same transform, with identical results, of an input that the
    // caller has already written in bit-reversed order (the value of natural
    // position i at data[bitReversed()[i]]). The output is in natural order,
    // as transform()'s. The reordering costs transform() next to nothing:
    // its first pass reads the input in whichever order, so this entry is
    // about as fast, not faster. It serves a caller whose values come in
    // that order anyway.
    void transformPermuted(std::complex<double>* data) const;

    static bool isPowerOfTwo(std::size_t n) { return n != 0 && (n & (n - 1)) == 0; }

private:
    void execute(std::complex<double>* data, bool permuted) const;

    // A cache line of the twiddle tables, so that the vector kernels load
    // whole aligned vectors from them, in copies of the plan too.
    struct alignas(64) TableLine {
        double values[8];
    };

    std::size_t length;
    Path kernelPath;
    // Lanes of the kernel this length uses: the path's own, or narrower when
    // the length is below the square of its width; 0 below length 4.
    unsigned kernelLanes = 0;
    std::vector<std::uint32_t> bitReversal;
    // The twiddles in the arrangement of the kernel (src/shared/fft_kernels.h):
    // the first stages' from double 0, the middle stages' from middleStart, the
    // last stages' from lastStart.
    std::vector<TableLine> twiddleLines;
    std::size_t middleStart = 0;
    std::size_t lastStart = 0;
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
