// Streams made with openssl alone (tests/data/make_cipher_streams.sh) must be
// reproduced byte for byte and decrypt back to their plaintext.
#include <gtest/gtest.h>

#include "stream_driver.h"
#include "support/data_table.h"
#include "support/hex.h"

namespace secnative::test {
namespace {

struct KnownStream {
    std::string project, password;
    uint32_t time = 0;
    std::vector<uint8_t> plain, stream;
};

std::vector<KnownStream> load_streams() {
    std::vector<KnownStream> out;
    for (const auto& row : read_data_table("cipher_streams.txt", 5)) {
        KnownStream s;
        s.project = row[0];
        s.password = row[1];
        s.time = static_cast<uint32_t>(std::stoul(row[2], nullptr, 16));
        s.plain = from_hex(row[3]);
        s.stream = from_hex(row[4]);
        out.push_back(s);
    }
    return out;
}

TEST(CipherKnownAnswer, StreamsMatchIndependentTool) {
    const std::vector<KnownStream> streams = load_streams();
    ASSERT_EQ(streams.size(), 5u);
    for (const KnownStream& s : streams) {
        StepResult enc = run_stream(cipher::kEncrypt, s.project, s.password, s.time, s.plain, {7});
        ASSERT_EQ(enc.status, Status::ok);
        EXPECT_EQ(to_hex(enc.out), to_hex(s.stream)) << s.project;

        StepResult dec = run_stream(cipher::kDecrypt, s.project, s.password, 0, s.stream, {20, 3});
        ASSERT_EQ(dec.status, Status::ok);
        EXPECT_EQ(to_hex(dec.out), to_hex(s.plain)) << s.project;
    }
}

}  // namespace
}  // namespace secnative::test
