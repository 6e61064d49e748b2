#include "artifacts/artifacts_math.h"

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "shared/spectral_geometry.h"
#include "shared/truncated_int32.h"
#include "shared/two_lanes.h"
#include "shared/units.h"

namespace OviMath::Artifacts {

namespace {

using Types::_ArtifactInfo;

enum ArtifactType : int { noArtifact = 0, amplitudeArtifact = 1, spectralArtifact = 2 };

} // namespace

int advancedSamplePosition(int position, int step) {
    const std::int64_t next = static_cast<std::int64_t>(position) + step;
    const std::int64_t wrap = std::int64_t{1} << 31;
    return static_cast<int>(next >= wrap ? next - wrap : next);
}

namespace {

// Settings the C interface has validated; the window length must leave a
// transform length and the rate must be positive.
ArtifactsMath::Geometry geometryOf(int id, const Types::_ArtifactSetting& settings) {
    const int fftSize = OviMath::Functions::nearestTransformSize(settings.fft_window);
    if (fftSize == 0 || settings.sampling_rate <= 0)
        throw std::invalid_argument("artifact detector settings are out of range");
    const OviMath::Functions::BinGeometry bins = OviMath::Functions::binGeometry(fftSize, settings.sampling_rate);
    return {id,      settings.sampling_rate, settings.sampling_rate / settings.process_win_freq, settings.fft_window,
            fftSize, bins.binsPerHz,         bins.bins50Hz};
}

} // namespace

ArtifactsMath::ArtifactsMath(int id, Types::_ArtifactSetting settings)
    : fixed(geometryOf(id, settings)), fullWindowWeights(settings.fft_window) {
    fftInput.assign(static_cast<std::size_t>(fixed.fftSize), {0.0, 0.0});
    fftPlan = &OviMath::Functions::sharedPlan(static_cast<std::size_t>(fixed.fftSize));
    records.allocate(static_cast<std::size_t>(fixed.windowLength));
    qualityHistory.reserve(longestQualityHistory());
}

ArtifactsMath::~ArtifactsMath() = default;

int ArtifactsMath::getNearestPow2(int length) {
    if (const int size = OviMath::Functions::nearestTransformSize(length); size != 0)
        fixed.fftSize = size;
    return fixed.fftSize;
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
    FilterListHandle chain(create_TFilterList(&flag));
    if (!chain)
        throw std::bad_alloc();
    using Filter = FilterHandle;
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
    chainFilters = added;
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

    samplePosition = advancedSamplePosition(samplePosition, fixed.step);

    if (filterChain) {
        bool ignored = false;
        TFilterList_Filter_array(filterChain.get(), samples, count, &ignored);
    }

    // One pass converts each sample once, for the amplitude test and for the
    // spectrum's input; written without branches, so that it vectorises.
    const int m = count < fixed.windowLength ? count : fixed.windowLength;
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
    // (comparisons and one product per sample).
    const Lanes lower = {tooLarge.lower, tooLarge.lower};
    const Lanes upper = {tooLarge.upper, tooLarge.upper};
    const LaneMask positiveCanExceed = tooLarge.positiveCanExceed ? LaneMask{-1, -1} : LaneMask{0, 0};
    const Lanes gate = {static_cast<double>(amplitudeThreshold), static_cast<double>(amplitudeThreshold)};
    const Lanes flat = {3.0, 3.0};
    LaneMask badLanes = {0, 0};
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
            current = {samplePosition, true, verdict};
            recordChange();
        }
        return true;
    }
    if (inProgress) {
        current.position = samplePosition;
        current.is_start = false;
        recordChange();
        current.position = -1;
        current.type = noArtifact;
    }
    return false;
}

void ArtifactsMath::recordChange() { records.push(current); }

void ArtifactsMath::prepareSpectrumInput() {
    if (fftInput.size() != static_cast<std::size_t>(fixed.fftSize))
        fftInput.assign(static_cast<std::size_t>(fixed.fftSize), {0.0, 0.0}); // released by clearData
}

const double* ArtifactsMath::windowWeights(int m) {
    const OviMath::Functions::SpectralWindow window = OviMath::Functions::chooseSpectralWindow(useHamming, useHanning);
    if (m == fixed.windowLength)
        return fullWindowWeights.of(window);
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
    const int m = count < fixed.windowLength ? count : fixed.windowLength;
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
    const double bandLowBin = fixed.binsPerHz * bandLowHz;
    const double bandHighBin = fixed.binsPerHz * bandHighHz;
    for (std::uint64_t k = 0; k < fixed.spectrumBins; ++k) {
        const double re = fftInput[k].real();
        const double im = fftInput[k].imag();
        const double amplitude = 2.0 * std::sqrt(re * re + im * im);
        const double power = amplitude * amplitude;
        totalPower += power;
        const double bin = static_cast<double>(k);
        if (bandLowBin <= bin && bin < bandHighBin)
            bandPower += power;
    }

    lastPowers = {totalPower, bandPower};

    // A score below 0 (a negative threshold a host may set) counts as 0, so
    // the quality stays a percentage; the verdict is the same either way.
    double powerScore = 0.0;
    if (totalPower >= 100.0)
        powerScore = totalPowerThreshold > totalPower ? 1.0 : std::max(0.0, totalPowerThreshold / totalPower);
    updateQuality(powerScore);

    if (detectByTotalPower)
        return powerScore < 0.25;
    const double bandMean = bandPower / (fixed.binsPerHz * (bandHighHz - bandLowHz));
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

std::size_t ArtifactsMath::drainArtifactRecords(Types::_ArtifactInfo* out) {
    const std::size_t count = records.size();
    std::size_t i = 0;
    records.forEach(0, count, [&](const _ArtifactInfo& record) { out[i++] = record; });
    clearData();
    return count;
}

} // namespace OviMath::Artifacts
