#pragma once

// The command line: subcommands, their options, and what they parse into.
// Every option that says how to read a recording, which channels to use or
// how the engine runs is a key of the host layer's Options: its flag is the
// key with "-" for "_", and its value goes to Options::set as it was typed.

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "host/options.h"
#include "live_options.h"
#include "row_writer.h"

namespace kalo::cli {

struct AnalyzeOptions {
    std::vector<std::string> recordings;
    host::Options host;
    RowFormat format = RowFormat::Csv;
    std::string outDir;      // empty: rows on stdout
    std::string summaryJson; // empty: none
    int jobs = 1;
    bool quiet = false;
    bool overwrite = false;  // replace existing output files
    bool printSettings = false; // write the settings in force as a settings file, and stop
    // Set by a parent run of --jobs for each child: analyse only this
    // recording and leave its summary as JSON in jobSummary.
    int jobIndex = -1;
    std::string jobSummary;
};

struct DemoOptions {
    host::Options host;
    int minutes = 2;
    std::string writePath;
    std::string summaryJson;
    bool overwrite = false;
};

struct InfoOptions {
    std::vector<std::string> recordings;
    host::Options host;   // how to read them
    bool json = false;
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
    InfoOptions info;
    CLI::App* analyzeCommand = nullptr;
    CLI::App* demoCommand = nullptr;
    CLI::App* filtersCommand = nullptr;
    CLI::App* filterCommand = nullptr;
    CLI::App* infoCommand = nullptr;
    LiveOptions live;
    CLI::App* liveCommand = nullptr;
};

void defineCommandLine(CLI::App& app, CommandLine& commandLine);
// One flag per key of the host layer's options in the given groups.
void addHostOptions(CLI::App* command, host::Options& options, std::initializer_list<host::Options::Group> groups);

} // namespace kalo::cli
