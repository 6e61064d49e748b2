#pragma once

// The band records of the windows: one entry per window for the estimation
// steps, their moving average that the host drains, and the raw alpha and
// beta values, the undivided bands averaged alike. Every window that
// produces output adds exactly one entry, computed, zero or repeated.

#include "engine/spectral_step.h"
#include "kalo_artifacts/types.h"
#include "shared/circular_buffer.h"

namespace OviMath::MathLib {

class SpectralRecords {
public:
    SpectralRecords(const _MathLibSetting& mathLib, const _MentalAndSpectralSetting& mentalAndSpectral);

    // A computed window: its raw values from the normalised alpha and beta,
    // then its shares as the current entry, appended and averaged.
    void addComputed(const BandValues& bands);
    // A window of the start-up period: an all-zero entry (the current one
    // stays).
    void addZero();
    // An artifacted or skipped window: a copy of the newest entry (all zero
    // when there is none).
    void addRepeat();

    // Refuses (code 1) a negative weight; the weighting in force stays. On,
    // the drained records are weighted and rescaled to add up to 1.
    void setZeroSpectWaves(bool on, _SpectralData mask);
    void readSpectralDataPercentsArr(_SpectralDataPercents* out, int& count);
    void readRawSpectVals(_RawSpectVals& out) const { out = rawSpectVals; }
    int spectralDataPercentsCount() const { return static_cast<int>(averagedSpectra.size()); }

    // The latest computed window's shares.
    const _SpectralDataPercents& currentValues() const { return currentSpectra; }
    // The per-window entries, newest last.
    const Buffer::CircularBuffer<_SpectralDataPercents>& instantQueue() const { return instantSpectra; }

private:
    void processDataRawAlphaBeta(const _SpectralDataPercents& normalised);
    void refreshSpectralValues();

    int averagingWinsCount;
    _SpectralDataPercents currentSpectra{};
    Buffer::CircularBuffer<_SpectralDataPercents> instantSpectra, averagedSpectra;
    Buffer::CircularBuffer<_RawSpectVals> rawAlphaBetaHistory;
    _RawSpectVals rawSpectVals{};
    bool zeroSpectWaves = false;
    _SpectralData zeroSpectWavesMask{};
};

} // namespace OviMath::MathLib
