#pragma once

// The options of `kalo live`: one source of samples, any outputs, and the
// host layer's keys for reading, channels and the engine.

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "host/options.h"

namespace kalo::cli {

struct LiveOptions {
    host::Options host;
    std::string replay;        // a recording, paced at real time
    double speed = 1.0;
    bool loop = false;
    bool fromStdin = false;
    std::string stdinFormat = "csv";
    std::vector<std::string> names;
    std::string udp;           // HOST:PORT to receive datagrams on
    std::string udpOut;        // HOST:PORT to send records to
    int serve = -1;            // a port: HTTP and WebSocket
    std::string listen = "127.0.0.1";
    int maxClients = 8;
    bool toStdout = false;     // JSON lines on stdout beside other outputs
    std::string summaryJson;
};

CLI::App* defineLiveCommand(CLI::App& app, LiveOptions& options);

} // namespace kalo::cli
