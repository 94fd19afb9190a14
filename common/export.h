// Symbol visibility for the shared library.
//
// The library is compiled with hidden visibility; only declarations marked
// SECNATIVE_API are exported from libsecnative.so. Plain functions are
// additionally wrapped in SECNATIVE_EXTERN_C so they appear under their
// unmangled names.
#ifndef SECNATIVE_COMMON_EXPORT_H
#define SECNATIVE_COMMON_EXPORT_H

#if defined(_WIN32)
#define SECNATIVE_API __declspec(dllexport)
#else
#define SECNATIVE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define SECNATIVE_EXTERN_C_BEGIN extern "C" {
#define SECNATIVE_EXTERN_C_END }
#else
#define SECNATIVE_EXTERN_C_BEGIN
#define SECNATIVE_EXTERN_C_END
#endif

#endif  // SECNATIVE_COMMON_EXPORT_H
