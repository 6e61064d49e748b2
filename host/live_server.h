#pragma once

// HTTP and WebSocket for a live run: "/" is the dashboard page (embedded in
// the program, with its charting library, so nothing is fetched at run
// time), "/ws" sends one JSON text frame per record and takes
// {"command":"calibrate"}.
//
// The server runs on a thread of its own. publish() only posts the frame to
// it; each client has a bounded queue, and a client that does not read loses
// the frames that do not fit (counted), so a stalled browser never delays
// the engine, the other clients or the other outputs. A client beyond the
// cap is refused with 503.

#include <cstdint>
#include <memory>
#include <string>

#include "live_output.h"

namespace kalo::host {

struct ServerConfig {
    std::string address = "127.0.0.1"; // loopback unless the user names another
    int port = 0;                       // 0: any free port (see LiveServer::port)
    int maxClients = 8;
    std::size_t queueFrames = 64;       // per client: 2.5 s of records at 25 per second
};

class LiveServer final : public LiveOutput {
public:
    // Listening when it returns; an Error (InvalidArgument) for an address
    // that cannot be listened on, such as a port in use.
    explicit LiveServer(const ServerConfig& config);
    ~LiveServer() override;

    int port() const;
    void publish(const LiveRecord& record) override;
    void flush() override;
    void connect(LiveRun* run) override;
    nlohmann::ordered_json report() const override;
    std::string reportText() const override;

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace kalo::host
