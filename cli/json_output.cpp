#include "json_output.h"

#include <fmt/format.h>

#include "cli_error.h"

namespace kalo::cli {

JsonOutput::JsonOutput(const std::string& path) : wanted_(!path.empty()) {
    if (wanted_ && path != "-")
        file_.emplace(path);
}

void JsonOutput::write(const nlohmann::ordered_json& json) {
    if (!wanted_)
        return;
    if (!file_) {
        fmt::print("{}\n", json.dump(2));
        if (std::fflush(stdout) != 0)
            throw CliError("cannot write to standard output");
        return;
    }
    fmt::print(file_->stream(), "{}\n", json.dump(2));
    file_->commit();
}

} // namespace kalo::cli
