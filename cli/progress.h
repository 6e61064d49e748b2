#pragma once

// A progress bar on stderr for runs long enough to wonder about: it appears
// only when stderr is a terminal, only after the run has lasted a moment, and
// it is wiped when the run ends, so logs and pipes never see it.

#include <chrono>
#include <string>

namespace kalo::cli {

class ProgressBar {
public:
    explicit ProgressBar(bool wanted);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(const std::string& label, double fraction);
    void clear();

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastDraw_{};
};

} // namespace kalo::cli
