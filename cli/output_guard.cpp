#include "output_guard.h"

#include <fmt/format.h>

#include "cli_error.h"

namespace kalo::cli {

namespace fs = std::filesystem;

void checkOutputs(const std::vector<fs::path>& outputs, const std::vector<std::string>& inputs, bool overwrite) {
    for (const fs::path& out : outputs) {
        std::error_code error;
        // An output name that does not exist cannot be an input; one that
        // exists as a dangling symlink is replaced by the rename, not followed.
        if (!fs::exists(fs::symlink_status(out, error)))
            continue;
        for (const std::string& in : inputs) {
            std::error_code same;
            if (fs::equivalent(out, in, same))
                throw CliError(fmt::format("{}: this output is the input {}: writing it would destroy the recording",
                                           out.string(), in));
        }
        if (!overwrite)
            throw CliError(fmt::format("{}: already exists; give --overwrite to replace it", out.string()));
    }
}

} // namespace kalo::cli
