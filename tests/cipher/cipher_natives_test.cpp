// The cipher natives under injected JNI failures, on a fake JNIEnv. Whichever
// JNI call fails, the native returns at once with that failure's exception
// pending, after releasing everything it pinned and every local reference it
// made, without any other call into the virtual machine, and the object's
// stream state is as it was. Runs without failures keep the same rules.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "cipher/cipher_stream.h"
#include "cipher/com_ardex_security_VXCipher.h"
#include "common/bytes.h"
#include "support/fake_jni_env.h"

namespace secnative::test {
namespace {

const std::set<std::string> kAllFields = {"mode", "project", "password", "context"};
constexpr char kIllegalState[] = "java/lang/IllegalStateException";

struct Fixture {
    FakeObject* cipher = nullptr;
    jobject self = nullptr;
    jbyteArray input = nullptr;
    jint offset = 0;
    jint length = 0;
};

enum class Call { init, update, doFinal };

struct Scenario {
    const char* name;
    Call call;
    std::function<void(FakeEnv&, Fixture&)> setup;
    const char* expectedException = nullptr;  // null: the call succeeds
    bool endsStream = false;                  // the call drops the context before it throws
};

std::vector<int8_t> pattern(size_t size, int seed) {
    std::vector<int8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<int8_t>(i * 7 + seed);
    return bytes;
}

void makeCipher(FakeEnv& fake, Fixture& f, int32_t mode,
                const std::set<std::string>& fields = kAllFields) {
    f.cipher = fake.newCipher(fields);
    f.cipher->mode = mode;
    if (fields.count("project") != 0) f.cipher->refs["project"] = fake.newString("Payroll");
    if (fields.count("password") != 0) f.cipher->refs["password"] = fake.newString("s3cret");
    f.self = fake.ref(f.cipher);
}

void initKey(FakeEnv& fake, Fixture& f) {
    vx_cipher_init(fake.env(), f.self);
    ASSERT_EQ(nullptr, fake.pending());
}

std::vector<int8_t> feed(FakeEnv& fake, Fixture& f, const std::vector<int8_t>& data) {
    auto input = reinterpret_cast<jbyteArray>(fake.ref(fake.newByteArray(data)));
    jobject out = vx_cipher_update(fake.env(), f.self, input, 0, static_cast<jint>(data.size()));
    EXPECT_EQ(nullptr, fake.pending());
    return out == nullptr ? std::vector<int8_t>() : FakeEnv::deref(out)->bytes;
}

void setInput(FakeEnv& fake, Fixture& f, const std::vector<int8_t>& data, jint offset,
              jint length) {
    f.input = reinterpret_cast<jbyteArray>(fake.ref(fake.newByteArray(data)));
    f.offset = offset;
    f.length = length;
}

// A whole encrypted stream of a 40-byte plaintext under the fixture's
// project and password. It is made by the steps with a fixed header time, so
// the wrong-password scenario meets the same (invalid) pad on every run; with
// the clock's time it would find a valid-looking pad about once in 256 runs.
const std::vector<int8_t>& encryptedStream() {
    static const std::vector<int8_t> stream = [] {
        using namespace secnative::cipher;
        const std::string project = "Payroll", password = "s3cret";
        const ByteView secret{reinterpret_cast<const uint8_t*>(password.data()), password.size()};
        const std::vector<int8_t> plain = pattern(40, 1);
        uint8_t ctx[kContextSize];
        context_init(ctx, kEncrypt, project.data(), project.size());
        UpdatePlan plan;
        EXPECT_EQ(
            update_prepare(ctx, {reinterpret_cast<const uint8_t*>(plain.data()), plain.size()},
                           secret, 0x6553F100, plan),
            Status::ok);
        std::vector<int8_t> bytes(plan.output_len());
        update_commit(ctx, plan, reinterpret_cast<uint8_t*>(bytes.data()));
        FinalOutput last;
        EXPECT_EQ(final_step(ctx, secret, 0x6553F100, last), Status::ok);
        bytes.insert(bytes.end(), last.bytes, last.bytes + last.size);
        return bytes;
    }();
    return stream;
}

jobject invoke(FakeEnv& fake, const Fixture& f, Call call) {
    switch (call) {
        case Call::init:
            vx_cipher_init(fake.env(), f.self);
            return nullptr;
        case Call::update:
            return vx_cipher_update(fake.env(), f.self, f.input, f.offset, f.length);
        case Call::doFinal:
            return vx_cipher_doFinal(fake.env(), f.self);
    }
    return nullptr;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

std::vector<Scenario> scenarios() {
    const auto encrypting = [](FakeEnv& fake, Fixture& f) {
        makeCipher(fake, f, 1);
        initKey(fake, f);
    };
    const auto decrypting = [](FakeEnv& fake, Fixture& f) {
        makeCipher(fake, f, 2);
        initKey(fake, f);
    };
    const auto withInput = [](std::vector<int8_t> data, jint offset, jint length) {
        return [=](FakeEnv& fake, Fixture& f) { setInput(fake, f, data, offset, length); };
    };
    const auto then = [](auto first, auto second) {
        return [=](FakeEnv& fake, Fixture& f) {
            first(fake, f);
            second(fake, f);
        };
    };
    const auto input40 = withInput(pattern(40, 2), 0, 40);
    const std::vector<int8_t>& stream = encryptedStream();

    return {
        {"InitKeyReplacingAStream", Call::init,
         [](FakeEnv& fake, Fixture& f) {
             makeCipher(fake, f, 1);
             f.cipher->refs["context"] = fake.newByteArray(pattern(320, 3));
         }},
        {"InitKeyWithInvalidMode", Call::init,
         [](FakeEnv& fake, Fixture& f) { makeCipher(fake, f, 3); },
         "com/ardex/security/VXPrivilegeException"},
        {"InitKeyWithoutContextField", Call::init,
         [](FakeEnv& fake, Fixture& f) {
             makeCipher(fake, f, 1, {"mode", "project", "password"});
         },
         "com/ardex/security/VXPrivilegeException"},
        {"FirstEncryptingUpdate", Call::update, then(encrypting, input40)},
        {"FirstDecryptingUpdate", Call::update,
         then(decrypting, withInput(stream, 0, static_cast<jint>(stream.size())))},
        {"LargeUpdateInPieces", Call::update,
         then(then(encrypting, [](FakeEnv& fake, Fixture& f) { feed(fake, f, pattern(5, 4)); }),
              withInput(pattern(150000, 5), 3, 149990))},
        {"UpdateWithoutStream", Call::update,
         then([](FakeEnv& fake, Fixture& f) { makeCipher(fake, f, 1); }, input40), kIllegalState},
        {"UpdateOnContextOfWrongSize", Call::update,
         then(
             [](FakeEnv& fake, Fixture& f) {
                 makeCipher(fake, f, 1);
                 f.cipher->refs["context"] = fake.newByteArray(pattern(10, 6));
             },
             input40),
         kIllegalState},
        {"UpdateOnDamagedCounter", Call::update,
         then(then(encrypting,
                   [](FakeEnv&, Fixture& f) { f.cipher->refs["context"]->bytes[284] = 1; }),
              input40),
         kIllegalState},
        {"UpdateWithoutPasswordField", Call::update,
         then(
             [](FakeEnv& fake, Fixture& f) {
                 makeCipher(fake, f, 1, {"mode", "project", "context"});
                 initKey(fake, f);
             },
             input40),
         kIllegalState},
        {"UpdateOutsideInput", Call::update, then(encrypting, withInput(pattern(10, 7), 5, 6)),
         "java/lang/IllegalArgumentException"},
        {"UpdateWithShortHeader", Call::update, then(decrypting, withInput(stream, 0, 15)),
         kIllegalState},
        {"DoFinalEncrypting", Call::doFinal,
         then(encrypting, [](FakeEnv& fake, Fixture& f) { feed(fake, f, pattern(20, 8)); })},
        {"DoFinalOfEmptyEncryptingStream", Call::doFinal, encrypting},
        {"DoFinalDecrypting", Call::doFinal,
         then(decrypting, [&stream](FakeEnv& fake, Fixture& f) { feed(fake, f, stream); })},
        {"DoFinalWithBadPadding", Call::doFinal,
         [&stream](FakeEnv& fake, Fixture& f) {
             makeCipher(fake, f, 2);
             f.cipher->refs["password"] = fake.newString("wrong");
             initKey(fake, f);
             feed(fake, f, stream);
         },
         "javax/crypto/BadPaddingException", true},
        {"DoFinalWithoutContextField", Call::doFinal,
         [](FakeEnv& fake, Fixture& f) {
             makeCipher(fake, f, 1, {"mode", "project", "password"});
         },
         kIllegalState},
    };
}

// Names the scenario in failure messages instead of dumping its bytes.
void PrintTo(const Scenario& scenario, std::ostream* os) {
    *os << scenario.name;
}

class NativesUnderFailures : public ::testing::TestWithParam<Scenario> {};

TEST_P(NativesUnderFailures, KeepTheRulesWhicheverCallFails) {
    const Scenario& scenario = GetParam();
    int fallible = 0;
    {
        // Without failures: the expected outcome, within the rules.
        FakeEnv fake;
        Fixture f;
        scenario.setup(fake, f);
        fake.startCounting(0);
        jobject result = invoke(fake, f, scenario.call);
        EXPECT_TRUE(fake.violations().empty()) << joined(fake.violations());
        EXPECT_EQ(0, fake.pins());
        if (scenario.expectedException != nullptr) {
            ASSERT_NE(nullptr, fake.pending());
            EXPECT_EQ(scenario.expectedException, fake.pending()->name);
            EXPECT_EQ(nullptr, result);
        } else {
            EXPECT_EQ(nullptr, fake.pending());
        }
        EXPECT_EQ(result == nullptr ? 0 : 1, fake.liveRefs());
        fallible = fake.fallibleCalls();
    }
    ASSERT_GT(fallible, 0);

    for (int failAt = 1; failAt <= fallible; ++failAt) {
        SCOPED_TRACE("failing fallible call " + std::to_string(failAt));
        FakeEnv fake;
        Fixture f;
        scenario.setup(fake, f);
        FakeObject* before = f.cipher->refs["context"];
        const std::vector<int8_t> bytesBefore =
            before == nullptr ? std::vector<int8_t>() : before->bytes;
        fake.startCounting(failAt);
        jobject result = invoke(fake, f, scenario.call);

        EXPECT_EQ(nullptr, result);
        ASSERT_NE(nullptr, fake.injected());
        EXPECT_EQ(fake.injected(), fake.pending());
        EXPECT_TRUE(fake.violations().empty()) << joined(fake.violations());
        EXPECT_EQ(0, fake.pins());
        EXPECT_EQ(0, fake.liveRefs());
        FakeObject* after = f.cipher->refs["context"];
        if (!(scenario.endsStream && after == nullptr)) {
            EXPECT_EQ(before, after);
            if (before != nullptr && after == before) {
                EXPECT_EQ(bytesBefore, after->bytes);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cipher, NativesUnderFailures, ::testing::ValuesIn(scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& param) {
                             return std::string(param.param.name);
                         });

std::vector<int8_t> bytesOf(const FakeObject* array) {
    return array == nullptr ? std::vector<int8_t>() : array->bytes;
}

// The library loaded through its load hook for a scope, as the virtual
// machine loads it, and unloaded at the end.
class Loaded {
  public:
    explicit Loaded(JavaVM* vm) : vm_(vm) { EXPECT_EQ(JNI_VERSION_1_4, JNI_OnLoad(vm, nullptr)); }
    ~Loaded() { JNI_OnUnload(vm_, nullptr); }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;

  private:
    JavaVM* vm_;
};

class NativesLoaded : public ::testing::TestWithParam<Scenario> {};

// Loaded, the natives check their state array against the class kept since
// load time: the same outcomes and rules as above, with no look-up of byte[]
// and only the object's own class fetched.
TEST_P(NativesLoaded, KeepTheRulesWithTheClassKeptAtLoad) {
    const Scenario& scenario = GetParam();
    int fallible = 0;
    for (int failAt = 0; failAt == 0 || failAt <= fallible; ++failAt) {
        SCOPED_TRACE("failing fallible call " + std::to_string(failAt));
        FakeEnv fake;
        {
            Loaded loaded(fake.vm());
            Fixture f;
            scenario.setup(fake, f);
            FakeObject* before = f.cipher->refs["context"];
            const std::vector<int8_t> bytesBefore = bytesOf(before);
            fake.startCounting(failAt);
            jobject result = invoke(fake, f, scenario.call);

            EXPECT_TRUE(fake.violations().empty()) << joined(fake.violations());
            EXPECT_EQ(0, fake.pins());
            EXPECT_EQ(0, fake.findClassCalls("[B"));
            EXPECT_LE(fake.calls("GetObjectClass"), 1);
            FakeObject* after = f.cipher->refs["context"];
            if (failAt == 0) {
                fallible = fake.fallibleCalls();
                const char* thrown =
                    fake.pending() == nullptr ? nullptr : fake.pending()->name.c_str();
                EXPECT_STREQ(scenario.expectedException, thrown);
                EXPECT_EQ(result == nullptr ? 0 : 1, fake.liveRefs());
            } else {
                EXPECT_EQ(nullptr, result);
                EXPECT_EQ(fake.injected(), fake.pending());
                EXPECT_EQ(0, fake.liveRefs());
                if (!(scenario.endsStream && after == nullptr)) {
                    EXPECT_EQ(before, after);
                    EXPECT_EQ(bytesBefore, bytesOf(after));
                }
            }
        }
        EXPECT_EQ(0, fake.liveGlobalRefs());
    }
}

INSTANTIATE_TEST_SUITE_P(Cipher, NativesLoaded, ::testing::ValuesIn(scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& param) {
                             return std::string(param.param.name);
                         });

// A load whose look-up of byte[] fails still loads, with nothing pending, and
// leaves the natives to look the class up per call.
TEST(CipherLoadHook, FailedLookUpAtLoadLeavesTheNativesWorking) {
    for (int failAt : {1, 2}) {  // FindClass, NewGlobalRef
        SCOPED_TRACE("failing load-time call " + std::to_string(failAt));
        FakeEnv fake;
        fake.startCounting(failAt);
        Loaded loaded(fake.vm());
        EXPECT_EQ(nullptr, fake.pending());
        EXPECT_EQ(0, fake.liveGlobalRefs());
        EXPECT_TRUE(fake.violations().empty()) << joined(fake.violations());

        Fixture f;
        makeCipher(fake, f, 1);
        initKey(fake, f);
        EXPECT_EQ(48u, feed(fake, f, pattern(40, 9)).size());  // header and two blocks
        jobject last = vx_cipher_doFinal(fake.env(), f.self);
        ASSERT_NE(nullptr, last);
        EXPECT_EQ(16u, FakeEnv::deref(last)->bytes.size());
        EXPECT_EQ(2, fake.findClassCalls("[B"));  // at load, then doFinal's own
    }
}

struct PieceCase {
    const char* name;
    int32_t mode;
    std::vector<jint> pieces;  // update lengths, fed one after another from one array
};

void PrintTo(const PieceCase& param, std::ostream* os) {
    *os << param.name;
}

class NativesState : public ::testing::TestWithParam<PieceCase> {};

// After every update, small (native copies) or large (critical regions), the
// output and the object's whole state array are what the steps give for the
// same input, whichever part of the state the native wrote back.
TEST_P(NativesState, MatchesTheStepsAfterEveryUpdate) {
    using namespace secnative::cipher;
    const PieceCase& param = GetParam();
    FakeEnv fake;
    Fixture f;
    makeCipher(fake, f, param.mode);
    initKey(fake, f);
    std::vector<uint8_t> expected(f.cipher->refs["context"]->bytes.begin(),
                                  f.cipher->refs["context"]->bytes.end());
    const jint total = std::accumulate(param.pieces.begin(), param.pieces.end(), 0);
    const std::vector<int8_t> data = pattern(static_cast<size_t>(total), 5);
    auto input = reinterpret_cast<jbyteArray>(fake.ref(fake.newByteArray(data)));
    const std::string password = "s3cret";
    const ByteView secret{reinterpret_cast<const uint8_t*>(password.data()), password.size()};

    jint offset = 0;
    for (jint piece : param.pieces) {
        SCOPED_TRACE("update of " + std::to_string(piece) + " at " + std::to_string(offset));
        jobject out = vx_cipher_update(fake.env(), f.self, input, offset, piece);
        ASSERT_EQ(nullptr, fake.pending());
        const std::vector<int8_t> got =
            out == nullptr ? std::vector<int8_t>() : FakeEnv::deref(out)->bytes;

        // An encrypting header holds the time of the call; the steps take it from there.
        const bool header = ctx_header_pending(expected.data()) && param.mode == kEncrypt;
        const uint32_t now = header && got.size() >= 16
                                 ? load32_be(reinterpret_cast<const uint8_t*>(got.data()) + 8)
                                 : 0;
        UpdatePlan plan;
        const ByteView range{reinterpret_cast<const uint8_t*>(data.data()) + offset,
                             static_cast<size_t>(piece)};
        ASSERT_EQ(Status::ok, update_prepare(expected.data(), range, secret, now, plan));
        std::vector<int8_t> want(plan.output_len());
        update_commit(expected.data(), plan, reinterpret_cast<uint8_t*>(want.data()));

        EXPECT_EQ(want, got);
        const std::vector<int8_t>& state = f.cipher->refs["context"]->bytes;
        EXPECT_EQ(std::vector<int8_t>(expected.begin(), expected.end()), state);
        offset += piece;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cipher, NativesState,
    ::testing::Values(
        PieceCase{"EncryptingSmallAndLarge", 1, {0, 1, 15, 16, 17, 64, 100, 600, 3, 2000, 48}},
        PieceCase{"DecryptingSmallAndLarge", 2, {16, 1, 15, 16, 17, 64, 100, 600, 3, 2000, 48}},
        PieceCase{"EncryptingLargeFirst", 1, {700, 5, 64}},
        PieceCase{"DecryptingLargeFirst", 2, {700, 64, 64, 31}}),
    [](const ::testing::TestParamInfo<PieceCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace secnative::test
