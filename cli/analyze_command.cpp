// kalo analyze: every recording through its own engine, rows to stdout or to
// one file per recording, a summary of each.

#include <filesystem>
#include <optional>
#include <set>

#include <fmt/format.h>
#include <unistd.h>

#include "atomic_file.h"
#include "cli_error.h"
#include "commands.h"
#include "jobs.h"
#include "json_output.h"
#include "output_guard.h"
#include "host/analyze_recording.h"
#include "host/error.h"
#include "host/settings_file.h"
#include "progress.h"

namespace kalo::cli {

namespace fs = std::filesystem;

namespace {

void writeJsonFile(const std::string& path, const nlohmann::ordered_json& json) {
    AtomicFile file(path);
    fmt::print(file.stream(), "{}\n", json.dump(2));
    file.commit();
}

// One output file per recording, named after it; two recordings of the
// same name would overwrite each other.
std::vector<fs::path> outputPaths(const AnalyzeOptions& o) {
    std::vector<fs::path> paths;
    if (o.outDir.empty())
        return paths;
    std::error_code error;
    fs::create_directories(o.outDir, error);
    if (error)
        throw CliError(fmt::format("{}: cannot create the output folder: {}", o.outDir, error.message()));
    std::set<fs::path> seen;
    for (const std::string& r : o.recordings) {
        fs::path out = fs::path(o.outDir) / fs::path(r).stem();
        out += o.format == RowFormat::JsonLines ? ".jsonl" : ".csv";
        if (!seen.insert(out).second)
            throw CliError(fmt::format("two recordings would both be written to {}", out.string()));
        paths.push_back(out);
    }
    return paths;
}

host::Summary analyseOne(const AnalyzeOptions& o, std::size_t index, const std::vector<fs::path>& outputs,
                         ProgressBar& bar) {
    const std::string& path = o.recordings[index];
    const std::unique_ptr<host::Recording> recording =
        host::openRecording(path, o.host.read, o.host.name("rate"));

    std::optional<AtomicFile> file;
    std::FILE* out = stdout;
    if (!outputs.empty()) {
        file.emplace(outputs[index]);
        out = file->stream();
    }
    const auto writer = makeRowWriter(o.format, out);
    const std::string label = fs::path(path).filename().string();
    host::Summary summary;
    try {
        summary = host::analyseRecording(
            *recording, o.host, [&](const host::Row& row) { writer->write(row); },
            [&](double fraction) { bar.update(label, fraction); });
    } catch (const host::Error& e) {
        // Messages about the samples or settings do not name the file.
        const std::string what = e.what();
        throw host::Error(e.kind, what.rfind(path, 0) == 0 ? what : fmt::format("{}: {}", path, what));
    }
    if (!writer->flush())
        throw CliError(fmt::format("{}: cannot be written", outputs.empty() ? "standard output" : outputs[index].string()));
    if (file)
        file->commit();
    else if (std::fflush(stdout) != 0)
        throw CliError("cannot write to standard output");
    return summary;
}

// Each recording in a child process; their summaries are gathered and shown
// in the order of the recordings.
int analyseInJobs(const AnalyzeOptions& o, const std::vector<std::string>& args, JsonOutput& summaryJson) {
    std::string scratchPattern = (fs::temp_directory_path() / "kalo-jobs.XXXXXX").string();
    if (mkdtemp(scratchPattern.data()) == nullptr)
        throw CliError("cannot create a temporary folder for the jobs");
    const fs::path scratch = scratchPattern;
    struct Cleanup {
        fs::path dir;
        ~Cleanup() {
            std::error_code ignored;
            fs::remove_all(dir, ignored);
        }
    } cleanup{scratch};

    std::vector<ChildJob> jobs;
    for (std::size_t i = 0; i < o.recordings.size(); ++i) {
        ChildJob job{args, (scratch / fmt::format("{}.out", i)).string()};
        job.args.insert(job.args.end(), {"--quiet", "--job-index", std::to_string(i), "--job-summary",
                                         (scratch / fmt::format("{}.json", i)).string()});
        jobs.push_back(std::move(job));
    }
    ProgressBar bar(!o.quiet);
    const int total = static_cast<int>(jobs.size());
    const std::vector<int> codes = runChildJobs(jobs, o.jobs, [&](int done) {
        bar.update(fmt::format("{}/{} recordings", done, total), static_cast<double>(done) / total);
    });
    bar.clear();

    nlohmann::ordered_json summaries = nlohmann::ordered_json::array();
    bool failed = false;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        failed = failed || codes[i] != 0;
        std::FILE* text = std::fopen(jobs[i].stdoutPath.c_str(), "rb");
        if (text != nullptr) {
            char buffer[4096];
            std::size_t got = 0;
            while ((got = std::fread(buffer, 1, sizeof buffer, text)) > 0)
                std::fwrite(buffer, 1, got, stdout);
            std::fclose(text);
        }
        // Every child leaves its summary, or its error, in its file; one that
        // could not even do that is reported by its exit code alone.
        std::FILE* json = std::fopen((scratch / fmt::format("{}.json", i)).c_str(), "rb");
        if (json != nullptr) {
            summaries.push_back(nlohmann::ordered_json::parse(json, nullptr, false));
            std::fclose(json);
        }
        if (json == nullptr || summaries.back().is_discarded()) {
            if (json != nullptr)
                summaries.erase(summaries.end() - 1);
            summaries.push_back({{"recording", o.recordings[i]}, {"error", fmt::format("exit code {}", codes[i])}});
        }
    }
    summaryJson.write(summaries);
    return failed ? kExitFailure : 0;
}

} // namespace

int runAnalyze(const AnalyzeOptions& o, const std::vector<std::string>& args) {
    if (o.printSettings) {
        fmt::print("{}\n", host::settingsInForce(o.host).dump(2));
        return std::fflush(stdout) == 0 ? 0 : kExitFailure;
    }
    if (o.recordings.empty())
        throw CliError("name at least one recording to analyse (kalo analyze --help lists the options)");
    if (o.recordings.size() > 1 && o.outDir.empty())
        throw CliError("several recordings need --out-dir, where each gets its own output file");
    const bool child = o.jobIndex >= 0;
    const std::vector<fs::path> outputs = outputPaths(o);
    // Before any work: a child of --jobs was checked by its parent, and the
    // outputs its siblings have finished exist by now.
    if (!child) {
        std::vector<fs::path> written = outputs;
        if (!o.summaryJson.empty() && o.summaryJson != "-")
            written.emplace_back(o.summaryJson);
        checkOutputs(written, o.recordings, o.overwrite);
    }
    if (child && static_cast<std::size_t>(o.jobIndex) >= o.recordings.size())
        throw CliError("--job-index is out of range");
    if (o.summaryJson == "-" && o.outDir.empty())
        throw CliError("--summary-json - writes to standard output, where the rows go without --out-dir");
    // Created now, so that a summary that cannot be written stops the run
    // before it starts.
    JsonOutput summaryJson(child ? std::string() : o.summaryJson);
    if (!child && o.jobs > 1 && o.recordings.size() > 1)
        return analyseInJobs(o, args, summaryJson);

    // Rows on stdout leave stdout to them; with output files the summary is
    // the only thing printed there, unless the JSON summary goes there.
    std::FILE* summaryOut = o.outDir.empty() || o.summaryJson == "-" ? stderr : stdout;
    ProgressBar bar(!o.quiet);
    nlohmann::ordered_json summaries = nlohmann::ordered_json::array();
    bool failed = false;
    for (std::size_t i = 0; i < o.recordings.size(); ++i) {
        if (child && i != static_cast<std::size_t>(o.jobIndex))
            continue;
        try {
            const host::Summary summary = analyseOne(o, i, outputs, bar);
            bar.clear();
            fmt::print(summaryOut, "{}", host::formatSummary(summary));
            std::fflush(summaryOut);
            summaries.push_back(host::summaryJson(summary));
        } catch (const std::runtime_error& e) {
            // One recording failing does not stop the others; the exit code
            // says that something failed.
            bar.clear();
            fmt::print(stderr, "kalo: {}\n", e.what());
            summaries.push_back({{"recording", o.recordings[i]}, {"error", e.what()}});
            failed = true;
        }
    }
    if (child && !o.jobSummary.empty())
        writeJsonFile(o.jobSummary, summaries.front());
    // One recording that failed leaves no summary, as it leaves no rows;
    // among several, a failed one has its entry with its error.
    else if (!child && !(o.recordings.size() == 1 && failed))
        summaryJson.write(o.recordings.size() == 1 ? summaries.front() : summaries);
    return failed ? kExitFailure : 0;
}

} // namespace kalo::cli
