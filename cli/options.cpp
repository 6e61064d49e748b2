#include "options.h"

#include <map>

#include "csv_text.h"

namespace kalo::cli {

namespace {

constexpr const char* kEngineGroup = "Engine settings (defaults are the library's)";
constexpr const char* kSpectraGroup = "Engine behaviour";

// "a,b,c,d,e" as five numbers, one per band from delta to gamma.
template <typename T>
std::array<T, 5> fiveBands(const std::string& text, const std::string& option) {
    const std::vector<std::string_view> cells = splitCells(text);
    std::array<T, 5> values{};
    if (cells.size() != values.size())
        throw CLI::ValidationError(option, "needs five comma-separated values (delta,theta,alpha,beta,gamma)");
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::optional<double> v = parseNumber(cells[i]);
        if (!v || (std::is_integral_v<T> && *v != static_cast<double>(static_cast<T>(*v))))
            throw CLI::ValidationError(option, "\"" + std::string(cells[i]) + "\" is not a valid value");
        values[i] = static_cast<T>(*v);
    }
    return values;
}

void addEngineOptions(CLI::App* cmd, EngineConfig& cfg) {
    _MathLibSetting& m = cfg.mathLib;
    _ArtifactDetectSetting& a = cfg.artifactDetect;
    _ShortArtifactDetectSetting& p = cfg.shortArtifactDetect;
    _MentalAndSpectralSetting& s = cfg.mentalAndSpectral;
    const auto group = [&](CLI::Option* o, const char* name = kEngineGroup) { o->group(name); };

    group(cmd->add_option("--process-win-freq", m.process_win_freq, "Analysis windows per second (5-25)")
              ->capture_default_str());
    group(cmd->add_option_function<int>(
        "--fft-window", [&cfg](const int& v) { cfg.fftWindow = v; },
        "Samples per analysis window (rate to 8 x rate) [default: 2 x rate]"));
    group(cmd->add_option("--skip-first-sec", m.n_first_sec_skipped,
                          "Seconds at the start that give zero records (4-6)")
              ->capture_default_str());
    group(cmd->add_flag("--power-spectrum", m.use_power_spectrum, "Band values sum squared amplitudes"));
    group(cmd->add_option("--amplitude-threshold", a.amplitude_threshold,
                          "Microvolts beyond which a sample is bad (50-120)")
              ->capture_default_str());
    group(cmd->add_option("--bad-samples-percent", a.bad_samples_percent,
                          "Bad samples, in percent of a window, that make it artifacted (20-70)")
              ->capture_default_str());
    group(cmd->add_option("--band-power-threshold", a.band_power_threshold,
                          "Spectral artifact limit of the detectors (600000 or more)")
              ->capture_default_str());
    group(cmd->add_option("--total-power-threshold", a.total_power_threshold, "Total-power limit of the detectors")
              ->capture_default_str());
    group(cmd->add_option("--artifact-sequence-sec", a.artifact_sequence_sec,
                          "Seconds of artifacted windows that make an artifacted sequence (4 or more)")
              ->capture_default_str());
    group(cmd->add_flag("--detect-by-total-power", a.detect_by_total_power, "Switch on the total-power test"));
    auto* hanning = cmd->add_flag("--hanning", a.use_hanning, "Hann window before spectra (engine and detectors)");
    auto* hamming = cmd->add_flag("--hamming", a.use_hamming, "Hamming window before spectra (engine and detectors)");
    hanning->excludes(hamming);
    group(hanning, kSpectraGroup);
    group(hamming, kSpectraGroup);
    group(cmd->add_option("--quality-history-length", a.quality_history_length,
                          "Windows over which the detectors average signal quality")
              ->capture_default_str());
    group(cmd->add_option("--peak-win-ms", p.peak_win_ms, "Sub-window in which one short peak is sought, ms")
              ->capture_default_str());
    group(cmd->add_option("--peak-area-ms", p.peak_area_ms, "Half-width of the stretch replaced around a peak, ms")
              ->capture_default_str());
    group(cmd->add_option("--peak-threshold", p.peak_threshold, "Microvolts above which a peak is corrected (25-70)")
              ->capture_default_str());
    group(cmd->add_option("--mental-estimation-sec", s.mental_estimation_sec,
                          "Seconds of band shares behind each mental estimate (1-4)")
              ->capture_default_str());
    group(cmd->add_option("--spectral-averaging-sec", s.spectral_averaging_sec,
                          "Seconds over which published band shares are averaged (1-4)")
              ->capture_default_str());

    group(cmd->add_option_function<std::string>(
              "--calibrate-at",
              [&cfg](const std::string& v) {
                  if (v == "never") {
                      cfg.calibrateAtSec.reset();
                      return;
                  }
                  const std::optional<double> sec = parseNumber(v);
                  if (!sec || !(*sec >= 0))
                      throw CLI::ValidationError("--calibrate-at", "give seconds (0 or more) or \"never\"");
                  cfg.calibrateAtSec = *sec;
              },
              "Start a calibration at this time, seconds, or \"never\" [default: 0]")
              ->option_text("SEC|never"),
          kSpectraGroup);
    group(cmd->add_option_function<int>(
              "--calibration-sec", [&cfg](const int& v) { cfg.calibrationSec = v; },
              "Clean seconds a calibration covers [engine default: 8]"),
          kSpectraGroup);
    const std::map<std::string, _SideType> sides = {{"left", LEFT}, {"right", RIGHT}, {"none", NONE}};
    group(cmd->add_option_function<_SideType>(
                 "--priority", [&cfg](const _SideType& v) { cfg.priority = v; },
                 "Side analysed first in bipolar mode: left, right or none (stay on a side while it is clean) "
                 "[engine default: none]")
              ->transform(CLI::CheckedTransformer(sides, CLI::ignore_case))
              ->option_text("left|right|none"),
          kSpectraGroup);
    const std::map<std::string, bool> modes = {{"shares", false}, {"ratios", true}};
    group(cmd->add_option_function<bool>(
                 "--mental-mode", [&cfg](const bool& v) { cfg.mentalRatios = v; },
                 "Instantaneous levels: shares (beta and alpha shares) or ratios (1 - alpha/beta, "
                 "alpha/(2 theta + beta)) [default: shares]")
              ->transform(CLI::CheckedTransformer(modes, CLI::ignore_case))
              ->option_text("shares|ratios"),
          kSpectraGroup);
    const std::map<std::string, Normalization> norms = {
        {"width", Normalization::Width}, {"coeffs", Normalization::Coeffs}, {"none", Normalization::None}};
    group(cmd->add_option_function<Normalization>(
                 "--normalize", [&cfg](const Normalization& v) { cfg.normalization = v; },
                 "Band normalisation: width (by band width), coeffs (by --weights) or none [default: width]")
              ->transform(CLI::CheckedTransformer(norms, CLI::ignore_case))
              ->option_text("width|coeffs|none"),
          kSpectraGroup);
    group(cmd->add_option_function<std::string>(
              "--weights", [&cfg](const std::string& v) { cfg.weights = fiveBands<double>(v, "--weights"); },
              "Band divisors d,t,a,b,g used by --normalize coeffs")
              ->option_text("D,T,A,B,G"),
          kSpectraGroup);
    group(cmd->add_option_function<std::string>(
              "--zero-waves", [&cfg](const std::string& v) { cfg.zeroWaves = fiveBands<int>(v, "--zero-waves"); },
              "Integer band weights d,t,a,b,g applied to the published shares (0 drops a band)")
              ->option_text("D,T,A,B,G"),
          kSpectraGroup);
    group(cmd->add_option_function<int>(
              "--skip-after-artifact", [&cfg](const int& v) { cfg.skipAfterArtifact = v; },
              "Clean windows that repeat the previous record after an artifact [engine default: 10]"),
          kSpectraGroup);
}

constexpr const char* kAnalyzeFooter = R"(Output: one row per record the engine publishes, with the columns
  time_s  rel_attention rel_relaxation inst_attention inst_relaxation  delta theta alpha beta gamma
  raw_alpha raw_beta  calibration_percent  both_sides_artifacted artifacted_sequence
time_s is when the record was published: the samples pushed so far divided by the rate. Samples
are pushed in blocks of rate / process_win_freq (one analysis window's step), so a record's time
is the end of the block that completed its window. Levels are percent, band shares fractions.
The first --skip-first-sec seconds give zero records. Flags are 0/1 in CSV, true/false in JSON.

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
    CLI::App* analyze = app.add_subcommand("analyze", "Run the engine over EEG recordings (EDF, EDF+, BDF, CSV)");
    cl.analyzeCommand = analyze;
    analyze->footer(kAnalyzeFooter);
    analyze->add_option("recordings", an.recordings, "EDF/EDF+/BDF/BDF+ files or CSV files (.csv)")
        ->required()
        ->type_name("RECORDING");
    auto* left = analyze->add_option("--left", an.channels.left, "Left channel of a bipolar pair");
    auto* right = analyze->add_option("--right", an.channels.right, "Right channel of a bipolar pair");
    left->needs(right);
    right->needs(left);
    auto* channels = analyze->add_option("--channels", an.channels.channels,
                                         "Multichannel mode with these channels (A,B,C)")
                         ->delimiter(',')
                         ->excludes(left)
                         ->excludes(right);
    analyze->add_option("--analysis-channel", an.channels.analysisChannel,
                        "The channel analysed in multichannel mode [default: the first]")
        ->needs(channels);
    analyze->add_option_function<int>(
        "--rate", [&an](const int& v) { an.input.rateHz = v; },
        "Sampling rate, Hz: needed for a CSV without a t column; overrides the file's otherwise");
    const std::map<std::string, double> units = {{"V", 1.0}, {"mV", 1e3}, {"uV", 1e6}};
    analyze->add_option("--units", an.input.csvUnitsPerVolt, "Units of CSV channel columns: V, mV or uV [default: V]")
        ->transform(CLI::CheckedTransformer(units, CLI::ignore_case))
        ->option_text("V|mV|uV");
    addEngineOptions(analyze, an.engine);
    const std::map<std::string, RowFormat> formats = {{"csv", RowFormat::Csv}, {"jsonl", RowFormat::JsonLines}};
    analyze->add_option("--format", an.format, "Rows as csv or jsonl (JSON lines) [default: csv]")
        ->transform(CLI::CheckedTransformer(formats, CLI::ignore_case))
        ->option_text("csv|jsonl");
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
    analyze->add_option("--job-index", an.jobIndex)->group("");
    analyze->add_option("--job-summary", an.jobSummary)->group("");

    DemoOptions& demo = cl.demo;
    CLI::App* demoCmd = app.add_subcommand(
        "demo", "Analyse a synthetic two-minute recording (eyes open and closed, blinks, mains, an electrode "
                "coming off) and print its summary");
    cl.demoCommand = demoCmd;
    demoCmd->add_option("--write", demo.writePath,
                        "Also save the synthetic recording as EDF+ (BDF+ for a .bdf name), to try analyze on");
    demoCmd->add_option("--summary-json", demo.summaryJson, "Also write the summary as JSON");
    demoCmd->add_flag("--overwrite", demo.overwrite, "Replace output files that exist already");
    addEngineOptions(demoCmd, demo.engine);

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
