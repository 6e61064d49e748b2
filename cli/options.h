#pragma once

// The command line: subcommands, their options, and what they parse into.

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "analysis.h"
#include "recording.h"
#include "row_writer.h"

namespace kalo::cli {

struct AnalyzeOptions {
    std::vector<std::string> recordings;
    InputOptions input;
    ChannelChoice channels;
    EngineConfig engine;
    RowFormat format = RowFormat::Csv;
    std::string outDir;      // empty: rows on stdout
    std::string summaryJson; // empty: none
    int jobs = 1;
    bool quiet = false;
    bool overwrite = false;  // replace existing output files
    // Set by a parent run of --jobs for each child: analyse only this
    // recording and leave its summary as JSON in jobSummary.
    int jobIndex = -1;
    std::string jobSummary;
};

struct DemoOptions {
    EngineConfig engine;
    std::string writePath;
    std::string summaryJson;
    bool overwrite = false;
};

struct FilterOptions {
    std::string type;
    double freqHz = 0;
    int rateHz = 0;
    std::string coefficientsFile;
};

struct CommandLine {
    AnalyzeOptions analyze;
    DemoOptions demo;
    FilterOptions filter;
    CLI::App* analyzeCommand = nullptr;
    CLI::App* demoCommand = nullptr;
    CLI::App* filtersCommand = nullptr;
    CLI::App* filterCommand = nullptr;
};

void defineCommandLine(CLI::App& app, CommandLine& commandLine);

} // namespace kalo::cli
