#pragma once

// The small part of CSV the program reads: comma-separated cells, one record
// per line, no quoted commas. Numbers are read in the C notation whatever
// the locale.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalo::host {

// Splits text into lines, dropping "\r" before "\n".
std::vector<std::string_view> splitLines(std::string_view text);

// The cells of one line, trimmed of spaces and of surrounding double quotes.
std::vector<std::string_view> splitCells(std::string_view line);

// The whole cell as a number (also "nan" and "inf"), or nothing.
std::optional<double> parseNumber(std::string_view cell);

// The whole of a file or of standard input; an Error when it cannot be read.
std::string readWholeFile(const std::string& path);
std::string readStandardInput();

} // namespace kalo::host
