// Helpers shared by the library's JNI natives.
//
// A native borrows resources from the virtual machine (local references,
// string characters, array contents) and must give every one of them back on
// every path, including the early returns after a failure. The classes here
// tie each borrowed resource to a scope, so a native can simply return.
//
// The rules every native of this library follows, and that these helpers are
// built for:
//
//  - It reads top to bottom: fetch and validate, pin, call the pure core,
//    convert the result, release.
//  - It checks for a pending exception after every JNI call that can throw
//    (the helpers below return false or null in that case) and then returns
//    at once, with null where it returns an object. Destructors release what
//    it holds; the release functions are among the few JNI calls allowed while
//    an exception is pending. It never calls anything else into Java with an
//    exception pending, and it leaves the exception for its caller.
//  - It throws with throwException() (or a named wrapper) and returns on the
//    next line.
//  - Copies of secrets live in SecretBuffer or SecretScratch
//    (common/secret_buffer.h), which wipe themselves.
//
// Nothing here caches field IDs, and the only class reference kept between
// calls is the one to byte[] (see ScopedByteArrayClass below): natives look
// everything else up on every call.
#ifndef SECNATIVE_JNI_JNI_SUPPORT_H
#define SECNATIVE_JNI_JNI_SUPPORT_H

#include <jni.h>

#include <cstddef>
#include <cstdint>

namespace secnative::jni {

// ---------------------------------------------------------------------------
// Exceptions

// Throws a new exception of the class with the given slash-separated name
// ("java/lang/IllegalStateException"); the class needs a constructor taking
// one String. If the class cannot be found, the error of that lookup is what
// stays pending. Must not be called with an exception pending.
void throwException(JNIEnv* env, const char* className, const char* message);

void throwIllegalArgumentException(JNIEnv* env, const char* message);
void throwIllegalStateException(JNIEnv* env, const char* message);
void throwNullPointerException(JNIEnv* env, const char* message);

// Looks up an instance field. When the class has no such field, the virtual
// machine's NoSuchFieldError is replaced by a new exception of missingClass
// with missingMessage; any other failure of the lookup stays pending as it
// is. Returns null with an exception pending on failure.
jfieldID getFieldIdOrThrow(JNIEnv* env, jclass clazz, const char* name, const char* signature,
                           const char* missingClass, const char* missingMessage);

// ---------------------------------------------------------------------------
// Local references

// Owns one local reference and deletes it when the scope ends. Natives that
// loop or fetch many objects would otherwise fill the local reference table.
template <typename T>
class ScopedLocalRef {
  public:
    ScopedLocalRef(JNIEnv* env, T ref) : env_(env), ref_(ref) {}
    ~ScopedLocalRef() { reset(); }
    ScopedLocalRef(const ScopedLocalRef&) = delete;
    ScopedLocalRef& operator=(const ScopedLocalRef&) = delete;

    T get() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }

    // Deletes the reference held now and takes ref instead.
    void reset(T ref = nullptr) {
        if (ref_ != nullptr) env_->DeleteLocalRef(ref_);
        ref_ = ref;
    }

    // Gives the reference up without deleting it, e.g. to return it to Java.
    T release() {
        T ref = ref_;
        ref_ = nullptr;
        return ref;
    }

  private:
    JNIEnv* env_;
    T ref_;
};

// ---------------------------------------------------------------------------
// Strings

// The modified UTF-8 characters of a Java string, for as long as the scope
// lasts. The virtual machine keeps its own copy of them that cannot be wiped,
// so use copyStringUtf() for secrets instead.
class ScopedUtfChars {
  public:
    // A null string gives a null c_str() without an exception; a failing
    // lookup gives a null c_str() with an OutOfMemoryError pending.
    ScopedUtfChars(JNIEnv* env, jstring string);
    ~ScopedUtfChars();
    ScopedUtfChars(const ScopedUtfChars&) = delete;
    ScopedUtfChars& operator=(const ScopedUtfChars&) = delete;

    const char* c_str() const { return chars_; }

  private:
    JNIEnv* env_;
    jstring string_;
    const char* chars_;
};

namespace detail {
// Copies the first characters of string into out (zero-filled, outSize
// bytes): at most maxBytes bytes of their modified UTF-8 form. scratch holds
// at least 3 * maxBytes + 1 bytes and is wiped before returning.
bool copyStringUtf(JNIEnv* env, jstring string, char* out, size_t outSize, size_t maxBytes,
                   char* scratch, size_t* copied);
}  // namespace detail

// Copies the modified UTF-8 bytes of a Java string into a zeroed fixed-size
// buffer, cut after N - 1 bytes so that the buffer always ends in a zero byte
// (a cut may fall inside a multi-byte character, as the stored formats
// expect). A null string leaves the buffer empty. Only buffers owned by the
// caller ever hold the bytes, and the intermediate copy is wiped, so the
// helper is safe for passwords. Returns false with an exception pending when
// the virtual machine fails.
// With copied, also stores the number of bytes copied.
template <size_t N>
bool copyStringUtf(JNIEnv* env, jstring string, char (&out)[N], size_t* copied = nullptr) {
    static_assert(N >= 1, "the buffer needs room for the terminating zero");
    // Every UTF-16 unit takes at most three bytes in modified UTF-8, so the
    // first N - 1 characters always cover the first N - 1 bytes.
    char scratch[3 * (N - 1) + 1];
    return detail::copyStringUtf(env, string, out, N, N - 1, scratch, copied);
}

// ---------------------------------------------------------------------------
// Byte arrays

// True when [offset, offset + length) lies inside an array of arrayLength
// elements; negative offsets and lengths are outside.
inline bool rangeInside(jsize arrayLength, jint offset, jint length) {
    return offset >= 0 && length >= 0 && offset <= arrayLength - length;
}

// How a pinned array goes back to the virtual machine.
enum class ArrayRelease : jint {
    copyBack = 0,        // write the changes back, then free any copy
    discard = JNI_ABORT  // free any copy without writing back (for arrays only read)
};

// The elements of a Java byte array, pinned or copied by the virtual machine
// (GetByteArrayElements) for the scope. Other JNI calls are allowed meanwhile.
// Note that the virtual machine may copy the whole array, however small the
// part the native needs: for a range of a large array, readByteArrayRegion()
// or a critical region costs far less.
class ScopedByteArrayElements {
  public:
    // A null array pins nothing. Otherwise a null data() afterwards means the
    // virtual machine failed: an exception is pending.
    ScopedByteArrayElements(JNIEnv* env, jbyteArray array, ArrayRelease release);
    ~ScopedByteArrayElements();
    ScopedByteArrayElements(const ScopedByteArrayElements&) = delete;
    ScopedByteArrayElements& operator=(const ScopedByteArrayElements&) = delete;

    uint8_t* data() const { return reinterpret_cast<uint8_t*>(elements_); }

  private:
    JNIEnv* env_;
    jbyteArray array_;
    jbyte* elements_;
    ArrayRelease release_;
};

// The elements of a Java byte array in a critical region
// (GetPrimitiveArrayCritical): usually the array itself, without a copy.
// While any critical region is open the thread must make no other JNI call
// and must not block, so keep the scope to a stretch of pure computation. The
// garbage collector may be held off meanwhile, so keep that stretch short too.
class ScopedCriticalByteArray {
  public:
    // A null array pins nothing. Otherwise a null data() afterwards means the
    // virtual machine failed: an exception is pending.
    ScopedCriticalByteArray(JNIEnv* env, jbyteArray array, ArrayRelease release);
    ~ScopedCriticalByteArray();
    ScopedCriticalByteArray(const ScopedCriticalByteArray&) = delete;
    ScopedCriticalByteArray& operator=(const ScopedCriticalByteArray&) = delete;

    uint8_t* data() const { return static_cast<uint8_t*>(elements_); }

  private:
    JNIEnv* env_;
    jbyteArray array_;
    void* elements_;
    ArrayRelease release_;
};

// Region copies between Java byte arrays and native buffers. The range must
// lie inside the array. Both return false with an exception pending on
// failure.
bool readByteArrayRegion(JNIEnv* env, jbyteArray array, jsize offset, jsize length, uint8_t* out);
bool writeByteArrayRegion(JNIEnv* env, jbyteArray array, jsize offset, jsize length,
                          const uint8_t* in);

// A new Java byte array holding a copy of length bytes, or null with an
// exception pending (length above the largest Java array included).
jbyteArray newByteArray(JNIEnv* env, const uint8_t* bytes, size_t length);

// A new zero-filled Java byte array of length bytes, or null with an
// exception pending.
jbyteArray newByteArray(JNIEnv* env, size_t length);

// ---------------------------------------------------------------------------
// The class byte[]

// Load hooks. retainByteArrayClass() keeps a global reference to byte[] for
// the natives' type checks, so that they need no lookup per call: byte[]
// belongs to the bootstrap class loader, which never unloads a class, so the
// reference names the same class for as long as the virtual machine runs.
// A failed lookup is cleared and leaves the natives to look the class up
// themselves. releaseByteArrayClass() drops the reference.
void retainByteArrayClass(JavaVM* vm);
void releaseByteArrayClass(JavaVM* vm);

// The class byte[] for the scope: the reference kept since load time, or,
// when the library was not loaded through the virtual machine, a local one
// fetched now, from sample when one is given (cheaper than FindClass).
class ScopedByteArrayClass {
  public:
    ScopedByteArrayClass(JNIEnv* env, jbyteArray sample);
    ScopedByteArrayClass(const ScopedByteArrayClass&) = delete;
    ScopedByteArrayClass& operator=(const ScopedByteArrayClass&) = delete;

    // Null, with an exception pending, when the lookup failed.
    jclass get() const { return class_; }

  private:
    ScopedLocalRef<jclass> local_;
    jclass class_;
};

}  // namespace secnative::jni

#endif  // SECNATIVE_JNI_JNI_SUPPORT_H
