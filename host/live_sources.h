#pragma once

// The three places a live run's samples come from, each read until it ends
// or `stop` is set (a signal handler may set it), then the run finished:
//  - a replay of a recording, paced at `speed` times real time, from the
//    start again at its end with `loop`;
//  - a stream of bytes (a pipe on stdin): one CSV line of channel values
//    per sample, or raw little-endian float32 frames;
//  - UDP datagrams in the acquisition GUIs' JSON shape (live_parsers.h).
// A line, frame or datagram that holds no samples is counted and skipped.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "live_run.h"

namespace kalo::host {

// Called with the run once it exists (its layout is known), before the
// first samples: where a host connects what needs it.
using LiveStarted = std::function<void(LiveRun&)>;

struct LiveInput {
    Options options;
    std::vector<LiveOutput*> outputs;
    const std::atomic<bool>* stop = nullptr; // required
    LiveStarted started;
};

struct ReplaySource {
    std::string path;
    double speed = 1.0;
    bool loop = false;
};
LiveReport runReplay(const ReplaySource& source, const LiveInput& input);

enum class StreamFormat { CsvLines, Float32 };
struct StreamSource {
    int fd = 0;
    StreamFormat format = StreamFormat::CsvLines;
    std::vector<std::string> names; // required for float32; CSV lines name their channels 1..N by default
    std::string label = "stdin";
};
LiveReport runStream(const StreamSource& source, const LiveInput& input);

struct DatagramSource {
    std::string host = "127.0.0.1";
    int port = 0;
    std::vector<std::string> names; // 1..N by position when empty
};
// Binds before it returns control to any reader: a port in use is an Error.
LiveReport runDatagrams(const DatagramSource& source, const LiveInput& input);

// "HOST:PORT" with a port from 1 to 65535; an Error naming `option` otherwise.
std::pair<std::string, int> parseHostPort(const std::string& text, const std::string& option);

} // namespace kalo::host
