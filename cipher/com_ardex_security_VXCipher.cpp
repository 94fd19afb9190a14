// The Java natives of com.ardex.security.VXCipher.
//
// The object keeps its stream state as a 320-byte array in its field
// `context`. Every call copies that array into a native buffer, runs the
// cipher steps on the copy and writes it back only when the call succeeds:
// a call that throws, for whatever reason, leaves the Java object as it was
// (doFinal's padding failures excepted, which end the stream on purpose).
//
// Failures are Java exceptions with fixed messages; a JNI call that fails
// leaves its own exception pending and ends the native at once.
#include "cipher/com_ardex_security_VXCipher.h"

#include <algorithm>
#include <cstring>

#include "cipher/cipher_context.h"
#include "cipher/cipher_stream.h"
#include "common/jni_support.h"

namespace {

using namespace secnative::cipher;
using secnative::secure_wipe_object;
using secnative::jni::ArrayRelease;
using secnative::jni::ScopedCriticalByteArray;
using secnative::jni::ScopedLocalRef;
using secnative::jni::SecretBuffer;

constexpr char kPrivilegeException[] = "com/ardex/security/VXPrivilegeException";
constexpr char kIllegalState[] = "java/lang/IllegalStateException";
constexpr char kIllegalBlockSize[] = "javax/crypto/IllegalBlockSizeException";
constexpr char kBadPadding[] = "javax/crypto/BadPaddingException";

constexpr char kObjectSignature[] = "Ljava/lang/Object;";
constexpr char kStringSignature[] = "Ljava/lang/String;";

constexpr char kInitContextFieldMissing[] = "field [context] not found";
constexpr char kContextFieldMissing[] = "field \"context\" not found";
constexpr char kPasswordFieldMissing[] = "field \"password\" not found";
constexpr char kInvalidMode[] = "invalid mode";
constexpr char kNotInitialized[] = "context is not initialized";
constexpr char kInputNull[] = "input array is null";
constexpr char kInputRange[] = "offset or length outside the input array";

constexpr jsize kContextLength = static_cast<jsize>(kContextSize);

// Largest piece of input an update transforms inside one critical region:
// a fraction of a millisecond of cipher work.
constexpr size_t kCriticalPiece = 64 * 1024;

using Password = SecretBuffer<char, kMaxPasswordLength + 1>;

ByteView view(const Password& password) {
    return {reinterpret_cast<const uint8_t*>(password.data()), std::strlen(password.data())};
}

// The object's stream state for one call: its Java array and a native copy
// of the bytes, which hold the key schedule and are wiped at the end.
struct StreamState {
    explicit StreamState(JNIEnv* env) : array(env, nullptr) {}
    jfieldID field = nullptr;
    ScopedLocalRef<jbyteArray> array;
    SecretBuffer<uint8_t, kContextSize> bytes;
};

void throwStatus(JNIEnv* env, Status status) {
    const char* className = kIllegalState;
    if (status == Status::block_size) className = kIllegalBlockSize;
    if (status == Status::bad_padding) className = kBadPadding;
    secnative::jni::throwException(env, className, status_message(status));
}

// Fetches `context` and copies it in. Anything but a byte array of the
// state's exact size is a damaged state: reading it as one would go outside
// the Java array. byteArrayClass is the class byte[]; update passes its input
// array's class, which spares it a FindClass on every call.
bool fetchStreamState(JNIEnv* env, jobject self, jclass byteArrayClass, StreamState& state) {
    ScopedLocalRef<jclass> clazz(env, env->GetObjectClass(self));
    state.field = secnative::jni::getFieldIdOrThrow(env, clazz.get(), "context", kObjectSignature,
                                                    kIllegalState, kContextFieldMissing);
    if (state.field == nullptr) return false;

    ScopedLocalRef<jobject> context(env, env->GetObjectField(self, state.field));
    if (!context) {
        secnative::jni::throwIllegalStateException(env, kNotInitialized);
        return false;
    }
    if (!env->IsInstanceOf(context.get(), byteArrayClass) ||
        env->GetArrayLength(static_cast<jarray>(context.get())) != kContextLength) {
        throwStatus(env, Status::damaged_context);
        return false;
    }
    state.array.reset(static_cast<jbyteArray>(context.release()));
    return secnative::jni::readByteArrayRegion(env, state.array.get(), 0, kContextLength,
                                               state.bytes.data());
}

bool storeStreamState(JNIEnv* env, const StreamState& state) {
    return secnative::jni::writeByteArrayRegion(env, state.array.get(), 0, kContextLength,
                                                state.bytes.data());
}

// Reads the object's `password` for the header step, at most its first 31
// bytes. A class without the field is refused rather than read blindly.
bool readPassword(JNIEnv* env, jobject self, Password& password) {
    ScopedLocalRef<jclass> clazz(env, env->GetObjectClass(self));
    jfieldID field = secnative::jni::getFieldIdOrThrow(
        env, clazz.get(), "password", kStringSignature, kIllegalState, kPasswordFieldMissing);
    if (field == nullptr) return false;
    ScopedLocalRef<jstring> value(env, static_cast<jstring>(env->GetObjectField(self, field)));
    return secnative::jni::copyStringUtf(env, value.get(), password.array());
}

bool checkInput(JNIEnv* env, jbyteArray input, jint offset, jint length) {
    if (input == nullptr) {
        secnative::jni::throwIllegalArgumentException(env, kInputNull);
        return false;
    }
    if (!secnative::jni::rangeInside(env->GetArrayLength(input), offset, length)) {
        secnative::jni::throwIllegalArgumentException(env, kInputRange);
        return false;
    }
    return true;
}

// First half of an update, on the native copy of the state: reads the
// password while the header step is pending (the copy dies with this
// function) and runs the header step and the checks. Returns false with an
// exception pending.
bool prepareUpdate(JNIEnv* env, jobject self, StreamState& state, jbyteArray input, jint offset,
                   jint length, UpdatePlan& plan) {
    Password password;
    if (ctx_header_pending(state.bytes.data()) && !readPassword(env, self, password)) {
        return false;
    }
    Status status;
    {
        ScopedCriticalByteArray in(env, input, ArrayRelease::discard);
        if (in.data() == nullptr) return false;
        const ByteView range{in.data() + offset, static_cast<size_t>(length)};
        status =
            update_prepare(state.bytes.data(), range, view(password), current_header_time(), plan);
    }
    if (status != Status::ok) {
        throwStatus(env, status);
        return false;
    }
    return true;
}

// Second half: transforms straight from the input array into the output
// array, in pieces of at most kCriticalPiece input bytes, each in a critical
// region of its own so that none holds off the garbage collector for long.
// Each piece is an update of its own on the native state (the header step has
// run in the first half), and their outputs follow one another exactly as the
// whole update's would.
bool commitUpdate(JNIEnv* env, StreamState& state, jbyteArray input, jint offset, jint length,
                  const UpdatePlan& plan, jbyteArray output) {
    uint8_t* ctx = state.bytes.data();
    size_t at = static_cast<size_t>(offset) + (static_cast<size_t>(length) - plan.input.size);
    size_t left = plan.input.size;
    size_t written = 0;
    Status status = Status::ok;
    do {
        ScopedCriticalByteArray in(env, input, ArrayRelease::discard);
        if (in.data() == nullptr) return false;
        ScopedCriticalByteArray out(env, output, ArrayRelease::copyBack);
        if (output != nullptr && out.data() == nullptr) return false;
        if (written == 0 && plan.header_len > 0) {
            std::memcpy(out.data(), plan.header, plan.header_len);
            written = plan.header_len;
        }
        const size_t piece = std::min(left, kCriticalPiece);
        UpdatePlan piecePlan;
        // With the header step done, this only sizes the piece's blocks; the
        // state passed its checks in the first half.
        status = update_prepare(ctx, {in.data() + at, piece}, {}, 0, piecePlan);
        if (status != Status::ok) break;
        update_commit(ctx, piecePlan, out.data() == nullptr ? nullptr : out.data() + written);
        written += piecePlan.output_len();
        at += piece;
        left -= piece;
    } while (left > 0);
    if (status != Status::ok) {
        throwStatus(env, status);
        return false;
    }
    return true;
}

}  // namespace

void vx_cipher_init(JNIEnv* env, jobject self) {
    ScopedLocalRef<jclass> clazz(env, env->GetObjectClass(self));
    // A class without `mode` or `project` leaves the virtual machine's
    // NoSuchFieldError pending.
    jfieldID modeField = env->GetFieldID(clazz.get(), "mode", "I");
    if (modeField == nullptr) return;
    jfieldID projectField = env->GetFieldID(clazz.get(), "project", kStringSignature);
    if (projectField == nullptr) return;
    jfieldID contextField =
        secnative::jni::getFieldIdOrThrow(env, clazz.get(), "context", kObjectSignature,
                                          kPrivilegeException, kInitContextFieldMissing);
    if (contextField == nullptr) return;

    const jint mode = env->GetIntField(self, modeField);
    if (mode != kEncrypt && mode != kDecrypt) {
        secnative::jni::throwException(env, kPrivilegeException, kInvalidMode);
        return;
    }
    char project[kMaxProjectLength + 1];
    ScopedLocalRef<jstring> projectValue(
        env, static_cast<jstring>(env->GetObjectField(self, projectField)));
    if (!secnative::jni::copyStringUtf(env, projectValue.get(), project)) return;

    uint8_t fresh[kContextSize];
    context_init(fresh, mode, project, std::strlen(project));
    ScopedLocalRef<jbyteArray> context(env, secnative::jni::newByteArray(env, fresh, kContextSize));
    if (!context) return;
    // The new state replaces the old one only now, complete.
    env->SetObjectField(self, contextField, context.get());
}

jbyteArray vx_cipher_update(JNIEnv* env, jobject self, jbyteArray input, jint offset, jint length) {
    if (!checkInput(env, input, offset, length)) return nullptr;
    ScopedLocalRef<jclass> byteArrayClass(env, env->GetObjectClass(input));
    StreamState state(env);
    if (!fetchStreamState(env, self, byteArrayClass.get(), state)) return nullptr;

    UpdatePlan plan;
    if (!prepareUpdate(env, self, state, input, offset, length, plan)) return nullptr;

    // The output array is made before anything is written back, so a failed
    // allocation leaves the stream where it was.
    ScopedLocalRef<jbyteArray> output(env, nullptr);
    if (plan.output_len() > 0) {
        output.reset(secnative::jni::newByteArray(env, plan.output_len()));
        if (!output) return nullptr;
    }
    if (!commitUpdate(env, state, input, offset, length, plan, output.get())) return nullptr;
    if (!storeStreamState(env, state)) return nullptr;
    return output.release();
}

jbyteArray vx_cipher_doFinal(JNIEnv* env, jobject self) {
    ScopedLocalRef<jclass> byteArrayClass(env, env->FindClass("[B"));
    if (!byteArrayClass) return nullptr;
    StreamState state(env);
    if (!fetchStreamState(env, self, byteArrayClass.get(), state)) return nullptr;

    FinalOutput out;
    Status status;
    {
        // An encrypting stream that never had an update makes its header here.
        Password password;
        const uint8_t* ctx = state.bytes.data();
        if (ctx_header_pending(ctx) && !ctx_decrypting(ctx) && !readPassword(env, self, password)) {
            return nullptr;
        }
        status = final_step(state.bytes.data(), view(password), current_header_time(), out);
    }
    if (status == Status::damaged_context) {  // the object keeps its state
        throwStatus(env, status);
        return nullptr;
    }
    ScopedLocalRef<jbyteArray> result(env, nullptr);
    if (status == Status::ok && out.size > 0) {
        result.reset(secnative::jni::newByteArray(env, out.bytes, out.size));
        secure_wipe_object(out);  // decrypted bytes
        if (!result) return nullptr;
    }
    // The stream is over, whether it ended in output or in a padding failure.
    env->SetObjectField(self, state.field, nullptr);
    if (status != Status::ok) {
        throwStatus(env, status);
        return nullptr;
    }
    return result.release();
}

void JNICALL Java_com_ardex_security_VXCipher_initKey(JNIEnv* env, jobject self) {
    vx_cipher_init(env, self);
}

jbyteArray JNICALL Java_com_ardex_security_VXCipher_update(JNIEnv* env, jobject self,
                                                           jbyteArray input, jint offset,
                                                           jint length) {
    return vx_cipher_update(env, self, input, offset, length);
}

jbyteArray JNICALL Java_com_ardex_security_VXCipher_doFinal(JNIEnv* env, jobject self) {
    return vx_cipher_doFinal(env, self);
}
