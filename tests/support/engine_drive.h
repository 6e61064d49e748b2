#pragma once

// Driving an engine in tests: two-channel samples in both layouts, pushes,
// everything a host reads back after a push, and records compared bit for
// bit (the engine's arithmetic is fixed: equal inputs give equal bits).

#include <algorithm>
#include <cstring>
#include <optional>
#include <type_traits>
#include <vector>

#include "support/engine_settings.h"

namespace kalo_test {

template <class Record>
    requires std::is_trivially_copyable_v<Record>
bool same(const Record& a, const Record& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
inline bool same(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// The mean of mental records as the engine takes it: each field summed from
// zero, oldest first, then divided by the count.
inline _MindData meanOf(const std::vector<_MindData>& records) {
    _MindData sum{};
    for (const _MindData& r : records)
        sum = {sum.rel_attention + r.rel_attention, sum.rel_relaxation + r.rel_relaxation,
               sum.inst_attention + r.inst_attention, sum.inst_relaxation + r.inst_relaxation};
    const double n = static_cast<double>(records.size());
    return {sum.rel_attention / n, sum.rel_relaxation / n, sum.inst_attention / n, sum.inst_relaxation / n};
}

// Two channels as a host hands them over: pairs for a bipolar engine, arrays
// (left, right) pointing into the pairs for a multichannel one.
struct Samples {
    std::vector<_RawChannels> pairs;
    std::vector<_RawChannelsArray> arrays;
    Samples(const std::vector<double>& left, const std::vector<double>& right)
        : pairs(left.size()), arrays(left.size()) {
        for (std::size_t i = 0; i < left.size(); ++i)
            pairs[i] = {left[i], right[i]}, arrays[i].channels = &pairs[i].left;
    }
    Samples(const Samples&) = delete;
    Samples& operator=(const Samples&) = delete;
};

inline bool push(MathLib* engine, bool bipolar, Samples& s, std::size_t first, std::size_t count,
                 _OutStatus* status) {
    return bipolar ? MathLibPushData(engine, s.pairs.data() + first, count, status)
                   : MathLibPushDataArr(engine, s.arrays.data() + first, count, status);
}

// Pushes `count` rows of `width` values: as pairs (a row's first and last
// value) or as channel arrays.
inline bool pushRows(MathLib* engine, bool asPairs, std::vector<double>& rows, int width, std::size_t count,
                     _OutStatus* status) {
    std::vector<_RawChannels> pairs;
    std::vector<_RawChannelsArray> arrays;
    for (std::size_t i = 0; i + width <= rows.size(); i += width)
        pairs.push_back({rows[i], rows[i + width - 1]}), arrays.push_back({&rows[i]});
    return asPairs ? MathLibPushData(engine, pairs.data(), count, status)
                   : MathLibPushDataArr(engine, arrays.data(), count, status);
}

// What a host reads after a push, in this order: the two queue sizes, both
// queues drained (the bands with `room`, else with the size just read), the
// raw values, the mean of the `meanOf` newest levels, the calibration and the
// artifact flags.
struct Reading {
    int32_t bandSize = -1, levelSize = -1, bandCount = 0, percents = 0;
    std::vector<_SpectralDataPercents> bands;
    std::vector<_MindData> levels;
    _RawSpectVals raw{};
    _MindData mean{};
    bool finished = false, sequence = false, both = false;
};

inline bool readAll(MathLib* e, Reading& r, int meanOf, _OutStatus* s, std::optional<int32_t> room = {}) {
    r.bands.assign(static_cast<std::size_t>(SpectralPercentsArraySize) + 5, {});
    r.levels.assign(static_cast<std::size_t>(MentalValueArraySize), {});
    bool ok = MathLibReadSpectralDataPercentsArrSize(e, &r.bandSize, s) &&
              MathLibReadMentalDataArrSize(e, &r.levelSize, s);
    int32_t levels = r.levelSize;
    r.bandCount = room.value_or(r.bandSize);
    ok = ok && MathLibReadSpectralDataPercentsArr(e, r.bands.data(), &r.bandCount, s) &&
         MathLibReadMentalDataArr(e, r.levels.data(), &levels, s) && MathLibReadRawSpectralVals(e, &r.raw, s) &&
         MathLibReadAverageMentalData(e, meanOf, &r.mean, s) && MathLibGetCallibrationPercents(e, &r.percents, s) &&
         MathLibCalibrationFinished(e, &r.finished, s) && MathLibIsArtifactedSequence(e, &r.sequence, s) &&
         MathLibIsBothSidesArtifacted(e, &r.both, s);
    r.bands.resize(static_cast<std::size_t>(std::max(r.bandCount, 0)));
    r.levels.resize(static_cast<std::size_t>(std::max(levels, 0)));
    return ok;
}

// The bytes of a Reading's records, raw values, mean, calibration percents
// and the two artifact flags, in that order.
inline std::vector<unsigned char> bytesOf(const Reading& r) {
    std::vector<unsigned char> out;
    const auto add = [&out](const void* data, std::size_t size) {
        out.insert(out.end(), static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
    };
    add(r.bands.data(), r.bands.size() * sizeof(_SpectralDataPercents));
    add(r.levels.data(), r.levels.size() * sizeof(_MindData));
    add(&r.raw, sizeof r.raw), add(&r.mean, sizeof r.mean), add(&r.percents, sizeof r.percents);
    add(&r.both, sizeof r.both), add(&r.sequence, sizeof r.sequence);
    return out;
}

} // namespace kalo_test

#if __has_include("engine/kalo_math.h")
namespace kalo_test {

using Engine = OviMath::MathLib::MathLib;

// The C handle is the engine itself.
inline Engine& engineOf(MathLib* handle) { return *reinterpret_cast<Engine*>(handle); }
inline MathLib* handleOf(Engine& engine) { return reinterpret_cast<MathLib*>(&engine); }

// Pushes the next n samples of the two sides (from the count the engine
// holds on), times `scale`; below BufferSize samples.
inline void pushNext(Engine& e, const double* left, const double* right, std::size_t n, double scale = 1.0) {
    std::vector<_RawChannels> pairs;
    for (std::size_t i = e.sampleStore().size(), end = i + n; i < end; ++i)
        pairs.push_back({left[i] * scale, right[i] * scale});
    e.pushData(pairs.data(), pairs.size());
}

// Pushes, and processes every due window as a host does.
inline void feed(Engine& e, const double* left, const double* right, std::size_t n, double scale = 1.0) {
    pushNext(e, left, right, n, scale);
    e.processDataArr();
}

// The end of the last window due after the samples held, the schedule's
// rule: windows every windowShift samples from fftWindow on, each due once a
// sample lies beyond it.
inline std::int64_t lastDueWindowEnd(const Engine& e) {
    const auto& s = e.windowSchedule();
    const std::int64_t first = s.windowLength() - s.shift();
    return first + s.shift() * std::max<std::int64_t>(0, (s.lastSample() - first) / s.shift());
}

// Pushes, then analyses each window the samples complete on the left side,
// as the driver does on clean signal without a priority side, but without
// the start-up period and without asking a detector: each window goes to
// the spectral step and all it feeds. The engine's own schedule stays.
inline void feedLeftOnly(Engine& e, const double* left, const double* right, std::size_t n, double scale = 1.0) {
    const auto& schedule = e.windowSchedule();
    std::int64_t end = lastDueWindowEnd(e);
    pushNext(e, left, right, n, scale);
    std::vector<double> window(static_cast<std::size_t>(schedule.windowLength()));
    for (const std::int64_t last = lastDueWindowEnd(e); end < last;) {
        end += schedule.shift();
        e.sampleStore().copyMicrovolts(end, 0, 1, window.data());
        e.computeSpectra(window.data());
    }
}

} // namespace kalo_test
#endif
