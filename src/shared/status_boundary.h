#pragma once

// The one place where exceptions raised by the work of a C function become a
// status record. The engine's and the detector's C functions both go through
// convertExceptions; nothing ever escapes it.

#include <exception>
#include <string_view>

#include "shared/status.h"

namespace OviMath::Status {

// Thrown inside a call's work to refuse the call: code 1 and the message.
struct Refusal {
    FixedMessage message;
};

[[noreturn]] inline void refuse(const FixedMessage& message) { throw Refusal{message}; }

// A refusal whose message is composed at run time, cut to 511 characters.
[[noreturn]] inline void refuse(std::string_view text) {
    FixedMessage message{};
    for (std::size_t i = 0; i < text.size() && i + 1 < messageSize; ++i)
        message[i] = text[i];
    throw Refusal{message};
}

// What becomes of a status record thrown by the work (a failed detector call
// inside the engine): copied unchanged to the caller, or reported like any
// other unknown exception.
enum class ThrownStatus { Copy, AsOtherException };

template <class Work>
_OutStatus convertExceptions(ThrownStatus thrownStatus, Work&& work) noexcept {
    try {
        work();
        return successStatus();
    } catch (const Refusal& refusal) {
        return refusalStatus(refusal.message);
    } catch (const _OutStatus& status) {
        if (thrownStatus == ThrownStatus::Copy)
            return status;
        return fixedFailureStatus(codeOtherException, invalidError);
    } catch (const std::exception& error) {
        return failureStatus(codeStandardException, std::string_view(error.what()));
    } catch (...) {
        return fixedFailureStatus(codeOtherException, invalidError);
    }
}

} // namespace OviMath::Status
