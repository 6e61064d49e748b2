#include "options.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>

#include <fmt/format.h>

#include "csv_text.h"
#include "error.h"
#include "settings_file.h"
#include "units.h"

namespace kalo::host {

namespace {

using Group = Options::Group;

// Thrown by the parsers below; set() adds the option's name and value.
struct Unparsable {
    std::string what; // "takes a whole number", ...
};

int wholeNumber(std::string_view text) {
    const std::optional<double> v = parseNumber(text);
    if (!v || *v != std::floor(*v) || *v < std::numeric_limits<std::int32_t>::min() ||
        *v > std::numeric_limits<std::int32_t>::max())
        throw Unparsable{"takes a whole number"};
    return static_cast<int>(*v);
}

double seconds(std::string_view text) {
    const std::optional<double> v = parseNumber(text);
    if (!v || !std::isfinite(*v) || *v < 0)
        throw Unparsable{"takes seconds, 0 or more"};
    return *v;
}

bool onOff(std::string_view text) {
    std::string t(text);
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return std::tolower(c); });
    if (t == "true" || t == "1" || t == "yes" || t == "on")
        return true;
    if (t == "false" || t == "0" || t == "no" || t == "off")
        return false;
    throw Unparsable{"takes true or false"};
}

// One of a few words, in any case.
template <typename T>
T oneOf(std::string_view text, const std::vector<std::pair<const char*, T>>& words) {
    std::string t(text);
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const auto& [word, value] : words)
        if (t == word)
            return value;
    std::string choices;
    for (std::size_t i = 0; i < words.size(); ++i)
        choices += fmt::format("{}{}", i == 0 ? "" : i + 1 == words.size() ? " or " : ", ", words[i].first);
    throw Unparsable{"takes " + choices};
}

// "a,b,c,d,e": five values, one per band from delta to gamma.
template <typename T>
std::array<T, 5> fiveBands(std::string_view text) {
    const std::vector<std::string_view> cells = splitCells(text);
    std::array<T, 5> values{};
    if (cells.size() != values.size())
        throw Unparsable{"takes five comma-separated values (delta,theta,alpha,beta,gamma)"};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::optional<double> v = parseNumber(cells[i]);
        if (!v || !std::isfinite(*v))
            throw Unparsable{"takes five numbers (delta,theta,alpha,beta,gamma)"};
        if constexpr (std::is_integral_v<T>) {
            if (*v != std::floor(*v) || std::abs(*v) > 1e9)
                throw Unparsable{"takes five whole numbers (delta,theta,alpha,beta,gamma)"};
        }
        values[i] = static_cast<T>(*v);
    }
    return values;
}

std::vector<std::string> nameList(std::string_view text) {
    std::vector<std::string> names;
    for (const std::string_view cell : splitCells(text))
        if (!cell.empty())
            names.emplace_back(cell);
    if (names.empty())
        throw Unparsable{"takes channel names separated by commas"};
    return names;
}

using Setter = std::function<void(Options&, std::string_view)>;

struct Entry {
    Options::Key key;
    Setter set;
};

std::string str(int v) { return std::to_string(v); }

const std::vector<Entry>& table() {
    static const std::vector<Entry> entries = [] {
        const _MathLibSetting& m = MathLibSettingDefault;
        const _ArtifactDetectSetting& a = ArtifactDetectSettingDefault;
        const _ShortArtifactDetectSetting& p = ShortArtifactDetectSettingDefault;
        const _MentalAndSpectralSetting& s = MentalAndSpectralSettingDefault;
        std::vector<Entry> e = {
            // Reading
            {{"rate", Group::Input, "HZ",
              "Sampling rate, Hz: needed for a CSV without a t column; overrides the file's otherwise", ""},
             [](Options& o, std::string_view v) { o.read.rateHz = wholeNumber(v); }},
            {{"resample", Group::Input, "HZ",
              "Resample every channel to this rate, Hz (up to 1000; 250 suits the engine's filters), with libsoxr",
              ""},
             [](Options& o, std::string_view v) {
                 const int hz = wholeNumber(v);
                 if (hz < 1 || hz > 1000)
                     throw Unparsable{"takes a rate from 1 to 1000 Hz"};
                 o.read.resampleHz = hz;
             }},
            {{"units", Group::Input, "V|mV|uV", "Units of CSV channel columns (also µV, microvolts, nV)", "V"},
             [](Options& o, std::string_view v) {
                 const std::optional<double> perVolt = unitsPerVolt(v);
                 if (!perVolt)
                     throw Unparsable{std::string("takes ") + kVoltageUnitsHelp};
                 o.read.unitsPerVolt = *perVolt;
                 o.read.unitName = std::string(v);
             }},
            {{"events", Group::Input, "FILE",
              "Events file (onset_s,duration_s,description); may be given several times", ""},
             [](Options& o, std::string_view v) { o.eventFiles.emplace_back(v); }},
            // Channels
            {{"left", Group::Channels, "NAME", "Left channel of a bipolar pair", ""},
             [](Options& o, std::string_view v) { o.channels.left = std::string(v); }},
            {{"right", Group::Channels, "NAME", "Right channel of a bipolar pair", ""},
             [](Options& o, std::string_view v) { o.channels.right = std::string(v); }},
            {{"channels", Group::Channels, "A,B,C", "Multichannel mode with these channels", ""},
             [](Options& o, std::string_view v) { o.channels.channels = nameList(v); }},
            {{"analysis_channel", Group::Channels, "NAME",
              "The channel analysed in multichannel mode [default: the first]", ""},
             [](Options& o, std::string_view v) { o.channels.analysisChannel = std::string(v); }},
            // Engine settings
            {{"settings", Group::EngineSettings, "FILE",
              "Settings file (JSON, as kalo fit and --print-settings write it); options given as well win over it",
              ""},
             [](Options& o, std::string_view v) { loadSettingsFile(o, std::string(v)); }},
            {{"process_win_freq", Group::EngineSettings, "N",
              "Analysis windows per second (5-25); records come a whole number of samples apart, rate / N "
              "rounded down (at 160 Hz and 25, every 6 samples: 37.5 ms)",
              str(m.process_win_freq)},
             [](Options& o, std::string_view v) { o.engine.mathLib.process_win_freq = wholeNumber(v); }},
            {{"fft_window", Group::EngineSettings, "N",
              "Samples per analysis window (rate to 8 x rate) [default: 2 x rate]", ""},
             [](Options& o, std::string_view v) { o.engine.fftWindow = wholeNumber(v); }},
            {{"skip_first_sec", Group::EngineSettings, "N", "Seconds at the start that give zero records (4-6)",
              str(m.n_first_sec_skipped)},
             [](Options& o, std::string_view v) { o.engine.mathLib.n_first_sec_skipped = wholeNumber(v); }},
            {{"power_spectrum", Group::EngineSettings, "", "Band values sum squared amplitudes",
              m.use_power_spectrum ? "true" : "false"},
             [](Options& o, std::string_view v) { o.engine.mathLib.use_power_spectrum = onOff(v); }},
            {{"amplitude_threshold", Group::EngineSettings, "UV", "Microvolts beyond which a sample is bad (50-120)",
              str(a.amplitude_threshold)},
             [](Options& o, std::string_view v) { o.engine.artifactDetect.amplitude_threshold = wholeNumber(v); }},
            {{"bad_samples_percent", Group::EngineSettings, "N",
              "Bad samples, in percent of a window, that make it artifacted (20-70)", str(a.bad_samples_percent)},
             [](Options& o, std::string_view v) { o.engine.artifactDetect.bad_samples_percent = wholeNumber(v); }},
            {{"band_power_threshold", Group::EngineSettings, "N",
              "Spectral artifact limit of the detectors (600000 or more)", str(a.band_power_threshold)},
             [](Options& o, std::string_view v) { o.engine.artifactDetect.band_power_threshold = wholeNumber(v); }},
            {{"total_power_threshold", Group::EngineSettings, "N", "Total-power limit of the detectors",
              str(a.total_power_threshold)},
             [](Options& o, std::string_view v) { o.engine.artifactDetect.total_power_threshold = wholeNumber(v); }},
            {{"artifact_sequence_sec", Group::EngineSettings, "N",
              "Seconds of artifacted windows that make an artifacted sequence (4 or more)",
              str(a.artifact_sequence_sec)},
             [](Options& o, std::string_view v) { o.engine.artifactDetect.artifact_sequence_sec = wholeNumber(v); }},
            {{"detect_by_total_power", Group::EngineSettings, "", "Switch on the total-power test",
              a.detect_by_total_power ? "true" : "false"},
             [](Options& o, std::string_view v) { o.engine.artifactDetect.detect_by_total_power = onOff(v); }},
            {{"quality_history_length", Group::EngineSettings, "N",
              "Windows over which the detectors average signal quality", str(a.quality_history_length)},
             [](Options& o, std::string_view v) { o.engine.artifactDetect.quality_history_length = wholeNumber(v); }},
            {{"peak_win_ms", Group::EngineSettings, "MS", "Sub-window in which one short peak is sought, ms",
              str(p.peak_win_ms)},
             [](Options& o, std::string_view v) { o.engine.shortArtifactDetect.peak_win_ms = wholeNumber(v); }},
            {{"peak_area_ms", Group::EngineSettings, "MS", "Half-width of the stretch replaced around a peak, ms",
              str(p.peak_area_ms)},
             [](Options& o, std::string_view v) { o.engine.shortArtifactDetect.peak_area_ms = wholeNumber(v); }},
            {{"peak_threshold", Group::EngineSettings, "UV", "Microvolts above which a peak is corrected (25-70)",
              str(p.peak_threshold)},
             [](Options& o, std::string_view v) { o.engine.shortArtifactDetect.peak_threshold = wholeNumber(v); }},
            {{"mental_estimation_sec", Group::EngineSettings, "N",
              "Seconds of band shares behind each mental estimate (1-4)", str(s.mental_estimation_sec)},
             [](Options& o, std::string_view v) {
                 o.engine.mentalAndSpectral.mental_estimation_sec = wholeNumber(v);
             }},
            {{"spectral_averaging_sec", Group::EngineSettings, "N",
              "Seconds over which published band shares are averaged (1-4)", str(s.spectral_averaging_sec)},
             [](Options& o, std::string_view v) {
                 o.engine.mentalAndSpectral.spectral_averaging_sec = wholeNumber(v);
             }},
            // Engine behaviour
            {{"hanning", Group::EngineBehaviour, "", "Hann window before spectra (engine and detectors)",
              a.use_hanning ? "true" : "false"},
             [](Options& o, std::string_view v) { o.engine.artifactDetect.use_hanning = onOff(v); }},
            {{"hamming", Group::EngineBehaviour, "", "Hamming window before spectra (engine and detectors)",
              a.use_hamming ? "true" : "false"},
             [](Options& o, std::string_view v) { o.engine.artifactDetect.use_hamming = onOff(v); }},
            {{"calibrate_at", Group::EngineBehaviour, "SEC|never",
              "Start a calibration at this time, seconds, or \"never\"", "0"},
             [](Options& o, std::string_view v) {
                 if (v == "never")
                     o.engine.calibrateAtSec.reset();
                 else
                     o.engine.calibrateAtSec = seconds(v);
             }},
            {{"calibration_sec", Group::EngineBehaviour, "N", "Clean seconds a calibration covers", "8"},
             [](Options& o, std::string_view v) { o.engine.calibrationSec = wholeNumber(v); }},
            {{"priority", Group::EngineBehaviour, "left|right|none",
              "Side analysed first in bipolar mode: left, right or none (stay on a side while it is clean)", "none"},
             [](Options& o, std::string_view v) {
                 o.engine.priority = oneOf<_SideType>(v, {{"left", LEFT}, {"right", RIGHT}, {"none", NONE}});
             }},
            {{"mental_mode", Group::EngineBehaviour, "shares|ratios",
              "Instantaneous levels: shares (beta and alpha shares) or ratios (1 - alpha/beta, "
              "alpha/(2 theta + beta))",
              "shares"},
             [](Options& o, std::string_view v) {
                 o.engine.mentalRatios = oneOf<bool>(v, {{"shares", false}, {"ratios", true}});
             }},
            {{"normalize", Group::EngineBehaviour, "width|coeffs|none",
              "Band normalisation: width (by band width), coeffs (by --weights) or none", "width"},
             [](Options& o, std::string_view v) {
                 o.engine.normalization = oneOf<Normalization>(
                     v, {{"width", Normalization::Width}, {"coeffs", Normalization::Coeffs},
                         {"none", Normalization::None}});
             }},
            {{"weights", Group::EngineBehaviour, "D,T,A,B,G", "Band divisors used by normalize coeffs", ""},
             [](Options& o, std::string_view v) { o.engine.weights = fiveBands<double>(v); }},
            {{"zero_waves", Group::EngineBehaviour, "D,T,A,B,G",
              "Integer band weights applied to the published shares (0 drops a band)", ""},
             [](Options& o, std::string_view v) { o.engine.zeroWaves = fiveBands<int>(v); }},
            {{"skip_after_artifact", Group::EngineBehaviour, "N",
              "Clean windows that repeat the previous record after an artifact", "10"},
             [](Options& o, std::string_view v) { o.engine.skipAfterArtifact = wholeNumber(v); }},
        };
        return e;
    }();
    return entries;
}

} // namespace

const std::vector<Options::Key>& Options::keys() {
    static const std::vector<Key> keys = [] {
        std::vector<Key> k;
        for (const Entry& e : table())
            k.push_back(e.key);
        return k;
    }();
    return keys;
}

nlohmann::ordered_json keysJson() {
    static const char* const groups[] = {"input", "channels", "engine settings", "engine behaviour"};
    nlohmann::ordered_json keys = nlohmann::ordered_json::array();
    for (const Options::Key& k : Options::keys())
        keys.push_back({{"key", k.key},
                        {"group", groups[static_cast<int>(k.group)]},
                        {"value", k.valueName},
                        {"help", k.help},
                        {"default", k.defaultText}});
    return keys;
}

void Options::set(std::string_view key, std::string_view value) {
    const auto& entries = table();
    const auto entry =
        std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return key == e.key.key; });
    if (entry == entries.end())
        throw invalidArgument(fmt::format("unknown option {}", optionName(key, style_)));
    try {
        entry->set(*this, value);
    } catch (const Unparsable& u) {
        throw invalidArgument(fmt::format("{} {}: \"{}\" is not accepted", optionName(key, style_), u.what, value));
    }
    given_.emplace_back(key, value);
}

} // namespace kalo::host
