#include "live_options.h"

#include "options.h"

namespace kalo::cli {

namespace {

constexpr const char* kLiveFooter = R"(Sources (exactly one):
  --replay RECORDING   any recording analyze reads, one window step at a time at real time (x --speed)
  --stdin              one CSV line of channel values per sample, or --stdin-format f32 (little-endian
                       float32 frames, --names required); --rate required, --units as for CSV
  --udp HOST:PORT      JSON datagrams {"type":"timeSeriesRaw","data":[[channel 0...],...]} in microvolts
                       (timeSeriesFiltered too); --rate required
Channels are named 1..N by position unless --names is given; --left/--right choose the pair.
Outputs: JSON lines on stdout (analyze --format jsonl's fields) when no other output is given, or
with --stdout; --udp-out HOST:PORT one datagram per record; --serve PORT a dashboard at / and one
WebSocket frame per record at /ws (which takes {"command":"calibrate"}), on 127.0.0.1 unless --listen.
A line, frame, datagram or command that holds nothing usable is counted and skipped.
The end of a replay, SIGINT or SIGTERM ends the run: outputs are flushed and the summary (the host's,
then records published, latency p50/p99/max, malformed inputs, frames dropped per client) goes to
stderr; --summary-json writes it as JSON. Exit code 2 for any error, such as a port in use.)";

} // namespace

CLI::App* defineLiveCommand(CLI::App& app, LiveOptions& o) {
    CLI::App* live = app.add_subcommand("live", "Run the engine on a stream as it arrives: a replay, stdin or UDP");
    live->footer(kLiveFooter);
    auto* replay = live->add_option("--replay", o.replay, "Replay this recording at real time")
                       ->type_name("RECORDING")
                       ->group("Source");
    live->add_option("--speed", o.speed, "Replay at this many times real time")
        ->check(CLI::Range(1e-3, 1e6))
        ->capture_default_str()
        ->needs(replay)
        ->group("Source");
    live->add_flag("--loop", o.loop, "Start the replay again at its end, until stopped")->needs(replay)->group("Source");
    auto* fromStdin = live->add_flag("--stdin", o.fromStdin, "Read samples from standard input")->group("Source");
    live->add_option("--stdin-format", o.stdinFormat, "csv (one line per sample) or f32 (float32 frames)")
        ->check(CLI::IsMember({"csv", "f32"}))
        ->capture_default_str()
        ->needs(fromStdin)
        ->group("Source");
    auto* udp = live->add_option("--udp", o.udp, "Receive JSON sample datagrams on this address")
                    ->type_name("HOST:PORT")
                    ->group("Source");
    live->add_option("--names", o.names, "Names of the stream's channels, in order")
        ->delimiter(',')
        ->type_name("A,B,...")
        ->group("Source");
    replay->excludes(fromStdin)->excludes(udp);
    fromStdin->excludes(udp);

    live->add_flag("--stdout", o.toStdout, "JSON lines on stdout beside the other outputs")->group("Outputs");
    live->add_option("--udp-out", o.udpOut, "Send one JSON datagram per record here")
        ->type_name("HOST:PORT")
        ->group("Outputs");
    auto* serve = live->add_option("--serve", o.serve, "Serve the dashboard and the WebSocket on this port")
                      ->check(CLI::Range(0, 65535))
                      ->type_name("PORT")
                      ->group("Outputs");
    live->add_option("--listen", o.listen, "Address the server listens on")
        ->capture_default_str()
        ->needs(serve)
        ->group("Outputs");
    live->add_option("--max-clients", o.maxClients, "Browsers that may watch at once")
        ->check(CLI::Range(1, 256))
        ->capture_default_str()
        ->needs(serve)
        ->group("Outputs");
    live->add_option("--summary-json", o.summaryJson, "Also write the summary as JSON")->group("Outputs");
    addHostOptions(live, o.host,
                   {host::Options::Group::Input, host::Options::Group::Channels,
                    host::Options::Group::EngineSettings, host::Options::Group::EngineBehaviour});
    CLI::Option* left = live->get_option("--left");
    CLI::Option* right = live->get_option("--right");
    left->needs(right);
    right->needs(left);
    live->get_option("--channels")->excludes(left)->excludes(right);
    live->get_option("--hanning")->excludes(live->get_option("--hamming"));
    return live;
}

} // namespace kalo::cli
