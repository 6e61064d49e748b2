#include "settings_file.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>

#include <fmt/format.h>

#include "csv_text.h"
#include "error.h"

namespace kalo::host {

namespace {

bool isEngineKey(const Options::Key& k) {
    return (k.group == Options::Group::EngineSettings || k.group == Options::Group::EngineBehaviour) &&
           std::string_view(k.key) != "settings";
}

const Options::Key* engineKey(std::string_view key) {
    for (const Options::Key& k : Options::keys())
        if (key == k.key && isEngineKey(k))
            return &k;
    return nullptr;
}

struct FileProblem {
    std::string what;
};

// A value of the file as the text a flag would have taken.
std::string asText(const nlohmann::json& value) {
    if (value.is_boolean())
        return value.get<bool>() ? "true" : "false";
    if (value.is_number_integer())
        return value.dump();
    if (value.is_number_float())
        return fmt::format("{}", value.get<double>());
    if (value.is_string())
        return value.get<std::string>();
    if (value.is_array()) {
        std::string list;
        for (const nlohmann::json& v : value) {
            if (!v.is_number())
                throw FileProblem{"takes a list of numbers"};
            list += (list.empty() ? "" : ",") + asText(v);
        }
        return list;
    }
    throw FileProblem{"takes a number, true or false, a word or a list of numbers"};
}

// The text of a flag as the JSON a reader of the file expects: a switch as
// true or false, numbers as numbers, "a,b,c" as a list.
nlohmann::ordered_json asJson(const Options::Key& k, const std::string& text) {
    if (*k.valueName == '\0') {
        std::string t = text;
        std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return std::tolower(c); });
        return t == "true" || t == "1" || t == "yes" || t == "on";
    }
    auto number = [](std::string_view cell) -> nlohmann::ordered_json {
        const std::optional<double> v = parseNumber(cell);
        if (!v || !std::isfinite(*v))
            return std::string(cell);
        if (*v == std::floor(*v) && std::abs(*v) < 9e15)
            return static_cast<std::int64_t>(*v);
        return *v;
    };
    if (text.find(',') != std::string::npos) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const std::string_view cell : splitCells(text))
            list.push_back(number(cell));
        return list;
    }
    return number(text);
}

int wholePositive(const nlohmann::json& value) {
    if (!value.is_number_integer() || value.get<std::int64_t>() < 1 ||
        value.get<std::int64_t>() > std::numeric_limits<int>::max())
        throw FileProblem{"takes a whole number of 1 or more"};
    return value.get<int>();
}

// Messages of Options::set name the option as a flag or keyword; in a file
// it is the key.
std::string withKey(const std::string& message, std::string_view key, OptionStyle style) {
    const std::string name = optionName(key, style);
    if (message.rfind(name, 0) == 0)
        return std::string(key) + message.substr(name.size());
    return message;
}

} // namespace

void loadSettingsFile(Options& options, const std::string& path) {
    if (options.engine.settingsFile)
        throw invalidArgument(fmt::format("{} reads one settings file; {} was given already", options.name("settings"),
                                          options.engine.settingsFile->path));
    const std::string text = readWholeFile(path);
    const nlohmann::json file = nlohmann::json::parse(text, nullptr, false);
    if (file.is_discarded())
        throw invalidArgument(fmt::format("{}: not a settings file: the text is not JSON", path));
    if (!file.is_object())
        throw invalidArgument(fmt::format("{}: not a settings file: it holds no JSON object", path));
    auto problem = [&](std::string_view key, const std::string& what) {
        return invalidArgument(fmt::format("{}: \"{}\": {}", path, key, what));
    };

    EngineConfig::SettingsFile origin{path, std::nullopt, std::nullopt};
    for (const auto& [key, value] : file.items()) {
        if (key == "fitted_for") {
            if (!value.is_object())
                throw problem(key, "takes {\"rate_hz\": N, \"fft_window\": N}");
            for (const auto& [what, number] : value.items()) {
                try {
                    if (what == "rate_hz")
                        origin.rateHz = wholePositive(number);
                    else if (what == "fft_window")
                        origin.fftWindow = wholePositive(number);
                    else
                        throw FileProblem{"is not known; fitted_for holds rate_hz and fft_window"};
                } catch (const FileProblem& p) {
                    throw problem("fitted_for." + what, p.what);
                }
            }
        } else if (key != "settings") {
            throw problem(key, "is not known; a settings file holds \"settings\" and \"fitted_for\"");
        }
    }
    const auto settings = file.find("settings");
    if (settings == file.end() || !settings->is_object())
        throw invalidArgument(fmt::format("{}: not a settings file: it has no \"settings\" object", path));

    // Every value is checked before any is kept, so a bad file changes
    // nothing.
    std::vector<std::pair<std::string, std::string>> values;
    for (const auto& [key, value] : settings->items()) {
        if (engineKey(key) == nullptr)
            throw problem(key, "is not an engine setting (the keys are those of kalo analyze's engine flags, with "
                               "\"_\" for \"-\")");
        try {
            values.emplace_back(key, asText(value));
        } catch (const FileProblem& p) {
            throw problem(key, p.what);
        }
    }
    Options trial = options;
    for (const auto& [key, value] : values) {
        const auto& given = options.given();
        // clang 14 cannot capture a structured binding: name the key first.
        const std::string& fileKey = key;
        if (std::any_of(given.begin(), given.end(), [&fileKey](const auto& g) { return g.first == fileKey; }))
            continue;
        try {
            trial.set(key, value);
        } catch (const Error& e) {
            throw invalidArgument(fmt::format("{}: {}", path, withKey(e.what(), key, options.style())));
        }
    }
    trial.engine.settingsFile = origin;
    options = std::move(trial);
}

nlohmann::ordered_json settingsInForce(const Options& options) {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    if (const auto& file = options.engine.settingsFile; file && (file->rateHz || file->fftWindow)) {
        nlohmann::ordered_json fitted = nlohmann::ordered_json::object();
        if (file->rateHz)
            fitted["rate_hz"] = *file->rateHz;
        if (file->fftWindow)
            fitted["fft_window"] = *file->fftWindow;
        out["fitted_for"] = fitted;
    }
    nlohmann::ordered_json settings = nlohmann::ordered_json::object();
    for (const Options::Key& k : Options::keys()) {
        if (!isEngineKey(k))
            continue;
        // The last value given wins, as it did when it was set.
        std::optional<std::string> text;
        for (const auto& [key, value] : options.given())
            if (key == k.key)
                text = value;
        if (!text && !k.defaultText.empty())
            text = k.defaultText;
        if (text)
            settings[k.key] = asJson(k, *text);
    }
    out["settings"] = settings;
    return out;
}

std::optional<std::string> fittedForMismatch(const EngineConfig& config, int rateHz, int fftWindow) {
    if (!config.settingsFile)
        return std::nullopt;
    const EngineConfig::SettingsFile& f = *config.settingsFile;
    const bool otherRate = f.rateHz && *f.rateHz != rateHz;
    const bool otherWindow = f.fftWindow && *f.fftWindow != fftWindow;
    if (!otherRate && !otherWindow)
        return std::nullopt;
    const std::string fitted =
        f.rateHz && f.fftWindow ? fmt::format("{} Hz with a {}-sample window", *f.rateHz, *f.fftWindow)
        : f.rateHz              ? fmt::format("{} Hz", *f.rateHz)
                                : fmt::format("a {}-sample window", *f.fftWindow);
    return fmt::format("the settings in {} were fitted for {}; this run is at {} Hz with a {}-sample window, where "
                       "the spectral test's band mean has another scale: fit them again for it",
                       f.path, fitted, rateHz, fftWindow);
}

} // namespace kalo::host
