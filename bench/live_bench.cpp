// The delay a live run adds to each record: from the arrival of the block
// that completes a window to the record handed to every output (JSON lines,
// a UDP datagram, a WebSocket frame to a client that reads), at 25 records a
// second in real time, as a device delivers them. Reported as p50, p99 and
// max in milliseconds; the goal is p99 at or below 2 ms.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <optional>
#include <thread>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include "host/live_run.h"
#include "host/live_server.h"
#include "host/live_udp_output.h"

namespace {

using namespace kalo::host;

void LiveLatencyAt25RecordsPerSecond(benchmark::State& state) {
    const int rate = 250, step = 10, seconds = static_cast<int>(state.range(0));
    Options options;
    options.set("rate", "250");
    std::FILE* devNull = std::fopen("/dev/null", "w");
    JsonLinesOutput lines(devNull);
    UdpOutput udp("127.0.0.1", 9); // the discard port: nothing needs to listen
    ServerConfig config;
    std::optional<LiveServer> live;
    LiveServer& server = live.emplace(config);

    // One client that reads every frame, on a thread of its own.
    std::atomic<bool> reading{true};
    std::thread client([&] {
        namespace ws = boost::beast::websocket;
        boost::asio::io_context io;
        ws::stream<boost::asio::ip::tcp::socket> socket(io);
        socket.next_layer().connect({boost::asio::ip::make_address("127.0.0.1"),
                                     static_cast<std::uint16_t>(server.port())});
        socket.handshake("127.0.0.1", "/ws");
        boost::beast::flat_buffer buffer;
        boost::beast::error_code e;
        while (reading && !e) {
            socket.read(buffer, e);
            buffer.consume(buffer.size());
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    StreamLayout layout;
    layout.source = "bench";
    layout.rateHz = rate;
    layout.frameWidth = 2;
    layout.selection.columns = {0, 1};
    layout.names = {"L", "R"};
    for (auto _ : state) {
        LiveRun run(options, layout, {&lines, &udp, &server});
        std::vector<double> block(static_cast<std::size_t>(step) * 2);
        const auto start = LiveClock::now();
        for (int first = 0; first < rate * seconds; first += step) {
            for (int i = 0; i < step; ++i) {
                const double t = static_cast<double>(first + i) / rate;
                block[static_cast<std::size_t>(2 * i)] = 20e-6 * std::sin(2 * M_PI * 10 * t);
                block[static_cast<std::size_t>(2 * i + 1)] = 15e-6 * std::sin(2 * M_PI * 20 * t);
            }
            std::this_thread::sleep_until(start + std::chrono::microseconds(4000LL * (first + step)));
            run.push(block.data(), static_cast<std::size_t>(step), LiveClock::now());
        }
        const LiveReport report = run.finish();
        state.counters["records"] = static_cast<double>(report.recordsPublished);
        state.counters["p50_ms"] = report.latency.percentile(50);
        state.counters["p99_ms"] = report.latency.percentile(99);
        state.counters["max_ms"] = report.latency.max();
    }
    reading = false;
    live.reset(); // closes the client's connection, which ends its thread
    client.join();
    std::fclose(devNull);
}

BENCHMARK(LiveLatencyAt25RecordsPerSecond)->Arg(20)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
