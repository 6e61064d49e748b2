#include "artifacts/artifacts_math.h"

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "shared/spectral_window.h"
#include "shared/truncated_int32.h"
#include "shared/units.h"

namespace OviMath::Artifacts {

namespace {

using Types::_ArtifactInfo;

enum ArtifactType : int { noArtifact = 0, amplitudeArtifact = 1, spectralArtifact = 2 };

struct FilterDeleter {
    void operator()(TFilterHandle* filter) const {
        bool ignored = false;
        delete_TFilter(filter, &ignored);
    }
};

// Two doubles in one register, for the per-sample loop; loads and stores
// that need only 8-byte alignment. (A typedef: clang ignores a lowered
// alignment on a using-declaration, and would then assume 16 bytes.)
using Lanes = double __attribute__((vector_size(16)));
using Mask = long long __attribute__((vector_size(16)));
typedef double UnalignedLanes __attribute__((vector_size(16), aligned(8), may_alias));
Lanes loadLanes(const double* p) { return *reinterpret_cast<const UnalignedLanes*>(p); }
void storeLanes(double* p, Lanes v) { *reinterpret_cast<UnalignedLanes*>(p) = v; }

} // namespace

int advancedSamplePosition(int position, int step) {
    const std::int64_t next = static_cast<std::int64_t>(position) + step;
    const std::int64_t wrap = std::int64_t{1} << 31;
    return static_cast<int>(next >= wrap ? next - wrap : next);
}

void ArtifactsMath::FilterListDeleter::operator()(TFilterListHandle* list) const {
    bool ignored = false;
    delete_TFilterList(list, &ignored);
}

ArtifactsMath::ArtifactsMath(int id, Types::_ArtifactSetting settings)
    : detectorId(id),
      samplingRate(settings.sampling_rate),
      step(settings.sampling_rate / settings.process_win_freq),
      windowLength(settings.fft_window) {
    if (getNearestPow2(windowLength) == 0 || samplingRate <= 0)
        throw std::invalid_argument("artifact detector settings are out of range");
    binsPerHz_ = static_cast<double>(fftSize_) / static_cast<double>(samplingRate);
    spectrumBins_ = static_cast<unsigned>(std::floor(binsPerHz_ * 50.0));
    fftInput.assign(static_cast<std::size_t>(fftSize_), {0.0, 0.0});
    fftPlan = &OviMath::Functions::sharedPlan(static_cast<std::size_t>(fftSize_));
    records.allocate(static_cast<std::size_t>(windowLength));
    unitWeights.assign(static_cast<std::size_t>(windowLength), 1.0);
    hammingWeights.resize(static_cast<std::size_t>(windowLength));
    hanningWeights.resize(static_cast<std::size_t>(windowLength));
    for (int i = 0; i < windowLength; ++i) {
        using OviMath::Functions::SpectralWindow;
        hammingWeights[static_cast<std::size_t>(i)] =
            OviMath::Functions::spectralWindowWeight(SpectralWindow::Hamming, i, windowLength);
        hanningWeights[static_cast<std::size_t>(i)] =
            OviMath::Functions::spectralWindowWeight(SpectralWindow::Hanning, i, windowLength);
    }
    qualityHistory.reserve(longestQualityHistory());
}

ArtifactsMath::~ArtifactsMath() = default;

int ArtifactsMath::getNearestPow2(int length) {
    // A candidate 100000 or more above the window is never taken.
    long long bestDifference = 100000;
    for (const int candidate : fftSizeCandidates) {
        const long long difference = static_cast<long long>(candidate) - length;
        if (difference >= 0 && difference < bestDifference) {
            fftSize_ = candidate;
            bestDifference = difference;
        }
    }
    return fftSize_;
}

void ArtifactsMath::initArtifactDetect(int amplitude, int bandPower, int badPercent, int historyLength) {
    amplitudeThreshold = amplitude;
    bandPowerThreshold = bandPower;
    badSamplesPercent = badPercent;
    qualityHistoryLength = historyLength;

    // Keep only the newest scores that the new length allows, oldest first.
    std::rotate(qualityHistory.begin(), qualityHistory.begin() + static_cast<std::ptrdiff_t>(qualityOldest),
                qualityHistory.end());
    qualityOldest = 0;
    const std::size_t longest = longestQualityHistory();
    if (qualityHistory.size() > longest)
        qualityHistory.erase(qualityHistory.begin(),
                             qualityHistory.end() - static_cast<std::ptrdiff_t>(longest));
    // Reserved now so that judging windows never allocates; an absurdly long
    // history grows as scores arrive instead of claiming its memory at once.
    constexpr std::size_t reservedAtMost = std::size_t{1} << 16;
    qualityHistory.reserve(std::min(longest, reservedAtMost));
}

std::size_t ArtifactsMath::longestQualityHistory() const {
    // A history length below 1 behaves as 1: the newest score alone.
    return qualityHistoryLength < 1 ? 1 : static_cast<std::size_t>(qualityHistoryLength);
}

void ArtifactsMath::initFilters(int mainsFrequencyHz, Resistance resistance) {
    // The detector reaches its filters through the filter C interface, as a
    // host would. A filter that failed to build (a null handle) is refused by
    // TFilterList_AddFilter and simply missing from the chain.
    bool flag = false;
    std::unique_ptr<TFilterListHandle, FilterListDeleter> chain(create_TFilterList(&flag));
    if (!chain)
        throw std::bad_alloc();
    using Filter = std::unique_ptr<TFilterHandle, FilterDeleter>;
    const Filter bandStop50(create_custom_TFilter(OviMath::Types::K_bs_45_55_4, &flag));
    const Filter bandStop60(create_custom_TFilter(OviMath::Types::K_bs_55_65, &flag));
    const Filter bandStop62(create_custom_TFilter(OviMath::Types::K_bs_62, &flag));
    const Filter highPass(create_custom_TFilter(OviMath::Types::K_hp_10_Cheb3, &flag));
    const Filter lowPass(create_custom_TFilter(OviMath::Types::K_lp_30, &flag));

    std::vector<TFilterHandle*> order;
    if (mainsFrequencyHz == 50)
        order.push_back(bandStop50.get());
    else if (mainsFrequencyHz == 60)
        order.push_back(bandStop60.get());
    if (resistance == Resistance::On)
        order.push_back(bandStop62.get());
    order.push_back(highPass.get());
    order.push_back(lowPass.get());
    std::size_t added = 0;
    for (TFilterHandle* filter : order) {
        TFilterList_AddFilter(chain.get(), filter, &flag);
        added += flag ? 0 : 1;
    }

    filterChain = std::move(chain);
    filterCount_ = added;
}

void ArtifactsMath::setArtifactDetectByTotalPower(int threshold) {
    totalPowerThreshold = threshold;
    detectByTotalPower = true;
}

void ArtifactsMath::resetArtifactLocation() {
    current.position = -1;
    current.type = noArtifact;
}

bool ArtifactsMath::isArtifactedWin(double* samples, int count, bool /*unused*/, int* qualityOut) {
    if (count < 0)
        count = 0;

    samplePosition_ = advancedSamplePosition(samplePosition_, step);

    if (filterChain) {
        bool ignored = false;
        TFilterList_Filter_array(filterChain.get(), samples, count, &ignored);
    }

    // One pass converts each sample once, for the amplitude test and for the
    // spectrum's input; written without branches, so that it vectorises.
    const int m = count < windowLength ? count : windowLength;
    prepareSpectrumInput();
    const double* weights = windowWeights(m);
    const TruncatedMagnitudeLimit tooLarge(amplitudeThreshold);
    // Bad: not a number, too large, or too flat (|uv| truncated below 3).
    const auto bad = [&](double uv) { return static_cast<int>(tooLarge.exceededBy(uv) || truncatedMagnitudeBelow(uv, 3)); };
    // The transform's input as plain doubles, real and imaginary parts.
    double* input = reinterpret_cast<double*>(fftInput.data());
    int badSamples = 0;
    int i = 0;
    // Two samples per step, each lane doing what the scalar loop below does
    // (comparisons and one product per sample): the compiler does not
    // vectorise comparisons that may meet a NaN on its own.
    const Lanes lower = {tooLarge.lower, tooLarge.lower};
    const Lanes upper = {tooLarge.upper, tooLarge.upper};
    const Mask positiveCanExceed = tooLarge.positiveCanExceed ? Mask{-1, -1} : Mask{0, 0};
    const Lanes gate = {static_cast<double>(amplitudeThreshold), static_cast<double>(amplitudeThreshold)};
    const Lanes flat = {3.0, 3.0};
    Mask badLanes = {0, 0};
    for (; i + 2 <= m; i += 2) {
        const Lanes uv = loadLanes(samples + i) * microvoltsPerVolt;
        const Lanes size = uv < 0.0 ? -uv : uv;
        badLanes -= ~(uv > lower) | (positiveCanExceed & (uv >= upper)) | (size < flat);
        const Lanes weighted = uv * loadLanes(weights + i);
        const Lanes re = size < gate ? weighted : Lanes{0.0, 0.0};
        storeLanes(input + 2 * i, Lanes{re[0], 0.0});
        storeLanes(input + 2 * i + 2, Lanes{re[1], 0.0});
    }
    badSamples = static_cast<int>(badLanes[0] + badLanes[1]);
    for (; i < m; ++i) {
        const double uv = samples[i] * microvoltsPerVolt;
        badSamples += bad(uv);
        input[2 * i] = spectrumValue(uv, weights, i);
        input[2 * i + 1] = 0.0;
    }
    for (i = m; i < count; ++i)
        badSamples += bad(samples[i] * microvoltsPerVolt);
    // Saturated: a host may tune any percentage, and a product beyond the
    // integer range would be an undefined conversion.
    const int badSampleLimit = truncateToInt32(badSamplesPercent / 100.0 * count).value;

    const bool spectralVerdict = spectralTest(m);
    *qualityOut = static_cast<int>(quality);

    int verdict = noArtifact;
    if (badSamples > badSampleLimit)
        verdict = amplitudeArtifact;
    else if (spectralVerdict)
        verdict = spectralArtifact;

    const bool inProgress = current.position != -1;
    if (verdict != noArtifact) {
        if (!inProgress) {
            current = {samplePosition_, true, verdict};
            recordChange();
        }
        return true;
    }
    if (inProgress) {
        current.position = samplePosition_;
        current.is_start = false;
        recordChange();
        current.position = -1;
        current.type = noArtifact;
    }
    return false;
}

void ArtifactsMath::recordChange() { records.push(current); }

void ArtifactsMath::prepareSpectrumInput() {
    if (fftInput.size() != static_cast<std::size_t>(fftSize_))
        fftInput.assign(static_cast<std::size_t>(fftSize_), {0.0, 0.0}); // released by clearData
}

const double* ArtifactsMath::windowWeights(int m) {
    using OviMath::Functions::SpectralWindow;
    const SpectralWindow window = OviMath::Functions::chooseSpectralWindow(useHamming, useHanning);
    if (m == windowLength)
        return (window == SpectralWindow::Hamming ? hammingWeights
                                                  : (window == SpectralWindow::Hanning ? hanningWeights : unitWeights))
            .data();
    // A window shorter than configured (a host's short count) has weights of
    // its own length.
    shortWindowWeights.resize(static_cast<std::size_t>(m));
    for (int i = 0; i < m; ++i)
        shortWindowWeights[static_cast<std::size_t>(i)] = OviMath::Functions::spectralWindowWeight(window, i, m);
    return shortWindowWeights.data();
}

double ArtifactsMath::spectrumValue(double microvolts, const double* weights, int i) const {
    // Samples at or above the threshold (and NaNs) are left out of the
    // spectrum; the window weight (1 without a window function) still runs
    // over every position.
    return truncatedMagnitudeBelow(microvolts, amplitudeThreshold) ? microvolts * weights[i] : 0.0;
}

bool ArtifactsMath::checkSpectralArtifacts(const double* samples, int count) {
    if (count < 0)
        count = 0;
    const int m = count < windowLength ? count : windowLength;
    prepareSpectrumInput();
    const double* weights = windowWeights(m);
    for (int i = 0; i < m; ++i)
        fftInput[static_cast<std::size_t>(i)] = {spectrumValue(samples[i] * microvoltsPerVolt, weights, i), 0.0};
    return spectralTest(m);
}

bool ArtifactsMath::spectralTest(int m) {
    for (std::size_t i = static_cast<std::size_t>(m); i < fftInput.size(); ++i)
        fftInput[i] = {0.0, 0.0};

    fftPlan->transform(fftInput.data());

    double totalPower = 0.0;
    double bandPower = 0.0;
    const double bandLowBin = binsPerHz_ * bandLowHz;
    const double bandHighBin = binsPerHz_ * bandHighHz;
    for (unsigned k = 0; k < spectrumBins_; ++k) {
        const double re = fftInput[k].real();
        const double im = fftInput[k].imag();
        const double amplitude = 2.0 * std::sqrt(re * re + im * im);
        const double power = amplitude * amplitude;
        totalPower += power;
        const double bin = static_cast<double>(k);
        if (bandLowBin <= bin && bin < bandHighBin)
            bandPower += power;
    }

    lastTotalPower_ = totalPower;
    lastBandPower_ = bandPower;

    // A score below 0 (a negative threshold a host may set) counts as 0, so
    // the quality stays a percentage; the verdict is the same either way.
    double powerScore = 0.0;
    if (totalPower >= 100.0)
        powerScore = totalPowerThreshold > totalPower ? 1.0 : std::max(0.0, totalPowerThreshold / totalPower);
    updateQuality(powerScore);

    if (detectByTotalPower)
        return powerScore < 0.25;
    const double bandMean = bandPower / (binsPerHz_ * (bandHighHz - bandLowHz));
    return bandMean > bandPowerThreshold || bandMean < 100.0;
}

void ArtifactsMath::updateQuality(double powerScore) {
    if (qualityHistory.size() < longestQualityHistory()) {
        qualityHistory.push_back(powerScore);
    } else {
        qualityHistory[qualityOldest] = powerScore;
        qualityOldest = (qualityOldest + 1) % qualityHistory.size();
    }
    // Summed from zero, oldest score first, whatever slot it sits in.
    double sum = 0.0;
    for (std::size_t i = qualityOldest; i < qualityHistory.size(); ++i)
        sum += qualityHistory[i];
    for (std::size_t i = 0; i < qualityOldest; ++i)
        sum += qualityHistory[i];
    quality = std::round(100.0 * (sum / static_cast<double>(qualityHistory.size())));
}

void ArtifactsMath::clearData() {
    records.reset();
    ComplexArray().swap(fftInput);
}

} // namespace OviMath::Artifacts
