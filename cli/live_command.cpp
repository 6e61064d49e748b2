// kalo live: the engine on a stream through the host layer's live run; this
// file only turns options into the source and the outputs, and a signal into
// the end of the run.

#include <csignal>

#include <atomic>
#include <memory>
#include <optional>

#include <fmt/format.h>
#include <unistd.h>

#include "cli_error.h"
#include "commands.h"
#include "json_output.h"
#include "output_guard.h"
#include "host/live_server.h"
#include "host/live_sources.h"
#include "host/live_udp_output.h"

namespace kalo::cli {

namespace {

std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

extern "C" void stopOnSignal(int) { gStop.store(true); }

// SIGINT and SIGTERM end the run where it is; without SA_RESTART a blocked
// read returns at once.
void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = stopOnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int runLive(const LiveOptions& o) {
    const int sources = (o.replay.empty() ? 0 : 1) + (o.fromStdin ? 1 : 0) + (o.udp.empty() ? 0 : 1);
    if (sources != 1)
        throw CliError("give one source: --replay RECORDING, --stdin or --udp HOST:PORT");
    if (!o.summaryJson.empty() && o.summaryJson != "-") {
        std::vector<std::filesystem::path> written{o.summaryJson};
        checkOutputs(written, o.replay.empty() ? std::vector<std::string>{} : std::vector<std::string>{o.replay},
                     true);
    }
    const bool linesOnStdout = (o.udpOut.empty() && o.serve < 0) || o.toStdout;
    if (o.summaryJson == "-" && linesOnStdout)
        throw CliError("--summary-json - writes to standard output, where the records go");
    JsonOutput summaryJson(o.summaryJson);

    std::vector<host::LiveOutput*> outputs;
    std::optional<host::UdpOutput> udpOut;
    std::optional<host::LiveServer> server;
    if (!o.udpOut.empty()) {
        const auto [address, port] = host::parseHostPort(o.udpOut, "--udp-out");
        outputs.push_back(&udpOut.emplace(address, port));
    }
    if (o.serve >= 0) {
        host::ServerConfig config;
        config.address = o.listen;
        config.port = o.serve;
        config.maxClients = o.maxClients;
        outputs.push_back(&server.emplace(config));
        fmt::print(stderr, "kalo: dashboard at http://{}:{}/\n", o.listen, server->port());
    }
    host::JsonLinesOutput lines(stdout);
    if (linesOnStdout)
        outputs.insert(outputs.begin(), &lines);

    catchStopSignals();
    host::LiveInput input{o.host, outputs, &gStop, {}};
    host::LiveReport report;
    if (!o.replay.empty()) {
        report = host::runReplay({o.replay, o.speed, o.loop}, input);
    } else if (o.fromStdin) {
        host::StreamSource stream;
        stream.fd = STDIN_FILENO;
        stream.format = o.stdinFormat == "f32" ? host::StreamFormat::Float32 : host::StreamFormat::CsvLines;
        stream.names = o.names;
        report = host::runStream(stream, input);
    } else {
        host::DatagramSource datagrams;
        std::tie(datagrams.host, datagrams.port) = host::parseHostPort(o.udp, "--udp");
        datagrams.names = o.names;
        report = host::runDatagrams(datagrams, input);
    }
    fmt::print(stderr, "{}", host::formatLiveReport(report));
    summaryJson.write(host::liveReportJson(report));
    if (lines.failed())
        throw CliError("cannot write to standard output");
    return 0;
}

} // namespace kalo::cli
