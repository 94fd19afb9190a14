#include "jni/jni_support.h"

#include <atomic>
#include <cstring>
#include <limits>

#include "common/bytes.h"

namespace secnative::jni {

namespace {

// Set by the load hook before any native of the library can run, read by
// natives on any thread.
std::atomic<jclass> g_byteArrayClass{nullptr};

JNIEnv* envOf(JavaVM* vm) {
    void* env = nullptr;
    if (vm == nullptr || vm->GetEnv(&env, JNI_VERSION_1_4) != JNI_OK) return nullptr;
    return static_cast<JNIEnv*>(env);
}

}  // namespace

void throwException(JNIEnv* env, const char* className, const char* message) {
    ScopedLocalRef<jclass> clazz(env, env->FindClass(className));
    if (!clazz) return;  // FindClass left its own error pending
    env->ThrowNew(clazz.get(), message);
}

void throwIllegalArgumentException(JNIEnv* env, const char* message) {
    throwException(env, "java/lang/IllegalArgumentException", message);
}

void throwIllegalStateException(JNIEnv* env, const char* message) {
    throwException(env, "java/lang/IllegalStateException", message);
}

void throwNullPointerException(JNIEnv* env, const char* message) {
    throwException(env, "java/lang/NullPointerException", message);
}

jfieldID getFieldIdOrThrow(JNIEnv* env, jclass clazz, const char* name, const char* signature,
                           const char* missingClass, const char* missingMessage) {
    jfieldID field = env->GetFieldID(clazz, name, signature);
    if (field != nullptr) return field;

    // The lookup failed with an exception pending. Take it off to see what it
    // is (no other JNI call may run while it is pending), then either replace
    // a NoSuchFieldError or put the original back.
    ScopedLocalRef<jthrowable> pending(env, env->ExceptionOccurred());
    if (!pending) return nullptr;
    env->ExceptionClear();
    ScopedLocalRef<jclass> noSuchField(env, env->FindClass("java/lang/NoSuchFieldError"));
    if (!noSuchField) return nullptr;  // the failed FindClass left its error pending
    if (env->IsInstanceOf(pending.get(), noSuchField.get())) {
        throwException(env, missingClass, missingMessage);
    } else {
        env->Throw(pending.get());
    }
    return nullptr;
}

ScopedUtfChars::ScopedUtfChars(JNIEnv* env, jstring string)
    : env_(env),
      string_(string),
      chars_(string != nullptr ? env->GetStringUTFChars(string, nullptr) : nullptr) {}

ScopedUtfChars::~ScopedUtfChars() {
    if (chars_ != nullptr) env_->ReleaseStringUTFChars(string_, chars_);
}

namespace detail {

bool copyStringUtf(JNIEnv* env, jstring string, char* out, size_t outSize, size_t maxBytes,
                   char* scratch, size_t* copied) {
    std::memset(out, 0, outSize);
    if (copied) *copied = 0;
    if (string == nullptr) return true;

    // GetStringUTFRegion writes into our own buffer, unlike GetStringUTFChars,
    // whose copy inside the virtual machine would outlive the call unwiped.
    const jsize length = env->GetStringLength(string);
    const jsize chars =
        length < static_cast<jsize>(maxBytes) ? length : static_cast<jsize>(maxBytes);
    const size_t scratchSize = 3 * maxBytes + 1;
    std::memset(scratch, 0, scratchSize);
    env->GetStringUTFRegion(string, 0, chars, scratch);
    const bool ok = !env->ExceptionCheck();
    if (ok) {
        // Modified UTF-8 has no zero bytes inside a string, so the copy ends
        // at the first zero or at the byte limit.
        const size_t bytes = strnlen(scratch, maxBytes);
        std::memcpy(out, scratch, bytes);
        if (copied) *copied = bytes;
    }
    secure_wipe(scratch, scratchSize);
    return ok;
}

}  // namespace detail

ScopedByteArrayElements::ScopedByteArrayElements(JNIEnv* env, jbyteArray array,
                                                 ArrayRelease release)
    : env_(env),
      array_(array),
      elements_(array != nullptr ? env->GetByteArrayElements(array, nullptr) : nullptr),
      release_(release) {}

ScopedByteArrayElements::~ScopedByteArrayElements() {
    if (elements_ != nullptr) {
        env_->ReleaseByteArrayElements(array_, elements_, static_cast<jint>(release_));
    }
}

ScopedCriticalByteArray::ScopedCriticalByteArray(JNIEnv* env, jbyteArray array,
                                                 ArrayRelease release)
    : env_(env),
      array_(array),
      elements_(array != nullptr ? env->GetPrimitiveArrayCritical(array, nullptr) : nullptr),
      release_(release) {}

ScopedCriticalByteArray::~ScopedCriticalByteArray() {
    if (elements_ != nullptr) {
        env_->ReleasePrimitiveArrayCritical(array_, elements_, static_cast<jint>(release_));
    }
}

bool readByteArrayRegion(JNIEnv* env, jbyteArray array, jsize offset, jsize length, uint8_t* out) {
    env->GetByteArrayRegion(array, offset, length, reinterpret_cast<jbyte*>(out));
    return !env->ExceptionCheck();
}

bool writeByteArrayRegion(JNIEnv* env, jbyteArray array, jsize offset, jsize length,
                          const uint8_t* in) {
    env->SetByteArrayRegion(array, offset, length, reinterpret_cast<const jbyte*>(in));
    return !env->ExceptionCheck();
}

jbyteArray newByteArray(JNIEnv* env, size_t length) {
    if (length > static_cast<size_t>(std::numeric_limits<jsize>::max())) {
        // The same error the virtual machine reports for an oversized array.
        throwException(env, "java/lang/OutOfMemoryError", "Requested array size exceeds VM limit");
        return nullptr;
    }
    return env->NewByteArray(static_cast<jsize>(length));
}

jbyteArray newByteArray(JNIEnv* env, const uint8_t* bytes, size_t length) {
    ScopedLocalRef<jbyteArray> array(env, newByteArray(env, length));
    if (!array) return nullptr;
    if (!writeByteArrayRegion(env, array.get(), 0, static_cast<jsize>(length), bytes)) {
        return nullptr;
    }
    return array.release();
}

void retainByteArrayClass(JavaVM* vm) {
    JNIEnv* env = envOf(vm);
    if (env == nullptr) return;
    ScopedLocalRef<jclass> local(env, env->FindClass("[B"));
    if (!local) {
        env->ExceptionClear();  // loading goes on; the natives look the class up per call
        return;
    }
    auto global = static_cast<jclass>(env->NewGlobalRef(local.get()));
    if (global == nullptr) {
        env->ExceptionClear();
        return;
    }
    jclass old = g_byteArrayClass.exchange(global, std::memory_order_acq_rel);
    if (old != nullptr) env->DeleteGlobalRef(old);
}

void releaseByteArrayClass(JavaVM* vm) {
    jclass old = g_byteArrayClass.exchange(nullptr, std::memory_order_acq_rel);
    JNIEnv* env = envOf(vm);
    if (old != nullptr && env != nullptr) env->DeleteGlobalRef(old);
}

ScopedByteArrayClass::ScopedByteArrayClass(JNIEnv* env, jbyteArray sample)
    : local_(env, nullptr), class_(g_byteArrayClass.load(std::memory_order_acquire)) {
    if (class_ != nullptr) return;
    local_.reset(sample != nullptr ? env->GetObjectClass(sample) : env->FindClass("[B"));
    class_ = local_.get();
}

}  // namespace secnative::jni
