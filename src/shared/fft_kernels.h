#pragma once

// Internal to the transform: what FftPlan (fft.cpp) hands to the butterfly
// kernels, one per instruction set, each compiled in a source file of its own
// with that set enabled (fft_portable.cpp, fft_avx2.cpp, fft_avx512.cpp, all
// from fft_kernel_body.h). The plan picks one at run time from what the
// processor supports; nothing here is built for the host processor.
//
// This header is included by those files, so it must declare nothing that
// would be compiled there: an inline function or template instance emitted
// in an AVX-512 object could be the copy the linker keeps for every caller,
// and would then fault on a processor without AVX-512. Hence plain data and
// plain declarations only.

#include <cstddef>
#include <cstdint>

namespace OviMath::Functions::FftKernels {

// The transform of n = 2^log2Size points, viewed by a kernel of W lanes
// (W doubles per vector, w = log2 W, W*W <= n). Chunk c holds W consecutive
// complex values; row x of tile t is chunk x * tiles + t, tiles = n / (W*W).
// While the transform runs, a chunk holds its W real parts, then its W
// imaginary parts, and lives in an aligned scratch array on the stack (up to
// length 1024) or in the caller's array itself.
//
//  - Stages 1 .. L-w (L = log2Size) keep in row b of tile mid the positions
//    a * n/W + mid * W + b, a in the lanes: position bits that those stages
//    never pair. The first w of them pair rows of one tile; they read their
//    input straight from the caller's order, where, bits reversed, it lies
//    in rows too. The others pair rows element by element.
//  - The last w stages transpose each tile, so that its row a holds the W
//    positions a * n/W + mid * W + (0 .. W-1), exactly where the result
//    belongs in the caller's array, and write it back interleaved.
//
// Within a vector the lanes follow the order that unpacking interleaved
// complex values leaves (no other shuffle is needed on the way in or out):
// lane l holds a = reverse_w(LaneB(l)) in the first stages and
// b = LaneB(l) in the last ones, where LaneB(l) is l rotated right by one of
// its w bits (for W = 8: 0 4 1 5 2 6 3 7).
//
// Every twiddle is the recursion's own value (cos a, sin a) of its stage;
// only their arrangement follows the kernel's access pattern:
struct Tables {
    std::size_t size = 0;
    unsigned log2Size = 0;
    // Stages 1 .. w (half-length h = 1, 2, .., W/2): the pairs (cos, sin) of
    // twiddles k = 0 .. h-1, the stage of half-length h from pair h - 1 on.
    const double* first = nullptr;
    // Stages w+1 .. L-w, whose half-length h is H rows (h = W*H positions):
    // from double 2*W*(H-1) on, the pairs (cos, sin) of the twiddles
    // k = t*W + b for b = 0 .. W-1 (outer) and t = 0 .. H-1 (inner), so that
    // each row finds its own twiddles together.
    const double* middle = nullptr;
    // Stages L-w+1 .. L (half-length h = n/W * 2^j, j = 0 .. w-1): from double
    // 2 * n/W * (2^j - 1) on, the h cosines, then the h sines, of k = 0 .. h-1,
    // each run of W in lane order: entry k holds k - l + LaneB(l), l = k mod W.
    // 64-byte aligned.
    const double* last = nullptr;
    // The plan's bit-reversal table: entry mid * W, divided by W, is the tile
    // whose input the first stages of tile mid read.
    const std::uint32_t* bitReversed = nullptr;
};

// Each kernel transforms tables.size complex values at `data` (as 2n
// doubles) in place; with `permuted`, the input is already in bit-reversed
// order.
// Two lanes, in the library's baseline instruction set.
void portable(const Tables& tables, double* data, bool permuted);
#if defined(__x86_64__) || defined(__i386__)
#define KALO_FFT_X86 1
// Four lanes with AVX2; eight lanes with AVX-512F. Call only when the
// processor has them.
void avx2(const Tables& tables, double* data, bool permuted);
void avx512(const Tables& tables, double* data, bool permuted);
#endif

// The product (c + i s) * (re + i im) as std::complex<double> computes it,
// infinities recovered, compiled with the library's baseline instruction set.
// The kernels call it when both parts of their own product are NaN.
void complexProduct(double c, double s, double re, double im, double* productRe, double* productIm);

} // namespace OviMath::Functions::FftKernels
