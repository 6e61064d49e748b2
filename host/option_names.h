#pragma once

// How messages name an option: as the program's flag ("--fft-window") or as
// a keyword of the Python package ("fft_window="). Options are known by one
// key everywhere (the flag's name with "_" for "-"), so the settings file,
// the C interface and both hosts share one vocabulary.

#include <string>
#include <string_view>

namespace kalo::host {

enum class OptionStyle { CommandLine, Keyword };

inline std::string optionName(std::string_view key, OptionStyle style) {
    std::string name(key);
    if (style == OptionStyle::Keyword)
        return name + "=";
    for (char& c : name)
        if (c == '_')
            c = '-';
    return "--" + name;
}

// An option with its value as the user would have written it: "--fft-window
// 100000" or "fft_window=100000".
template <typename Value>
std::string optionWithValue(std::string_view key, const Value& value, OptionStyle style) {
    const std::string shown = std::to_string(value);
    return style == OptionStyle::Keyword ? optionName(key, style) + shown : optionName(key, style) + " " + shown;
}

} // namespace kalo::host
