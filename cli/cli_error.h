#pragma once

// The one kind of failure the program reports to its user: a missing or
// unreadable file, a format it cannot read, settings the engine refuses, an
// unknown channel, a bad cell. main() prints it as a single line on stderr
// and exits with kExitFailure; nothing else is written for it.

#include <stdexcept>

namespace kalo::cli {

constexpr int kExitFailure = 2;

struct CliError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace kalo::cli
