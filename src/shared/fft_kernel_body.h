// The butterfly kernel of the power-of-two transform, written once for any
// vector width. No include guard: each kernel source (fft_portable.cpp,
// fft_avx2.cpp, fft_avx512.cpp) defines KALO_FFT_LANES (2, 4 or 8 doubles
// per vector) and KALO_FFT_ENTRY (the kernel's name in fft_kernels.h), then
// includes this file once, compiled for its own instruction set. Everything
// but the entry point has internal linkage, and nothing here instantiates a
// library template, so no code compiled for one set can stand in for
// another's.
//
// The arithmetic is the recursion's, operation for operation: each lane of
// each butterfly computes, in IEEE double precision and without fused
// multiply-adds (the library is built with -ffp-contract=off),
//     tr = c*or - s*oi,  ti = c*oi + s*or,
//     even' = (er + tr, ei + ti),  odd' = (er - tr, ei - ti),
// with (c, s) the recursion's own twiddle of that butterfly. Data are kept
// split, real parts in one vector and imaginary parts in another, so that a
// vector holds the same part of W different butterflies and no lane ever
// meets another in arithmetic. Lanes move only between the first stages and
// the last ones (fft_kernels.h), by shuffles and offset loads that copy
// values unchanged. What is free is only the order of independent
// butterflies and where values wait between stages.
//
// Time goes mostly to the floating-point adds (six per butterfly, against
// four products), so the lane moves use the shuffles that run beside them
// (unpacking pairs, masked loads) wherever they can.
//
// The infinities recovery of std::complex's product (when both parts of the
// product come out NaN) is needed only where a product can see an infinity
// or a NaN. While reading its input, the first pass checks that every value
// is finite and at most 2^900 in magnitude. Then no value of any stage can
// reach an infinity (a stage at most triples the largest magnitude, and even
// 64 stages stay below 3^64 < 2^102), so no NaN can ever arise and the plain
// product is std::complex's. Otherwise (an infinity, a NaN or a huge value
// anywhere) the transform continues with the same butterflies and a check of
// every product, where a lane whose parts are both NaN takes std::complex's
// product instead.

#include "shared/fft_kernels.h"

#include <cstddef>
#include <cstdint>

#if KALO_FFT_LANES == 8
#include <immintrin.h>
#endif

#if !defined(KALO_FFT_LANES) || !defined(KALO_FFT_ENTRY)
#error "define KALO_FFT_LANES and KALO_FFT_ENTRY before including fft_kernel_body.h"
#endif

namespace OviMath::Functions::FftKernels {

namespace {

constexpr int Lanes = KALO_FFT_LANES;
constexpr int LanesLog2 = Lanes == 8 ? 3 : Lanes == 4 ? 2 : 1;
// How many stages one middle pass keeps in registers: eight complex vectors
// need sixteen registers, which leaves room for twiddles only with AVX-512's
// thirty-two.
constexpr int MaxPassStages = Lanes == 8 ? 3 : 2;

using V = double __attribute__((vector_size(8 * Lanes)));
using Bits = std::int64_t __attribute__((vector_size(8 * Lanes)));
// A vector in memory aligned to 8 bytes only (the caller's array), also
// reached as double, as the x86 intrinsics' unaligned vector types are. (A
// typedef: clang ignores a lowered alignment on a using-declaration.)
typedef double VMem __attribute__((vector_size(8 * Lanes), aligned(8), may_alias));

[[gnu::always_inline]] inline V load(const double* p) { return *reinterpret_cast<const VMem*>(p); }
[[gnu::always_inline]] inline void store(double* p, V v) { *reinterpret_cast<VMem*>(p) = v; }

// Lane orders (fft_kernels.h). In the first stages lane l holds the top
// position bits LaneA[l]; in the last stages lane l holds the low position
// bits LaneB[l] = l rotated right by one bit. Both follow from unpacking:
// the real parts of the complex values lo = (0, 1, ..) and hi = (W/2, ..)
// unpacked are those of complex LaneB[l], whose position bits are reversed.
#define KALO_SHUFFLE __builtin_shufflevector
#if KALO_FFT_LANES == 8
[[gnu::always_inline]] inline V splat(double x) { return V{x, x, x, x, x, x, x, x}; }
constexpr int LaneA[8] = {0, 1, 4, 5, 2, 3, 6, 7};
constexpr int LaneB[8] = {0, 4, 1, 5, 2, 6, 3, 7};
[[gnu::always_inline]] inline V unpackLow(V a, V b) { return KALO_SHUFFLE(a, b, 0, 8, 2, 10, 4, 12, 6, 14); }
[[gnu::always_inline]] inline V unpackHigh(V a, V b) { return KALO_SHUFFLE(a, b, 1, 9, 3, 11, 5, 13, 7, 15); }
#elif KALO_FFT_LANES == 4
[[gnu::always_inline]] inline V splat(double x) { return V{x, x, x, x}; }
constexpr int LaneA[4] = {0, 1, 2, 3};
constexpr int LaneB[4] = {0, 2, 1, 3};
[[gnu::always_inline]] inline V unpackLow(V a, V b) { return KALO_SHUFFLE(a, b, 0, 4, 2, 6); }
[[gnu::always_inline]] inline V unpackHigh(V a, V b) { return KALO_SHUFFLE(a, b, 1, 5, 3, 7); }
// The W x W block r transposed: r[l][j] becomes r[j][l].
[[gnu::always_inline]] inline void transpose(V* r) {
#pragma GCC unroll 4
    for (int i = 0; i < 4; i += 2) {
        const V a = r[i], b = r[i + 1];
        r[i] = unpackLow(a, b);
        r[i + 1] = unpackHigh(a, b);
    }
#pragma GCC unroll 4
    for (int i = 0; i < 2; ++i) {
        const V a = r[i], b = r[i + 2];
        r[i] = KALO_SHUFFLE(a, b, 0, 1, 4, 5);
        r[i + 2] = KALO_SHUFFLE(a, b, 2, 3, 6, 7);
    }
}
#elif KALO_FFT_LANES == 2
[[gnu::always_inline]] inline V splat(double x) { return V{x, x}; }
constexpr int LaneA[2] = {0, 1};
constexpr int LaneB[2] = {0, 1};
[[gnu::always_inline]] inline V unpackLow(V a, V b) { return KALO_SHUFFLE(a, b, 0, 2); }
[[gnu::always_inline]] inline V unpackHigh(V a, V b) { return KALO_SHUFFLE(a, b, 1, 3); }
[[gnu::always_inline]] inline void transpose(V* r) {
    const V a = r[0], b = r[1];
    r[0] = unpackLow(a, b);
    r[1] = unpackHigh(a, b);
}
#else
#error "KALO_FFT_LANES must be 2, 4 or 8"
#endif

// v with its w bits reversed.
constexpr int reversed(int v) {
    int r = 0;
    for (int bit = 0; bit < LanesLog2; ++bit)
        r |= ((v >> bit) & 1) << (LanesLog2 - 1 - bit);
    return r;
}

// W complex values, split into their parts.
struct Complexes {
    V re;
    V im;
};

[[gnu::always_inline]] inline Complexes loadSplit(const double* p) { return {load(p), load(p + Lanes)}; }
[[gnu::always_inline]] inline void storeSplit(double* p, const Complexes& x) {
    store(p, x.re);
    store(p + Lanes, x.im);
}

// Whether every value seen is finite and at most 2^900 in magnitude.
#if KALO_FFT_LANES == 8
// The largest magnitude as bits: for non-negative doubles, and infinity and
// NaN above all numbers, the order of the bits as integers is that of the
// values. Two integer operations per vector.
class Magnitude {
public:
    [[gnu::always_inline]] void add(V v) {
        const Bits magnitude = reinterpret_cast<Bits>(v) & (Bits{} + 0x7fffffffffffffff);
        largest = magnitude > largest ? magnitude : largest;
    }
    [[gnu::always_inline]] bool moderate() const {
        return _mm512_cmpgt_epi64_mask(reinterpret_cast<__m512i>(largest), _mm512_set1_epi64(0x7830000000000000)) == 0;
    }

private:
    Bits largest{};
};
#else
// A comparison of each magnitude with the bound, false for NaN.
class Magnitude {
public:
    [[gnu::always_inline]] void add(V v) {
        const V magnitude = reinterpret_cast<V>(reinterpret_cast<Bits>(v) & (Bits{} + 0x7fffffffffffffff));
        within &= magnitude <= 0x1p900;
    }
    [[gnu::always_inline]] bool moderate() const {
        bool all = true;
        for (int l = 0; l < Lanes; ++l)
            all &= within[l] != 0;
        return all;
    }

private:
    Bits within = Bits{} - 1;
};
#endif

// Lanes whose product (tr, ti) has both parts NaN take std::complex's.
[[gnu::noinline, gnu::cold]] void recoverProducts(V& tr, V& ti, V c, V s, Complexes odd) {
    for (int l = 0; l < Lanes; ++l)
        if (tr[l] != tr[l] && ti[l] != ti[l]) {
            double re = 0.0;
            double im = 0.0;
            complexProduct(c[l], s[l], odd.re[l], odd.im[l], &re, &im);
            tr[l] = re;
            ti[l] = im;
        }
}

template <bool Checked>
[[gnu::always_inline]] inline void butterfly(Complexes& even, Complexes& odd, V c, V s) {
    V tr = c * odd.re - s * odd.im;
    V ti = c * odd.im + s * odd.re;
    if constexpr (Checked) {
        bool bothNaN = false;
        for (int l = 0; l < Lanes; ++l)
            bothNaN |= tr[l] != tr[l] && ti[l] != ti[l];
        if (bothNaN)
            recoverProducts(tr, ti, c, s, odd);
    }
    const Complexes e = even;
    even.re = e.re + tr;
    even.im = e.im + ti;
    odd.re = e.re - tr;
    odd.im = e.im - ti;
}

// The stages of one pass over R = 2^r vectors held in registers: the stage
// of half distance h pairs x[j] with x[j + h] (bit h of j clear), with the
// twiddle twiddle(h, j mod h, c, s).
template <bool Checked, int R, class Twiddle>
[[gnu::always_inline]] inline void stages(Complexes* x, const Twiddle& twiddle) {
#pragma GCC unroll 4
    for (int h = 1; h < R; h *= 2) {
#pragma GCC unroll 8
        for (int j = 0; j < R; ++j) {
            if ((j & h) != 0)
                continue;
            V c;
            V s;
            twiddle(h, j & (h - 1), c, s);
            butterfly<Checked>(x[j], x[j + h], c, s);
        }
    }
}

#if KALO_FFT_LANES == 8
// Lanes 0-3 from p[0..3] and lanes 4-7 from q[0..3]; and lanes 0-3 from
// p[4..7], lanes 4-7 from q[4..7]. A masked load merges without a shuffle,
// so one of the three exchanges of lane bits a transposition needs costs
// loads instead of shuffles that would compete with the adds. (Masked-off
// lanes are never read, so the wider address range is harmless.)
[[gnu::always_inline]] inline V lowHalves(const double* p, const double* q) {
    return _mm512_mask_loadu_pd(load(p), 0xf0, q - 4);
}
[[gnu::always_inline]] inline V highHalves(const double* p, const double* q) {
    return _mm512_mask_loadu_pd(load(q), 0x0f, p + 4);
}
// Lanes (0, 1, 4, 5) of a and b interleaved in pairs, and lanes (2, 3, 6, 7).
[[gnu::always_inline]] inline V pairsLow(V a, V b) { return KALO_SHUFFLE(a, b, 0, 1, 8, 9, 4, 5, 12, 13); }
[[gnu::always_inline]] inline V pairsHigh(V a, V b) { return KALO_SHUFFLE(a, b, 2, 3, 10, 11, 6, 7, 14, 15); }
#endif
#undef KALO_SHUFFLE

// The first stages' twiddles, the same for every tile.
[[gnu::always_inline]] inline void firstTwiddle(const double* first, int h, int k, V& c, V& s) {
    const double* w = first + 2 * (h - 1 + k);
    c = splat(w[0]);
    s = splat(w[1]);
}

// The transform of one array. It reads the caller's `data` and writes its
// result there; in between the values live in `work`, laid out as
// fft_kernels.h describes (row x of tile t is chunk x * tiles + t). `work`
// is either an aligned scratch array or `data` itself.
template <bool Checked>
class Transform {
public:
    Transform(const Tables& planTables, double* values, double* scratch)
        : tables(planTables),
          data(values),
          work(scratch),
          tileCount(planTables.size / (Lanes * Lanes)),
          rowStride(2 * Lanes * tileCount) {}

    // The first w stages, tile by tile from tile `from` on. Unchecked, they
    // stop before a tile (or pair of tiles) whose input is not moderate and
    // return its number, having written nothing of it; otherwise they
    // return the number of tiles.
    std::size_t firstStagesNatural(std::size_t from) const;
    std::size_t firstStagesPermuted(std::size_t from) const;
    void middleStages() const;
    void lastStages() const;

private:
    // Reads tile `tile` of the caller's natural order for the first stages
    // of tile mid = reversed tile: its row reversed(b) into vector b, lanes
    // in LaneA order as unpacking leaves them. False if unchecked and the
    // tile is not moderate.
    [[gnu::always_inline]] bool readNatural(std::size_t tile, Complexes* x) const {
        const double* const base = data + 2 * Lanes * tile;
        Magnitude magnitude;
#pragma GCC unroll 8
        for (int b = 0; b < Lanes; ++b) {
            const double* p = base + rowStride * static_cast<std::size_t>(reversed(b));
            const V lo = load(p);
            const V hi = load(p + Lanes);
            x[b].re = unpackLow(lo, hi);
            x[b].im = unpackHigh(lo, hi);
            if constexpr (!Checked) {
                magnitude.add(x[b].re);
                magnitude.add(x[b].im);
            }
        }
        return Checked || magnitude.moderate();
    }

    [[gnu::always_inline]] void computeFirst(Complexes* x) const {
        const double* const first = tables.first;
        stages<Checked, Lanes>(x, [first](int h, int k, V& c, V& s) { firstTwiddle(first, h, k, c, s); });
    }

    [[gnu::always_inline]] void writeWork(std::size_t tile, const Complexes* x) const {
        double* const base = work + 2 * Lanes * tile;
#pragma GCC unroll 8
        for (int b = 0; b < Lanes; ++b)
            storeSplit(base + rowStride * static_cast<std::size_t>(b), x[b]);
    }

    template <int R>
    void middlePass(std::size_t b, std::size_t half) const;

    const Tables& tables;
    double* const data;
    double* const work;
    const std::size_t tileCount;     // n / W^2
    const std::size_t rowStride; // doubles from one row of a tile to the next
};

// Out of place, tile mid's first stages read tile reversed(mid) of the
// caller's order. In place, tiles exchange their inputs in pairs: one
// tile's result waits in `held` while the other is read.
template <bool Checked>
std::size_t Transform<Checked>::firstStagesNatural(std::size_t from) const {
    const std::uint32_t* const bitReversed = tables.bitReversed;
    if (work != data) {
        for (std::size_t mid = from; mid < tileCount; ++mid) {
            Complexes x[Lanes];
            if (!readNatural(bitReversed[mid * Lanes] / Lanes, x))
                return mid;
            computeFirst(x);
            writeWork(mid, x);
        }
        return tileCount;
    }
    alignas(64) double held[2 * Lanes * Lanes];
    for (std::size_t mid = from; mid < tileCount; ++mid) {
        const std::size_t partner = bitReversed[mid * Lanes] / Lanes;
        if (partner < mid)
            continue;
        Complexes x[Lanes];
        if (!readNatural(partner, x))
            return mid;
        computeFirst(x);
        if (partner == mid) {
            writeWork(mid, x);
            continue;
        }
#pragma GCC unroll 8
        for (int b = 0; b < Lanes; ++b)
            storeSplit(held + 2 * Lanes * b, x[b]);
        if (!readNatural(mid, x))
            return mid;
        computeFirst(x);
        writeWork(partner, x);
#pragma GCC unroll 8
        for (int b = 0; b < Lanes; ++b)
            x[b] = loadSplit(held + 2 * Lanes * b);
        writeWork(mid, x);
    }
    return tileCount;
}

// In bit-reversed order tile mid holds its own input transposed: row a,
// lane b is position a * n/W + mid * W + b.
template <bool Checked>
std::size_t Transform<Checked>::firstStagesPermuted(std::size_t from) const {
    for (std::size_t mid = from; mid < tileCount; ++mid) {
        const double* const base = data + 2 * Lanes * mid;
        Complexes x[Lanes];
        Magnitude magnitude;
#if KALO_FFT_LANES == 8
        // Row a holds (re, im) of complex b = 0..7 in two vectors h = 0, 1.
        // Vector bits (a2 a1 a0, h) and lane bits (b1 b0 part) become vector
        // bits (b2 b1 b0, part) and lane bits (a1 a2 a0), the LaneA order, in
        // three exchanges: lane bit 2 with a1 by masked loads, lane bit 0
        // with a0 by unpacking, lane bit 1 with a2 by shuffling pairs.
        V m[8][2];
#pragma GCC unroll 8
        for (int a = 0; a < 8; ++a) {
            if ((a & 2) != 0)
                continue;
            const double* p = base + rowStride * static_cast<std::size_t>(a);
            const double* q = p + 2 * rowStride;
#pragma GCC unroll 2
            for (int h = 0; h < 2; ++h) {
                m[a][h] = lowHalves(p + 8 * h, q + 8 * h);
                m[a + 2][h] = highHalves(p + 8 * h, q + 8 * h);
            }
        }
        if constexpr (!Checked) {
#pragma GCC unroll 8
            for (int v = 0; v < 8; ++v) {
                magnitude.add(m[v][0]);
                magnitude.add(m[v][1]);
            }
            if (!magnitude.moderate())
                return mid;
        }
        V n[8][2];
#pragma GCC unroll 8
        for (int v = 0; v < 8; v += 2)
#pragma GCC unroll 2
            for (int h = 0; h < 2; ++h) {
                n[v][h] = unpackLow(m[v][h], m[v + 1][h]);
                n[v + 1][h] = unpackHigh(m[v][h], m[v + 1][h]);
            }
        // Now vector bits (a2 c1 part, h) and lane bits (a1 c0 a0), c = b.
#pragma GCC unroll 4
        for (int v = 0; v < 4; ++v)
#pragma GCC unroll 2
            for (int h = 0; h < 2; ++h) {
                // Vector v + 4 * c0 is part (v & 1) of complex b = 4h + 2 c1 + c0.
                const V low = pairsLow(n[v][h], n[v + 4][h]);
                const V high = pairsHigh(n[v][h], n[v + 4][h]);
                const int b = 4 * h + (v & 2);
                if ((v & 1) == 0) {
                    x[b].re = low;
                    x[b + 1].re = high;
                } else {
                    x[b].im = low;
                    x[b + 1].im = high;
                }
            }
#else
        // Split each row (lanes in LaneB order), then transpose, reading row
        // LaneA[j] into vector j so that lanes come out in LaneA order.
        V re[Lanes];
        V im[Lanes];
#pragma GCC unroll 8
        for (int j = 0; j < Lanes; ++j) {
            const double* p = base + rowStride * static_cast<std::size_t>(LaneA[j]);
            const V lo = load(p);
            const V hi = load(p + Lanes);
            re[j] = unpackLow(lo, hi);
            im[j] = unpackHigh(lo, hi);
            if constexpr (!Checked) {
                magnitude.add(re[j]);
                magnitude.add(im[j]);
            }
        }
        if constexpr (!Checked)
            if (!magnitude.moderate())
                return mid;
        transpose(re);
        transpose(im);
#pragma GCC unroll 8
        for (int l = 0; l < Lanes; ++l)
            x[LaneB[l]] = Complexes{re[l], im[l]};
#endif
        computeFirst(x);
        writeWork(mid, x);
    }
    return tileCount;
}

// A pass over stages of half distance half, 2 half, .. (R/2) half rows
// within row b.
template <bool Checked>
template <int R>
void Transform<Checked>::middlePass(std::size_t b, std::size_t half) const {
    double* const row = work + rowStride * b;
    const double* const middle = tables.middle;
    const std::size_t step = 2 * Lanes * half;
    for (std::size_t block = 0; block < tileCount; block += half * R) {
        for (std::size_t i = 0; i < half; ++i) {
            double* const p = row + 2 * Lanes * (block + i);
            Complexes x[R];
#pragma GCC unroll 8
            for (int j = 0; j < R; ++j)
                x[j] = loadSplit(p + step * static_cast<std::size_t>(j));
            stages<Checked, R>(x, [&](int h, int k, V& c, V& s) {
                const std::size_t rows = half * static_cast<std::size_t>(h);
                const double* w = middle + 2 * Lanes * (rows - 1) + 2 * (b * rows + i + static_cast<std::size_t>(k) * half);
                c = splat(w[0]);
                s = splat(w[1]);
            });
#pragma GCC unroll 8
            for (int j = 0; j < R; ++j)
                storeSplit(p + step * static_cast<std::size_t>(j), x[j]);
        }
    }
}

// Stages w+1 .. L-w, row by row: a row is one W-th of the array, so for the
// lengths in use all its middle stages run on data in the first-level cache.
template <bool Checked>
void Transform<Checked>::middleStages() const {
    const int count = static_cast<int>(tables.log2Size) - 2 * LanesLog2;
    for (std::size_t b = 0; b < static_cast<std::size_t>(Lanes); ++b) {
        std::size_t half = 1;
        for (int left = count; left > 0;) {
            // Four stages go as two and two rather than three and one.
            const int now = left == 4 && MaxPassStages == 3 ? 2 : (left < MaxPassStages ? left : MaxPassStages);
            if (now == 1)
                middlePass<2>(b, half);
            else if (now == 2)
                middlePass<4>(b, half);
            else if constexpr (MaxPassStages >= 3)
                middlePass<8>(b, half);
            half <<= now;
            left -= now;
        }
    }
}

// The last w stages, tile by tile, transposed so that vector a holds the
// positions a * n/W + mid * W + LaneB[l]; the results go interleaved to
// where they belong in the caller's array, row a of tile mid.
template <bool Checked>
void Transform<Checked>::lastStages() const {
    const std::size_t rowLength = tables.size / Lanes;
    const double* const last = tables.last;
    for (std::size_t mid = 0; mid < tileCount; ++mid) {
        const double* const base = work + 2 * Lanes * mid;
        Complexes x[Lanes];
#if KALO_FFT_LANES == 8
        // Vector bits (b2 b1 b0) and lane bits (a1 a2 a0) become vector bits
        // (a2 a1 a0) and lane bits (b1 b0 b2), the LaneB order: lane bit 2
        // with b1 by masked loads, lane bit 0 with b2 by unpacking, lane bit 1
        // with b0 by shuffling pairs.
#pragma GCC unroll 2
        for (int part = 0; part < 2; ++part) {
            V q[8];
#pragma GCC unroll 8
            for (int b = 0; b < 8; ++b) {
                if ((b & 2) != 0)
                    continue;
                const double* p = base + rowStride * static_cast<std::size_t>(b) + 8 * part;
                q[b] = lowHalves(p, p + 2 * rowStride);
                q[b + 2] = highHalves(p, p + 2 * rowStride);
            }
            // Vector bits (b2 a1 b0), lane bits (b1 a2 a0).
            V u[8];
#pragma GCC unroll 4
            for (int v = 0; v < 4; ++v) {
                u[v] = unpackLow(q[v], q[v + 4]);
                u[v + 4] = unpackHigh(q[v], q[v + 4]);
            }
            // Vector bits (a0 a1 b0), lane bits (b1 a2 b2).
#pragma GCC unroll 8
            for (int v = 0; v < 8; v += 2) {
                // Vectors v, v + 1 hold a = a2 * 4 + a1 * 2 + a0 with
                // a0 = v >> 2, a1 = (v >> 1) & 1 and a2 = 0, 1.
                const int a = ((v >> 2) & 1) | (v & 2);
                const V low = pairsLow(u[v], u[v + 1]);
                const V high = pairsHigh(u[v], u[v + 1]);
                if (part == 0) {
                    x[a].re = low;
                    x[a + 4].re = high;
                } else {
                    x[a].im = low;
                    x[a + 4].im = high;
                }
            }
        }
#else
        // Read row LaneB[j] into vector j, so that the transposition leaves
        // the lanes in LaneB order; vector l then holds a = LaneA[l].
        V re[Lanes];
        V im[Lanes];
#pragma GCC unroll 8
        for (int j = 0; j < Lanes; ++j) {
            const Complexes row = loadSplit(base + rowStride * static_cast<std::size_t>(LaneB[j]));
            re[j] = row.re;
            im[j] = row.im;
        }
        transpose(re);
        transpose(im);
#pragma GCC unroll 8
        for (int l = 0; l < Lanes; ++l)
            x[LaneA[l]] = Complexes{re[l], im[l]};
#endif
        stages<Checked, Lanes>(x, [&](int h, int k, V& c, V& s) {
            const std::size_t halfLength = rowLength * static_cast<std::size_t>(h);
            const double* w = last + 2 * rowLength * static_cast<std::size_t>(h - 1) +
                              rowLength * static_cast<std::size_t>(k) + mid * Lanes;
            c = load(w);
            s = load(w + halfLength);
        });
        // Unpacking lanes in LaneB order gives complex 0 .. W/2-1, then the rest.
        double* const out = data + 2 * Lanes * mid;
#pragma GCC unroll 8
        for (int a = 0; a < Lanes; ++a) {
            double* p = out + rowStride * static_cast<std::size_t>(a);
            store(p, unpackLow(x[a].re, x[a].im));
            store(p + Lanes, unpackHigh(x[a].re, x[a].im));
        }
    }
}

// The transform with its values in `work` in between.
[[gnu::always_inline]] inline void run(const Tables& tables, double* data, double* work, bool permuted) {
    const Transform<false> unchecked(tables, data, work);
    const std::size_t tiles = tables.size / (Lanes * Lanes);
    const std::size_t stopped = permuted ? unchecked.firstStagesPermuted(0) : unchecked.firstStagesNatural(0);
    if (stopped == tiles) {
        unchecked.middleStages();
        unchecked.lastStages();
        return;
    }
    const Transform<true> checked(tables, data, work);
    if (permuted)
        checked.firstStagesPermuted(stopped);
    else
        checked.firstStagesNatural(stopped);
    checked.middleStages();
    checked.lastStages();
}

// Up to this length the values wait in an aligned array on the stack (16
// KiB at most): callers' arrays are commonly aligned to 16 bytes only, and
// vectors that straddle cache lines made the whole transform some thirty
// per cent slower. Longer transforms work in place.
constexpr std::size_t ScratchLength = 1024;

} // namespace

void KALO_FFT_ENTRY(const Tables& tables, double* data, bool permuted) {
    if (tables.size <= ScratchLength) {
        alignas(64) double scratch[2 * ScratchLength];
        run(tables, data, scratch, permuted);
    } else {
        run(tables, data, data, permuted);
    }
}

} // namespace OviMath::Functions::FftKernels
