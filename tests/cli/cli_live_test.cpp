// kalo live: a live run must publish exactly the records an offline run of
// the same samples publishes, whatever the samples come through (a paced
// replay, a pipe, UDP datagrams), and a WebSocket client that reads nothing
// must change nothing the other outputs publish.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>

#include <chrono>
#include <cmath>
#include <thread>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <fmt/format.h>

#include "kalo_process.h"
#include "support/real_recordings.h"

using kalo_test::jsonLines;
using kalo_test::runKalo;
using kalo_test::ScratchDir;
using kalo_test::slurp;

namespace {

// kalo started in the background, its output in files of its own folder.
class Background {
public:
    Background(const std::vector<std::string>& args, const std::filesystem::path& input = "/dev/null") {
        pid_ = kalo_test::spawnKalo(args, input, io_.path());
    }
    ~Background() {
        if (pid_ > 0 && !done_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    std::string err() const { return slurp(io_ / "err"); }
    std::string out() const { return slurp(io_ / "out"); }
    // Waits until stderr holds `text`, for at most 10 s.
    bool saidSoon(const std::string& text) const {
        for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
            if (err().find(text) != std::string::npos)
                return true;
        return false;
    }
    int stop(int signal = SIGINT) {
        kill(pid_, signal);
        return wait();
    }
    int wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        done_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    ScratchDir io_;
    pid_t pid_ = -1;
    bool done_ = false;
};

// A port nothing listens on now.
int freePort(int type) {
    const int fd = socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    close(fd);
    return ntohs(a.sin_port);
}

// Two channels of an EEG-like signal (alpha, beta and noise), microvolts
// with three decimals, as acquisition programs send them.
std::vector<std::array<double, 2>> syntheticMicrovolts(int rate, int seconds) {
    std::vector<std::array<double, 2>> samples;
    std::uint32_t noise = 12345;
    for (int i = 0; i < rate * seconds; ++i) {
        const double t = static_cast<double>(i) / rate;
        noise = noise * 1664525u + 1013904223u;
        const double n = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * 8;
        const double left = 20 * std::sin(2 * M_PI * 10 * t) + 6 * std::sin(2 * M_PI * 20 * t) + n;
        const double right = 15 * std::sin(2 * M_PI * 10.5 * t + 1) + 5 * std::sin(2 * M_PI * 18 * t) - n;
        samples.push_back({std::round(left * 1000) / 1000, std::round(right * 1000) / 1000});
    }
    return samples;
}

std::string csvOf(const std::vector<std::array<double, 2>>& samples, bool header) {
    std::string text = header ? "L,R\n" : "";
    for (const auto& s : samples)
        text += fmt::format("{:.3f},{:.3f}\n", s[0], s[1]);
    return text;
}

void expectSameRecords(const std::string& live, const std::string& offline) {
    const auto a = jsonLines(live), b = jsonLines(offline);
    ASSERT_GT(b.size(), 100u);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        ASSERT_EQ(a[i].dump(), b[i].dump()) << "record " << i;
}

} // namespace

TEST(CliLive, AFastReplayPublishesTheRecordsOfAnOfflineRun) {
    ScratchDir dir;
    ASSERT_EQ(runKalo({"demo", "--write", (dir / "demo.edf").string()}).exitCode, 0);
    struct Case {
        std::filesystem::path recording;
        std::vector<std::string> channels;
        const char* speed;
    };
    std::vector<Case> cases = {{dir / "demo.edf", {}, "1000"}};
    const auto real = kalo_test::realRecording("S001R01.edf");
    if (real.empty())
        std::cout << "[  NOTE    ] KALO_REAL_DATA_DIR has no S001R01.edf: the replay of a shared recording is "
                     "not checked\n";
    else
        cases.push_back({real, {"--left", "O1", "--right", "O2"}, "30"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recording.string());
        std::vector<std::string> analyze = {"analyze", c.recording.string(), "--format", "jsonl", "--quiet"};
        analyze.insert(analyze.end(), c.channels.begin(), c.channels.end());
        const auto offline = runKalo(analyze);
        ASSERT_EQ(offline.exitCode, 0) << offline.err;
        std::vector<std::string> live = {"live", "--replay", c.recording.string(), "--speed", c.speed,
                                         "--summary-json", (dir / "summary.json").string()};
        live.insert(live.end(), c.channels.begin(), c.channels.end());
        const auto run = runKalo(live);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        expectSameRecords(run.out, offline.out);
        const auto summary = nlohmann::json::parse(slurp(dir / "summary.json"));
        EXPECT_EQ(summary["records_published"], jsonLines(offline.out).size());
        EXPECT_GE(summary["latency_ms"]["p99"].get<double>(), summary["latency_ms"]["p50"].get<double>());
        EXPECT_GE(summary["latency_ms"]["max"].get<double>(), summary["latency_ms"]["p99"].get<double>());
        EXPECT_NE(run.err.find("records published, latency p50"), std::string::npos) << run.err;
    }
}

TEST(CliLive, APipeOnStdinDrivesTheEngineAsAFileWould) {
    ScratchDir dir;
    const auto samples = syntheticMicrovolts(250, 30);
    dir.write("offline.csv", csvOf(samples, true));
    const auto offline = runKalo({"analyze", (dir / "offline.csv").string(), "--rate", "250", "--units", "uV",
                                  "--format", "jsonl", "--quiet"});
    ASSERT_EQ(offline.exitCode, 0) << offline.err;

    // CSV lines with two that hold no sample; then the same samples as float32 frames.
    std::string lines = csvOf(samples, false);
    lines.insert(lines.find('\n', 4000) + 1, "12.5,oops\n\n1,2,3\n");
    const auto csv = runKalo({"live", "--stdin", "--rate", "250", "--units", "uV", "--names", "L,R", "--summary-json",
                              (dir / "csv.json").string()},
                             lines);
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    expectSameRecords(csv.out, offline.out);
    EXPECT_EQ(nlohmann::json::parse(slurp(dir / "csv.json"))["malformed_inputs"], 2);

    std::string frames;
    for (const auto& s : samples)
        for (const double v : s) {
            const float f = static_cast<float>(v);
            frames.append(reinterpret_cast<const char*>(&f), sizeof f);
        }
    const auto f32 = runKalo({"live", "--stdin", "--stdin-format", "f32", "--rate", "250", "--units", "uV",
                              "--names", "L,R"},
                             frames);
    ASSERT_EQ(f32.exitCode, 0) << f32.err;
    const auto a = jsonLines(f32.out), b = jsonLines(offline.out);
    ASSERT_EQ(a.size(), b.size());
    // float32 keeps about seven digits: the levels agree closely, not bit for bit.
    for (std::size_t i = 0; i < a.size(); i += 50)
        EXPECT_NEAR(a[i]["inst_relaxation"].get<double>(), b[i]["inst_relaxation"].get<double>(), 1e-2) << i;
}

TEST(CliLive, DatagramsOfTheAcquisitionGuiShapeDriveTheEngine) {
    ScratchDir dir;
    const auto samples = syntheticMicrovolts(250, 20);
    dir.write("offline.csv", csvOf(samples, true));
    const auto offline = runKalo({"analyze", (dir / "offline.csv").string(), "--rate", "250", "--units", "uV",
                                  "--format", "jsonl", "--quiet"});
    ASSERT_EQ(offline.exitCode, 0) << offline.err;

    const int port = freePort(SOCK_DGRAM);
    Background live({"live", "--udp", fmt::format("127.0.0.1:{}", port), "--rate", "250", "--summary-json",
                     (dir / "summary.json").string()});
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto send = [&](const std::string& text) {
        sendto(fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    };
    // Until the program listens, datagrams are lost: the first that counts is a malformed one.
    bool listening = false;
    for (int i = 0; i < 100 && !listening; ++i) {
        send("not json");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        listening = slurp("/proc/net/udp").find(fmt::format(":{:04X} ", port)) != std::string::npos;
    }
    ASSERT_TRUE(listening);
    send("not json");
    // Blocks of 10 samples, as the GUI sends them, with three decimals.
    for (std::size_t first = 0; first < samples.size(); first += 10) {
        std::string left, right;
        for (std::size_t i = first; i < std::min(first + 10, samples.size()); ++i) {
            left += fmt::format("{}{:.3f}", i == first ? "" : ",", samples[i][0]);
            right += fmt::format("{}{:.3f}", i == first ? "" : ",", samples[i][1]);
        }
        send(fmt::format(R"({{"type":"timeSeriesRaw","data":[[{}],[{}]]}})"
                         "\r\n",
                         left, right));
        if (first == 0) // the first fixes the channels: two
            send(R"({"type":"timeSeriesRaw","data":[[1,2,3]]})" "\r\n");
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(live.stop(SIGINT), 0) << live.err();
    expectSameRecords(live.out(), offline.out);
    const auto summary = nlohmann::json::parse(slurp(dir / "summary.json"));
    EXPECT_GE(summary["malformed_inputs"].get<int>(), 2); // at least the last "not json" and the one-channel datagram
    EXPECT_EQ(summary["channels"], nlohmann::json::array({"1", "2"}));
}

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = boost::asio::ip::tcp;

std::string httpGet(int port, const std::string& target) {
    boost::asio::io_context io;
    beast::tcp_stream stream(io);
    stream.connect(tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), static_cast<std::uint16_t>(port)));
    http::request<http::empty_body> request(http::verb::get, target, 11);
    request.set(http::field::host, "127.0.0.1");
    http::write(stream, request);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    http::read(stream, buffer, response);
    return std::to_string(response.result_int()) + "\n" + response.body();
}

// A WebSocket client on /ws; `receiveBuffer` small makes a client that stalls quickly.
struct WsClient {
    WsClient(int port, int receiveBuffer = 0) : ws(io) {
        auto& socket = ws.next_layer();
        socket.open(tcp::v4());
        if (receiveBuffer > 0)
            socket.set_option(boost::asio::socket_base::receive_buffer_size(receiveBuffer));
        socket.connect(tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), static_cast<std::uint16_t>(port)));
        ws.handshake("127.0.0.1", "/ws");
    }
    nlohmann::json read() {
        beast::flat_buffer buffer;
        ws.read(buffer);
        return nlohmann::json::parse(beast::buffers_to_string(buffer.data()));
    }
    boost::asio::io_context io;
    websocket::stream<tcp::socket> ws;
};

} // namespace

TEST(CliLive, TheServerServesThePageAndAStalledClientChangesNothing) {
    ScratchDir dir;
    const std::string demo = (dir / "demo.edf").string();
    ASSERT_EQ(runKalo({"demo", "--write", demo}).exitCode, 0);
    const auto offline = runKalo({"analyze", demo, "--format", "jsonl", "--quiet"});
    ASSERT_EQ(offline.exitCode, 0);

    const int port = freePort(SOCK_STREAM);
    {
        // The port taken: one line, exit 2.
        boost::asio::io_context io;
        tcp::acceptor taken(io, tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"),
                                              static_cast<std::uint16_t>(port)));
        const auto refused = runKalo({"live", "--replay", demo, "--serve", std::to_string(port)});
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
        EXPECT_NE(refused.err.find("in use"), std::string::npos) << refused.err;
    }

    Background live({"live", "--replay", demo, "--speed", "25", "--serve", std::to_string(port), "--stdout",
                     "--summary-json", (dir / "summary.json").string()});
    ASSERT_TRUE(live.saidSoon("dashboard at")) << live.err();
    const std::string page = httpGet(port, "/");
    EXPECT_EQ(page.rfind("200\n", 0), 0u);
    EXPECT_NE(page.find("<script src=\"/chart.min.js\">"), std::string::npos);
    EXPECT_NE(page.find("id=\"calibrate\""), std::string::npos);
    const std::string library = httpGet(port, "/chart.min.js");
    EXPECT_EQ(library.rfind("200\n", 0), 0u);
    EXPECT_GT(library.size(), 100000u);
    EXPECT_EQ(httpGet(port, "/elsewhere").rfind("404\n", 0), 0u);

    WsClient stalled(port, 2048); // never reads
    WsClient reader(port);
    std::vector<nlohmann::json> frames;
    try {
        while (true)
            frames.push_back(reader.read());
    } catch (const beast::system_error&) {
        // the run ended and the server closed
    }
    ASSERT_EQ(live.wait(), 0) << live.err();
    expectSameRecords(live.out(), offline.out);
    ASSERT_GT(frames.size(), 1000u);
    const nlohmann::json& last = frames.back();
    EXPECT_EQ(last["time_s"], jsonLines(offline.out).back()["time_s"]);
    EXPECT_EQ(last["channels"], nlohmann::json::array({"Left", "Right"}));
    ASSERT_EQ(last["trace_uv"].size(), 2u);
    EXPECT_EQ(last["trace_uv"][0].size(), 10u); // 250 Hz, 25 records a second
    EXPECT_EQ(last["rate_hz"].get<double>(), 250.0); // the page spaces the trace by it

    const auto summary = nlohmann::json::parse(slurp(dir / "summary.json"));
    const auto& clients = summary["outputs"][0]["clients"];
    ASSERT_EQ(clients.size(), 2u);
    EXPECT_GT(clients[0]["frames_dropped"].get<int>(), 0) << clients.dump();
    EXPECT_EQ(clients[1]["frames_dropped"].get<int>(), 0) << clients.dump();
    EXPECT_EQ(clients[1]["frames_sent"].get<std::size_t>(), frames.size());
}

TEST(CliLive, TheCalibrateCommandStartsACalibration) {
    ScratchDir dir;
    const std::string demo = (dir / "demo.edf").string();
    ASSERT_EQ(runKalo({"demo", "--write", demo}).exitCode, 0);
    const int port = freePort(SOCK_STREAM);
    Background live({"live", "--replay", demo, "--speed", "10", "--calibrate-at", "never", "--serve",
                     std::to_string(port), "--summary-json", (dir / "summary.json").string()});
    ASSERT_TRUE(live.saidSoon("dashboard at")) << live.err();
    WsClient client(port);
    int percent = 0, records = 0;
    for (; records < 200; ++records)
        ASSERT_EQ(client.read()["calibration_percent"], 0);
    client.ws.write(boost::asio::buffer(std::string("calibrate, please")));
    client.ws.write(boost::asio::buffer(std::string(R"({"command":"calibrate"})")));
    for (; records < 2000 && percent < 50; ++records)
        percent = client.read()["calibration_percent"].get<int>();
    EXPECT_GE(percent, 50);
    EXPECT_EQ(live.stop(SIGTERM), 0) << live.err();
    const auto summary = nlohmann::json::parse(slurp(dir / "summary.json"));
    EXPECT_NE(summary["calibration"]["started_s"], nullptr);
    EXPECT_EQ(summary["outputs"][0]["clients"][0]["malformed_commands"], 1);
}
