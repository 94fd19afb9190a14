// A JNIEnv without a virtual machine, for fault-injection tests of natives.
//
// It holds a few kinds of objects (instances with fields, byte arrays,
// strings, classes, throwables) and implements the JNI functions the natives
// use. It can make its N-th fallible call fail the way a virtual machine does
// under memory pressure (null or nothing returned, an OutOfMemoryError
// pending), and it records every breach of the rules the natives keep: a
// call other than an exception query or a release while an exception is
// pending, any call but the critical ones inside a critical region, a range
// outside an array. Pinned arrays are handed out as exact-size copies, so
// AddressSanitizer sees a write past their end. A JavaVM beside it hands out
// the env, for the load hooks. Like a virtual machine's, each env belongs to
// one thread: envs on different threads work independently.
#ifndef SECNATIVE_TESTS_SUPPORT_FAKE_JNI_ENV_H
#define SECNATIVE_TESTS_SUPPORT_FAKE_JNI_ENV_H

#include <jni.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace secnative::test {

struct FakeObject {
    enum class Kind { instance, byte_array, string, clazz, throwable };
    Kind kind = Kind::instance;
    std::string name;                           // class: its name; throwable: its class
    std::string text;                           // string: its bytes; throwable: its message
    std::vector<int8_t> bytes;                  // byte array
    FakeObject* clazz = nullptr;                // instance: its class
    std::map<std::string, std::string> fields;  // class: field name -> signature
    std::map<std::string, FakeObject*> refs;    // instance: object fields
    int32_t mode = 0;                           // instance: the int field `mode`
};

class FakeEnv {
  public:
    FakeEnv();
    ~FakeEnv();
    FakeEnv(const FakeEnv&) = delete;
    FakeEnv& operator=(const FakeEnv&) = delete;

    JNIEnv* env() { return &env_; }
    JavaVM* vm() { return &vm_; }

    // A VXCipher-like instance declaring the given fields (of mode, project,
    // password, context).
    FakeObject* newCipher(const std::set<std::string>& fields);
    FakeObject* newByteArray(std::vector<int8_t> bytes);
    FakeObject* newString(const std::string& text);

    // A new local reference, as a native receives its arguments.
    jobject ref(FakeObject* object);
    static FakeObject* deref(jobject ref);

    // From now on count fallible calls and references; the n-th fallible
    // call (1-based) fails. 0 makes none fail.
    void startCounting(int failAt);
    int fallibleCalls() const { return fallibleCalls_; }
    // Local references made since startCounting() and not deleted.
    int liveRefs() const { return static_cast<int>(countedRefs_.size()); }
    int pins() const { return pins_; }
    int liveGlobalRefs() const { return static_cast<int>(globalRefs_.size()); }
    // Calls of a JNI function, and FindClass calls with a class name, since
    // startCounting().
    int calls(const std::string& function) const;
    int findClassCalls(const std::string& name) const;
    FakeObject* pending() const { return pending_; }
    FakeObject* injected() const { return injected_; }
    const std::vector<std::string>& violations() const { return violations_; }

    // Hooks for the function table; not for tests.
    void enter(const char* function, bool allowedWithPending, bool allowedInCritical);
    bool failHere();
    FakeObject* classNamed(const std::string& name);
    FakeObject* make(FakeObject::Kind kind, const std::string& name);
    void throwNew(const std::string& className, const std::string& message);
    void setPending(FakeObject* throwable) { pending_ = throwable; }
    void dropRef(jobject ref);
    jobject globalRef(FakeObject* object);
    void dropGlobalRef(jobject ref);
    void countFindClass(const std::string& name);
    void violation(const std::string& what) { violations_.push_back(what); }
    int8_t* pin(FakeObject* array);
    void unpin(FakeObject* array, int8_t* copy, jint mode);
    int critical = 0;

  private:
    JNIEnv env_;
    JNINativeInterface_ table_;
    JavaVM vm_;
    JNIInvokeInterface_ vmTable_;
    std::vector<std::unique_ptr<FakeObject>> objects_;
    std::map<std::string, FakeObject*> classes_;
    std::set<void*> refs_;
    std::set<void*> countedRefs_;
    std::set<void*> globalRefs_;
    std::map<std::string, int> calls_;
    std::map<std::string, int> findClassCalls_;
    bool counting_ = false;
    int failAt_ = 0;
    int fallibleCalls_ = 0;
    int pins_ = 0;
    FakeObject* pending_ = nullptr;
    FakeObject* injected_ = nullptr;
    std::vector<std::string> violations_;
};

}  // namespace secnative::test

#endif  // SECNATIVE_TESTS_SUPPORT_FAKE_JNI_ENV_H
