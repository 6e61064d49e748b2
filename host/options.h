#pragma once

// Everything a user can say about one analysis, by key: how to read the
// recording, which channels to use, and the engine's settings and setters.
// One table of keys (the program's flags with "_" for "-") serves the
// program's flags, the C interface and the Python package, so each option is
// parsed and checked in one place.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "channel_choice.h"
#include "kalo_artifacts.h"
#include "open_recording.h"
#include "option_names.h"

namespace kalo::host {

enum class Normalization { Width, Coeffs, None };

// The four settings records (from the library's exported defaults) and the
// setters applied after creation. Unset optionals leave the engine's own
// behaviour in place.
struct EngineConfig {
    _MathLibSetting mathLib = MathLibSettingDefault;
    _ArtifactDetectSetting artifactDetect = ArtifactDetectSettingDefault;
    _ShortArtifactDetectSetting shortArtifactDetect = ShortArtifactDetectSettingDefault;
    _MentalAndSpectralSetting mentalAndSpectral = MentalAndSpectralSettingDefault;

    std::optional<int> fftWindow;                // samples; 2 x the rate when unset
    std::optional<double> calibrateAtSec = 0.0;  // nullopt: no calibration
    std::optional<int> calibrationSec;
    std::optional<_SideType> priority;
    std::optional<bool> mentalRatios;            // true: 1 - a/b and a/(2t + b)
    std::optional<Normalization> normalization;
    std::optional<std::array<double, 5>> weights;
    std::optional<std::array<int, 5>> zeroWaves;
    std::optional<int> skipAfterArtifact;

    // The settings file read (settings_file.h), with the rate and window its
    // values were fitted for, so that a run at another one is reported.
    struct SettingsFile {
        std::string path;
        std::optional<int> rateHz;
        std::optional<int> fftWindow;
    };
    std::optional<SettingsFile> settingsFile;
};

class Options {
public:
    explicit Options(OptionStyle style = OptionStyle::CommandLine) : style_(style) {}

    // Sets one option from its text; "events" may be given several times,
    // every other key replaces what it had. An Error (InvalidArgument) names
    // the option and says what it takes.
    void set(std::string_view key, std::string_view value);

    // The keys in the order of the program's help, with a line on each.
    enum class Group { Input, Channels, EngineSettings, EngineBehaviour };
    struct Key {
        const char* key;
        Group group;
        const char* valueName; // "N", "SEC|never"; empty for a switch, which takes true or false
        const char* help;
        std::string defaultText; // the library's default, for help; empty when it depends on the recording
    };
    static const std::vector<Key>& keys();

    OptionStyle style() const { return style_; }
    std::string name(std::string_view key) const { return optionName(key, style_); }
    // What was set, in order (the settings in force are these over the defaults).
    const std::vector<std::pair<std::string, std::string>>& given() const { return given_; }

    ReadOptions read;
    ChannelChoice channels;
    EngineConfig engine;
    std::vector<std::string> eventFiles;

private:
    OptionStyle style_;
    std::vector<std::pair<std::string, std::string>> given_;
};

// The keys as JSON: [{key, group, value, help, default}].
nlohmann::ordered_json keysJson();

} // namespace kalo::host
