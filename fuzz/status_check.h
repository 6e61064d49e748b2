#pragma once

// The status record of the engine's and the detector's C functions is well
// formed: on success the code is 0 and all 512 message bytes are zero; on
// failure the code is one of the documented ones and the message is a
// non-empty text terminated and NUL-padded within its 512 bytes.

#include "fuzz_input.h"
#include "kalo_artifacts/types.h"

namespace kalo_fuzz {

inline void checkStatus(const _OutStatus& status, const char* call) {
    const char* message = status.error_msg;
    const std::size_t size = sizeof status.error_msg;
    if (status.success) {
        FUZZ_CHECK(status.error_code == 0, "%s: success with code %d", call, status.error_code);
        for (std::size_t i = 0; i < size; ++i)
            FUZZ_CHECK(message[i] == 0, "%s: success with message byte %zu set", call, i);
        return;
    }
    FUZZ_CHECK(status.error_code == 1 || status.error_code == 1002 || status.error_code == 1003,
               "%s: failure with code %d", call, status.error_code);
    const void* end = std::memchr(message, 0, size);
    FUZZ_CHECK(end != nullptr && end != message, "%s: failure message empty or not terminated", call);
    for (const char* p = static_cast<const char*>(end); p < message + size; ++p)
        FUZZ_CHECK(*p == 0, "%s: failure message not NUL-padded", call);
}

} // namespace kalo_fuzz
