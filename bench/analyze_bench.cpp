// `kalo analyze` on one hour of 250 Hz bipolar EDF against the engine alone
// on the same samples through its C interface, measured in one run, so the
// ratios say what reading the file, driving the engine and writing the rows
// cost on top of the engine's own work.
//
// - Analyze_EngineAlone: the hour's samples, already in memory, pushed one
//   window step at a time, processed, both queues and the flags read after
//   every push (what any host must do).
// - Analyze_Program/format: the kalo program as a user runs it, reading the
//   EDF and writing its rows to a file (csv, jsonl).
// - Analyze_Ratios: the three in turn in every iteration; the counters
//   csv_ratio and jsonl_ratio are program time over engine time.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "host/edf_recording.h"
#include "host/open_recording.h"
#include "kalo_artifacts.h"
#include "support/eeg_signals.h"

extern char** environ;

namespace {

constexpr int kRate = 250;
constexpr int kHour = 3600 * kRate;

const std::filesystem::path& folder() {
    static const std::filesystem::path dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "kalo-bench.XXXXXX").string();
        return std::filesystem::path(mkdtemp(pattern.data()));
    }();
    return dir;
}

// The hour as an EDF+ file (written once), and its samples as the program reads them.
const std::vector<double>& hourFrames() {
    static const std::vector<double> frames = [] {
        std::vector<double> left = kalo_test::eegLike(kHour, kRate, 1);
        std::vector<double> right = kalo_test::eegLike(kHour, kRate, 2, 15.0, 8.0);
        for (int i = 0; i < kHour; ++i)
            if (i % (20 * kRate) < 2 * kRate) { // a jaw clench every 20 s, which the detectors flag
                const double muscle = 30e-6 * std::sin(2.0 * std::numbers::pi * 20.0 * i / kRate);
                left[static_cast<std::size_t>(i)] += muscle;
                right[static_cast<std::size_t>(i)] += muscle;
            }
        const std::string edf = (folder() / "hour.edf").string();
        kalo::host::writeEdf(edf, false, kRate, {{"Left", &left}, {"Right", &right}}, {});
        const auto recording = kalo::host::openRecording(edf, {});
        std::vector<double> all(2 * static_cast<std::size_t>(kHour));
        const int both[] = {0, 1};
        recording->read(both, 0, kHour, all.data());
        return all;
    }();
    return frames;
}

double engineAloneSec() {
    const std::vector<double>& frames = hourFrames();
    const auto start = std::chrono::steady_clock::now();
    _MathLibSetting m = MathLibSettingDefault;
    m.sampling_rate = kRate;
    m.fft_window = 2 * kRate;
    m.bipolar_mode = true;
    _OutStatus s{};
    MathLib* e = createMathLib(m, ArtifactDetectSettingDefault, ShortArtifactDetectSettingDefault,
                               MentalAndSpectralSettingDefault, &s);
    MathLibStartCalibration(e, &s);
    const int step = kRate / m.process_win_freq;
    std::vector<_RawChannels> pairs(static_cast<std::size_t>(step));
    _SpectralDataPercents spectra[200];
    _MindData minds[150];
    _RawSpectVals raw{};
    int32_t percent = 0;
    bool flag = false;
    for (int first = 0; first < kHour; first += step) {
        for (int i = 0; i < step; ++i)
            pairs[static_cast<std::size_t>(i)] = {frames[2 * static_cast<std::size_t>(first + i)],
                                                  frames[2 * static_cast<std::size_t>(first + i) + 1]};
        MathLibPushData(e, pairs.data(), pairs.size(), &s);
        MathLibProcessDataArr(e, &s);
        int32_t n = 200, k = 150;
        MathLibReadSpectralDataPercentsArr(e, spectra, &n, &s);
        MathLibReadMentalDataArr(e, minds, &k, &s);
        MathLibReadRawSpectralVals(e, &raw, &s);
        MathLibGetCallibrationPercents(e, &percent, &s);
        MathLibCalibrationFinished(e, &flag, &s);
        MathLibIsBothSidesArtifacted(e, &flag, &s);
        MathLibIsArtifactedSequence(e, &flag, &s);
        benchmark::DoNotOptimize(minds[0]);
    }
    freeMathLib(e, &s);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double programSec(const std::string& format) {
    hourFrames(); // the file exists
    std::vector<std::string> args = {KALO_EXECUTABLE, "analyze", (folder() / "hour.edf").string(), "--quiet",
                                     "--overwrite", "--format", format, "--out-dir", (folder() / "out").string()};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    int status = 0;
    if (posix_spawn(&pid, KALO_EXECUTABLE, &actions, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1.0;
    return seconds;
}

void Analyze_EngineAlone(benchmark::State& state) {
    hourFrames();
    for (auto _ : state)
        state.SetIterationTime(engineAloneSec());
}
BENCHMARK(Analyze_EngineAlone)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void Analyze_Program(benchmark::State& state, const char* format) {
    for (auto _ : state) {
        const double seconds = programSec(format);
        if (seconds < 0) {
            state.SkipWithError("kalo analyze failed");
            break;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK_CAPTURE(Analyze_Program, csv, "csv")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Analyze_Program, jsonl, "jsonl")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void Analyze_Ratios(benchmark::State& state) {
    double engine = 0, csv = 0, jsonl = 0;
    for (auto _ : state) {
        const double e = engineAloneSec(), c = programSec("csv"), j = programSec("jsonl");
        engine += e;
        csv += c;
        jsonl += j;
        state.SetIterationTime(e + c + j);
    }
    state.counters["engine_s"] = engine / static_cast<double>(state.iterations());
    state.counters["csv_ratio"] = csv / engine;
    state.counters["jsonl_ratio"] = jsonl / engine;
}
BENCHMARK(Analyze_Ratios)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
