#pragma once

// The one kind of failure the host layer reports: a file it cannot read, a
// format it does not know, an option out of range, settings or samples the
// engine refuses. Each carries a one-line message meant for the user (it
// names the file, the option or the value) and the kind of failure, which
// the C interface passes on as its status code.

#include <stdexcept>
#include <string>

namespace kalo::host {

enum class ErrorKind {
    InvalidArgument = 1, // an option, a name or a value the caller gave
    BadRecording = 2,    // a file that cannot be read, or holds what cannot be analysed
    EngineRefused = 3,   // the library refused a call (its message is passed on)
    Stopped = 4,         // a callback of the caller asked to stop
};

struct Error : std::runtime_error {
    Error(ErrorKind errorKind, const std::string& message) : std::runtime_error(message), kind(errorKind) {}
    ErrorKind kind;
};

// Shorthands for the two kinds raised most.
inline Error invalidArgument(const std::string& message) { return {ErrorKind::InvalidArgument, message}; }
inline Error badRecording(const std::string& message) { return {ErrorKind::BadRecording, message}; }

} // namespace kalo::host
