// Natives of the JNI cost probe (com.ardex.security.bench.JniCostProbe): each
// repeats one JNI operation of the kind VXCipher's natives make, on a real
// VXCipher object, and reports the thread CPU time it took. Bench only: this
// library is never part of secnative.
#include <jni.h>
#include <time.h>

#include <cstdint>

namespace {

// Thread CPU time rather than wall time: the benchmark machine is shared.
int64_t cpuNanos() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The operations, numbered as JniCostProbe.Op lists them.
enum Op : jint {
    kLoop,
    kGetObjectClass,
    kGetFieldIdContext,
    kGetObjectField,
    kIsInstanceOf,
    kGetArrayLength,
    kExceptionCheck,
    kReadContext,
    kWriteContext,
    kWriteCarry,
    kReadInput64,
    kCriticalPair,
    kNewByteArray64,
    kPasswordFetch,
    kFindClass,
};

jint runOnce(JNIEnv* env, jint op, jobject cipher, jclass cipherClass, jfieldID contextField,
             jbyteArray context, jbyteArray input, jclass byteArrayClass, jbyte* buffer) {
    switch (op) {
        case kLoop:
            return 0;
        case kGetObjectClass: {
            jclass clazz = env->GetObjectClass(cipher);
            env->DeleteLocalRef(clazz);
            return 1;
        }
        case kGetFieldIdContext:
            return env->GetFieldID(cipherClass, "context", "Ljava/lang/Object;") != nullptr;
        case kGetObjectField: {
            jobject value = env->GetObjectField(cipher, contextField);
            env->DeleteLocalRef(value);
            return value != nullptr;
        }
        case kIsInstanceOf:
            return env->IsInstanceOf(context, byteArrayClass);
        case kGetArrayLength:
            return env->GetArrayLength(context);
        case kExceptionCheck:
            return env->ExceptionCheck();
        case kReadContext:
            env->GetByteArrayRegion(context, 0, 320, buffer);
            return buffer[0];
        case kWriteContext:
            env->SetByteArrayRegion(context, 0, 320, buffer);
            return 1;
        case kWriteCarry:
            env->SetByteArrayRegion(context, 284, 36, buffer + 284);
            return 1;
        case kReadInput64:
            env->GetByteArrayRegion(input, 0, 64, buffer);
            return buffer[0];
        case kCriticalPair: {
            void* elements = env->GetPrimitiveArrayCritical(input, nullptr);
            env->ReleasePrimitiveArrayCritical(input, elements, JNI_ABORT);
            return elements != nullptr;
        }
        case kNewByteArray64: {
            jbyteArray array = env->NewByteArray(64);
            env->DeleteLocalRef(array);
            return array != nullptr;
        }
        case kPasswordFetch: {
            jfieldID field = env->GetFieldID(cipherClass, "password", "Ljava/lang/String;");
            auto value = static_cast<jstring>(env->GetObjectField(cipher, field));
            char chars[94] = {};
            const jsize length = env->GetStringLength(value);
            env->GetStringUTFRegion(value, 0, length < 31 ? length : 31, chars);
            env->DeleteLocalRef(value);
            return chars[0];
        }
        case kFindClass: {
            jclass clazz = env->FindClass("java/lang/IllegalStateException");
            env->DeleteLocalRef(clazz);
            return clazz != nullptr;
        }
        default:
            return 0;
    }
}

}  // namespace

extern "C" {

// Repeats op reps times on the VXCipher object (which holds a stream) and
// returns the thread CPU nanoseconds taken.
JNIEXPORT jlong JNICALL Java_com_ardex_security_bench_JniCostProbe_repeat(JNIEnv* env, jclass,
                                                                          jint op, jint reps,
                                                                          jobject cipher,
                                                                          jbyteArray input) {
    jclass cipherClass = env->GetObjectClass(cipher);
    jfieldID contextField = env->GetFieldID(cipherClass, "context", "Ljava/lang/Object;");
    auto context = static_cast<jbyteArray>(env->GetObjectField(cipher, contextField));
    jclass byteArrayClass = env->GetObjectClass(input);
    jbyte buffer[320];
    env->GetByteArrayRegion(context, 0, 320, buffer);

    jint sink = 0;
    const int64_t start = cpuNanos();
    for (jint i = 0; i < reps; ++i) {
        sink += runOnce(env, op, cipher, cipherClass, contextField, context, input, byteArrayClass,
                        buffer);
    }
    const int64_t elapsed = cpuNanos() - start;
    return sink == -1 ? 0 : elapsed;
}

// A native of update's shape that does nothing: the cost of the call alone.
JNIEXPORT jbyteArray JNICALL Java_com_ardex_security_bench_JniCostProbe_emptyCall(JNIEnv*, jobject,
                                                                                  jbyteArray, jint,
                                                                                  jint) {
    return nullptr;
}

// The JNI calls any update makes, whatever it does with the bytes: the input
// range check, the look-up of `context` by class and name, its type and size
// check, the output array, and the deletion of the local references.
JNIEXPORT jbyteArray JNICALL Java_com_ardex_security_bench_JniCostProbe_requiredCalls(
    JNIEnv* env, jobject self, jbyteArray input, jint offset, jint length) {
    static jclass byteArrayClass = static_cast<jclass>(env->NewGlobalRef(env->FindClass("[B")));
    if (offset < 0 || length < 0 || offset > env->GetArrayLength(input) - length) return nullptr;
    jclass clazz = env->GetObjectClass(self);
    jfieldID field = env->GetFieldID(clazz, "context", "Ljava/lang/Object;");
    jobject context = env->GetObjectField(self, field);
    jbyteArray output = nullptr;
    if (env->IsInstanceOf(context, byteArrayClass) &&
        env->GetArrayLength(static_cast<jarray>(context)) == 320) {
        output = env->NewByteArray(length);
    }
    env->DeleteLocalRef(context);
    env->DeleteLocalRef(clazz);
    return output;
}

}  // extern "C"
