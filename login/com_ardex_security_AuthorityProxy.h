// The Java native of com.ardex.security.AuthorityProxy: the client side of
// the login exchange over streams the Java caller has connected.
#ifndef SECNATIVE_LOGIN_COM_ARDEX_SECURITY_AUTHORITYPROXY_H
#define SECNATIVE_LOGIN_COM_ARDEX_SECURITY_AUTHORITYPROXY_H

#include <jni.h>

#include "common/export.h"

SECNATIVE_EXTERN_C_BEGIN

// Receives the server's 100-byte greeting from in, sends the 100-byte login
// request to out and receives the 16-byte reply, handing the server's texts
// to info through its setters. Returns 0 when the exchange completed and -1
// when it did not: a message ended early or came with more bytes than it
// has, or a call into Java threw, in which case that exception is pending.
// Whether the server accepted the user shows in what it does next, not here.
//
// in needs read([B)I, out write([BII)V and flush()V, and info getUser,
// getPassword (both ()Ljava/lang/String;) and setServerInfo,
// setServerVersion, setClientAddress (all (Ljava/lang/String;)V); any
// classes with these methods will do. The receiving object is not used.
SECNATIVE_API jint JNICALL Java_com_ardex_security_AuthorityProxy_login(JNIEnv* env, jobject self,
                                                                        jobject in, jobject out,
                                                                        jobject info);

SECNATIVE_EXTERN_C_END

#endif  // SECNATIVE_LOGIN_COM_ARDEX_SECURITY_AUTHORITYPROXY_H
