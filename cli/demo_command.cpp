// kalo demo: the synthetic recording through the engine, with the mean
// relaxation of its eyes-open and eyes-closed stretches beside the summary.

#include <fmt/format.h>

#include "atomic_file.h"
#include "commands.h"
#include "demo.h"
#include "edf_file.h"
#include "output_guard.h"
#include "summary.h"

namespace kalo::cli {

namespace {

std::vector<EdfAnnotation> demoAnnotations(const DemoRecording& demo) {
    std::vector<EdfAnnotation> annotations;
    for (const DemoStretch& s : demo.stretches)
        annotations.push_back({s.beginSec, s.endSec - s.beginSec, demoStateName(s.state)});
    for (const double b : demo.blinkSec)
        annotations.push_back({b, 0.5, "blink"});
    return annotations;
}

} // namespace

int runDemo(const DemoOptions& o) {
    std::vector<std::filesystem::path> written;
    for (const std::string& path : {o.writePath, o.summaryJson})
        if (!path.empty())
            written.emplace_back(path);
    checkOutputs(written, {}, o.overwrite);
    const DemoRecording demo = synthesiseDemo();
    if (!o.writePath.empty()) {
        AtomicFile file(o.writePath);
        writeEdf(file.temporaryPath().string(), namesBdf(o.writePath), demo.recording, demoAnnotations(demo));
        file.commit();
        fmt::print("wrote {} (two channels, Left and Right, at {} Hz); try: kalo analyze {}\n\n", o.writePath,
                   kDemoRateHz, o.writePath);
    }

    const EngineInput input = chooseChannels(demo.recording, {}, std::nullopt);
    SummaryBuilder builder(input, o.engine, "demo (synthetic)");
    std::vector<Row> rows;
    const RunInfo info = analyse(input, o.engine, [&](const Row& row) {
        builder.add(row);
        rows.push_back(row);
    });

    // A record reflects the window that ends at its time, the windows of the
    // mental estimate before it, and half a second of smoothing: only records
    // that far into a stretch describe that stretch alone.
    const double lagSec = static_cast<double>(info.fftWindow) / info.rateHz +
                          o.engine.mentalAndSpectral.mental_estimation_sec + 0.5;
    LevelMeans open, closed;
    for (const Row& row : rows) {
        if (!builder.settled(row))
            continue;
        for (const DemoStretch& s : demo.stretches)
            if (row.timeSec >= s.beginSec + lagSec && row.timeSec <= s.endSec) {
                if (s.state == DemoState::EyesOpen)
                    open.add(row);
                else if (s.state == DemoState::EyesClosed)
                    closed.add(row);
            }
    }
    Summary summary = builder.finish(info);
    summary.stretches = {{demoStateName(DemoState::EyesOpen), open.finished()},
                         {demoStateName(DemoState::EyesClosed), closed.finished()}};
    fmt::print("{}", formatSummary(summary));
    if (!o.summaryJson.empty()) {
        AtomicFile file(o.summaryJson);
        fmt::print(file.stream(), "{}\n", summaryJson(summary).dump(2));
        file.commit();
    }
    return 0;
}

} // namespace kalo::cli
