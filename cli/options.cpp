#include "options.h"

#include <algorithm>
#include <map>

namespace kalo::cli {

namespace {

using Group = host::Options::Group;

const char* groupTitle(Group group) {
    switch (group) {
    case Group::Input: return "Reading recordings";
    case Group::Channels: return "Channels";
    case Group::EngineSettings: return "Engine settings (defaults are the library's)";
    case Group::EngineBehaviour: return "Engine behaviour";
    }
    return "";
}

} // namespace

// One flag per key of the host's options, in the groups given; a value goes
// to Options::set as typed, which checks it and names the flag in its
// message. A switch takes no value.
void addHostOptions(CLI::App* cmd, host::Options& options, std::initializer_list<Group> groups) {
    for (const host::Options::Key& k : host::Options::keys()) {
        if (std::find(groups.begin(), groups.end(), k.group) == groups.end())
            continue;
        const std::string key = k.key;
        const std::string flag = host::optionName(key, host::OptionStyle::CommandLine);
        std::string help = k.help;
        if (!k.defaultText.empty() && *k.valueName != '\0')
            help += " [default: " + k.defaultText + "]";
        CLI::Option* option = nullptr;
        if (*k.valueName == '\0') {
            option = cmd->add_flag_callback(flag, [&options, key] { options.set(key, "true"); }, help);
        } else if (key == "events") {
            option = cmd->add_option_function<std::vector<std::string>>(
                             flag,
                             [&options, key](const std::vector<std::string>& files) {
                                 for (const std::string& f : files)
                                     options.set(key, f);
                             },
                             help)
                         ->type_name(k.valueName);
        } else {
            option = cmd->add_option_function<std::string>(
                             flag, [&options, key](const std::string& v) { options.set(key, v); }, help)
                         ->type_name(k.valueName);
        }
        option->group(groupTitle(k.group));
    }
}

namespace {

constexpr const char* kAnalyzeFooter = R"(Output: one row per record the engine publishes, with the columns
  time_s  rel_attention rel_relaxation inst_attention inst_relaxation  delta theta alpha beta gamma
  raw_alpha raw_beta  calibration_percent  both_sides_artifacted artifacted_sequence  events
events: the descriptions of the events under the record's analysis window, joined by ";", from
the recording's own annotations (EDF+/BDF+) and the --events files.
time_s is when the record was published: the samples pushed so far divided by the rate. Samples
are pushed in blocks of rate / process_win_freq (one analysis window's step), so a record's time
is the end of the block that completed its window. Levels are percent, band shares fractions.
Bands: delta below 4 Hz (the constant component left out), theta 4-7, alpha 7-14, beta 14-25,
gamma 25-50 Hz, lower edges included. Until a calibration has finished each band is a share of
alpha + beta and delta is 0; afterwards a share of the whole spectrum up to 50 Hz, constant
component included. Either way the five values do not sum to 1.
The first --skip-first-sec seconds give zero records. Flags are 0/1 in CSV, true/false in JSON.

A CSV t column gives the rate from its median spacing; gaps in it (dropped packets) are reported
in the summary, and the samples on either side are analysed as if adjacent.
Channels: with two channels and no choice, the first is left and the second right. Names match
ignoring case and surrounding dots and spaces (EDF labels like "O1.." match O1).
A calibration starts at 0 s unless --calibrate-at says otherwise; it runs over the next
--calibration-sec seconds of clean windows, and the relative levels are 0 until it has finished.
Several recordings need --out-dir; --jobs N analyses N of them at once, in separate processes.
The summary goes to stderr when the rows go to stdout, and to stdout with --out-dir.
Exit code 2 for any error (one line on stderr); output files appear only when complete.
An output is never written over an input, and an existing output file is kept unless --overwrite.)";

} // namespace

void defineCommandLine(CLI::App& app, CommandLine& cl) {
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Show every option of every command");

    AnalyzeOptions& an = cl.analyze;
    CLI::App* analyze = app.add_subcommand("analyze", "Run the engine over EEG recordings (EDF, EDF+, BDF, CSV, BrainVision, board GUI text)");
    cl.analyzeCommand = analyze;
    analyze->footer(kAnalyzeFooter);
    // Required unless --print-settings, which runAnalyze checks.
    analyze->add_option("recordings", an.recordings, "EDF/EDF+/BDF/BDF+ files or CSV files (.csv)")
        ->type_name("RECORDING");
    addHostOptions(analyze, an.host, {Group::Input, Group::Channels, Group::EngineSettings, Group::EngineBehaviour});
    CLI::Option* left = analyze->get_option("--left");
    CLI::Option* right = analyze->get_option("--right");
    CLI::Option* channels = analyze->get_option("--channels");
    left->needs(right);
    right->needs(left);
    channels->excludes(left)->excludes(right);
    analyze->get_option("--analysis-channel")->needs(channels);
    analyze->get_option("--hanning")->excludes(analyze->get_option("--hamming"));
    analyze->add_option_function<std::string>(
               "--format",
               [&an](const std::string& v) {
                   std::string lower = v;
                   std::transform(lower.begin(), lower.end(), lower.begin(),
                                  [](unsigned char c) { return std::tolower(c); });
                   if (lower != "csv" && lower != "jsonl")
                       throw CLI::ValidationError("--format takes csv or jsonl: \"" + v + "\" is not accepted");
                   an.format = lower == "csv" ? RowFormat::Csv : RowFormat::JsonLines;
               },
               "Rows as csv or jsonl (JSON lines) [default: csv]")
        ->type_name("csv|jsonl");
    analyze->add_option("--out-dir", an.outDir,
                        "Write one file per recording here (NAME.csv or NAME.jsonl) instead of stdout");
    analyze->add_option("--summary-json", an.summaryJson,
                        "Also write the summary as JSON (an array when there are several recordings)");
    analyze->add_option("--jobs,-j", an.jobs, "Recordings analysed at once, each in its own process")
        ->check(CLI::Range(1, 256))
        ->capture_default_str();
    analyze->add_flag("--quiet,-q", an.quiet, "No progress bar");
    analyze->add_flag("--overwrite", an.overwrite,
                      "Replace output files that exist already (an input is never overwritten)");
    analyze->add_flag("--print-settings", an.printSettings,
                      "Write the engine settings in force (defaults, --settings file, flags) as a settings file to "
                      "stdout and stop");
    analyze->add_option("--job-index", an.jobIndex)->group("");
    analyze->add_option("--job-summary", an.jobSummary)->group("");

    InfoOptions& info = cl.info;
    CLI::App* infoCmd =
        app.add_subcommand("info", "List what recordings hold: format, duration, rates, channels with their units, "
                                   "events and gaps");
    cl.infoCommand = infoCmd;
    infoCmd->add_option("recordings", info.recordings, "Recordings, in any format kalo analyze reads")
        ->required()
        ->type_name("RECORDING");
    addHostOptions(infoCmd, info.host, {Group::Input});
    infoCmd->add_flag("--json", info.json, "As JSON (an array when there are several recordings)");

    DemoOptions& demo = cl.demo;
    CLI::App* demoCmd = app.add_subcommand(
        "demo", "Analyse a synthetic recording (eyes open and closed, blinks, mains, an electrode coming off) and "
                "print its summary");
    cl.demoCommand = demoCmd;
    demoCmd->add_option("--minutes", demo.minutes, "Length of the synthetic recording, minutes")
        ->check(CLI::Range(1, 1440))
        ->capture_default_str();
    demoCmd->add_option("--write", demo.writePath,
                        "Also save the synthetic recording as EDF+ (BDF+ for a .bdf name), with its eyes-open, "
                        "eyes-closed and blink annotations, to try analyze on");
    demoCmd->add_option("--summary-json", demo.summaryJson, "Also write the summary as JSON");
    demoCmd->add_flag("--overwrite", demo.overwrite, "Replace output files that exist already");
    addHostOptions(demoCmd, demo.host, {Group::EngineSettings, Group::EngineBehaviour});
    demoCmd->get_option("--hanning")->excludes(demoCmd->get_option("--hamming"));

    cl.liveCommand = defineLiveCommand(app, cl.live);

    cl.filtersCommand = app.add_subcommand("filters", "List the library's catalogue of ready-made filters");

    FilterOptions& f = cl.filter;
    CLI::App* filter = app.add_subcommand(
        "filter", "Filter CSV from stdin to stdout: every numeric column on its own; a header line is kept");
    cl.filterCommand = filter;
    auto* type = filter->add_option("--type", f.type, "Catalogue filter kind: HP, LP, BS or BP")
                     ->check(CLI::IsMember({"HP", "LP", "BS", "BP"}, CLI::ignore_case));
    auto* freq = filter->add_option("--freq", f.freqHz, "Cut-off or centre frequency, Hz");
    auto* rate = filter->add_option("--rate", f.rateHz, "Sampling rate, Hz");
    auto* coefficients =
        filter->add_option("--coefficients", f.coefficientsFile, "A coefficient text file instead of the catalogue");
    type->needs(freq)->needs(rate)->excludes(coefficients);
    freq->needs(type);
    rate->needs(type);
}

} // namespace kalo::cli
