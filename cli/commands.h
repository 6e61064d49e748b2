#pragma once

// The subcommands. Each returns the exit code; failures the user can act on
// are thrown as CliError.

#include <string>
#include <vector>

#include "options.h"

namespace kalo::cli {

// `args` are the command-line arguments after the program name, which the
// children of --jobs receive again.
int runAnalyze(const AnalyzeOptions& options, const std::vector<std::string>& args);
int runDemo(const DemoOptions& options);
int runFilterList();
int runInfo(const InfoOptions& options);
int runFilter(const FilterOptions& options);
int runLive(const LiveOptions& options);

} // namespace kalo::cli
