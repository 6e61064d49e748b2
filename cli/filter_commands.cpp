// kalo filters and kalo filter: the library's filters on their own.

#include <algorithm>
#include <map>
#include <memory>
#include <tuple>

#include <fmt/format.h>

#include "cli_error.h"
#include "commands.h"
#include "host/channel_choice.h"
#include "host/csv_text.h"
#include "kalo_artifacts.h"

namespace kalo::cli {

using host::parseNumber;
using host::readStandardInput;
using host::readWholeFile;
using host::splitCells;
using host::splitLines;

namespace {

const std::map<std::string, _FilterType> kTypes = {{"HP", HP}, {"LP", LP}, {"BS", BS}, {"BP", BP}};

std::string typeName(_FilterType type) {
    for (const auto& [name, value] : kTypes)
        if (value == type)
            return name;
    return "?";
}

struct FilterDeleter {
    void operator()(TFilterHandle* filter) const { delete_TFilter(filter, nullptr); }
};
using Filter = std::unique_ptr<TFilterHandle, FilterDeleter>;

// Every column gets its own filter, since a filter carries its state from
// one sample to the next.
Filter makeFilter(const FilterOptions& o, const std::string& coefficients) {
    bool failed = false;
    if (!o.coefficientsFile.empty()) {
        Filter filter(create_custom_TFilter(coefficients.c_str(), &failed));
        if (!filter || failed)
            throw CliError(fmt::format("{}: the library could not build a filter from it", o.coefficientsFile));
        // The library takes any text: lines it does not recognise are
        // skipped, and without a gain line the gain is 0, so every output
        // would be 0. Such a text is refused rather than filtered.
        bool silent = true;
        for (int i = 0; i < 64 && silent; ++i)
            silent = TFilter_Filter(filter.get(), i == 0 ? 1.0 : 0.0, &failed) == 0.0;
        TFilter_Reset(filter.get(), &failed);
        if (silent)
            throw CliError(fmt::format("{}: holds no coefficient text the library can use (no gain line, so every "
                                       "output would be 0)",
                                       o.coefficientsFile));
        return filter;
    }
    std::string type = o.type;
    std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::toupper(c); });
    Filter filter(create_TFilter_by_param(_FilterParam{kTypes.at(type), o.rateHz, o.freqHz}, &failed));
    if (!filter || failed)
        throw CliError(fmt::format("the catalogue has no {} filter at {} Hz for {} Hz sampling (kalo filters "
                                   "lists them)",
                                   type, o.freqHz, o.rateHz));
    return filter;
}

} // namespace

int runFilterList() {
    bool failed = false;
    int count = 0;
    get_preinstalled_filter_count(&count, &failed);
    std::vector<_FilterParam> list(static_cast<std::size_t>(std::max(count, 0)));
    if (!failed)
        get_preinstalled_filter_list(list.data(), &failed);
    if (failed)
        throw CliError("the library could not list its filter catalogue");
    std::sort(list.begin(), list.end(), [](const _FilterParam& a, const _FilterParam& b) {
        return std::tie(a.filter_type, a.sampling_rate, a.frequency) <
               std::tie(b.filter_type, b.sampling_rate, b.frequency);
    });
    fmt::print("type  freq_hz  rate_hz\n");
    for (const _FilterParam& p : list)
        fmt::print("{:<4}  {:>7}  {:>7}\n", typeName(p.filter_type), p.frequency, p.sampling_rate);
    return 0;
}

int runFilter(const FilterOptions& o) {
    if (o.type.empty() && o.coefficientsFile.empty())
        throw CliError("filter needs --type, --freq and --rate (a catalogue filter) or --coefficients FILE");
    const std::string coefficients = o.coefficientsFile.empty() ? std::string() : readWholeFile(o.coefficientsFile);
    makeFilter(o, coefficients); // refuses a filter that does not exist before any input is read

    const std::string input = readStandardInput();
    std::vector<Filter> filters;
    std::string output;
    std::vector<double> values;
    bool first = true;
    int timeColumn = -1; // a header's "t" column passes through unfiltered
    std::size_t lineNumber = 0;
    for (const std::string_view line : splitLines(input)) {
        ++lineNumber;
        if (line.empty())
            continue;
        const std::vector<std::string_view> cells = splitCells(line);
        values.clear();
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::optional<double> v = parseNumber(cells[c]);
            if (!v && first) {
                // A first line that is not all numbers is a header: kept as it is.
                values.clear();
                break;
            }
            if (!v)
                throw CliError(fmt::format("standard input: line {}, column {}: \"{}\" is not a number", lineNumber,
                                           c + 1, cells[c]));
            values.push_back(*v);
        }
        if (values.empty() && first) {
            output.append(line).push_back('\n');
            for (std::size_t c = 0; c < cells.size(); ++c)
                if (host::channelKey(cells[c]) == "t" && timeColumn < 0)
                    timeColumn = static_cast<int>(c);
            first = false;
            continue;
        }
        first = false;
        if (filters.empty())
            for (std::size_t c = 0; c < values.size(); ++c)
                filters.push_back(makeFilter(o, coefficients));
        if (values.size() != filters.size())
            throw CliError(fmt::format("standard input: line {} has {} columns where the first data line has {}",
                                       lineNumber, values.size(), filters.size()));
        for (std::size_t c = 0; c < values.size(); ++c) {
            if (c > 0)
                output.push_back(',');
            if (static_cast<int>(c) == timeColumn) {
                output.append(cells[c]);
                continue;
            }
            bool failed = false;
            // Adding 0 turns -0 into 0: a sign on nothing only puzzles a reader.
            const double y = TFilter_Filter(filters[c].get(), values[c], &failed) + 0.0;
            fmt::format_to(std::back_inserter(output), "{}", y);
        }
        output.push_back('\n');
    }
    // Written only once all input was read and filtered, so a failure leaves
    // no partial output.
    std::fwrite(output.data(), 1, output.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : kExitFailure;
}

} // namespace kalo::cli
