// Drives the cipher steps the way the Java natives do, for tests: a context
// array, updates over chosen chunks, then the final step.
#ifndef SECNATIVE_TESTS_CIPHER_STREAM_DRIVER_H
#define SECNATIVE_TESTS_CIPHER_STREAM_DRIVER_H

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "cipher/cipher_stream.h"

namespace secnative::test {

using cipher::Status;
using Context = std::array<uint8_t, cipher::kContextSize>;

struct StepResult {
    Status status = Status::ok;
    std::vector<uint8_t> out;
};

class StreamDriver {
  public:
    StreamDriver(int32_t mode, const std::string& project, std::string password, uint32_t now)
        : password_(std::move(password)), now_(now) {
        cipher::context_init(ctx_.data(), mode, project.data(), project.size());
    }

    StepResult update(const uint8_t* data, size_t size) {
        StepResult result;
        cipher::UpdatePlan plan;
        result.status = cipher::update_prepare(ctx_.data(), {data, size}, secret(), now_, plan);
        if (result.status != Status::ok) return result;
        result.out.resize(plan.output_len());
        cipher::update_commit(ctx_.data(), plan, result.out.data());
        return result;
    }
    StepResult update(const std::vector<uint8_t>& data) { return update(data.data(), data.size()); }

    StepResult finish() {
        StepResult result;
        cipher::FinalOutput out;
        result.status = cipher::final_step(ctx_.data(), secret(), now_, out);
        result.out.assign(out.bytes, out.bytes + out.size);
        return result;
    }

    Context& context() { return ctx_; }

  private:
    cipher::ByteView secret() const {
        return {reinterpret_cast<const uint8_t*>(password_.data()), password_.size()};
    }

    Context ctx_{};
    std::string password_;
    uint32_t now_;
};

// Runs a whole stream through the steps, feeding the input in the given
// chunk sizes (cycled until the input is used up; a chunk of 0 is an empty
// update). Stops at the first failure and reports it.
inline StepResult run_stream(int32_t mode, const std::string& project, const std::string& password,
                             uint32_t now, const std::vector<uint8_t>& input,
                             const std::vector<size_t>& chunks = {SIZE_MAX}) {
    StreamDriver driver(mode, project, password, now);
    StepResult total;
    size_t pos = 0;
    size_t turn = 0;
    bool first = true;
    while (first || pos < input.size()) {
        const size_t chunk = std::min(chunks[turn++ % chunks.size()], input.size() - pos);
        StepResult step = driver.update(input.data() + pos, chunk);
        if (step.status != Status::ok) return step;
        total.out.insert(total.out.end(), step.out.begin(), step.out.end());
        pos += chunk;
        first = false;
    }
    StepResult last = driver.finish();
    if (last.status != Status::ok) return last;
    total.out.insert(total.out.end(), last.out.begin(), last.out.end());
    return total;
}

}  // namespace secnative::test

#endif  // SECNATIVE_TESTS_CIPHER_STREAM_DRIVER_H
