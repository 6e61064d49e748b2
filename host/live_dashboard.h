#pragma once

// The dashboard page of a live run and the charting library it draws with,
// both compiled into the program from files of the build (the library from
// Debian's libjs-chart.js), so the page works without a network.

#include <string>

namespace kalo::host {

const std::string& dashboardPage();
const std::string& chartingLibrary();

} // namespace kalo::host
