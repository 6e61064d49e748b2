#include "filters/preinstalled.h"

#include <charconv>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "shared/require.h"

namespace Filters::Preinstalled {

namespace {

constexpr const char* directoryPath = "preinstalled/resources/";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The kind is found by searching the name for each kind's letters in this
// order, anywhere in the name; a name with none of them leaves the field.
void readKind(std::string_view name, _FilterType& kind) {
    struct Kind {
        std::string_view letters;
        _FilterType value;
    };
    static constexpr Kind kinds[] = {{"BS", BS}, {"BP", BP}, {"LP", LP}, {"HP", HP}};
    for (const Kind& candidate : kinds) {
        if (name.find(candidate.letters) != std::string_view::npos) {
            kind = candidate.value;
            return;
        }
    }
}

// The next number token at or after `pos`: a digit run, or two digit runs
// joined by "p" ("1p75"), which stands for a decimal point. Returns the
// token with "p" turned into "." (empty when there is none) and moves `pos`
// past it.
std::string nextNumber(std::string_view name, std::size_t& pos) {
    while (pos < name.size() && !isDigit(name[pos]))
        ++pos;
    const std::size_t start = pos;
    while (pos < name.size() && isDigit(name[pos]))
        ++pos;
    std::string token(name.substr(start, pos - start));
    if (!token.empty() && pos + 1 < name.size() && name[pos] == 'p' && isDigit(name[pos + 1])) {
        const std::size_t fraction = ++pos;
        while (pos < name.size() && isDigit(name[pos]))
            ++pos;
        token += '.';
        token += name.substr(fraction, pos - fraction);
    }
    return token;
}

// Conversions that ignore the host's locale: the names always write "." (as
// "p") for the decimal point, whatever the process's numeric locale says.
// The leading number of the token is read and the rest ignored, as the
// standard string-to-number conversions do.
template <class Number>
Number toNumber(const std::string& token, const char* what) {
    Number value{};
    const auto error = std::from_chars(token.data(), token.data() + token.size(), value).ec;
    if (error == std::errc::result_out_of_range)
        throw std::out_of_range(what);
    if (error != std::errc())
        throw std::invalid_argument(what);
    return value;
}

void readRecord(std::string_view name, _FilterParam& record) {
    readKind(name, record.filter_type);
    std::size_t pos = 0;
    const std::string frequency = nextNumber(name, pos);
    if (frequency.empty())
        return;
    record.frequency = toNumber<double>(frequency, "catalogue frequency");
    const std::string rate = nextNumber(name, pos);
    if (rate.empty())
        return;
    record.sampling_rate = toNumber<int32_t>(rate, "catalogue sampling rate");
}

} // namespace

PreinstaledFilter::PreinstaledFilter() : filesystem(Resources::get_filesystem()) {}

void PreinstaledFilter::GetPreinstalledCount(int& count) const {
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : filesystem.iterate_directory(directoryPath))
        ++entries;
    count = entries;
}

void PreinstaledFilter::GetList(_FilterParam* list) const {
    OviMath::requireNonNull(list, "catalogue list is null");
    std::size_t i = 0;
    for (const auto& entry : filesystem.iterate_directory(directoryPath))
        readRecord(entry.name(), list[i++]);
}

bool PreinstaledFilter::FilterExist(const char* name) const {
    std::string path(OviMath::requireNonNull(name, "catalogue name is null"));
    buildFullPath(path);
    return filesystem._get(path).has_value();
}

const char* PreinstaledFilter::GetFilterData(const char* name) const {
    std::string path(OviMath::requireNonNull(name, "catalogue name is null"));
    buildFullPath(path);
    return filesystem.open(path).begin();
}

void PreinstaledFilter::buildFullPath(std::string& name) { name = directoryPath + name + ".dat"; }

} // namespace Filters::Preinstalled
