#include "live_server.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <fmt/format.h>

#include "error.h"
#include "live_dashboard.h"
#include "live_run.h"

namespace kalo::host {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

constexpr int kSendBufferBytes = 64 * 1024;

// What the summary tells of each client, kept after it has gone.
struct ClientCount {
    int id = 0;
    std::string peer;
    std::atomic<std::int64_t> sent{0}, dropped{0}, malformedCommands{0};
};

// A WebSocket frame with a record's fields, the channels' names and the
// samples since the previous record (microvolts, one list per channel), for
// the page's raw trace.
std::string frameText(const LiveRecord& record) {
    std::string text = record.json;
    text.pop_back(); // the closing brace
    text += fmt::format(",\"rate_hz\":{}", record.rateHz);
    text += ",\"channels\":";
    text += nlohmann::json(record.channelNames).dump();
    text += ",\"trace_uv\":[";
    const auto width = static_cast<std::size_t>(record.traceChannels);
    const std::size_t frames = width == 0 ? 0 : record.traceUv.size() / width;
    for (std::size_t c = 0; c < width; ++c) {
        text += c == 0 ? "[" : ",[";
        for (std::size_t f = 0; f < frames; ++f)
            text += fmt::format("{}{:.3f}", f == 0 ? "" : ",", record.traceUv[f * width + c]);
        text += ']';
    }
    text += "]}";
    return text;
}

} // namespace

struct LiveServer::State : std::enable_shared_from_this<LiveServer::State> {
    explicit State(const ServerConfig& c) : config(c), acceptor(io) {}

    class Client;
    struct Exchange {
        beast::tcp_stream stream;
        beast::flat_buffer buffer;
        http::request<http::string_body> request;
        http::response<http::string_body> response;
    };

    ServerConfig config;
    asio::io_context io;
    tcp::acceptor acceptor;
    std::thread thread;
    std::vector<std::shared_ptr<Client>> clients;       // io thread only
    std::vector<std::weak_ptr<Exchange>> exchanges;     // io thread only: requests being answered
    mutable std::mutex countsLock;
    std::vector<std::shared_ptr<ClientCount>> counts;   // every client that connected
    std::atomic<int> refused{0};
    std::atomic<int> nextId{1};
    std::mutex runLock;
    LiveRun* run = nullptr;

    void accept();
    void serveHttp(tcp::socket socket);
    void shutdown();
    // A command before the run exists or after it has finished has nothing to start.
    void calibrate() {
        const std::lock_guard lock(runLock);
        if (run != nullptr)
            run->requestCalibration();
    }
    bool queuesEmpty() const;
};

class LiveServer::State::Client : public std::enable_shared_from_this<Client> {
public:
    Client(std::shared_ptr<State> server, tcp::socket socket, std::shared_ptr<ClientCount> count)
        : server_(std::move(server)), ws_(std::move(socket)), count_(std::move(count)) {}

    void start(http::request<http::string_body> request) {
        // A fixed kernel buffer (the system's would grow to megabytes, a
        // minute of frames) keeps the bounded queue the real bound.
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().set_option(asio::socket_base::send_buffer_size(kSendBufferBytes), ignored);
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.async_accept(request, [self = shared_from_this()](beast::error_code e) {
            if (e)
                return self->close();
            self->open_ = true;
            self->read();
            self->write();
        });
    }

    // On the io thread.
    void enqueue(const std::shared_ptr<const std::string>& frame) {
        if (queue_.size() >= server_->config.queueFrames) {
            ++count_->dropped;
            return;
        }
        queue_.push_back(frame);
        write();
    }
    bool idle() const { return queue_.empty(); }
    void shutdown() {
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().close(ignored);
    }

private:
    void write() {
        if (!open_ || writing_ || queue_.empty())
            return;
        writing_ = true;
        ws_.text(true);
        ws_.async_write(asio::buffer(*queue_.front()), [self = shared_from_this()](beast::error_code e, std::size_t) {
            self->writing_ = false;
            if (e)
                return self->close();
            self->queue_.pop_front();
            ++self->count_->sent;
            self->write();
        });
    }

    void read() {
        ws_.async_read(input_, [self = shared_from_this()](beast::error_code e, std::size_t) {
            if (e)
                return self->close();
            const std::string text = beast::buffers_to_string(self->input_.data());
            self->input_.consume(self->input_.size());
            const nlohmann::json command = nlohmann::json::parse(text, nullptr, false);
            if (command.is_object() && command.value("command", std::string()) == "calibrate")
                self->server_->calibrate();
            else
                ++self->count_->malformedCommands;
            self->read();
        });
    }

    void close() {
        open_ = false;
        queue_.clear();
        auto& list = server_->clients;
        list.erase(std::remove(list.begin(), list.end(), shared_from_this()), list.end());
    }

    std::shared_ptr<State> server_;
    websocket::stream<beast::tcp_stream> ws_;
    std::shared_ptr<ClientCount> count_;
    beast::flat_buffer input_;
    std::deque<std::shared_ptr<const std::string>> queue_;
    bool open_ = false;
    bool writing_ = false;
};

void LiveServer::State::accept() {
    acceptor.async_accept([self = shared_from_this()](beast::error_code e, tcp::socket socket) {
        if (e == asio::error::operation_aborted)
            return;
        if (!e)
            self->serveHttp(std::move(socket));
        self->accept();
    });
}

// One request per connection: the page, its charting library, or the
// WebSocket upgrade.
void LiveServer::State::serveHttp(tcp::socket socket) {
    auto x = std::make_shared<Exchange>(Exchange{beast::tcp_stream(std::move(socket)), {}, {}, {}});
    std::erase_if(exchanges, [](const std::weak_ptr<Exchange>& w) { return w.expired(); });
    exchanges.push_back(x);
    x->stream.expires_after(std::chrono::seconds(10));
    http::async_read(x->stream, x->buffer, x->request, [self = shared_from_this(), x](beast::error_code e, std::size_t) {
        if (e)
            return;
        const std::string target(x->request.target());
        if (websocket::is_upgrade(x->request) && target == "/ws") {
            if (static_cast<int>(self->clients.size()) < self->config.maxClients) {
                auto count = std::make_shared<ClientCount>();
                count->id = self->nextId++;
                beast::error_code ignored;
                const tcp::endpoint peer = x->stream.socket().remote_endpoint(ignored);
                count->peer = fmt::format("{}:{}", peer.address().to_string(), peer.port());
                {
                    const std::lock_guard lock(self->countsLock);
                    self->counts.push_back(count);
                }
                x->stream.expires_never();
                auto client = std::make_shared<Client>(self, x->stream.release_socket(), count);
                self->clients.push_back(client);
                client->start(std::move(x->request));
                return;
            }
            ++self->refused;
        }
        auto& r = x->response;
        r.version(x->request.version());
        r.keep_alive(false);
        if (websocket::is_upgrade(x->request) && target == "/ws") {
            r.result(http::status::service_unavailable);
            r.set(http::field::content_type, "text/plain");
            r.body() = fmt::format("at most {} clients watch at once\n", self->config.maxClients);
        } else if (x->request.method() != http::verb::get) {
            r.result(http::status::method_not_allowed);
            r.body() = "only GET\n";
        } else if (target == "/" || target == "/index.html") {
            r.result(http::status::ok);
            r.set(http::field::content_type, "text/html; charset=utf-8");
            r.body() = dashboardPage();
        } else if (target == "/chart.min.js") {
            r.result(http::status::ok);
            r.set(http::field::content_type, "application/javascript");
            r.body() = chartingLibrary();
        } else {
            r.result(http::status::not_found);
            r.set(http::field::content_type, "text/plain");
            r.body() = "not found\n";
        }
        r.prepare_payload();
        http::async_write(x->stream, r, [x](beast::error_code, std::size_t) {
            beast::error_code ignored;
            x->stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
        });
    });
}

// Every socket closed: what waits on them ends, and with it the loop.
void LiveServer::State::shutdown() {
    beast::error_code ignored;
    acceptor.close(ignored);
    for (const auto& client : std::vector(clients))
        client->shutdown();
    for (const auto& w : exchanges)
        if (const auto x = w.lock())
            x->stream.socket().close(ignored);
}

bool LiveServer::State::queuesEmpty() const {
    for (const auto& client : clients)
        if (!client->idle())
            return false;
    return true;
}

LiveServer::LiveServer(const ServerConfig& config) : state_(std::make_shared<State>(config)) {
    beast::error_code e;
    const asio::ip::address address = asio::ip::make_address(config.address, e);
    if (e)
        throw invalidArgument(fmt::format("--listen: \"{}\" is not an IP address", config.address));
    const tcp::endpoint endpoint(address, static_cast<std::uint16_t>(config.port));
    auto& acceptor = state_->acceptor;
    acceptor.open(endpoint.protocol(), e);
    if (!e)
        acceptor.set_option(asio::socket_base::reuse_address(true), e);
    if (!e)
        acceptor.bind(endpoint, e);
    if (!e)
        acceptor.listen(asio::socket_base::max_listen_connections, e);
    if (e)
        throw invalidArgument(fmt::format("--serve: cannot listen on {}:{}: {}", config.address, config.port,
                                          e == asio::error::address_in_use ? "the port is in use" : e.message()));
    state_->accept();
    state_->thread = std::thread([s = state_] { s->io.run(); });
}

LiveServer::~LiveServer() {
    asio::post(state_->io, [s = state_] { s->shutdown(); });
    state_->thread.join();
}

int LiveServer::port() const { return state_->acceptor.local_endpoint().port(); }

void LiveServer::publish(const LiveRecord& record) {
    auto frame = std::make_shared<const std::string>(frameText(record));
    asio::post(state_->io, [s = state_, frame] {
        for (const auto& client : std::vector(s->clients))
            client->enqueue(frame);
    });
}

void LiveServer::flush() {
    // What the clients still have queued, for at most a second: a stalled
    // client must not hold up the end either.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < until) {
        std::promise<bool> done;
        auto empty = done.get_future();
        asio::post(state_->io, [s = state_, &done] { done.set_value(s->queuesEmpty()); });
        if (empty.wait_for(std::chrono::milliseconds(200)) == std::future_status::ready && empty.get())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void LiveServer::connect(LiveRun* run) {
    const std::lock_guard lock(state_->runLock);
    state_->run = run;
}

nlohmann::ordered_json LiveServer::report() const {
    nlohmann::ordered_json clients = nlohmann::ordered_json::array();
    const std::lock_guard lock(state_->countsLock);
    for (const auto& c : state_->counts)
        clients.push_back({{"client", c->id},
                           {"peer", c->peer},
                           {"frames_sent", c->sent.load()},
                           {"frames_dropped", c->dropped.load()},
                           {"malformed_commands", c->malformedCommands.load()}});
    return {{"output", "websocket"},
            {"port", port()},
            {"clients", clients},
            {"clients_refused", state_->refused.load()}};
}

std::string LiveServer::reportText() const {
    const std::lock_guard lock(state_->countsLock);
    std::string text = fmt::format("websocket    {} clients", state_->counts.size());
    for (const auto& c : state_->counts)
        text += fmt::format("; {} sent {}, dropped {}", c->peer, c->sent.load(), c->dropped.load());
    if (state_->refused > 0)
        text += fmt::format("; {} refused (too many clients)", state_->refused.load());
    return text;
}

} // namespace kalo::host
