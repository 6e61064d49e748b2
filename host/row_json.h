#pragma once

// One record as a JSON object on one line, the form every JSON output of a
// host uses (the program's JSON lines, live datagrams and WebSocket frames),
// so a record reads the same wherever it is sent. Numbers are written in
// their shortest form that reads back as the same double, so two outputs can
// be compared exactly.

#include <string>

#include "session.h"

namespace kalo::host {

// Appends the object, without a line break.
void appendRowJson(std::string& out, const Row& row);

} // namespace kalo::host
