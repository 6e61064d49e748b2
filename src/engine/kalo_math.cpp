// Construction and destruction of the engine, its derived sizes, and the
// setters that only store a choice.

#include "engine/kalo_math.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <string>

#include "shared/spectral_window.h"
#include "shared/status_boundary.h"

namespace OviMath::MathLib {

namespace {

// The transform lengths the engine chooses from, ascending.
constexpr std::array<int, 15> fftSizes{32,    64,    128,   256,    512,    1024,   2048,  4096,
                                       8192,  16384, 32768, 65536, 131072, 262144, 524288};

// a x b for two settings, kept within int: a count of windows beyond that is
// as good as never reached.
int saturatedProduct(int a, int b) {
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    return product > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(product);
}

} // namespace

void MathLib::FilterListDeleter::operator()(TFilterListHandle* list) const {
    bool ignored = false;
    delete_TFilterList(list, &ignored);
}

void MathLib::FilterDeleter::operator()(TFilterHandle* filter) const {
    bool ignored = false;
    delete_TFilter(filter, &ignored);
}

void MathLib::DetectorDeleter::operator()(_ArtifactsMath* detector) const { freeArtifactsMath(detector); }

MathLib::Chain MathLib::makeChain() {
    // With the library's own fixed texts a filter call can only fail for
    // want of memory; a chain missing a filter would quietly give other
    // numbers, so that is reported instead.
    bool failed = false;
    Chain chain;
    chain.list.reset(create_TFilterList(&failed));
    if (failed || !chain.list)
        throw std::bad_alloc();
    const std::array<const char*, 5> texts{K_bs_45_55_4, K_bs_55_65, K_bs_62, K_hp_10_Cheb3, K_lp_30};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        chain.filters[i].reset(create_custom_TFilter(texts[i], &failed));
        if (failed || !chain.filters[i])
            throw std::bad_alloc();
    }
    return chain;
}

MathLib::Detector MathLib::makeDetector(int number, const _MathLibSetting& settings) {
    _OutStatus status{};
    Detector detector(createArtifactsMath(
        number, _ArtifactSetting{settings.sampling_rate, settings.process_win_freq, settings.fft_window}, &status));
    if (!detector)
        throw status;
    return detector;
}

void MathLib::setUpDetector(_ArtifactsMath* detector, const _ArtifactDetectSetting& settings) {
    // These calls cannot fail on a detector that exists; their statuses carry
    // nothing to act on.
    ArtifactsMathInit(detector, settings.amplitude_threshold, settings.band_power_threshold,
                      settings.bad_samples_percent, settings.quality_history_length);
    if (settings.use_hanning)
        ArtifactsMathSetHanningWinSpect(detector);
    else if (settings.use_hamming)
        ArtifactsMathSetHammingWinSpect(detector);
    if (settings.detect_by_total_power)
        ArtifactsMathSetArtifactDetectByTotalPower(detector, settings.total_power_threshold);
}

MathLib::MathLib(_MathLibSetting mathLib, _ArtifactDetectSetting artifactDetect,
                 _ShortArtifactDetectSetting shortArtifactDetect, _MentalAndSpectralSetting mentalAndSpectral)
    : samplingRate(mathLib.sampling_rate),
      channelsNumber(mathLib.channels_number),
      channelForAnalysis(mathLib.channel_for_analysis),
      processWinFreq(mathLib.process_win_freq),
      fftWindow(mathLib.fft_window),
      windowShift(mathLib.sampling_rate / mathLib.process_win_freq),
      windowEndIndex(mathLib.fft_window - mathLib.sampling_rate / mathLib.process_win_freq),
      firstSecSkipped(mathLib.n_first_sec_skipped),
      calibrationLength(mathLib.process_win_freq * 8),
      averagingWinsCount(mentalAndSpectral.spectral_averaging_sec * mathLib.process_win_freq),
      instantWinsCount(mentalAndSpectral.mental_estimation_sec * mathLib.process_win_freq),
      artifactSequenceWins(saturatedProduct(artifactDetect.artifact_sequence_sec, mathLib.process_win_freq)),
      amplitudeThreshold(artifactDetect.amplitude_threshold),
      // Samples per sub-window and per half-stretch: both divisions drop the
      // remainder (at 300 Hz a sample lasts "3 ms", so 200 ms are 66 samples).
      peakWinSamples(shortArtifactDetect.peak_win_ms / (1000 / mathLib.sampling_rate)),
      peakAreaSamples(shortArtifactDetect.peak_area_ms / (1000 / mathLib.sampling_rate)),
      peakThreshold(shortArtifactDetect.peak_threshold),
      bipolarMode(mathLib.bipolar_mode),
      usePowerSpectrum(mathLib.use_power_spectrum) {
    const std::size_t n = static_cast<std::size_t>(fftWindow);
    const std::size_t bufferSize = static_cast<std::size_t>(BufferSize);

    samplesMicrovolt.allocate(bufferSize);
    samplesVolt.allocate(bufferSize);
    channelSamplesMicrovolt.allocate(bufferSize);
    channelSamplesVolt.allocate(bufferSize);
    averagedSpectra.allocate(static_cast<std::size_t>(SpectralPercentsArraySize));
    rawAlphaBetaHistory.allocate(static_cast<std::size_t>(SpectralPercentsArraySize));
    instantSpectra.allocate(static_cast<std::size_t>(AttEstBufferSize));
    calibrationShares.assign(static_cast<std::size_t>(calibrationLength), _RawSpectVals{});
    averagedMental.allocate(static_cast<std::size_t>(MentalValueArraySize));
    instantMental.allocate(static_cast<std::size_t>(MentalValueArraySize));
    windowLeft.assign(n, 0.0);
    windowRight.assign(n, 0.0);
    spectralWindow.assign(n, 0.0);
    filterChunk.assign((bipolarMode ? 2 : static_cast<std::size_t>(channelsNumber)) * filterChunkSize, 0.0);
    peakLeft.assign(n, 0.0);
    peakRight.assign(n, 0.0);
    peakPositionsLeft.assign(n / static_cast<std::size_t>(peakWinSamples), -1);
    peakPositionsRight.assign(n / static_cast<std::size_t>(peakWinSamples), -1);
    peakMaximaLeft.assign(n / static_cast<std::size_t>(peakWinSamples), -1.0);
    peakMaximaRight.assign(n / static_cast<std::size_t>(peakWinSamples), -1.0);

    if (bipolarMode) {
        leftChain = makeChain();
        rightChain = makeChain();
        leftDetector = makeDetector(1, mathLib);
        rightDetector = makeDetector(2, mathLib);
        for (Chain* chain : {&leftChain, &rightChain})
            for (const Filter& filter : chain->filters) {
                bool failed = false;
                TFilterList_AddFilter(chain->list.get(), filter.get(), &failed);
                if (failed)
                    throw std::bad_alloc();
            }
        setUpDetector(leftDetector.get(), artifactDetect);
        setUpDetector(rightDetector.get(), artifactDetect);
    } else {
        const std::size_t channels = static_cast<std::size_t>(channelsNumber);
        channelChains.reserve(channels);
        channelDetectors.reserve(channels);
        for (int c = 0; c < channelsNumber; ++c) {
            channelChains.push_back(makeChain());
            channelDetectors.push_back(makeDetector(c, mathLib));
        }
        for (std::size_t c = 0; c < channels; ++c) {
            for (const Filter& filter : channelChains[c].filters) {
                bool failed = false;
                TFilterList_AddFilter(channelChains[c].list.get(), filter.get(), &failed);
                if (failed)
                    throw std::bad_alloc();
            }
            setUpDetector(channelDetectors[c].get(), artifactDetect);
        }
        channelSlotsMicrovolt.resize(bufferSize);
        channelSlotsVolt.resize(bufferSize);
        channelWindows.assign(channels * n, 0.0);
        channelVerdicts.assign(channels, 0);
        channelMaxima.assign(channels * (n / static_cast<std::size_t>(peakWinSamples)), -1.0);
        channelQualities.assign(channels, 0.0);
    }
    hanningWinSpect = artifactDetect.use_hanning;
    hammingWinSpect = !artifactDetect.use_hanning && artifactDetect.use_hamming;

    getNearestPow2(fftWindow);
    binsPerHz = static_cast<double>(fftSize) / static_cast<double>(samplingRate);
    bins50Hz = static_cast<std::uint64_t>(std::floor(binsPerHz * 50.0));

    bandWidths[0] = bandBorders[0] - 1;
    for (std::size_t i = 1; i < bandBorders.size(); ++i)
        bandWidths[i] = bandBorders[i] - bandBorders[i - 1];

    // Everything the spectral step recomputes identically for every window:
    // the transform plan, the window weights, and each examined bin's band.
    // A bin k belongs to the first band whose edges in bins (edge in Hz x
    // binsPerHz, as doubles) hold it; bin 0 is in none.
    spectrum.assign(static_cast<std::size_t>(fftSize), {0.0, 0.0});
    fftPlan = &Functions::sharedPlan(static_cast<std::size_t>(fftSize));
    unitWeights.assign(n, 1.0);
    hammingWeights.resize(n);
    hanningWeights.resize(n);
    for (int j = 0; j < fftWindow; ++j) {
        hammingWeights[static_cast<std::size_t>(j)] =
            Functions::spectralWindowWeight(Functions::SpectralWindow::Hamming, j, fftWindow);
        hanningWeights[static_cast<std::size_t>(j)] =
            Functions::spectralWindowWeight(Functions::SpectralWindow::Hanning, j, fftWindow);
    }
    binBand.assign(static_cast<std::size_t>(bins50Hz), -1);
    for (std::uint64_t k = 0; k < bins50Hz; ++k) {
        const double f = static_cast<double>(k);
        double lower = 0.0;
        for (int band = Delta; band < BandCount; ++band) {
            const double upper = bandBorders[static_cast<std::size_t>(band)] * binsPerHz;
            const bool inBand = band == Delta ? (k >= 1 && f < upper) : (lower <= f && f < upper);
            if (inBand) {
                binBand[k] = static_cast<signed char>(band);
                break;
            }
            lower = upper;
        }
    }
}

MathLib::~MathLib() = default;

int MathLib::getNearestPow2(int n) {
    for (const int size : fftSizes)
        if (size >= n) {
            fftSize = size;
            break;
        }
    return fftSize;
}

MathLib::Geometry MathLib::geometry() const {
    return {samplingRate,       fftWindow,       windowShift,     fftSize,       calibrationLength,
            averagingWinsCount, instantWinsCount, artifactSequenceWins, peakWinSamples, peakAreaSamples,
            peakThreshold,      binsPerHz,       bins50Hz};
}

std::size_t MathLib::detectorCount() const {
    return channelDetectors.size() + (leftDetector ? 1 : 0) + (rightDetector ? 1 : 0);
}

_ArtifactsMath* MathLib::sideDetector(_SideType side) const {
    return side == LEFT ? leftDetector.get() : (side == RIGHT ? rightDetector.get() : nullptr);
}

_ArtifactsMath* MathLib::channelDetector(int channel) const {
    return channelDetectors.at(static_cast<std::size_t>(channel)).get();
}

std::size_t MathLib::filterListCount() const {
    return channelChains.size() + (leftChain.list ? 1 : 0) + (rightChain.list ? 1 : 0);
}

void MathLib::setHanningWinSpect() {
    hanningWinSpect = true;
    // In multichannel mode there are no side detectors: the calls only
    // report a null handle, and the channel detectors keep their window.
    ArtifactsMathSetHanningWinSpect(leftDetector.get());
    ArtifactsMathSetHanningWinSpect(rightDetector.get());
}

void MathLib::setHammingWinSpect() {
    hammingWinSpect = true;
    ArtifactsMathSetHammingWinSpect(leftDetector.get());
    ArtifactsMathSetHammingWinSpect(rightDetector.get());
}

void MathLib::setWeightsForSpectra(_SpectralDataPercents weights) {
    for (const double weight : {weights.delta, weights.theta, weights.alpha, weights.beta, weights.gamma})
        // Written so that NaN fails too.
        if (!(std::isfinite(weight) && weight >= minimumSpectWeight))
            Status::refuse("Spectral weights must be finite numbers of at least 1e-12; to leave a band out, use "
                           "MathLibSetZeroSpectWaves");
    spectWeights = weights;
}

void MathLib::setZeroSpectWaves(bool on, _SpectralData mask) {
    for (const int weight : {mask.delta, mask.theta, mask.alpha, mask.beta, mask.gamma})
        if (weight < 0)
            Status::refuse("Band weights must be 0 or more (0 leaves a band out)");
    zeroSpectWaves = on;
    zeroSpectWavesMask = mask;
}

void MathLib::setCallibrationLength(int seconds) {
    if (seconds <= 0)
        Status::refuse("Calibration length must be at least 1 second");
    const std::int64_t windows = static_cast<std::int64_t>(seconds) * processWinFreq;
    if (windows > std::numeric_limits<int>::max())
        Status::refuse("Calibration length is too long: its number of windows must fit in 32 bits");
    // The new store is built before anything changes, so running out of
    // memory leaves the length in force.
    std::vector<_RawSpectVals> store(static_cast<std::size_t>(windows), _RawSpectVals{});
    calibrationShares.swap(store);
    calibrationLength = static_cast<int>(windows);
}

void MathLib::setPrioritySide(_SideType side) {
    if (side != LEFT && side != RIGHT && side != NONE)
        Status::refuse("Priority side must be LEFT (0), RIGHT (1) or NONE (2)");
    prioritySide = side;
}

void MathLib::setSkipWinsAfterArtifact(int windows) {
    if (windows < 0)
        Status::refuse("Windows to skip after an artifact must be 0 or more");
    skipWinsAfterArtifact = windows;
}

} // namespace OviMath::MathLib
