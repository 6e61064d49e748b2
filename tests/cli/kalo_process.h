#pragma once

// Runs the kalo executable with arguments and standard input, and gives back
// its exit code and everything it printed; a scratch folder per test.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/scratch_dir.h"

extern char** environ;

namespace kalo_test {

struct KaloRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Starts kalo with `args`, stdin read from `input` and stdout/stderr written
// to files in `io`; -1 when it could not be started. `cwd`, when given, is the
// folder the program starts in (for relative paths).
inline pid_t spawnKalo(const std::vector<std::string>& args, const std::filesystem::path& input,
                       const std::filesystem::path& io, const std::filesystem::path& cwd = {}) {
    std::vector<std::string> all = {KALO_EXECUTABLE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (io / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (io / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    pid_t pid = -1;
    if (posix_spawn(&pid, KALO_EXECUTABLE, &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

inline KaloRun runKalo(const std::vector<std::string>& args, const std::string& input = "",
                       const std::filesystem::path& cwd = {}) {
    ScratchDir io;
    io.write("in", input);
    KaloRun run;
    if (const pid_t pid = spawnKalo(args, io / "in", io.path(), cwd); pid > 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    run.out = slurp(io / "out");
    run.err = slurp(io / "err");
    return run;
}

// The rows of `kalo analyze --format jsonl`.
inline std::vector<nlohmann::json> jsonLines(const std::string& text) {
    std::vector<nlohmann::json> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        rows.push_back(nlohmann::json::parse(line));
    return rows;
}

} // namespace kalo_test
