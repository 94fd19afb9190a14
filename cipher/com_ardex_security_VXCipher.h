// The Java natives of com.ardex.security.VXCipher and the plain functions
// they forward to.
//
// Each native symbol calls the vx_cipher_* function of the same arguments, so
// native callers that hold a JNIEnv can drive a VXCipher object directly.
// Every failure is reported by a pending Java exception; the functions that
// return an array then return null.
#ifndef SECNATIVE_CIPHER_COM_ARDEX_SECURITY_VXCIPHER_H
#define SECNATIVE_CIPHER_COM_ARDEX_SECURITY_VXCIPHER_H

#include <jni.h>

#include "common/export.h"

SECNATIVE_EXTERN_C_BEGIN

// Starts a new stream on the object: checks its `mode`, takes its `project`
// and stores a fresh 320-byte state array in its `context`, discarding any
// stream in progress.
SECNATIVE_API void vx_cipher_init(JNIEnv* env, jobject self);

// Feeds input[offset, offset + length) to the object's stream. Returns a new
// array with the output (the stream header first, on the first encrypting
// update), or null when there is none or on failure.
SECNATIVE_API jbyteArray vx_cipher_update(JNIEnv* env, jobject self, jbyteArray input, jint offset,
                                          jint length);

// Ends the object's stream: pads and enciphers the rest, or deciphers it and
// checks the padding, and clears `context`. Returns a new array with the
// output, or null when there is none or on failure.
SECNATIVE_API jbyteArray vx_cipher_doFinal(JNIEnv* env, jobject self);

SECNATIVE_API void JNICALL Java_com_ardex_security_VXCipher_initKey(JNIEnv* env, jobject self);
SECNATIVE_API jbyteArray JNICALL Java_com_ardex_security_VXCipher_update(JNIEnv* env, jobject self,
                                                                         jbyteArray input,
                                                                         jint offset, jint length);
SECNATIVE_API jbyteArray JNICALL Java_com_ardex_security_VXCipher_doFinal(JNIEnv* env,
                                                                          jobject self);

SECNATIVE_EXTERN_C_END

#endif  // SECNATIVE_CIPHER_COM_ARDEX_SECURITY_VXCIPHER_H
