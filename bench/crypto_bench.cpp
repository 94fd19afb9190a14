// Throughput of our SHA-1 and of the cipher's bulk AES-128 block step, each
// beside OpenSSL doing the same work on the same 1 MiB buffer in the same run.
// The AES rows: the bulk step as the cipher calls it (fastest engine), the
// 128-bit AES-NI engine alone, the table engine alone, and a stream's update.
//
//   crypto_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <vector>

#include "cipher/block_transform.h"
#include "cipher/cipher_stream.h"
#include "crypto/aes_ni.h"
#include "crypto/aes_rj.h"
#include "crypto/cpu_features.h"
#include "crypto/sha1.h"

namespace {

constexpr size_t kBufferSize = size_t{1} << 20;
constexpr double kWarmUpSeconds = 0.2;

// One input and one output buffer for every benchmark, allocated once.
struct Buffers {
    std::vector<uint8_t> in = std::vector<uint8_t>(kBufferSize);
    std::vector<uint8_t> out = std::vector<uint8_t>(kBufferSize);
    Buffers() {
        for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i * 37 + 11);
    }
};

Buffers& buffers() {
    static Buffers shared;
    return shared;
}

const uint8_t kAesKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                             0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};

void check(bool ok, benchmark::State& state, const char* what) {
    if (!ok) state.SkipWithError(what);
}

void BM_Sha1_Secnative(benchmark::State& state) {
    const std::vector<uint8_t>& in = buffers().in;
    uint8_t digest[SHA1_DIGEST_SIZE];
    for (auto _ : state) {
        sha1_context ctx;
        sha1_init(&ctx);
        sha1_update(&ctx, in.data(), static_cast<uint32_t>(in.size()));
        sha1_final(&ctx, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferSize);
}

// The same with the processor's SHA instructions switched off.
void BM_Sha1_SecnativePortable(benchmark::State& state) {
    const bool previous = secnative::crypto::force_portable(true);
    BM_Sha1_Secnative(state);
    secnative::crypto::force_portable(previous);
}

void BM_Sha1_OpenSSL(benchmark::State& state) {
    const std::vector<uint8_t>& in = buffers().in;
    EVP_MD* sha1 = EVP_MD_fetch(nullptr, "SHA1", nullptr);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    check(sha1 != nullptr && ctx != nullptr, state, "EVP SHA-1 unavailable");
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digest_len = 0;
    for (auto _ : state) {
        EVP_DigestInit_ex2(ctx, sha1, nullptr);
        EVP_DigestUpdate(ctx, in.data(), in.size());
        EVP_DigestFinal_ex(ctx, digest, &digest_len);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferSize);
    EVP_MD_CTX_free(ctx);
    EVP_MD_free(sha1);
}

// The cipher's block step over the whole buffer with an AES-128 schedule.
template <bool kEncrypt>
void BM_Aes128_Secnative(benchmark::State& state) {
    Buffers& b = buffers();
    uint32_t schedule[AES_SCHEDULE_WORDS];
    const int rounds = kEncrypt ? AES_init_encrypt(schedule, kAesKey, 128)
                                : AES_init_decrypt(schedule, kAesKey, 128);
    check(rounds == 10, state, "AES-128 key set-up failed");
    for (auto _ : state) {
        if (kEncrypt) {
            secnative::cipher::encrypt(schedule, rounds, b.in.data(), b.in.size(), b.out.data());
        } else {
            secnative::cipher::decrypt(schedule, rounds, b.in.data(), b.in.size(), b.out.data());
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferSize);
}

// The same with the AES instructions switched off: the table engine.
template <bool kEncrypt>
void BM_Aes128_SecnativePortable(benchmark::State& state) {
    const bool previous = secnative::crypto::force_portable(true);
    BM_Aes128_Secnative<kEncrypt>(state);
    secnative::crypto::force_portable(previous);
}

// The 128-bit AES-NI engine on its own, where the wide one would be chosen.
template <bool kEncrypt>
void BM_Aes128_SecnativeAesNi(benchmark::State& state) {
#ifdef SECNATIVE_AES_NI
    Buffers& b = buffers();
    uint32_t schedule[AES_SCHEDULE_WORDS];
    const int rounds = kEncrypt ? AES_init_encrypt(schedule, kAesKey, 128)
                                : AES_init_decrypt(schedule, kAesKey, 128);
    check((secnative::crypto::cpu_features() & secnative::crypto::kCpuAes) != 0, state,
          "no AES-NI on this processor");
    const size_t blocks = b.in.size() / AES_BLOCK_SIZE;
    for (auto _ : state) {
        if (kEncrypt) {
            secnative::crypto::aes_ni_encrypt_blocks(schedule, rounds, b.in.data(), blocks,
                                                     b.out.data());
        } else {
            secnative::crypto::aes_ni_decrypt_blocks(schedule, rounds, b.in.data(), blocks,
                                                     b.out.data());
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferSize);
#else
    state.SkipWithError("no AES-NI engine in this build");
#endif
}

// A cipher stream's update step (prepare and commit) fed the whole buffer
// per call, after the header step: the blocks plus the stream's bookkeeping.
template <bool kEncrypt>
void BM_Aes128_SecnativeStream(benchmark::State& state) {
    namespace cipher = secnative::cipher;
    Buffers& b = buffers();
    uint8_t ctx[cipher::kContextSize];
    cipher::context_init(ctx, kEncrypt ? cipher::kEncrypt : cipher::kDecrypt, "BENCH", 5);
    const cipher::ByteView password{reinterpret_cast<const uint8_t*>("pw"), 2};
    std::vector<uint8_t> out(kBufferSize + cipher::kHeaderSize);
    cipher::UpdatePlan plan;
    const cipher::ByteView header{b.in.data(), kEncrypt ? 0 : cipher::kHeaderSize};
    bool ready = cipher::update_prepare(ctx, header, password, 0, plan) == cipher::Status::ok;
    if (ready) cipher::update_commit(ctx, plan, out.data());
    for (auto _ : state) {
        ready = ready && cipher::update_prepare(ctx, {b.in.data(), b.in.size()}, password, 0,
                                                plan) == cipher::Status::ok;
        if (ready) cipher::update_commit(ctx, plan, out.data());
        benchmark::ClobberMemory();
    }
    check(ready, state, "cipher update failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferSize);
}

// EVP aes-128-ecb without padding: the same whole-block work as ours.
template <bool kEncrypt>
void BM_Aes128_OpenSSL(benchmark::State& state) {
    Buffers& b = buffers();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    const int enc = kEncrypt ? 1 : 0;
    const bool ready = ctx != nullptr &&
                       EVP_CipherInit_ex(ctx, EVP_aes_128_ecb(), nullptr, kAesKey, nullptr, enc) &&
                       EVP_CIPHER_CTX_set_padding(ctx, 0);
    check(ready, state, "EVP aes-128-ecb unavailable");
    int out_len = 0;
    for (auto _ : state) {
        EVP_CipherUpdate(ctx, b.out.data(), &out_len, b.in.data(), static_cast<int>(b.in.size()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBufferSize);
    EVP_CIPHER_CTX_free(ctx);
}

}  // namespace

BENCHMARK(BM_Sha1_Secnative)->MinWarmUpTime(kWarmUpSeconds);
BENCHMARK(BM_Sha1_SecnativePortable)->MinWarmUpTime(kWarmUpSeconds);
BENCHMARK(BM_Sha1_OpenSSL)->MinWarmUpTime(kWarmUpSeconds);
BENCHMARK(BM_Aes128_Secnative<true>)
    ->Name("BM_Aes128Encrypt_Secnative")
    ->MinWarmUpTime(kWarmUpSeconds);
BENCHMARK(BM_Aes128_SecnativeAesNi<true>)
    ->Name("BM_Aes128Encrypt_SecnativeAesNi")
    ->MinWarmUpTime(kWarmUpSeconds);
BENCHMARK(BM_Aes128_SecnativePortable<true>)
    ->Name("BM_Aes128Encrypt_SecnativePortable")
    ->MinWarmUpTime(kWarmUpSeconds);
BENCHMARK(BM_Aes128_SecnativeStream<true>)
    ->Name("BM_Aes128Encrypt_SecnativeStream")
    ->MinWarmUpTime(kWarmUpSeconds);
BENCHMARK(BM_Aes128_OpenSSL<true>)->Name("BM_Aes128Encrypt_OpenSSL")->MinWarmUpTime(kWarmUpSeconds);
BENCHMARK(BM_Aes128_Secnative<false>)
    ->Name("BM_Aes128Decrypt_Secnative")
    ->MinWarmUpTime(kWarmUpSeconds);
BENCHMARK(BM_Aes128_SecnativeAesNi<false>)
    ->Name("BM_Aes128Decrypt_SecnativeAesNi")
    ->MinWarmUpTime(kWarmUpSeconds);
BENCHMARK(BM_Aes128_SecnativePortable<false>)
    ->Name("BM_Aes128Decrypt_SecnativePortable")
    ->MinWarmUpTime(kWarmUpSeconds);
BENCHMARK(BM_Aes128_SecnativeStream<false>)
    ->Name("BM_Aes128Decrypt_SecnativeStream")
    ->MinWarmUpTime(kWarmUpSeconds);
BENCHMARK(BM_Aes128_OpenSSL<false>)
    ->Name("BM_Aes128Decrypt_OpenSSL")
    ->MinWarmUpTime(kWarmUpSeconds);

BENCHMARK_MAIN();
