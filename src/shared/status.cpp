#include "shared/status.h"

#include <algorithm>
#include <cstring>

namespace OviMath::Status {

_OutStatus successStatus() {
    _OutStatus status{};
    status.success = true;
    status.error_code = codeSuccess;
    return status;
}

_OutStatus refusalStatus(const FixedMessage& message) { return fixedFailureStatus(codeRefused, message); }

_OutStatus fixedFailureStatus(int code, const FixedMessage& message) {
    _OutStatus status{};
    status.success = false;
    status.error_code = code;
    std::memcpy(status.error_msg, message.data(), messageSize);
    return status;
}

_OutStatus failureStatus(int code, std::string_view text) {
    _OutStatus status{};
    status.success = false;
    status.error_code = code;
    const std::size_t length = std::min(text.size(), messageSize - 1);
    std::memcpy(status.error_msg, text.data(), length);
    return status;
}

} // namespace OviMath::Status

bool fillOpStatusAndGetStatus(OviMath::Types::_OutStatus status, OviMath::Types::_OutStatus* out) {
    // A host that passes no status record still gets the call done and its
    // outcome as the return value.
    if (out == nullptr)
        return status.success;
    out->success = status.success;
    out->error_code = status.error_code;
    std::memcpy(out->error_msg, status.error_msg, sizeof(out->error_msg));
    return status.success;
}
