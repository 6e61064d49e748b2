#pragma once

// The status record that the engine's and the detector's C functions report
// through, its error codes and fixed messages; each family keeps the fixed
// messages of its own refusals.

#include <array>
#include <string_view>

#include "kalo_artifacts/types.h"

namespace OviMath::Status {

using OviMath::Types::_OutStatus;

inline constexpr int codeSuccess = 0;
inline constexpr int codeRefused = 1;
inline constexpr int codeStandardException = 1002;
inline constexpr int codeOtherException = 1003;

inline constexpr std::size_t messageSize = sizeof(_OutStatus::error_msg);

// A message stored as the full 512 bytes it occupies in a status record,
// NUL-padded, so it is copied whole.
using FixedMessage = std::array<char, messageSize>;

// Builds a fixed message at compile time; the text must leave room for the NUL.
consteval FixedMessage fixedMessage(std::string_view text) {
    if (text.size() >= messageSize)
        throw "message too long";
    FixedMessage message{};
    for (std::size_t i = 0; i < text.size(); ++i)
        message[i] = text[i];
    return message;
}

inline constexpr FixedMessage invalidError = fixedMessage("Invalid error!");

// success true, code 0, all 512 message bytes zero.
_OutStatus successStatus();
// success false, code 1, the fixed message.
_OutStatus refusalStatus(const FixedMessage& message);
// success false, the given code and the fixed message.
_OutStatus fixedFailureStatus(int code, const FixedMessage& message);
// success false with `code` and the text cut to 511 characters, NUL-padded.
_OutStatus failureStatus(int code, std::string_view text);

} // namespace OviMath::Status

// Copies `status` field by field into the caller's record (all 512 message
// bytes) and returns its success flag: the bridge from the internal status to
// the C record. A null `out` is tolerated: nothing is written.
bool fillOpStatusAndGetStatus(OviMath::Types::_OutStatus status, OviMath::Types::_OutStatus* out);
