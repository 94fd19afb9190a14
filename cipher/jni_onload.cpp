// The library's load hooks. Loading needs no set-up: the natives look up
// what they use on every call and the library keeps no global state.
#include <jni.h>

#include "common/export.h"

SECNATIVE_EXTERN_C_BEGIN

SECNATIVE_API jint JNICALL JNI_OnLoad(JavaVM* /*vm*/, void* /*reserved*/) {
    return JNI_VERSION_1_4;
}

SECNATIVE_API void JNICALL JNI_OnUnload(JavaVM* /*vm*/, void* /*reserved*/) {}

SECNATIVE_EXTERN_C_END
