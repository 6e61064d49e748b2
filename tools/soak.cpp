// A day of use in one run: 250 Hz bipolar EEG pushed ten pairs at a time
// with processing after every push, both queues read every second, a
// calibration started every ten minutes and the electrodes off for one
// minute in every hour. Run by tools/soak.sh; not part of the test suite.
//
// It fails (exit 1) on the first call that does not succeed, the first
// published number that is not finite, a queue that holds more than its
// capacity, a second whose reads do not hold exactly the records its windows
// published, or resident memory that grows once the sample buffers have
// filled.
//
//   kalo_soak [--hours H]     24 by default

#include <kalo_artifacts.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int rateHz = 250;
constexpr int windowSamples = 500;              // two seconds per analysis window
constexpr int windowsPerSecond = 25;            // the default process_win_freq
constexpr int step = rateHz / windowsPerSecond; // samples between windows
constexpr int blockPairs = 10;                  // one push: exactly one window step
constexpr int skipWindows = 10;                 // clean windows repeated after an artifacted run
constexpr std::int64_t samplesPerMinute = 60 * rateHz;
constexpr std::int64_t samplesPerHour = 60 * samplesPerMinute;
// Once the engine's sample buffers have filled (a minute of samples),
// resident memory may not grow by more than this: the engine allocates
// nothing once built, and the program's own arrays are sized before the loop.
constexpr long rssToleranceKib = 64;

static_assert(blockPairs == step, "one window per push once the schedule runs: the record model counts per push");

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "soak: %s\n", what.c_str());
    std::exit(1);
}

void require(bool ok, const char* call, const _OutStatus& status) {
    if (!ok)
        fail(std::string(call) + " failed: " + std::to_string(status.error_code) + " " + status.error_msg);
}

long residentKib() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f == nullptr || std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
        fail("cannot read /proc/self/statm");
    std::fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Both channels of a scalp recording, microvolts, from rotating phasors and
// a linear congruential generator, so every run sees the same samples: a
// 10 Hz alpha rhythm that swells and fades every 20 seconds on broadband
// noise, a blink every 17 seconds (which the detectors let pass), and every
// 47 seconds a second and a half of jaw clenching, a 20 Hz burst that makes
// the windows around it artifacted on both sides. Electrode off, from minute
// 30 to 31 of every hour: a line within a microvolt of zero, as an
// amplifier reads an open input.
class Scalp {
public:
    _RawChannels next(std::int64_t n) {
        alpha_.turn();
        muscle_.turn();
        const double noiseLeft = uniform() - 0.5, noiseRight = uniform() - 0.5;
        if (n % samplesPerHour >= 30 * samplesPerMinute && n % samplesPerHour < 31 * samplesPerMinute)
            return {noiseLeft * 2e-6, noiseRight * 2e-6};
        const double size = (n / (20 * rateHz)) % 2 != 0 ? 30.0 : 8.0;
        double left = size * alpha_.re + 20.0 * noiseLeft, right = size * alpha_.im + 20.0 * noiseRight;
        const std::int64_t sinceBlink = n % (17 * rateHz);
        if (sinceBlink < rateHz / 3) { // a third of a second, up to 150 microvolts
            const double x = static_cast<double>(sinceBlink) / (rateHz / 3.0);
            left += 600.0 * x * (1.0 - x);
            right += 600.0 * x * (1.0 - x);
        }
        if (n % (47 * rateHz) < 3 * rateHz / 2) {
            left += 50.0 * muscle_.re;
            right += 50.0 * muscle_.im;
        }
        return {left * 1e-6, right * 1e-6};
    }

private:
    // A unit phasor turning by 2 pi hz / rate per sample.
    struct Phasor {
        explicit Phasor(double hz)
            : c(std::cos(2.0 * 3.141592653589793 * hz / rateHz)), s(std::sin(2.0 * 3.141592653589793 * hz / rateHz)) {}
        void turn() {
            const double r = re * c - im * s;
            im = re * s + im * c;
            re = r;
            if (++turns % rateHz == 0) { // back onto the unit circle now and then
                const double norm = std::sqrt(re * re + im * im);
                re /= norm;
                im /= norm;
            }
        }
        double c, s, re = 1.0, im = 0.0;
        std::int64_t turns = 0;
    };
    double uniform() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state_ >> 11) * 0x1.0p-53;
    }
    Phasor alpha_{10.0}, muscle_{20.0};
    std::uint64_t state_ = 20240601;
};

// The engine's window schedule, followed from outside: a window is due
// once `step` samples lie beyond the end of the last one, the first once
// more than a window of samples is stored. Once the sample buffer is full,
// every push moves the stored samples, and the scheduled window with them,
// by its count towards the oldest; the push during which the buffer fills
// moves them by its whole count too, so that push completes two windows.
class Schedule {
public:
    // The windows one push of `count` samples completes.
    int push(std::int64_t count) {
        stored_ = std::min<std::int64_t>(stored_ + count, BufferSize);
        if (stored_ == BufferSize)
            windowEnd_ -= count;
        int due = 0;
        for (const std::int64_t last = stored_ - 1; last - windowEnd_ >= step; windowEnd_ += step)
            ++due;
        return due;
    }

private:
    std::int64_t stored_ = 0;
    std::int64_t windowEnd_ = windowSamples - step;
};

template <class Record>
void requireFinite(const Record& record, const char* what) {
    double values[sizeof(Record) / sizeof(double)];
    std::memcpy(values, &record, sizeof values);
    for (const double v : values)
        if (!std::isfinite(v))
            fail(std::string(what) + " holds " + std::to_string(v));
}

} // namespace

int main(int argc, char** argv) {
    double hours = 24.0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--hours") == 0 && i + 1 < argc)
            hours = std::atof(argv[++i]);
        else
            fail("usage: kalo_soak [--hours H]");
    }
    if (!(hours > 0.0 && hours <= 24.0 * 365))
        fail("--hours takes a positive number");
    const std::int64_t totalSamples = static_cast<std::int64_t>(hours * static_cast<double>(samplesPerHour)) /
                                      blockPairs * blockPairs;

    _OutStatus status;
    _MathLibSetting settings = MathLibSettingDefault;
    settings.sampling_rate = rateHz;
    settings.fft_window = windowSamples;
    settings.process_win_freq = windowsPerSecond;
    settings.bipolar_mode = true;
    MathLib* engine = createMathLib(settings, ArtifactDetectSettingDefault, ShortArtifactDetectSettingDefault,
                                    MentalAndSpectralSettingDefault, &status);
    require(engine != nullptr, "createMathLib", status);
    require(MathLibSetSkipWinsAfterArtifact(engine, skipWindows, &status), "MathLibSetSkipWinsAfterArtifact", status);

    std::vector<_SpectralDataPercents> bands(static_cast<std::size_t>(SpectralPercentsArraySize));
    std::vector<_MindData> levels(static_cast<std::size_t>(MentalValueArraySize));
    _RawChannels block[blockPairs];
    Scalp scalp;

    // Records the engine publishes: one per window, except that the clean
    // window which ends the skip period after an artifacted run publishes
    // two (the repeat of the previous records, then its own). The run and
    // the skip count are followed from the engine's artifact flag after each
    // push. The one push that completes two windows (the buffer fills, at
    // 60 s) lies where the signal has no artifact, so both windows are clean
    // outside any run; the flag confirms it for the second, and had the first
    // been artifacted, the engine would publish one record more than counted
    // when that run's skip period ended, and that second's check would fail.
    Schedule schedule;
    bool inArtifactRun = false;
    int stillToSkip = 0;
    std::int64_t windows = 0, endedSkipPeriods = 0, artifactedWindows = 0, calibrations = 0;
    std::int64_t expectedUnread = 0, bandRecords = 0, levelRecords = 0;

    const long rssStart = residentKib();
    long rssBuffersFull = 0, rssHour = 0;
    const std::clock_t cpuStart = std::clock();

    for (std::int64_t pushed = 0; pushed < totalSamples;) {
        if (pushed % (10 * samplesPerMinute) == 0) {
            require(MathLibStartCalibration(engine, &status), "MathLibStartCalibration", status);
            ++calibrations;
        }
        for (_RawChannels& pair : block)
            pair = scalp.next(pushed++);
        require(MathLibPushData(engine, block, blockPairs, &status), "MathLibPushData", status);
        require(MathLibProcessDataArr(engine, &status), "MathLibProcessDataArr", status);

        const int due = schedule.push(blockPairs);
        windows += due;
        if (due > 0) {
            bool both = false;
            require(MathLibIsBothSidesArtifacted(engine, &both, &status), "MathLibIsBothSidesArtifacted", status);
            if (due > 1) {
                if (due > 2 || both || inArtifactRun)
                    fail("a push completed " + std::to_string(due) + " windows near an artifact");
                expectedUnread += 1; // the first of the two, clean outside any run
            }
            if (both) {
                ++artifactedWindows;
                inArtifactRun = true;
                stillToSkip = skipWindows;
                expectedUnread += 1;
            } else if (inArtifactRun && stillToSkip > 0) {
                --stillToSkip;
                expectedUnread += 1;
            } else if (inArtifactRun) {
                inArtifactRun = false;
                ++endedSkipPeriods;
                expectedUnread += 2;
            } else {
                expectedUnread += 1;
            }
        }

        if (pushed % rateHz == 0) { // every second: both queues drained
            int32_t bandSize = -1, levelSize = -1;
            require(MathLibReadSpectralDataPercentsArrSize(engine, &bandSize, &status), "bands size", status);
            require(MathLibReadMentalDataArrSize(engine, &levelSize, &status), "levels size", status);
            if (bandSize > SpectralPercentsArraySize || levelSize > MentalValueArraySize)
                fail("a queue holds more than its capacity");
            if (bandSize != expectedUnread || levelSize != expectedUnread)
                fail("at " + std::to_string(pushed / rateHz) + " s the queues hold " + std::to_string(bandSize) +
                     " and " + std::to_string(levelSize) + " records, the windows published " +
                     std::to_string(expectedUnread));
            int32_t bandCount = bandSize, levelCount = levelSize;
            require(MathLibReadSpectralDataPercentsArr(engine, bands.data(), &bandCount, &status), "bands", status);
            require(MathLibReadMentalDataArr(engine, levels.data(), &levelCount, &status), "levels", status);
            if (bandCount != bandSize || levelCount != levelSize)
                fail("a read returned fewer records than its queue held");
            for (int32_t i = 0; i < bandCount; ++i)
                requireFinite(bands[static_cast<std::size_t>(i)], "a band record");
            for (int32_t i = 0; i < levelCount; ++i)
                requireFinite(levels[static_cast<std::size_t>(i)], "a mental record");
            _MindData mean{};
            _RawSpectVals raw{};
            int32_t percents = -1;
            require(MathLibReadAverageMentalData(engine, windowsPerSecond, &mean, &status), "mean", status);
            require(MathLibReadRawSpectralVals(engine, &raw, &status), "raw values", status);
            require(MathLibGetCallibrationPercents(engine, &percents, &status), "calibration percents", status);
            requireFinite(mean, "the mean mental record");
            requireFinite(raw, "the raw values");
            if (percents < 0 || percents > 100)
                fail("calibration at " + std::to_string(percents) + " percent");
            bandRecords += bandCount;
            levelRecords += levelCount;
            expectedUnread = 0;
        }
        if (pushed == 2 * samplesPerMinute)
            rssBuffersFull = residentKib(); // the sample buffers hold a minute
        if (pushed == samplesPerHour)
            rssHour = residentKib();
    }
    const long rssEnd = residentKib();
    const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    require(freeMathLib(engine, &status), "freeMathLib", status);

    std::printf("simulated      %.2f h: %lld samples per side, %lld windows\n", hours,
                static_cast<long long>(totalSamples), static_cast<long long>(windows));
    std::printf("artifacted     %lld windows; %lld skip periods ended; %lld calibrations started\n",
                static_cast<long long>(artifactedWindows), static_cast<long long>(endedSkipPeriods),
                static_cast<long long>(calibrations));
    std::printf("records read   %lld band records, %lld mental records (windows + ended skip periods: %lld "
                "+ unread at the end %lld)\n",
                static_cast<long long>(bandRecords), static_cast<long long>(levelRecords),
                static_cast<long long>(windows + endedSkipPeriods), static_cast<long long>(expectedUnread));
    std::printf("resident KiB   start %ld, buffers full %ld, after 1 h %ld, end %ld\n", rssStart, rssBuffersFull,
                rssHour, rssEnd);
    std::printf("cpu            %.1f s\n", cpuSeconds);
    if (bandRecords + expectedUnread != windows + endedSkipPeriods || levelRecords != bandRecords)
        fail("the records read are not one per window plus one per ended skip period");
    for (const long later : {rssHour, rssEnd})
        if (rssBuffersFull > 0 && later > 0 && later - rssBuffersFull > rssToleranceKib)
            fail("resident memory grew by " + std::to_string(later - rssBuffersFull) +
                 " KiB after the buffers had filled");
    std::printf("soak passed\n");
    return 0;
}
