// kalo demo: the synthetic recording through the engine, with the mean
// relaxation of its eyes-open and eyes-closed stretches beside the summary.

#include <fmt/format.h>

#include "atomic_file.h"
#include "commands.h"
#include "demo.h"
#include "host/analyze_recording.h"
#include "host/edf_recording.h"
#include "json_output.h"
#include "output_guard.h"

namespace kalo::cli {

int runDemo(const DemoOptions& o) {
    std::vector<std::filesystem::path> written;
    for (const std::string& path : {o.writePath, o.summaryJson})
        if (!path.empty() && path != "-")
            written.emplace_back(path);
    checkOutputs(written, {}, o.overwrite);
    JsonOutput summaryJson(o.summaryJson);
    DemoRecording demo = synthesiseDemo(o.minutes);
    host::MemoryRecording& recording = *demo.recording;
    if (!o.writePath.empty()) {
        AtomicFile file(o.writePath);
        host::writeEdf(file.temporaryPath().string(), host::namesBdf(o.writePath), kDemoRateHz,
                       {{"Left", &recording.volts(0)}, {"Right", &recording.volts(1)}}, recording.events());
        file.commit();
        fmt::print("wrote {} (two channels, Left and Right, at {} Hz, with its stretches as annotations); try: "
                   "kalo analyze {}\n\n",
                   o.writePath, kDemoRateHz, o.writePath);
    }

    std::vector<host::Row> rows;
    host::Summary summary = host::analyseRecording(recording, o.host, [&](const host::Row& row) { rows.push_back(row); });

    // A record reflects the window that ends at its time, the windows of the
    // mental estimate before it, and half a second of smoothing: only records
    // that far into a stretch describe that stretch alone.
    const host::EngineConfig& config = o.host.engine;
    const double lagSec = static_cast<double>(config.fftWindow.value_or(2 * kDemoRateHz)) / kDemoRateHz +
                          config.mentalAndSpectral.mental_estimation_sec + 0.5;
    host::LevelMeans open, closed;
    host::SettledRows settled(config);
    for (const host::Row& row : rows) {
        if (!settled.counts(row))
            continue;
        for (const DemoStretch& s : demo.stretches)
            if (row.timeSec >= s.beginSec + lagSec && row.timeSec <= s.endSec) {
                if (s.state == DemoState::EyesOpen)
                    open.add(row);
                else if (s.state == DemoState::EyesClosed)
                    closed.add(row);
            }
    }
    summary.stretches = {{demoStateName(DemoState::EyesOpen), open.finished()},
                         {demoStateName(DemoState::EyesClosed), closed.finished()}};
    fmt::print(summaryJson.toStandardOutput() ? stderr : stdout, "{}", host::formatSummary(summary));
    summaryJson.write(host::summaryJson(summary));
    return 0;
}

} // namespace kalo::cli
