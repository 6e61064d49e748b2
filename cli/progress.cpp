#include "progress.h"

#include <algorithm>
#include <cstdio>

#include <fmt/format.h>
#include <unistd.h>

namespace kalo::cli {

namespace {
constexpr auto kQuietStart = std::chrono::milliseconds(400);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;
} // namespace

ProgressBar::ProgressBar(bool wanted) : enabled_(wanted && isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() { clear(); }

void ProgressBar::update(const std::string& label, double fraction) {
    if (!enabled_)
        return;
    const auto now = Clock::now();
    if (now - start_ < kQuietStart || now - lastDraw_ < kRedrawEvery)
        return;
    lastDraw_ = now;
    shown_ = true;
    fraction = std::clamp(fraction, 0.0, 1.0);
    const int filled = static_cast<int>(fraction * kBarWidth);
    fmt::print(stderr, "\r\033[K[{:#<{}}{:<{}}] {:3.0f}% {}", "", filled, "", kBarWidth - filled, 100.0 * fraction,
               label);
    std::fflush(stderr);
}

void ProgressBar::clear() {
    if (!shown_)
        return;
    fmt::print(stderr, "\r\033[K");
    std::fflush(stderr);
    shown_ = false;
}

} // namespace kalo::cli
