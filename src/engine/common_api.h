#pragma once

// The engine's C boundary. Every engine C function takes the process-wide
// lock for its whole duration, refuses a null handle, runs its work and turns
// whatever the work throws into the caller's status record. Each exported
// function then only names its refusals (Status::refuse) and its work.

#include <mutex>
#include <system_error>

#include "engine/engine_messages.h"
#include "shared/status.h"
#include "shared/status_boundary.h"

namespace OviMath::MathLib::CBoundary {

using Status::ThrownStatus;
using Types::_OutStatus;

// Runs `work()` under `lock` and reports into `out`; returns the success flag.
// A lock that cannot be taken is reported as code 1002 with the system
// error's text: an exception must never reach the host.
template <class Work, class Lock = std::mutex>
bool lockedCall(_OutStatus* out, ThrownStatus thrownStatus, Work&& work, Lock& lock = g_lock) noexcept {
    std::unique_lock<Lock> guard(lock, std::defer_lock);
    try {
        guard.lock();
    } catch (const std::system_error& error) {
        return fillOpStatusAndGetStatus(Status::failureStatus(Status::codeStandardException, error.what()), out);
    } catch (...) {
        return fillOpStatusAndGetStatus(
            Status::fixedFailureStatus(Status::codeOtherException, Status::invalidError), out);
    }
    return fillOpStatusAndGetStatus(Status::convertExceptions(thrownStatus, std::forward<Work>(work)), out);
}

// lockedCall for a function that takes an engine handle: a null handle is
// refused with "MathLib pointer is null!" before any work.
template <class Engine, class Work, class Lock = std::mutex>
bool engineCall(Engine* engine, _OutStatus* out, ThrownStatus thrownStatus, Work&& work,
                Lock& lock = g_lock) noexcept {
    return lockedCall(
        out, thrownStatus,
        [&] {
            if (engine == nullptr)
                Status::refuse(Messages::mathLibPointerIsNull);
            work(*engine);
        },
        lock);
}

} // namespace OviMath::MathLib::CBoundary
