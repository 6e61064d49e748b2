#include "jobs.h"

#include <cerrno>
#include <cstring>
#include <map>

#include <fcntl.h>
#include <fmt/format.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli_error.h"

extern char** environ;

namespace kalo::cli {

namespace {

pid_t spawnChild(const ChildJob& job) {
    std::vector<std::string> args = {"kalo"};
    args.insert(args.end(), job.args.begin(), job.args.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, job.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = -1;
    // The running executable itself, whatever name or path it was started by.
    const int error = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        fmt::print(stderr, "kalo: cannot start a job: {}\n", std::strerror(error));
        return -1;
    }
    return pid;
}

} // namespace

std::vector<int> runChildJobs(const std::vector<ChildJob>& jobs, int parallel,
                              const std::function<void(int done)>& onFinished) {
    std::vector<int> exitCodes(jobs.size(), kExitFailure);
    std::map<pid_t, std::size_t> running;
    std::size_t next = 0;
    int done = 0;
    while (next < jobs.size() || !running.empty()) {
        while (next < jobs.size() && static_cast<int>(running.size()) < parallel) {
            const pid_t pid = spawnChild(jobs[next]);
            if (pid > 0)
                running[pid] = next;
            else
                onFinished(++done);
            ++next;
        }
        if (running.empty())
            continue;
        int status = 0;
        const pid_t pid = waitpid(-1, &status, 0);
        if (pid < 0) {
            if (errno == EINTR)
                continue;
            throw CliError(fmt::format("waiting for the jobs failed: {}", std::strerror(errno)));
        }
        const auto it = running.find(pid);
        if (it == running.end())
            continue;
        exitCodes[it->second] = WIFEXITED(status) ? WEXITSTATUS(status) : kExitFailure;
        if (WIFSIGNALED(status))
            fmt::print(stderr, "kalo: the job for recording {} ended by signal {}\n", it->second + 1,
                       WTERMSIG(status));
        running.erase(it);
        onFinished(++done);
    }
    return exitCodes;
}

} // namespace kalo::cli
