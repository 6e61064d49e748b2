// kalo: a command-line host of the kalo_artifacts library. It reaches the
// library only through its public C interface, as any other host would.

#include <exception>

#include <fmt/format.h>

#include "cli_error.h"
#include "commands.h"
#include "host/error.h"
#include "options.h"

namespace {

// The help of the subcommand being parsed, which lists its options.
std::string helpFor(const kalo::cli::CommandLine& cl) {
    for (const CLI::App* command : {cl.analyzeCommand, cl.demoCommand, cl.filtersCommand, cl.filterCommand,
                                   cl.infoCommand, cl.liveCommand})
        if (command != nullptr && command->parsed())
            return "kalo " + command->get_name() + " --help";
    return "kalo --help";
}

// The parser's few messages that read as its internals, in plain words.
std::string plainParseError(const CLI::ParseError& e, int argc, char** argv) {
    const std::string what = e.what();
    if (what == "A subcommand is required")
        return argc > 1 ? fmt::format("unknown command \"{}\"; the commands are analyze, info, demo, live, filters "
                                          "and filter",
                                      argv[1])
                        : "give a command: analyze, info, demo, live, filters or filter";
    if (what == "recordings is required")
        return "name at least one recording to analyse";
    return what;
}

} // namespace

int main(int argc, char** argv) {
    using namespace kalo::cli;
    CLI::App app{"EEG recordings to attention, relaxation and band shares, with the kalo_artifacts library", "kalo"};
    CommandLine commandLine;
    defineCommandLine(app, commandLine);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return app.exit(e); // --help
        fmt::print(stderr, "kalo: {} ({} lists the options)\n", plainParseError(e, argc, argv), helpFor(commandLine));
        return kExitFailure;
    } catch (const kalo::host::Error& e) {
        // An option's value that the host layer refused while parsing.
        fmt::print(stderr, "kalo: {} ({} lists the options)\n", e.what(), helpFor(commandLine));
        return kExitFailure;
    }
    try {
        if (commandLine.analyzeCommand->parsed())
            return runAnalyze(commandLine.analyze, std::vector<std::string>(argv + 1, argv + argc));
        if (commandLine.demoCommand->parsed())
            return runDemo(commandLine.demo);
        if (commandLine.infoCommand->parsed())
            return runInfo(commandLine.info);
        if (commandLine.liveCommand->parsed())
            return runLive(commandLine.live);
        if (commandLine.filtersCommand->parsed())
            return runFilterList();
        return runFilter(commandLine.filter);
    } catch (const CliError& e) {
        fmt::print(stderr, "kalo: {}\n", e.what());
    } catch (const kalo::host::Error& e) {
        fmt::print(stderr, "kalo: {}\n", e.what());
    } catch (const std::exception& e) {
        fmt::print(stderr, "kalo: unexpected failure: {}\n", e.what());
    }
    return kExitFailure;
}
