// The load hooks of the whole library, for the cipher and login natives
// alike. Loading only keeps a reference to the class byte[], which the
// natives check their state arrays against; everything else they look up on
// every call, and the library keeps no other state.
#include <jni.h>

#include "common/export.h"
#include "jni/jni_support.h"

SECNATIVE_EXTERN_C_BEGIN

SECNATIVE_API jint JNICALL JNI_OnLoad(JavaVM* vm, void* /*reserved*/) {
    secnative::jni::retainByteArrayClass(vm);
    return JNI_VERSION_1_4;
}

SECNATIVE_API void JNICALL JNI_OnUnload(JavaVM* vm, void* /*reserved*/) {
    secnative::jni::releaseByteArrayClass(vm);
}

SECNATIVE_EXTERN_C_END
