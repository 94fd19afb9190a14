// A progress line on standard error for long work: shown only when standard
// error is a terminal and the work has run for a second, redrawn a few times
// a second, and cleared when the work ends.
#ifndef SECNATIVE_TOOLS_PROGRESS_H
#define SECNATIVE_TOOLS_PROGRESS_H

#include <chrono>
#include <cstdint>

namespace secnative::tool {

class Progress {
  public:
    // total is the number of bytes the work will read, 0 when unknown.
    Progress(const char* label, uint64_t total, bool enabled);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void advance(uint64_t bytes);

  private:
    void draw(std::chrono::steady_clock::time_point now);

    const char* label_;
    uint64_t total_;
    uint64_t done_ = 0;
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_draw_;
};

}  // namespace secnative::tool

#endif  // SECNATIVE_TOOLS_PROGRESS_H
