#pragma once

// What every harness needs from a fuzz input: a cursor that hands out small
// decisions, integers and doubles, and is never exhausted (past the end it
// reads zero bytes), so a harness can ask for whatever it needs without
// checking the length at each step. A failed invariant aborts: the fuzzer
// keeps the input, and the replay test fails on it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

// The entry point every harness defines: the fuzzer's, and the replay
// program's when the harness is built without the fuzzer.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

#define FUZZ_CHECK(condition, ...)                                                                                   \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: invariant failed: %s: ", __FILE__, __LINE__, #condition);                   \
            std::fprintf(stderr, __VA_ARGS__);                                                                         \
            std::fputc('\n', stderr);                                                                                  \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace kalo_fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return used_ >= size_; }
    std::size_t remaining() const { return empty() ? 0 : size_ - used_; }

    // The next sizeof(T) bytes as a T; zero bytes past the end.
    template <class T>
    T raw() {
        unsigned char bytes[sizeof(T)] = {};
        const std::size_t n = remaining() < sizeof(T) ? remaining() : sizeof(T);
        if (n > 0)
            std::memcpy(bytes, data_ + used_, n);
        used_ += sizeof(T);
        T value;
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

    std::uint8_t byte() { return raw<std::uint8_t>(); }
    bool flag() { return (byte() & 1u) != 0; }
    // low .. high, both included (high - low below 2^32).
    std::int64_t pick(std::int64_t low, std::int64_t high) {
        const std::uint64_t span = static_cast<std::uint64_t>(high - low) + 1u;
        const std::uint64_t draw = span <= 256u ? byte() : raw<std::uint32_t>();
        return low + static_cast<std::int64_t>(draw % span);
    }
    // One of the given values.
    template <class T, std::size_t N>
    T oneOf(const T (&values)[N]) {
        return values[static_cast<std::size_t>(pick(0, static_cast<std::int64_t>(N) - 1))];
    }
    // Mostly one of the plausible values, sometimes any 32-bit integer.
    template <std::size_t N>
    std::int32_t setting(const std::int32_t (&plausible)[N]) {
        return byte() < 224 ? oneOf(plausible) : raw<std::int32_t>();
    }
    // A sample in volts: mostly EEG-sized, sometimes one of the values that
    // break arithmetic (NaN, infinities, huge, tiny, zero), sometimes any bit
    // pattern.
    double sample() {
        static constexpr double special[] = {0.0,
                                             -0.0,
                                             std::numeric_limits<double>::quiet_NaN(),
                                             std::numeric_limits<double>::infinity(),
                                             -std::numeric_limits<double>::infinity(),
                                             std::numeric_limits<double>::max(),
                                             -std::numeric_limits<double>::max(),
                                             std::numeric_limits<double>::denorm_min(),
                                             1e100,
                                             -1e100,
                                             1.0000000000000002e100,
                                             2.5,
                                             -1.0,
                                             1e-3};
        const std::uint8_t kind = byte();
        if (kind < 200)
            return (static_cast<double>(raw<std::int16_t>()) + 0.5) * 1e-8; // about +-330 microvolts
        if (kind < 240)
            return oneOf(special);
        return raw<double>();
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t used_ = 0;
};

} // namespace kalo_fuzz
