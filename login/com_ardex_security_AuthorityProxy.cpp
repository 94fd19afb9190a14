// The login native. It only moves bytes between the Java streams and native
// buffers; what the bytes mean is in login_messages.h.
//
// One 100-byte Java array carries every message. A stream may hand a message
// over in pieces, so each message is collected over as many reads as it
// takes, every piece copied out of the array before the next read reuses it.
// After every call into Java the native checks for a pending exception and,
// if there is one, returns -1 at once and leaves it to the Java caller.
#include "login/com_ardex_security_AuthorityProxy.h"

#include "common/secret_buffer.h"
#include "jni/jni_support.h"
#include "login/login_messages.h"
#include "login/message_receiver.h"

namespace {

using namespace secnative::login;
using secnative::SecretBuffer;
using secnative::jni::ScopedLocalRef;

constexpr jint kCompleted = 0;
constexpr jint kFailed = -1;
constexpr jsize kMessageArraySize = 100;
constexpr char kStringGetter[] = "()Ljava/lang/String;";
constexpr char kStringSetter[] = "(Ljava/lang/String;)V";

struct Methods {
    jmethodID read = nullptr;
    jmethodID write = nullptr;
    jmethodID flush = nullptr;
    jmethodID getUser = nullptr;
    jmethodID getPassword = nullptr;
    jmethodID setServerInfo = nullptr;
    jmethodID setServerVersion = nullptr;
    jmethodID setClientAddress = nullptr;
};

// Looks up one method on the object's class; a missing method leaves the
// virtual machine's NoSuchMethodError pending.
bool lookUp(JNIEnv* env, jclass clazz, const char* name, const char* signature, jmethodID& id) {
    id = env->GetMethodID(clazz, name, signature);
    return id != nullptr;
}

bool lookUpMethods(JNIEnv* env, jobject in, jobject out, jobject info, Methods& m) {
    ScopedLocalRef<jclass> infoClass(env, env->GetObjectClass(info));
    ScopedLocalRef<jclass> inClass(env, env->GetObjectClass(in));
    ScopedLocalRef<jclass> outClass(env, env->GetObjectClass(out));
    return lookUp(env, inClass.get(), "read", "([B)I", m.read) &&
           lookUp(env, outClass.get(), "write", "([BII)V", m.write) &&
           lookUp(env, outClass.get(), "flush", "()V", m.flush) &&
           lookUp(env, infoClass.get(), "getUser", kStringGetter, m.getUser) &&
           lookUp(env, infoClass.get(), "getPassword", kStringGetter, m.getPassword) &&
           lookUp(env, infoClass.get(), "setServerInfo", kStringSetter, m.setServerInfo) &&
           lookUp(env, infoClass.get(), "setServerVersion", kStringSetter, m.setServerVersion) &&
           lookUp(env, infoClass.get(), "setClientAddress", kStringSetter, m.setClientAddress);
}

// Collects a message of exactly size bytes from in.read(array).
bool receive(JNIEnv* env, jobject in, jmethodID read, jbyteArray array, uint8_t* message,
             size_t size) {
    auto readOnce = [&]() -> long {
        if (env->ExceptionCheck()) return -1;  // a failed copy ends the loop too
        const jint count = env->CallIntMethod(in, read, array);
        return env->ExceptionCheck() ? -1 : count;
    };
    auto copyOut = [&](uint8_t* dst, size_t n) {
        secnative::jni::readByteArrayRegion(env, array, 0, static_cast<jsize>(n), dst);
    };
    return receive_message(message, size, kMessageArraySize, readOnce, copyOut) ==
               Receive::complete &&
           !env->ExceptionCheck();
}

bool send(JNIEnv* env, jobject out, const Methods& m, jbyteArray array,
          const uint8_t (&request)[kRequestSize]) {
    if (!secnative::jni::writeByteArrayRegion(env, array, 0, kRequestSize, request)) return false;
    env->CallVoidMethod(out, m.write, array, 0, static_cast<jint>(kRequestSize));
    if (env->ExceptionCheck()) return false;
    env->CallVoidMethod(out, m.flush);
    return !env->ExceptionCheck();
}

bool callSetter(JNIEnv* env, jobject info, jmethodID setter, const char* text) {
    ScopedLocalRef<jstring> string(env, env->NewStringUTF(text));
    if (!string) return false;
    env->CallVoidMethod(info, setter, string.get());
    return !env->ExceptionCheck();
}

// Asks info for the user and the password (both before looking at either)
// and builds the request from them. The native copy of the password is
// wiped when the scope ends.
bool buildRequestFromInfo(JNIEnv* env, jobject info, const Methods& m, const Greeting& greeting,
                          uint8_t (&request)[kRequestSize]) {
    ScopedLocalRef<jstring> user(env, static_cast<jstring>(env->CallObjectMethod(info, m.getUser)));
    if (env->ExceptionCheck()) return false;
    ScopedLocalRef<jstring> password(
        env, static_cast<jstring>(env->CallObjectMethod(info, m.getPassword)));
    if (env->ExceptionCheck()) return false;

    char userBytes[kUserLimit + 1];
    if (!secnative::jni::copyStringUtf(env, user.get(), userBytes)) return false;
    SecretBuffer<char, kPasswordLimit + 1> passwordBytes;
    size_t passwordLength = 0;
    if (!secnative::jni::copyStringUtf(env, password.get(), passwordBytes.array(),
                                       &passwordLength)) {
        return false;
    }

    build_request(request, greeting.challenge, user ? userBytes : nullptr, passwordBytes.data(),
                  passwordLength);
    return true;
}

}  // namespace

jint JNICALL Java_com_ardex_security_AuthorityProxy_login(JNIEnv* env, jobject /*self*/, jobject in,
                                                          jobject out, jobject info) {
    if (in == nullptr || out == nullptr || info == nullptr) {
        secnative::jni::throwNullPointerException(env, "stream or login information is null");
        return kFailed;
    }
    Methods methods;
    if (!lookUpMethods(env, in, out, info, methods)) return kFailed;
    ScopedLocalRef<jbyteArray> array(env, env->NewByteArray(kMessageArraySize));
    if (!array) return kFailed;

    uint8_t greetingBytes[kGreetingSize];
    if (!receive(env, in, methods.read, array.get(), greetingBytes, kGreetingSize)) return kFailed;
    Greeting greeting;
    parse_greeting(greetingBytes, greeting);
    if (!callSetter(env, info, methods.setServerVersion, greeting.server_version)) return kFailed;
    if (!callSetter(env, info, methods.setServerInfo, greeting.server_info)) return kFailed;

    uint8_t request[kRequestSize];
    if (!buildRequestFromInfo(env, info, methods, greeting, request)) return kFailed;
    if (!send(env, out, methods, array.get(), request)) return kFailed;

    uint8_t reply[kReplySize];
    if (!receive(env, in, methods.read, array.get(), reply, kReplySize)) return kFailed;
    char address[sizeof "255.255.255.255"];
    format_client_address(reply, address);
    if (!callSetter(env, info, methods.setClientAddress, address)) return kFailed;
    return kCompleted;
}
