// Golden cipher streams and stream states. The streams must come out byte
// for byte as independent tools made them, from a context and data at any
// address; the 320-byte context after known steps must hold the same field
// bytes on every host (big-endian integers) and the same schedule word
// values (kept in the host's own order, so compared as words).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "cipher/cipher_stream.h"
#include "golden_data.h"

namespace secnative::test {
namespace {

using cipher::Status;

struct GoldenStream {
    std::string project, password;
    uint32_t time;
    std::vector<uint8_t> plain, stream;
};

std::vector<GoldenStream> golden_streams() {
    std::vector<GoldenStream> out;
    for (const auto& row : read_golden_rows("cipher_streams.txt", 5)) {
        out.push_back({row[0], row[1], static_cast<uint32_t>(std::stoul(row[2], nullptr, 16)),
                       from_hex(row[3]), from_hex(row[4])});
    }
    return out;
}

// One stream through the core steps with its context at ctx_offset bytes
// past a 16-byte boundary: init, updates of the given sizes (cycled; the
// input is copied to an odd address too), and the final step unless
// finish is false. Returns everything the steps wrote, and leaves the
// context in ctx.
struct StreamRun {
    OffsetBuffer ctx;
    std::vector<uint8_t> out;
    Status status = Status::ok;
};

void run_steps(StreamRun& run, int32_t mode, const std::string& project,
               const std::string& password, uint32_t now, const std::vector<uint8_t>& input,
               const std::vector<size_t>& pieces, bool finish) {
    cipher::context_init(run.ctx.data(), mode, project.data(), project.size());
    OffsetBuffer in(input, 1);
    OffsetBuffer secret(std::vector<uint8_t>(password.begin(), password.end()), 3);
    const cipher::ByteView pass{secret.data(), password.size()};
    size_t pos = 0;
    for (size_t turn = 0; turn < pieces.size() || (finish && pos < input.size()); ++turn) {
        const size_t piece = std::min(pieces[turn % pieces.size()], input.size() - pos);
        cipher::UpdatePlan plan;
        run.status =
            cipher::update_prepare(run.ctx.data(), {in.data() + pos, piece}, pass, now, plan);
        if (run.status != Status::ok) return;
        std::vector<uint8_t> out(plan.output_len());
        cipher::update_commit(run.ctx.data(), plan, out.empty() ? nullptr : out.data());
        run.out.insert(run.out.end(), out.begin(), out.end());
        pos += piece;
    }
    if (!finish) return;
    cipher::FinalOutput last;
    run.status = cipher::final_step(run.ctx.data(), pass, now, last);
    run.out.insert(run.out.end(), last.bytes, last.bytes + last.size);
}

TEST(GoldenCipher, StreamsEncryptAndDecryptAtEveryAlignment) {
    const std::vector<GoldenStream> streams = golden_streams();
    ASSERT_GE(streams.size(), 6u);
    const std::vector<std::vector<size_t>> splits = {{SIZE_MAX}, {1, 15, 17, 0, 33}};
    for (const GoldenStream& s : streams) {
        for (size_t offset : kGoldenOffsets) {
            for (const auto& pieces : splits) {
                SCOPED_TRACE(s.project + " at offset " + std::to_string(offset) + " in " +
                             std::to_string(pieces.size()) + " piece sizes");
                StreamRun enc{OffsetBuffer(cipher::kContextSize, offset)};
                run_steps(enc, cipher::kEncrypt, s.project, s.password, s.time, s.plain, pieces,
                          true);
                ASSERT_EQ(enc.status, Status::ok);
                EXPECT_EQ(to_hex(enc.out), to_hex(s.stream));

                // Decrypting, the first update must bring the whole header.
                std::vector<size_t> dec_pieces = pieces;
                dec_pieces[0] = std::max<size_t>(dec_pieces[0], cipher::kHeaderSize);
                StreamRun dec{OffsetBuffer(cipher::kContextSize, offset)};
                run_steps(dec, cipher::kDecrypt, s.project, s.password, 0, s.stream, dec_pieces,
                          true);
                ASSERT_EQ(dec.status, Status::ok);
                EXPECT_EQ(to_hex(dec.out), to_hex(s.plain));
            }
        }
    }
}

// Compares context bytes with golden hex in which ".." stands for any byte.
::testing::AssertionResult bytes_match(const uint8_t* actual, const std::string& pattern) {
    if (pattern.size() % 2 != 0) return ::testing::AssertionFailure() << "odd pattern";
    for (size_t i = 0; i < pattern.size() / 2; ++i) {
        const std::string want = pattern.substr(2 * i, 2);
        if (want == "..") continue;
        if (to_hex(actual + i, 1) != want) {
            return ::testing::AssertionFailure()
                   << "byte " << i << ": " << to_hex(actual, pattern.size() / 2) << "\n want "
                   << pattern;
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(GoldenCipher, ContextAfterKnownStepsHasTheSameFieldsAndScheduleValues) {
    const std::vector<GoldenRecord> records = read_golden_records("cipher_contexts.txt");
    ASSERT_GE(records.size(), 8u);
    constexpr size_t kFieldsOffset = cipher::kProjectOffset;
    for (const GoldenRecord& r : records) {
        for (size_t offset : kGoldenOffsets) {
            SCOPED_TRACE(r.at("name") + " at offset " + std::to_string(offset));
            const std::vector<size_t> updates = parse_sizes(r.at("updates"));
            StreamRun run{OffsetBuffer(cipher::kContextSize, offset)};
            run_steps(run, std::stoi(r.at("mode")), r.at("project"), r.at("password"),
                      static_cast<uint32_t>(std::stoul(r.at("time"), nullptr, 16)),
                      from_hex(r.at("input")), updates, false);
            ASSERT_EQ(run.status, Status::ok);

            const uint8_t* ctx = run.ctx.data();
            EXPECT_TRUE(bytes_match(ctx + kFieldsOffset, r.at("fields")));
            EXPECT_EQ(r.at("fields").size() / 2, cipher::kContextSize - kFieldsOffset);

            uint32_t schedule[cipher::kScheduleSize / 4];
            std::memcpy(schedule, ctx + cipher::kScheduleOffset, sizeof schedule);
            EXPECT_EQ(std::vector<uint32_t>(std::begin(schedule), std::end(schedule)),
                      parse_words(r.at("schedule")));
        }
    }
}

}  // namespace
}  // namespace secnative::test
