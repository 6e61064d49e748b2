#include "shared/fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "shared/reference_fft.h"

namespace {

using OviMath::ComplexArray;
using Complex = std::complex<double>;

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

std::string describe(double v) {
    std::ostringstream out;
    out << v << " (0x" << std::hex << std::bit_cast<std::uint64_t>(v) << ")";
    return out.str();
}

// The same values, entry by entry and bit for bit: a tolerance would hide
// exactly the differences these tests exist to find, and == would let -0 pass
// for +0. The one allowance is a NaN's sign and payload: when both operands
// of a sum are NaN, IEEE 754 leaves open which one propagates, and compilers
// commute sums and products as they see fit, so those bits belong to the
// instruction schedule, not to the arithmetic. A NaN must still stand where
// the recursive form has a NaN, and nowhere else.
bool sameValue(double expected, double actual) {
    if (std::isnan(expected) && std::isnan(actual))
        return true;
    return std::bit_cast<std::uint64_t>(expected) == std::bit_cast<std::uint64_t>(actual);
}

::testing::AssertionResult sameBits(const ComplexArray& expected, const ComplexArray& actual) {
    if (expected.size() != actual.size())
        return ::testing::AssertionFailure() << "sizes differ: " << expected.size() << " vs " << actual.size();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const double e[2] = {expected[i].real(), expected[i].imag()};
        const double a[2] = {actual[i].real(), actual[i].imag()};
        for (int part = 0; part < 2; ++part)
            if (!sameValue(e[part], a[part]))
                return ::testing::AssertionFailure()
                       << "length " << expected.size() << ", entry " << i << (part == 0 ? " real" : " imag")
                       << ": expected " << describe(e[part]) << ", got " << describe(a[part]);
    }
    return ::testing::AssertionSuccess();
}

// Untouched means every bit, NaN payloads included.
::testing::AssertionResult untouched(const ComplexArray& before, const ComplexArray& after) {
    if (before.size() == after.size() &&
        (before.empty() || std::memcmp(before.data(), after.data(), before.size() * sizeof(Complex)) == 0))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the array changed";
}

std::size_t countNaNs(const ComplexArray& x) {
    std::size_t count = 0;
    for (const auto& v : x)
        count += std::isnan(v.real()) + std::isnan(v.imag());
    return count;
}

// Random values over a wide range of magnitudes, with a few zeros of either
// sign, so that rounding and signed-zero handling are both exercised.
ComplexArray randomArray(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    std::uniform_int_distribution<int> kind(0, 49);
    auto value = [&]() -> double {
        switch (kind(rng)) {
        case 0: return 0.0;
        case 1: return -0.0;
        default: return std::ldexp(mantissa(rng), exponent(rng));
        }
    };
    ComplexArray x(n);
    for (auto& v : x) {
        const double re = value();
        v = Complex(re, value());
    }
    return x;
}

ComplexArray referenceOf(ComplexArray x) {
    KaloTest::referenceFft(x);
    return x;
}

ComplexArray libraryOf(ComplexArray x) {
    OviMath::Functions::fft(&x);
    return x;
}

ComplexArray detectorOf(ComplexArray x) {
    OviMath::Artifacts::Functions::fft(x);
    return x;
}

TEST(Fft, MatchesRecursiveFormBitForBitAtEveryPowerOfTwo) {
    for (std::size_t n = 1; n <= 8192; n *= 2) {
        const ComplexArray input = randomArray(n, 1000 + n);
        EXPECT_TRUE(sameBits(referenceOf(input), libraryOf(input)));
    }
}

TEST(Fft, MatchesRecursiveFormBitForBitAtOtherLengths) {
    for (std::size_t n : {3, 5, 6, 7, 9, 12, 100, 255, 257, 1000})
        EXPECT_TRUE(sameBits(referenceOf(randomArray(n, 2000 + n)), libraryOf(randomArray(n, 2000 + n))));
    // Every length up to 130, powers of two or not, through both paths.
    for (std::size_t n = 0; n <= 130; ++n) {
        const ComplexArray input = randomArray(n, 3000 + n);
        EXPECT_TRUE(sameBits(referenceOf(input), libraryOf(input)));
    }
}

TEST(Fft, OddLengthNeverTouchesItsLastEntry) {
    for (std::size_t n : {3, 5, 7, 101}) {
        ComplexArray x = randomArray(n, 4000 + n);
        x.back() = Complex(std::bit_cast<double>(std::uint64_t{0x7ff8000000001234}), -0.0);
        const ComplexArray before = x;
        OviMath::Functions::fft(&x);
        EXPECT_EQ(0, std::memcmp(&before.back(), &x.back(), sizeof(Complex))) << "length " << n;
        EXPECT_NE(0, std::memcmp(before.data(), x.data(), sizeof(Complex) * (n - 1))) << "length " << n;
    }
}

// Infinite and NaN inputs take the multiplication's recovery path and the
// NaN propagation of the sums; the results must still match. One special
// value in otherwise finite data leaves many outputs infinite or finite
// (compared bit for bit); dense specials turn nearly everything into NaN and
// check where NaNs appear.
TEST(Fft, MatchesRecursiveFormWithInfinitiesAndNaNs) {
    const Complex specials[] = {Complex(Inf, 0.0), Complex(-Inf, 0.5), Complex(0.5, Inf), Complex(Inf, Inf),
                                Complex(-Inf, Inf), Complex(Inf, NaN), Complex(NaN, -Inf), Complex(NaN, 0.0),
                                Complex(-NaN, NaN)};
    std::size_t comparedNumbers = 0;
    for (std::size_t n : {2, 4, 8, 16, 64, 512, 6, 12, 100}) {
        for (std::size_t position : {std::size_t{0}, std::size_t{1}, n / 2 + 1, n - 1}) {
            for (const Complex& special : specials) {
                ComplexArray input = randomArray(n, 5000 + n);
                input[position % n] = special;
                const ComplexArray expected = referenceOf(input);
                EXPECT_TRUE(sameBits(expected, libraryOf(input)))
                    << "special " << special << " at " << position % n;
                comparedNumbers += 2 * n - countNaNs(expected);
            }
        }
    }
    // Most of the outputs above are numbers or infinities, so the comparison
    // is not merely NaN against NaN.
    EXPECT_GT(comparedNumbers, 10000u);

    const Complex denseSpecials[] = {Complex(Inf, 0.0), Complex(-Inf, 0.0), Complex(NaN, 0.0), Complex(0.0, Inf),
                                     Complex(0.0, -NaN), Complex(-0.0, -0.0), Complex(Inf, NaN)};
    std::mt19937_64 rng(77);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(denseSpecials) - 1);
    std::uniform_int_distribution<int> percent(0, 99);
    for (std::size_t n : {2, 4, 8, 64, 512, 12}) {
        for (int density : {2, 20, 80}) {
            ComplexArray input = randomArray(n, 5500 + n * 100 + density);
            for (auto& v : input)
                if (percent(rng) < density)
                    v = denseSpecials[pick(rng)];
            EXPECT_TRUE(sameBits(referenceOf(input), libraryOf(input))) << "density " << density << "%";
        }
    }
}

// (1, -0) * (inf, NaN) gives NaN in both parts when multiplied naively; the
// recovery turns the real part back into an infinity. Both forms must do it,
// at the first stage and at a late one.
TEST(Fft, RecoversInfiniteProducts) {
    const ComplexArray input = {Complex(0.0, 0.0), Complex(Inf, NaN)};
    for (const ComplexArray& out : {referenceOf(input), libraryOf(input)}) {
        ASSERT_EQ(2u, out.size());
        EXPECT_EQ(Inf, out[0].real());
        EXPECT_EQ(-Inf, out[1].real());
        EXPECT_TRUE(std::isnan(out[0].imag()));
        EXPECT_TRUE(std::isnan(out[1].imag()));
    }
    // Length 64 with (inf, NaN) at entry 1: the odd half transforms it into
    // (inf, NaN) at every bin (its partners are all zero), so the recovery
    // first acts in the last stage, on all 32 butterflies. With it every
    // output is infinite but for the imaginary parts of bins 0 and 32 (where
    // the twiddle's sine is -0); without it all 128 parts would be NaN.
    ComplexArray late(64);
    late[1] = Complex(Inf, NaN);
    for (const ComplexArray& out : {referenceOf(late), libraryOf(late)}) {
        EXPECT_EQ(2u, countNaNs(out));
        EXPECT_TRUE(std::isnan(out[0].imag()));
        EXPECT_EQ(Inf, out[0].real());
        EXPECT_EQ(-Inf, out[32].real());
        EXPECT_EQ(Inf, out[16].real());
        EXPECT_EQ(-Inf, out[16].imag());
    }
}

TEST(Fft, LengthsZeroAndOneAreUntouched) {
    ComplexArray empty;
    OviMath::Functions::fft(&empty);
    OviMath::Artifacts::Functions::fft(empty);
    EXPECT_TRUE(empty.empty());

    const ComplexArray one = {Complex(std::bit_cast<double>(std::uint64_t{0x7ff800000000abcd}), -0.0)};
    EXPECT_TRUE(untouched(one, libraryOf(one)));
    EXPECT_TRUE(untouched(one, detectorOf(one)));
    const ComplexArray finite = {Complex(-3.5, 1e-300)};
    EXPECT_TRUE(untouched(finite, libraryOf(finite)));

    OviMath::Functions::fftInPlace(nullptr, 0);
    OviMath::Functions::fft(nullptr);
}

TEST(Fft, LengthTwoGivesSumAndDifference) {
    const Complex x0(1.25, -2.5);
    const Complex x1(0.375, 7.0);
    const ComplexArray out = libraryOf({x0, x1});
    EXPECT_EQ(x0 + x1, out[0]);
    EXPECT_EQ(x0 - x1, out[1]);
}

TEST(Fft, UnitImpulseGivesAllOnes) {
    for (std::size_t n = 1; n <= 4096; n *= 2) {
        ComplexArray x(n);
        x[0] = 1.0;
        OviMath::Functions::fft(&x);
        for (std::size_t k = 0; k < n; ++k) {
            ASSERT_EQ(1.0, x[k].real()) << "length " << n << ", bin " << k;
            ASSERT_EQ(0.0, x[k].imag()) << "length " << n << ", bin " << k;
        }
    }
}

TEST(Fft, ConstantGivesItsSumAtBinZeroOnly) {
    const double c = 0.75;
    for (std::size_t n : {2, 32, 512, 4096}) {
        ComplexArray x(n, Complex(c, 0.0));
        OviMath::Functions::fft(&x);
        // Bin 0 only ever adds values multiplied by the twiddle (1, -0):
        // exact for these values.
        EXPECT_EQ(c * static_cast<double>(n), x[0].real()) << "length " << n;
        EXPECT_EQ(0.0, x[0].imag()) << "length " << n;
        for (std::size_t k = 1; k < n; ++k)
            ASSERT_LT(std::abs(x[k]), 1e-12 * c * static_cast<double>(n)) << "length " << n << ", bin " << k;
    }
}

TEST(Fft, CosineWithWholePeriodsPeaksAtItsTwoBins) {
    struct Case { std::size_t n; std::size_t m; };
    for (const Case& c : {Case{32, 1}, Case{512, 5}, Case{512, 100}, Case{4096, 300}, Case{8192, 4095}}) {
        const double n = static_cast<double>(c.n);
        ComplexArray x(c.n);
        for (std::size_t j = 0; j < c.n; ++j)
            x[j] = std::cos(2.0 * std::numbers::pi * static_cast<double>(c.m * j % c.n) / n);
        OviMath::Functions::fft(&x);
        const double tolerance = 1e-9 * n;
        for (std::size_t k = 0; k < c.n; ++k) {
            const double amplitude = 2.0 * std::sqrt(x[k].real() * x[k].real() + x[k].imag() * x[k].imag());
            if (k == c.m || k == c.n - c.m) {
                EXPECT_NEAR(n / 2, x[k].real(), tolerance) << "length " << c.n << ", bin " << k;
                EXPECT_NEAR(0.0, x[k].imag(), tolerance) << "length " << c.n << ", bin " << k;
                EXPECT_NEAR(n, amplitude, tolerance) << "length " << c.n << ", bin " << k;
            } else {
                ASSERT_LT(amplitude, tolerance) << "length " << c.n << ", bin " << k;
            }
        }
    }
}

// Independent of the recursive form: a direct DFT in extended precision.
// If both forms shared a mistake (sign, ordering, scaling), this finds it.
TEST(Fft, AgreesWithDirectSum) {
    for (std::size_t n : {2, 8, 64, 256}) {
        const ComplexArray input = randomArray(n, 6000 + n);
        const ComplexArray out = libraryOf(input);
        long double norm = 0;
        for (const auto& v : input)
            norm += std::norm(std::complex<long double>(v.real(), v.imag()));
        const long double scale = std::sqrt(norm * n);
        for (std::size_t k = 0; k < n; ++k) {
            std::complex<long double> sum = 0;
            for (std::size_t j = 0; j < n; ++j) {
                const long double a = -2.0L * 3.141592653589793238462643383279503L * static_cast<long double>(k * j % n) / n;
                sum += std::complex<long double>(input[j].real(), input[j].imag()) * std::complex<long double>(std::cos(a), std::sin(a));
            }
            const long double error = std::abs(sum - std::complex<long double>(out[k].real(), out[k].imag()));
            ASSERT_LT(error, 1e-13L * scale) << "length " << n << ", bin " << k;
        }
    }
}

TEST(Fft, BothEntryPointsGiveTheSameBits) {
    for (std::size_t n : {1, 2, 64, 512, 8192, 12}) {
        const ComplexArray input = randomArray(n, 7000 + n);
        EXPECT_TRUE(sameBits(libraryOf(input), detectorOf(input)));
        ComplexArray raw = input;
        OviMath::Functions::fftInPlace(raw.data(), raw.size());
        EXPECT_TRUE(sameBits(libraryOf(input), raw));
    }
}

// The cached plans must neither drift between calls nor be mixed up between
// lengths.
TEST(Fft, RepeatedCallsGiveTheSameBits) {
    const ComplexArray small = randomArray(512, 8001);
    const ComplexArray large = randomArray(8192, 8002);
    const ComplexArray small0 = libraryOf(small);
    const ComplexArray large0 = libraryOf(large);
    EXPECT_TRUE(sameBits(referenceOf(small), small0));
    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(sameBits(small0, libraryOf(small)));
        EXPECT_TRUE(sameBits(libraryOf(randomArray(1024, 8003)), referenceOf(randomArray(1024, 8003))));
        EXPECT_TRUE(sameBits(large0, detectorOf(large)));
    }
}

TEST(Fft, ConcurrentCallsGiveTheSameBits) {
    const std::size_t lengths[] = {256, 2048, 256, 16384, 2048, 32};
    std::vector<ComplexArray> inputs;
    std::vector<ComplexArray> expected;
    for (std::size_t i = 0; i < std::size(lengths); ++i) {
        inputs.push_back(randomArray(lengths[i], 9000 + i));
        expected.push_back(referenceOf(inputs.back()));
    }
    constexpr int Threads = 4;
    std::vector<std::vector<ComplexArray>> results(Threads);
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round)
                for (std::size_t i = 0; i < inputs.size(); ++i)
                    results[t].push_back(t % 2 ? libraryOf(inputs[i]) : detectorOf(inputs[i]));
        });
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < Threads; ++t) {
        ASSERT_EQ(3 * inputs.size(), results[t].size());
        for (std::size_t r = 0; r < results[t].size(); ++r)
            EXPECT_TRUE(sameBits(expected[r % inputs.size()], results[t][r])) << "thread " << t << ", result " << r;
    }
}

TEST(FftPlan, TransformsLikeFft) {
    for (std::size_t n : {1, 2, 4, 1024}) {
        const OviMath::Functions::FftPlan plan(n);
        EXPECT_EQ(n, plan.size());
        const ComplexArray input = randomArray(n, 10000 + n);
        ComplexArray x = input;
        plan.transform(x.data());
        EXPECT_TRUE(sameBits(referenceOf(input), x));
    }
}

// Every kernel compiled into the library that this processor supports, on
// both entry points (natural order, and input already in bit-reversed
// order), against the recursion, with the array at each offset from a cache
// line that the heap may give. The kinds of input cover what a kernel
// handles apart: moderate values (its unchecked path), the engine's real
// samples with zero padding, subnormals beside values near overflow (whose
// sums overflow, so that the infinities recovery acts mid-transform), and
// sparse or dense infinities, NaNs, signed zeros and values just above the
// unchecked path's bound.
TEST(FftPlan, EveryPathOnBothEntryPointsMatchesRecursiveForm) {
    using Path = OviMath::Functions::FftPlan::Path;
    const std::pair<Path, const char*> paths[] = {{Path::Portable, "portable"}, {Path::Avx2, "avx2"}, {Path::Avx512, "avx512"}};
    std::string ran, skipped;
    for (const auto& [path, name] : paths)
        (OviMath::Functions::FftPlan::available(path) ? ran : skipped) += std::string(" ") + name;
    std::printf("[ paths    ] run:%s; skipped (not supported here):%s\n", ran.c_str(), skipped.empty() ? " none" : skipped.c_str());

    const Complex specials[] = {Complex(Inf, 0.0), Complex(-Inf, -0.0), Complex(0.0, Inf), Complex(NaN, 1.0),
                                Complex(Inf, NaN), Complex(-0.0, -0.0), Complex(1e308, -1e308), Complex(-0.0, 0x1p901)};
    const char* const kinds[] = {"random", "real samples", "tiny and huge", "one special", "dense specials"};
    std::mt19937_64 rng(12345);
    const auto make = [&](int kind, std::size_t n) {
        ComplexArray x = randomArray(n, rng());
        for (std::size_t i = 0; i < n; ++i) {
            Complex& v = x[i];
            if (kind == 1)
                v = i + n / 32 < n ? Complex(v.real(), 0.0) : Complex();
            if (kind == 2)
                v = rng() % 3 == 0 ? Complex(std::ldexp(v.real(), 990), -v.imag()) : Complex(std::ldexp(v.real(), -1050), v.imag());
            if (kind == 4 && rng() % 4 == 0)
                v = specials[rng() % std::size(specials)];
        }
        if (kind == 3)
            x[rng() % n] = specials[static_cast<std::size_t>(std::countr_zero(n)) % std::size(specials)];
        return x;
    };
    // The array placed `shift` times 16 bytes past a cache line, modulo 64.
    const auto placed = [](const ComplexArray& values, std::size_t shift, const auto& transform) {
        ComplexArray buffer(values.size() + 4);
        Complex* start = buffer.data() + (4 + shift - reinterpret_cast<std::uintptr_t>(buffer.data()) / 16 % 4) % 4;
        std::copy(values.begin(), values.end(), start);
        transform(start);
        return ComplexArray(start, start + values.size());
    };
    for (std::size_t n = 1; n <= 16384; n *= 2) {
        for (int kind = 0; kind < static_cast<int>(std::size(kinds)); ++kind) {
            const ComplexArray input = make(kind, n);
            const ComplexArray expected = referenceOf(input);
            for (const auto& [path, name] : paths) {
                if (!OviMath::Functions::FftPlan::available(path))
                    continue;
                const OviMath::Functions::FftPlan plan(n, path);
                ASSERT_EQ(path, plan.path());
                ComplexArray permuted(n);
                for (std::size_t i = 0; i < n; ++i) {
                    std::size_t reversed = 0;
                    for (std::size_t bit = 1, high = n / 2; bit < n; bit <<= 1, high >>= 1)
                        reversed |= (i & bit) != 0 ? high : 0;
                    ASSERT_EQ(reversed, plan.bitReversed()[i]) << "length " << n << ", entry " << i;
                    permuted[reversed] = input[i];
                }
                const std::size_t shift = n + static_cast<std::size_t>(kind);
                EXPECT_TRUE(sameBits(expected, placed(input, shift, [&](Complex* x) { plan.transform(x); })))
                    << name << ", " << kinds[kind] << ", transform";
                EXPECT_TRUE(sameBits(expected, placed(permuted, shift + 1, [&](Complex* x) { plan.transformPermuted(x); })))
                    << name << ", " << kinds[kind] << ", transformPermuted";
            }
        }
    }
}

TEST(FftPlan, RejectsLengthsThatAreNotPowersOfTwo) {
    for (std::size_t n : {0, 3, 6, 100, 1023})
        EXPECT_THROW(OviMath::Functions::FftPlan{n}, std::invalid_argument) << "length " << n;
}

} // namespace
