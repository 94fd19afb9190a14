// The Java natives of com.ardex.security.VXCipher.
//
// The object keeps its stream state as a 320-byte array in its field
// `context`. Every call copies that array into a native buffer, runs the
// cipher steps on the copy and writes it back only when the call succeeds:
// a call that throws, for whatever reason, leaves the Java object as it was
// (doFinal's padding failures excepted, which end the stream on purpose).
//
// A small update moves its input and output with region copies through
// native buffers, which costs less than pinning two arrays; a large one works
// on the arrays themselves in critical regions.
//
// Failures are Java exceptions with fixed messages; a JNI call that fails
// leaves its own exception pending and ends the native at once.
#include "cipher/com_ardex_security_VXCipher.h"

#include <algorithm>
#include <cstring>

#include "cipher/cipher_context.h"
#include "cipher/cipher_stream.h"
#include "common/secret_buffer.h"
#include "jni/jni_support.h"

namespace {

using namespace secnative::cipher;
using secnative::SecretBuffer;
using secnative::SecretScratch;
using secnative::secure_wipe_object;
using secnative::jni::ArrayRelease;
using secnative::jni::ScopedByteArrayClass;
using secnative::jni::ScopedCriticalByteArray;
using secnative::jni::ScopedLocalRef;

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

// Once the header step has run, an update changes only `buffered` and the
// carry after it, so only those go back to the Java array, and only when they
// changed (encrypting whole blocks leaves them as they were).
constexpr size_t kMovedOffset = kBufferedOffset;
constexpr size_t kMovedSize = kContextSize - kMovedOffset;
static_assert(kBufferedOffset + 4 == kCarryOffset && kCarryOffset + kCarrySize == kContextSize,
              "buffered and the carry must end the context");

// Updates of up to this many input bytes run on native copies of their input
// and output (on the stack): below it, two region copies cost less than
// entering and leaving two critical regions.
constexpr size_t kSmallUpdate = 512;
// Their largest output: a header, then the carry and the input transformed.
constexpr size_t kSmallOutput = kHeaderSize + kCarrySize + kSmallUpdate;

// Largest piece of input an update transforms inside one critical region:
// a fraction of a millisecond of cipher work.
constexpr size_t kCriticalPiece = 64 * 1024;

// The password's bytes that count, cut once as they are copied out of the
// Java string, and their length.
struct Password {
    SecretBuffer<char, secnative::kPasswordLimit + 1> bytes;
    size_t length = 0;
};

ByteView view(const Password& password) {
    return {reinterpret_cast<const uint8_t*>(password.bytes.data()), password.length};
}

// The object's stream state for one call: its Java array and a native copy
// of the bytes, which hold the key schedule and carried input and are wiped
// at the end (the copy is filled from the array at once, so never zeroed).
struct StreamState {
    explicit StreamState(JNIEnv* env)
        : clazz(env, nullptr),
          array(env, nullptr),
          bytes(copy.use(kContextSize + kMovedSize)),
          fetchedMoved(bytes + kContextSize) {}
    ScopedLocalRef<jclass> clazz;  // the object's class, for a look-up of `password`
    jfieldID field = nullptr;
    ScopedLocalRef<jbyteArray> array;
    SecretScratch<kContextSize + kMovedSize> copy;
    uint8_t* const bytes;         // the state, worked on by the steps
    uint8_t* const fetchedMoved;  // its moved fields as fetched
    bool headerPending = false;   // as fetched: the header step runs in this call
};

void throwStatus(JNIEnv* env, Status status) {
    const char* className = kIllegalState;
    if (status == Status::block_size) className = kIllegalBlockSize;
    if (status == Status::bad_padding) className = kBadPadding;
    secnative::jni::throwException(env, className, status_message(status));
}

// Fetches `context` and copies it in. Anything but a byte array of the
// state's exact size is a damaged state: reading it as one would go outside
// the Java array. sample, when given, is a byte array the caller holds, for
// the type check when the library keeps no reference to byte[].
bool fetchStreamState(JNIEnv* env, jobject self, jbyteArray sample, StreamState& state) {
    state.clazz.reset(env->GetObjectClass(self));
    state.field = secnative::jni::getFieldIdOrThrow(
        env, state.clazz.get(), "context", kObjectSignature, kIllegalState, kContextFieldMissing);
    if (state.field == nullptr) return false;

    ScopedLocalRef<jobject> context(env, env->GetObjectField(self, state.field));
    if (!context) {
        secnative::jni::throwIllegalStateException(env, kNotInitialized);
        return false;
    }
    ScopedByteArrayClass byteArray(env, sample);
    if (byteArray.get() == nullptr) return false;
    if (!env->IsInstanceOf(context.get(), byteArray.get()) ||
        env->GetArrayLength(static_cast<jarray>(context.get())) != kContextLength) {
        throwStatus(env, Status::damaged_context);
        return false;
    }
    state.array.reset(static_cast<jbyteArray>(context.release()));
    if (!secnative::jni::readByteArrayRegion(env, state.array.get(), 0, kContextLength,
                                             state.bytes)) {
        return false;
    }
    std::memcpy(state.fetchedMoved, state.bytes + kMovedOffset, kMovedSize);
    state.headerPending = ctx_header_pending(state.bytes);
    return true;
}

// Writes an update's changes back: the whole state after a header step,
// otherwise the fields an update moves, if they changed.
bool storeStreamState(JNIEnv* env, const StreamState& state) {
    if (state.headerPending) {
        return secnative::jni::writeByteArrayRegion(env, state.array.get(), 0, kContextLength,
                                                    state.bytes);
    }
    const uint8_t* moved = state.bytes + kMovedOffset;
    if (std::memcmp(moved, state.fetchedMoved, kMovedSize) == 0) return true;
    return secnative::jni::writeByteArrayRegion(env, state.array.get(),
                                                static_cast<jsize>(kMovedOffset),
                                                static_cast<jsize>(kMovedSize), moved);
}

// Reads the object's `password` for the header step, at most its first 31
// bytes. A class without the field is refused rather than read blindly.
bool readPassword(JNIEnv* env, jobject self, const StreamState& state, Password& password) {
    jfieldID field = secnative::jni::getFieldIdOrThrow(
        env, state.clazz.get(), "password", kStringSignature, kIllegalState, kPasswordFieldMissing);
    if (field == nullptr) return false;
    ScopedLocalRef<jstring> value(env, static_cast<jstring>(env->GetObjectField(self, field)));
    return secnative::jni::copyStringUtf(env, value.get(), password.bytes.array(),
                                         &password.length);
}

// The time for a header made in this call; the clock is read only then.
uint32_t headerTime(const StreamState& state) {
    return state.headerPending && !ctx_decrypting(state.bytes) ? current_header_time() : 0;
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

// An update of at most kSmallUpdate bytes, on native copies: the input is
// copied in, the steps write the output into a native buffer, and the new
// array is made from that. Returns false with an exception pending.
bool updateSmall(JNIEnv* env, StreamState& state, ByteView password, jbyteArray input, jint offset,
                 jint length, ScopedLocalRef<jbyteArray>& output) {
    // Input, then output: plaintext on one side or the other. The output is
    // at most kSmallOutput bytes, since the steps refuse a state that carries
    // more than 32 bytes.
    SecretScratch<kSmallUpdate + kSmallOutput> buffers;
    const size_t inLength = static_cast<size_t>(length);
    uint8_t* inBytes = buffers.use(inLength);
    if (length > 0 && !secnative::jni::readByteArrayRegion(env, input, offset, length, inBytes)) {
        return false;
    }
    UpdatePlan plan;
    const Status status =
        update_prepare(state.bytes, {inBytes, inLength}, password, headerTime(state), plan);
    if (status != Status::ok) {
        throwStatus(env, status);
        return false;
    }
    const size_t outLength = plan.output_len();
    uint8_t* outBytes = buffers.use(inLength + outLength) + inLength;
    update_commit(state.bytes, plan, outBytes);
    if (outLength == 0) return true;
    output.reset(secnative::jni::newByteArray(env, outBytes, outLength));
    return static_cast<bool>(output);
}

// Transforms straight from the input array into the output array, in pieces
// of at most kCriticalPiece input bytes, each in a critical region of its own
// so that none holds off the garbage collector for long. Each piece is an
// update of its own on the native state (the header step has run before), and
// their outputs follow one another exactly as the whole update's would.
bool transformInPieces(JNIEnv* env, StreamState& state, jbyteArray input, jint offset, jint length,
                       const UpdatePlan& plan, jbyteArray output) {
    uint8_t* ctx = state.bytes;
    size_t at = static_cast<size_t>(offset) + (static_cast<size_t>(length) - plan.input.size);
    size_t left = plan.input.size;
    size_t written = 0;
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
        // The header step is done and the state passed its checks: only the
        // piece's blocks remain to be sized.
        UpdatePlan piecePlan;
        piecePlan.input = {in.data() + at, piece};
        piecePlan.block_bytes = plan_blocks(ctx, piecePlan.input);
        update_commit(ctx, piecePlan, out.data() == nullptr ? nullptr : out.data() + written);
        written += piecePlan.output_len();
        at += piece;
        left -= piece;
    } while (left > 0);
    return true;
}

// A larger update, on the Java arrays themselves: the header step and the
// checks first (in a critical region of the input, which holds the header
// when decrypting), then the output array, then the transform.
bool updateLarge(JNIEnv* env, StreamState& state, ByteView password, jbyteArray input, jint offset,
                 jint length, ScopedLocalRef<jbyteArray>& output) {
    UpdatePlan plan;
    Status status;
    {
        ScopedCriticalByteArray in(env, input, ArrayRelease::discard);
        if (in.data() == nullptr) return false;
        const ByteView range{in.data() + offset, static_cast<size_t>(length)};
        status = update_prepare(state.bytes, range, password, headerTime(state), plan);
    }
    if (status != Status::ok) {
        throwStatus(env, status);
        return false;
    }
    // The output array is made before anything is written back, so a failed
    // allocation leaves the stream where it was.
    if (plan.output_len() > 0) {
        output.reset(secnative::jni::newByteArray(env, plan.output_len()));
        if (!output) return false;
    }
    return transformInPieces(env, state, input, offset, length, plan, output.get());
}

// Zeroes a stream state array that is about to be dropped: the virtual
// machine frees it whenever it pleases, key schedule and all, and any other
// reference to it would keep it readable until then.
bool wipeStateArray(JNIEnv* env, jbyteArray array) {
    static const uint8_t kZeros[kContextSize] = {};
    return secnative::jni::writeByteArrayRegion(env, array, 0, kContextLength, kZeros);
}

// The object's current state array, if it holds one of the state's shape
// (anything else was not made here and holds nothing of a key).
bool fetchOldStateArray(JNIEnv* env, jobject self, jfieldID field,
                        ScopedLocalRef<jbyteArray>& old) {
    ScopedLocalRef<jobject> value(env, env->GetObjectField(self, field));
    if (!value) return true;
    ScopedByteArrayClass byteArray(env, nullptr);
    if (byteArray.get() == nullptr) return false;
    if (env->IsInstanceOf(value.get(), byteArray.get()) &&
        env->GetArrayLength(static_cast<jarray>(value.get())) == kContextLength) {
        old.reset(static_cast<jbyteArray>(value.release()));
    }
    return true;
}

bool runUpdate(JNIEnv* env, StreamState& state, ByteView password, jbyteArray input, jint offset,
               jint length, ScopedLocalRef<jbyteArray>& output) {
    return static_cast<size_t>(length) <= kSmallUpdate
               ? updateSmall(env, state, password, input, offset, length, output)
               : updateLarge(env, state, password, input, offset, length, output);
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
    ScopedLocalRef<jbyteArray> old(env, nullptr);
    if (!fetchOldStateArray(env, self, contextField, old)) return;
    // The new state replaces the old one only now, complete, and the old one
    // goes wiped.
    if (old && !wipeStateArray(env, old.get())) return;
    env->SetObjectField(self, contextField, context.get());
}

jbyteArray vx_cipher_update(JNIEnv* env, jobject self, jbyteArray input, jint offset, jint length) {
    if (!checkInput(env, input, offset, length)) return nullptr;
    StreamState state(env);
    if (!fetchStreamState(env, self, input, state)) return nullptr;

    ScopedLocalRef<jbyteArray> output(env, nullptr);
    bool done;
    if (state.headerPending) {
        // The password is read only for the header step; its copy dies here.
        Password password;
        done = readPassword(env, self, state, password) &&
               runUpdate(env, state, view(password), input, offset, length, output);
    } else {
        done = runUpdate(env, state, {}, input, offset, length, output);
    }
    if (!done || !storeStreamState(env, state)) return nullptr;
    return output.release();
}

jbyteArray vx_cipher_doFinal(JNIEnv* env, jobject self) {
    StreamState state(env);
    if (!fetchStreamState(env, self, nullptr, state)) return nullptr;

    FinalOutput out;
    Status status;
    {
        // An encrypting stream that never had an update makes its header here.
        Password password;
        if (state.headerPending && !ctx_decrypting(state.bytes) &&
            !readPassword(env, self, state, password)) {
            return nullptr;
        }
        status = final_step(state.bytes, view(password), headerTime(state), out);
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
    // The stream is over, whether it ended in output or in a padding failure,
    // and its state goes wiped.
    if (!wipeStateArray(env, state.array.get())) return nullptr;
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
