// The readers of the results: two drain the published queues (band shares
// with the per-band weighting applied, mental levels), one averages the
// newest mental records without draining them.

#include "engine/kalo_math.h"
#include "shared/require.h"

namespace OviMath::MathLib {

namespace {

// Copies up to `count` records, oldest first, then empties the queue, the
// records beyond `count` included. `count` comes back as the number written;
// 0 leaves the queue alone and a negative count writes nothing.
template <class Record, class Transform>
void drain(Buffer::CircularBuffer<Record>& queue, Record* out, int& count, Transform&& transform) {
    const int available = static_cast<int>(queue.size());
    if (count > available)
        count = available;
    if (count == 0)
        return;
    if (count > 0) {
        requireNonNull(out, "output array is null");
        int i = 0;
        queue.forEach(0, static_cast<std::size_t>(count), [&](const Record& record) { out[i++] = transform(record); });
    }
    queue.reset();
}

} // namespace

void MathLib::readSpectralDataPercentsArr(_SpectralDataPercents* out, int& count) {
    const bool weighted = zeroSpectWaves;
    const double wDelta = zeroSpectWavesMask.delta;
    const double wTheta = zeroSpectWavesMask.theta;
    const double wAlpha = zeroSpectWavesMask.alpha;
    const double wBeta = zeroSpectWavesMask.beta;
    const double wGamma = zeroSpectWavesMask.gamma;
    drain(averagedSpectra, out, count, [&](const _SpectralDataPercents& e) -> _SpectralDataPercents {
        if (!weighted)
            return e;
        // Weighted bands rescaled to add up to 1; the stored records stay.
        const double s = (((wDelta * e.delta + wTheta * e.theta) + wAlpha * e.alpha) + wBeta * e.beta) +
                         wGamma * e.gamma;
        if (s == 0.0)
            return {};
        return {wDelta * e.delta / s, wTheta * e.theta / s, wAlpha * e.alpha / s, wBeta * e.beta / s,
                wGamma * e.gamma / s};
    });
}

void MathLib::readMentalValsArr(_MindData* out, int& count) {
    drain(averagedMental, out, count, [](const _MindData& record) { return record; });
}

void MathLib::readAverageMentalData(int n, _MindData& out) const {
    const int available = static_cast<int>(averagedMental.size());
    if (n <= 0 || n > available) {
        out = currentMind;
        return;
    }
    // Added to what `out` holds (the C interface hands a zeroed record), then
    // divided: the mean of the n newest records.
    averagedMental.forEach(available - n, static_cast<std::size_t>(n), [&](const _MindData& record) {
        out.rel_attention += record.rel_attention;
        out.rel_relaxation += record.rel_relaxation;
        out.inst_attention += record.inst_attention;
        out.inst_relaxation += record.inst_relaxation;
    });
    out.rel_attention /= n;
    out.rel_relaxation /= n;
    out.inst_attention /= n;
    out.inst_relaxation /= n;
}

} // namespace OviMath::MathLib
