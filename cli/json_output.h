#pragma once

// Where --summary-json goes: nowhere, standard output ("-"), or a file that
// is created when the run starts, so a path that cannot be written fails
// before any analysis rather than after every row has gone out, and that
// appears under its name only once complete.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "atomic_file.h"

namespace kalo::cli {

class JsonOutput {
public:
    explicit JsonOutput(const std::string& path);
    bool wanted() const { return wanted_; }
    bool toStandardOutput() const { return wanted_ && !file_; }
    // Once, at the end.
    void write(const nlohmann::ordered_json& json);

private:
    bool wanted_ = false;
    std::optional<AtomicFile> file_;
};

} // namespace kalo::cli
