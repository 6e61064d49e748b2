#include "units.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <utility>

namespace kalo::host {

std::optional<double> unitsPerVolt(std::string_view unit) {
    while (!unit.empty() && (unit.front() == ' ' || unit.front() == '\t'))
        unit.remove_prefix(1);
    while (!unit.empty() && (unit.back() == ' ' || unit.back() == '\t'))
        unit.remove_suffix(1);
    std::string text(unit);
    // The micro sign (U+00B5) in UTF-8 or Latin-1, and the Greek small mu
    // (U+03BC), which some writers use for it.
    for (const std::string_view micro : {"\xC2\xB5", "\xCE\xBC", "\xB5"})
        if (text.rfind(micro, 0) == 0) {
            text = "u" + text.substr(micro.size());
            break;
        }
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    static const std::array<std::pair<std::string_view, double>, 12> kUnits = {{
        {"v", 1.0},
        {"volt", 1.0},
        {"volts", 1.0},
        {"mv", 1e3},
        {"millivolt", 1e3},
        {"millivolts", 1e3},
        {"uv", 1e6},
        {"microvolt", 1e6},
        {"microvolts", 1e6},
        {"nv", 1e9},
        {"nanovolt", 1e9},
        {"nanovolts", 1e9},
    }};
    for (const auto& [name, perVolt] : kUnits)
        if (text == name)
            return perVolt;
    return std::nullopt;
}

} // namespace kalo::host
