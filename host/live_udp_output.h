#pragma once

// One JSON datagram per record to HOST:PORT (the record's fields, as a JSON
// line holds them). Sent without waiting: a datagram the network or the
// receiver cannot take is dropped and counted.

#include <cstdint>
#include <string>

#include "live_output.h"

namespace kalo::host {

class UdpOutput final : public LiveOutput {
public:
    // An Error for an address that is not IPv4.
    UdpOutput(const std::string& host, int port);
    ~UdpOutput() override;
    UdpOutput(const UdpOutput&) = delete;
    UdpOutput& operator=(const UdpOutput&) = delete;

    void publish(const LiveRecord& record) override;
    nlohmann::ordered_json report() const override;
    std::string reportText() const override;

private:
    std::string target_;
    int fd_ = -1;
    std::int64_t sent_ = 0, dropped_ = 0;
};

} // namespace kalo::host
