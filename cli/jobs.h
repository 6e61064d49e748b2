#pragma once

// Runs the program itself as child processes, a few at a time. The library
// serialises every engine of a process on one lock, so recordings are
// analysed in parallel only by separate processes.

#include <functional>
#include <string>
#include <vector>

namespace kalo::cli {

struct ChildJob {
    std::vector<std::string> args; // after the program name
    std::string stdoutPath;        // the child's standard output goes here
};

// Exit code of each job, in the order given (2 for one that could not start).
std::vector<int> runChildJobs(const std::vector<ChildJob>& jobs, int parallel,
                              const std::function<void(int done)>& onFinished);

} // namespace kalo::cli
