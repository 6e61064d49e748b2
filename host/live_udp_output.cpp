#include "live_udp_output.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "error.h"

namespace kalo::host {

UdpOutput::UdpOutput(const std::string& host, int port) : target_(fmt::format("{}:{}", host, port)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
        throw invalidArgument(fmt::format("--udp-out: \"{}\" is not an IPv4 address", host));
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        throw invalidArgument(fmt::format("--udp-out: cannot open a socket: {}", std::strerror(errno)));
    // Connected, so each send names no address, and a receiver that is not
    // there shows as a refused send rather than silence.
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd_);
        throw invalidArgument(fmt::format("--udp-out {}: {}", target_, std::strerror(error)));
    }
}

UdpOutput::~UdpOutput() { ::close(fd_); }

void UdpOutput::publish(const LiveRecord& record) {
    if (::send(fd_, record.json.data(), record.json.size(), MSG_DONTWAIT) == static_cast<ssize_t>(record.json.size()))
        ++sent_;
    else
        ++dropped_;
}

nlohmann::ordered_json UdpOutput::report() const {
    return {{"output", "udp"}, {"target", target_}, {"datagrams_sent", sent_}, {"datagrams_dropped", dropped_}};
}

std::string UdpOutput::reportText() const {
    return fmt::format("udp out      {}: {} sent, {} dropped", target_, sent_, dropped_);
}

} // namespace kalo::host
