#include "live_sources.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <thread>

#include <fmt/format.h>

#include "analyze_recording.h"
#include "error.h"
#include "live_parsers.h"
#include "open_recording.h"
#include "resampled_recording.h"
#include "unit_check.h"

namespace kalo::host {

namespace {

// How often a blocked reader looks at the stop flag.
constexpr int kStopPollMs = 100;

int requiredRate(const Options& options, const std::string& source) {
    if (!options.read.rateHz)
        throw invalidArgument(fmt::format("{}: {} is required: the samples do not say their rate", source,
                                          options.name("rate")));
    return *options.read.rateHz;
}

std::vector<std::string> numberedNames(int count) {
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i)
        names.push_back(std::to_string(i));
    return names;
}

bool stopped(const LiveInput& input) { return input.stop->load(); }

// Waits until `fd` is readable or the stop flag is set; false when stopped.
bool waitReadable(int fd, const LiveInput& input) {
    while (!stopped(input)) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kStopPollMs);
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            throw badRecording(fmt::format("waiting for samples failed: {}", std::strerror(errno)));
    }
    return false;
}

} // namespace

std::pair<std::string, int> parseHostPort(const std::string& text, const std::string& option) {
    const std::size_t colon = text.rfind(':');
    int port = 0;
    const char* end = text.data() + text.size();
    if (colon == std::string::npos || colon == 0 ||
        std::from_chars(text.data() + colon + 1, end, port).ptr != end || colon + 1 == text.size() || port < 1 ||
        port > 65535)
        throw invalidArgument(fmt::format("{} takes HOST:PORT with a port from 1 to 65535: \"{}\" is not accepted",
                                          option, text));
    return {text.substr(0, colon), port};
}

LiveReport runReplay(const ReplaySource& source, const LiveInput& input) {
    if (!(source.speed > 0) || source.speed > 1e6)
        throw invalidArgument(fmt::format("--speed takes a factor above 0 and up to 1000000: {} is not accepted",
                                          source.speed));
    const std::unique_ptr<Recording> recording =
        openRecording(source.path, input.options.read, input.options.name("rate"));
    const EngineInput chosen = chooseChannels(*recording, input.options.channels, input.options.style());
    refuseRateAboveEngine(*recording, chosen, input.options.style());
    refuseImplausibleVolts(*recording, chosen, input.options.style());
    if (chosen.sampleCount == 0)
        throw badRecording(fmt::format("{}: holds no samples", source.path));
    LiveRun run(input.options, chosenChannelsLayout(recording->source(), chosen), input.outputs, recording.get());
    run.addEvents(eventsFor(*recording, input.options));
    if (input.started)
        input.started(run);

    // One window step at a time, each at the moment its last sample would
    // have arrived from the device.
    const std::int64_t step = run.session().info().windowStep;
    const double framesPerSec = chosen.rateHz * source.speed;
    const LiveClock::time_point start = LiveClock::now();
    std::vector<double> block;
    std::int64_t replayed = 0;
    for (std::int64_t first = 0; !stopped(input);) {
        if (first >= chosen.sampleCount) {
            if (!source.loop)
                break;
            first = 0;
        }
        const std::int64_t count = std::min(step, chosen.sampleCount - first);
        block.resize(static_cast<std::size_t>(count) * chosen.selection.columns.size());
        recording->read(chosen.selection.columns, first, count, block.data());
        replayed += count;
        const auto due = start + std::chrono::duration_cast<LiveClock::duration>(
                                     std::chrono::duration<double>(static_cast<double>(replayed) / framesPerSec));
        std::this_thread::sleep_until(due);
        run.push(block.data(), static_cast<std::size_t>(count), LiveClock::now());
        first += count;
    }
    return run.finish();
}

LiveReport runStream(const StreamSource& source, const LiveInput& input) {
    const int rate = requiredRate(input.options, source.label);
    const double unitsPerVolt = input.options.read.unitsPerVolt.value_or(1.0);
    if (source.format == StreamFormat::Float32 && source.names.empty())
        throw invalidArgument("float32 frames need --names: their width is the number of channels");

    std::optional<LiveRun> run;
    std::vector<std::string> names = source.names;
    auto begin = [&] {
        run.emplace(input.options, namedChannelsLayout(input.options, source.label, rate, names), input.outputs);
        for (const std::string& file : input.options.eventFiles)
            run->addEvents(readEventsCsv(file));
        if (input.started)
            input.started(*run);
    };
    if (!names.empty())
        begin();

    std::optional<Float32Frames> floats;
    if (source.format == StreamFormat::Float32)
        floats.emplace(static_cast<int>(names.size()), unitsPerVolt);
    std::string pending; // an incomplete last line
    std::vector<double> frames;
    char buffer[1 << 16];
    while (waitReadable(source.fd, input)) {
        const ssize_t got = ::read(source.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw badRecording(fmt::format("{}: cannot be read: {}", source.label, std::strerror(errno)));
        const LiveClock::time_point arrival = LiveClock::now();
        if (got == 0)
            break;
        if (floats) {
            const Frames f = floats->add(buffer, static_cast<std::size_t>(got));
            if (f.count() > 0)
                run->push(f.volts.data(), f.count(), arrival);
            continue;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
        frames.clear();
        std::size_t from = 0;
        for (std::size_t nl; (nl = pending.find('\n', from)) != std::string::npos; from = nl + 1) {
            const std::string_view line(pending.data() + from, nl - from);
            if (line.empty() || line == "\r")
                continue;
            if (!run) {
                // The first line says how many channels there are.
                names = numberedNames(static_cast<int>(std::count(line.begin(), line.end(), ',')) + 1);
                begin();
            }
            const auto values = parseSampleLine(line, run->layout().frameWidth, unitsPerVolt);
            if (values)
                frames.insert(frames.end(), values->begin(), values->end());
            else
                run->countMalformed();
        }
        pending.erase(0, from);
        if (run && !frames.empty())
            run->push(frames.data(), frames.size() / static_cast<std::size_t>(run->layout().frameWidth), arrival);
    }
    if (!run) {
        // Nothing arrived: a run of no samples, so the summary still says so.
        names = numberedNames(2);
        begin();
    }
    if (!pending.empty() && !floats) {
        if (const auto values = parseSampleLine(pending, run->layout().frameWidth, unitsPerVolt))
            run->push(values->data(), 1, LiveClock::now());
        else
            run->countMalformed();
    }
    // A float32 stream that ends inside a frame lost that frame.
    if (floats)
        run->countMalformed(static_cast<std::int64_t>(floats->refused()) + (floats->pending() > 0 ? 1 : 0));
    return run->finish();
}

LiveReport runDatagrams(const DatagramSource& source, const LiveInput& input) {
    const std::string label = fmt::format("udp {}:{}", source.host, source.port);
    const int rate = requiredRate(input.options, label);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(source.port));
    if (::inet_pton(AF_INET, source.host.c_str(), &address.sin_addr) != 1)
        throw invalidArgument(fmt::format("--udp: \"{}\" is not an IPv4 address", source.host));
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw badRecording(fmt::format("{}: cannot open a socket: {}", label, std::strerror(errno)));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    // A large receive buffer rides out a moment when the engine is busy.
    const int bufferBytes = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw invalidArgument(fmt::format("{}: cannot listen there: {}", label, std::strerror(errno)));

    std::optional<LiveRun> run;
    std::int64_t malformedBeforeStart = 0;
    auto begin = [&](const std::vector<std::string>& names) {
        run.emplace(input.options, namedChannelsLayout(input.options, label, rate, names), input.outputs);
        for (const std::string& file : input.options.eventFiles)
            run->addEvents(readEventsCsv(file));
        run->countMalformed(malformedBeforeStart);
        if (input.started)
            input.started(*run);
    };
    if (!source.names.empty())
        begin(source.names);
    std::vector<char> datagram(1 << 16);
    while (waitReadable(fd, input)) {
        const ssize_t got = ::recv(fd, datagram.data(), datagram.size(), 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got < 0)
            throw badRecording(fmt::format("{}: cannot receive: {}", label, std::strerror(errno)));
        const LiveClock::time_point arrival = LiveClock::now();
        const std::optional<Frames> frames =
            parseSampleDatagram(std::string_view(datagram.data(), static_cast<std::size_t>(got)));
        if (frames && !run)
            begin(numberedNames(frames->channels));
        if (!frames || frames->channels != run->layout().frameWidth) {
            if (run)
                run->countMalformed();
            else
                ++malformedBeforeStart;
            continue;
        }
        run->push(frames->volts.data(), frames->count(), arrival);
    }
    if (!run)
        begin(source.names.empty() ? numberedNames(2) : source.names);
    return run->finish();
}

} // namespace kalo::host
