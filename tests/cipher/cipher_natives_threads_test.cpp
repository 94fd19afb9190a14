// The cipher natives called from several threads at once, each thread with
// its own JNIEnv (as a virtual machine gives every thread its own), its own
// cipher objects and arrays. Every stream comes out byte for byte as on one
// thread: decrypting as the natives decrypt on the main thread, encrypting as
// the cipher steps encrypt at the time the header holds. Loaded, the threads
// share the class kept by the load hook.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "cipher/cipher_stream.h"
#include "cipher/com_ardex_security_VXCipher.h"
#include "common/bytes.h"
#include "stream_driver.h"
#include "support/fake_jni_env.h"

namespace secnative::test {
namespace {

constexpr uint32_t kFixedTime = 0x6553F100;

// One thread's streams: its own key material, text and update sizes (small
// ones go through native copies, large ones through critical regions).
struct Job {
    std::string project;
    std::string password;
    std::vector<uint8_t> plain;
    std::vector<size_t> pieces;  // cycled until the input is used up
};

std::vector<Job> jobs() {
    std::vector<Job> list;
    // A decrypting stream's first update holds at least the 16-byte header.
    const std::vector<std::vector<size_t>> pieces = {
        {16, 1, 15, 64, 700}, {2000, 3}, {16, 16, 600}, {513, 512, 0, 7}};
    for (size_t t = 0; t < pieces.size(); ++t) {
        Job job{"Project" + std::to_string(t), "pass-" + std::to_string(t * 31), {}, pieces[t]};
        job.plain.resize(3000 + 457 * t);
        for (size_t i = 0; i < job.plain.size(); ++i)
            job.plain[i] = static_cast<uint8_t>(i * 13 + t);
        list.push_back(job);
    }
    return list;
}

// A whole stream through the natives on fake: initKey, the updates, doFinal.
// Returns every output, concatenated; a call that throws ends it early and
// leaves its exception pending for the caller to see.
std::vector<uint8_t> nativeStream(FakeEnv& fake, int32_t mode, const Job& job,
                                  const std::vector<uint8_t>& input) {
    FakeObject* cipher = fake.newCipher({"mode", "project", "password", "context"});
    cipher->mode = mode;
    cipher->refs["project"] = fake.newString(job.project);
    cipher->refs["password"] = fake.newString(job.password);
    jobject self = fake.ref(cipher);
    std::vector<uint8_t> out;
    const auto append = [&out](jobject array) {
        if (array == nullptr) return;
        const std::vector<int8_t>& bytes = FakeEnv::deref(array)->bytes;
        out.insert(out.end(), bytes.begin(), bytes.end());
    };

    vx_cipher_init(fake.env(), self);
    auto array = reinterpret_cast<jbyteArray>(
        fake.ref(fake.newByteArray(std::vector<int8_t>(input.begin(), input.end()))));
    size_t at = 0;
    for (size_t turn = 0; at < input.size() && fake.pending() == nullptr; ++turn) {
        const size_t piece = std::min(job.pieces[turn % job.pieces.size()], input.size() - at);
        append(vx_cipher_update(fake.env(), self, array, jint(at), jint(piece)));
        at += piece;
    }
    if (fake.pending() == nullptr) append(vx_cipher_doFinal(fake.env(), self));
    return out;
}

// What one thread saw.
struct Seen {
    std::vector<std::vector<uint8_t>> encrypted;
    std::vector<std::vector<uint8_t>> decrypted;
    std::vector<std::string> violations;
    std::vector<std::string> exceptions;
    int byteClassLookUps = 0;
};

// Takes the exception a stream left pending, if any, so the next starts clean.
void noteException(FakeEnv& fake, Seen& seen) {
    if (fake.pending() == nullptr) return;
    seen.exceptions.push_back(fake.pending()->name + ": " + fake.pending()->text);
    fake.setPending(nullptr);
}

class NativesOnThreads : public ::testing::TestWithParam<bool> {};

TEST_P(NativesOnThreads, GiveTheSingleThreadBytes) {
    const bool loaded = GetParam();
    const std::vector<Job> work = jobs();
    std::vector<std::vector<uint8_t>> streams;  // each job's text, encrypted by the steps
    for (const Job& job : work) {
        StepResult made =
            run_stream(cipher::kEncrypt, job.project, job.password, kFixedTime, job.plain);
        ASSERT_EQ(made.status, Status::ok);
        streams.push_back(made.out);
    }

    FakeEnv host;
    if (loaded) {
        ASSERT_EQ(JNI_VERSION_1_4, JNI_OnLoad(host.vm(), nullptr));
    }
    constexpr int kRounds = 16;
    std::vector<Seen> seen(work.size());
    std::vector<std::thread> threads;
    threads.reserve(work.size());
    for (size_t t = 0; t < work.size(); ++t) {
        threads.emplace_back([&, t] {
            FakeEnv fake;
            fake.startCounting(0);
            for (int round = 0; round < kRounds; ++round) {
                seen[t].encrypted.push_back(
                    nativeStream(fake, cipher::kEncrypt, work[t], work[t].plain));
                noteException(fake, seen[t]);
                seen[t].decrypted.push_back(
                    nativeStream(fake, cipher::kDecrypt, work[t], streams[t]));
                noteException(fake, seen[t]);
            }
            seen[t].violations = fake.violations();
            seen[t].byteClassLookUps = fake.findClassCalls("[B");
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (size_t t = 0; t < work.size(); ++t) {
        SCOPED_TRACE("thread " + std::to_string(t));
        const Job& job = work[t];
        for (const std::string& thrown : seen[t].exceptions) ADD_FAILURE() << thrown;
        for (const std::string& violation : seen[t].violations) ADD_FAILURE() << violation;
        if (loaded) {
            EXPECT_EQ(seen[t].byteClassLookUps, 0);  // the kept class served
        }
        const std::vector<uint8_t> decrypted =
            nativeStream(host, cipher::kDecrypt, job, streams[t]);
        ASSERT_EQ(decrypted, job.plain);
        for (int round = 0; round < kRounds; ++round) {
            EXPECT_EQ(seen[t].decrypted[round], decrypted) << "round " << round;
            const std::vector<uint8_t>& encrypted = seen[t].encrypted[round];
            ASSERT_GE(encrypted.size(), 16u);
            const uint32_t time = load32_be(encrypted.data() + 8);  // in the header
            EXPECT_EQ(encrypted,
                      run_stream(cipher::kEncrypt, job.project, job.password, time, job.plain).out)
                << "round " << round;
        }
    }
    if (loaded) JNI_OnUnload(host.vm(), nullptr);
    EXPECT_EQ(host.liveGlobalRefs(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cipher, NativesOnThreads, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return std::string(param.param ? "Loaded" : "NotLoaded");
                         });

}  // namespace
}  // namespace secnative::test
