#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace secnative::tool {

namespace {

constexpr auto kDelay = std::chrono::seconds(1);
constexpr auto kRedraw = std::chrono::milliseconds(200);
constexpr int kBarWidth = 30;

}  // namespace

Progress::Progress(const char* label, uint64_t total, bool enabled)
    : label_(label),
      total_(total),
      enabled_(enabled && isatty(STDERR_FILENO) != 0),
      start_(std::chrono::steady_clock::now()),
      last_draw_(start_) {}

Progress::~Progress() {
    if (shown_) std::fputs("\r\033[K", stderr);
}

void Progress::advance(uint64_t bytes) {
    done_ += bytes;
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < kDelay || now - last_draw_ < kRedraw) return;
    draw(now);
}

void Progress::draw(std::chrono::steady_clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double mib = static_cast<double>(done_) / (1 << 20);
    if (total_ != 0) {
        const double share =
            done_ >= total_ ? 1.0 : static_cast<double>(done_) / static_cast<double>(total_);
        const int filled = static_cast<int>(share * kBarWidth);
        char bar[kBarWidth + 1];
        for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
        bar[kBarWidth] = 0;
        std::fprintf(stderr, "\r%s [%s] %3d%%  %.1f MiB  %.1f MiB/s\033[K", label_, bar,
                     static_cast<int>(share * 100), mib, mib / seconds);
    } else {
        std::fprintf(stderr, "\r%s %.1f MiB  %.1f MiB/s\033[K", label_, mib, mib / seconds);
    }
    std::fflush(stderr);
    shown_ = true;
    last_draw_ = now;
}

}  // namespace secnative::tool
