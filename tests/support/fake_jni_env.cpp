#include "support/fake_jni_env.h"

#include <cstring>

namespace secnative::test {

namespace {

FakeEnv* g_env = nullptr;  // the env the function table works on; one at a time

struct FakeRef {
    FakeObject* object;
};

using Kind = FakeObject::Kind;

// Field IDs are small numbers standing for these names.
const char* const kFieldNames[] = {"mode", "project", "password", "context"};

const std::string& fieldName(jfieldID id) {
    static const std::string names[] = {kFieldNames[0], kFieldNames[1], kFieldNames[2],
                                        kFieldNames[3]};
    return names[reinterpret_cast<uintptr_t>(id) - 1];
}

jfieldID fieldId(const std::string& name) {
    for (uintptr_t i = 0; i < 4; ++i) {
        if (name == kFieldNames[i]) return reinterpret_cast<jfieldID>(i + 1);
    }
    return nullptr;
}

template <typename T = jobject>
T newRef(FakeObject* object) {
    return object == nullptr ? nullptr : reinterpret_cast<T>(g_env->ref(object));
}

FakeObject* obj(const void* ref) {
    return FakeEnv::deref(reinterpret_cast<jobject>(const_cast<void*>(ref)));
}

// The class name an object answers to, for GetObjectClass and IsInstanceOf.
std::string classOf(const FakeObject* o) {
    switch (o->kind) {
        case Kind::instance:
            return o->clazz->name;
        case Kind::byte_array:
            return "[B";
        case Kind::string:
            return "java/lang/String";
        case Kind::clazz:
            return "java/lang/Class";
        case Kind::throwable:
            return o->name;
    }
    return "";
}

// Every function first reports the rules it must be called under.
constexpr bool kNotWithPending = false;
constexpr bool kWithPending = true;
constexpr bool kOutsideCritical = false;
constexpr bool kInCritical = true;

bool rangeOk(const FakeObject* a, jsize start, jsize len) {
    return a->kind == Kind::byte_array && start >= 0 && len >= 0 &&
           static_cast<size_t>(start) + static_cast<size_t>(len) <= a->bytes.size();
}

jclass JNICALL FindClass(JNIEnv*, const char* name) {
    g_env->enter("FindClass", kNotWithPending, kOutsideCritical);
    g_env->countFindClass(name);
    if (g_env->failHere()) return nullptr;
    return newRef<jclass>(g_env->classNamed(name));
}

jint JNICALL Throw(JNIEnv*, jthrowable t) {
    g_env->enter("Throw", kNotWithPending, kOutsideCritical);
    g_env->setPending(obj(t));
    return 0;
}

jint JNICALL ThrowNew(JNIEnv*, jclass clazz, const char* message) {
    g_env->enter("ThrowNew", kNotWithPending, kOutsideCritical);
    g_env->throwNew(obj(clazz)->name, message);
    return 0;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv*) {
    g_env->enter("ExceptionOccurred", kWithPending, kOutsideCritical);
    return newRef<jthrowable>(g_env->pending());
}

void JNICALL ExceptionClear(JNIEnv*) {
    g_env->enter("ExceptionClear", kWithPending, kOutsideCritical);
    g_env->setPending(nullptr);
}

jboolean JNICALL ExceptionCheck(JNIEnv*) {
    g_env->enter("ExceptionCheck", kWithPending, kOutsideCritical);
    return g_env->pending() != nullptr ? JNI_TRUE : JNI_FALSE;
}

void JNICALL DeleteLocalRef(JNIEnv*, jobject ref) {
    g_env->enter("DeleteLocalRef", kWithPending, kOutsideCritical);
    g_env->dropRef(ref);
}

jobject JNICALL NewGlobalRef(JNIEnv*, jobject ref) {
    g_env->enter("NewGlobalRef", kNotWithPending, kOutsideCritical);
    if (g_env->failHere()) return nullptr;
    return g_env->globalRef(obj(ref));
}

void JNICALL DeleteGlobalRef(JNIEnv*, jobject ref) {
    g_env->enter("DeleteGlobalRef", kWithPending, kOutsideCritical);
    g_env->dropGlobalRef(ref);
}

jint JNICALL GetEnv(JavaVM*, void** env, jint version) {
    if (version < JNI_VERSION_1_1 || version > JNI_VERSION_1_8) return JNI_EVERSION;
    *env = g_env->env();
    return JNI_OK;
}

jclass JNICALL GetObjectClass(JNIEnv*, jobject o) {
    g_env->enter("GetObjectClass", kNotWithPending, kOutsideCritical);
    const FakeObject* object = obj(o);
    if (object->kind == Kind::instance) return newRef<jclass>(object->clazz);
    return newRef<jclass>(g_env->classNamed(classOf(object)));
}

jboolean JNICALL IsInstanceOf(JNIEnv*, jobject o, jclass clazz) {
    g_env->enter("IsInstanceOf", kNotWithPending, kOutsideCritical);
    return classOf(obj(o)) == obj(clazz)->name ? JNI_TRUE : JNI_FALSE;
}

jfieldID JNICALL GetFieldID(JNIEnv*, jclass clazz, const char* name, const char* signature) {
    g_env->enter("GetFieldID", kNotWithPending, kOutsideCritical);
    if (g_env->failHere()) return nullptr;
    const auto& fields = obj(clazz)->fields;
    const auto it = fields.find(name);
    if (it == fields.end() || it->second != signature) {
        g_env->throwNew("java/lang/NoSuchFieldError", name);
        return nullptr;
    }
    return fieldId(name);
}

jobject JNICALL GetObjectField(JNIEnv*, jobject o, jfieldID field) {
    g_env->enter("GetObjectField", kNotWithPending, kOutsideCritical);
    return newRef(obj(o)->refs[fieldName(field)]);
}

jint JNICALL GetIntField(JNIEnv*, jobject o, jfieldID) {
    g_env->enter("GetIntField", kNotWithPending, kOutsideCritical);
    return obj(o)->mode;
}

void JNICALL SetObjectField(JNIEnv*, jobject o, jfieldID field, jobject value) {
    g_env->enter("SetObjectField", kNotWithPending, kOutsideCritical);
    obj(o)->refs[fieldName(field)] = value == nullptr ? nullptr : obj(value);
}

jsize JNICALL GetStringLength(JNIEnv*, jstring s) {
    g_env->enter("GetStringLength", kNotWithPending, kOutsideCritical);
    return static_cast<jsize>(obj(s)->text.size());
}

void JNICALL GetStringUTFRegion(JNIEnv*, jstring s, jsize start, jsize len, char* buf) {
    g_env->enter("GetStringUTFRegion", kNotWithPending, kOutsideCritical);
    if (g_env->failHere()) return;
    const std::string& text = obj(s)->text;  // ASCII only: one byte per character
    if (start < 0 || len < 0 ||
        static_cast<size_t>(start) + static_cast<size_t>(len) > text.size()) {
        g_env->violation("GetStringUTFRegion outside the string");
        g_env->throwNew("java/lang/StringIndexOutOfBoundsException", "");
        return;
    }
    std::memcpy(buf, text.data() + start, static_cast<size_t>(len));
    buf[len] = '\0';
}

jsize JNICALL GetArrayLength(JNIEnv*, jarray a) {
    g_env->enter("GetArrayLength", kNotWithPending, kOutsideCritical);
    const FakeObject* array = obj(a);
    if (array->kind != Kind::byte_array) {
        g_env->violation("GetArrayLength on something that is no array");
        return 0;
    }
    return static_cast<jsize>(array->bytes.size());
}

jbyteArray JNICALL NewByteArray(JNIEnv*, jsize length) {
    g_env->enter("NewByteArray", kNotWithPending, kOutsideCritical);
    if (g_env->failHere()) return nullptr;
    if (length < 0) g_env->violation("NewByteArray with a negative length");
    return newRef<jbyteArray>(g_env->newByteArray(std::vector<int8_t>(length < 0 ? 0 : length)));
}

void JNICALL GetByteArrayRegion(JNIEnv*, jbyteArray a, jsize start, jsize len, jbyte* buf) {
    g_env->enter("GetByteArrayRegion", kNotWithPending, kOutsideCritical);
    if (g_env->failHere()) return;
    FakeObject* array = obj(a);
    if (!rangeOk(array, start, len)) {
        g_env->violation("GetByteArrayRegion outside the array");
        g_env->throwNew("java/lang/ArrayIndexOutOfBoundsException", "");
        return;
    }
    std::memcpy(buf, array->bytes.data() + start, static_cast<size_t>(len));
}

void JNICALL SetByteArrayRegion(JNIEnv*, jbyteArray a, jsize start, jsize len, const jbyte* buf) {
    g_env->enter("SetByteArrayRegion", kNotWithPending, kOutsideCritical);
    if (g_env->failHere()) return;
    FakeObject* array = obj(a);
    if (!rangeOk(array, start, len)) {
        g_env->violation("SetByteArrayRegion outside the array");
        g_env->throwNew("java/lang/ArrayIndexOutOfBoundsException", "");
        return;
    }
    std::memcpy(array->bytes.data() + start, buf, static_cast<size_t>(len));
}

void* JNICALL GetPrimitiveArrayCritical(JNIEnv*, jarray a, jboolean* isCopy) {
    g_env->enter("GetPrimitiveArrayCritical", kNotWithPending, kInCritical);
    if (g_env->failHere()) return nullptr;
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    return g_env->pin(obj(a));
}

void JNICALL ReleasePrimitiveArrayCritical(JNIEnv*, jarray a, void* elements, jint mode) {
    g_env->enter("ReleasePrimitiveArrayCritical", kWithPending, kInCritical);
    g_env->unpin(obj(a), static_cast<int8_t*>(elements), mode);
}

}  // namespace

FakeEnv::FakeEnv() : table_() {
    table_.FindClass = FindClass;
    table_.Throw = Throw;
    table_.ThrowNew = ThrowNew;
    table_.ExceptionOccurred = ExceptionOccurred;
    table_.ExceptionClear = ExceptionClear;
    table_.ExceptionCheck = ExceptionCheck;
    table_.DeleteLocalRef = DeleteLocalRef;
    table_.NewGlobalRef = NewGlobalRef;
    table_.DeleteGlobalRef = DeleteGlobalRef;
    table_.GetObjectClass = GetObjectClass;
    table_.IsInstanceOf = IsInstanceOf;
    table_.GetFieldID = GetFieldID;
    table_.GetObjectField = GetObjectField;
    table_.GetIntField = GetIntField;
    table_.SetObjectField = SetObjectField;
    table_.GetStringLength = GetStringLength;
    table_.GetStringUTFRegion = GetStringUTFRegion;
    table_.GetArrayLength = GetArrayLength;
    table_.NewByteArray = NewByteArray;
    table_.GetByteArrayRegion = GetByteArrayRegion;
    table_.SetByteArrayRegion = SetByteArrayRegion;
    table_.GetPrimitiveArrayCritical = GetPrimitiveArrayCritical;
    table_.ReleasePrimitiveArrayCritical = ReleasePrimitiveArrayCritical;
    env_.functions = &table_;
    vmTable_ = {};
    vmTable_.GetEnv = GetEnv;
    vm_.functions = &vmTable_;
    g_env = this;
}

FakeEnv::~FakeEnv() {
    for (void* ref : refs_) delete static_cast<FakeRef*>(ref);
    for (void* ref : globalRefs_) delete static_cast<FakeRef*>(ref);
    g_env = nullptr;
}

FakeObject* FakeEnv::make(Kind kind, const std::string& name) {
    objects_.push_back(std::make_unique<FakeObject>());
    FakeObject* object = objects_.back().get();
    object->kind = kind;
    object->name = name;
    return object;
}

FakeObject* FakeEnv::classNamed(const std::string& name) {
    FakeObject*& clazz = classes_[name];
    if (clazz == nullptr) clazz = make(Kind::clazz, name);
    return clazz;
}

FakeObject* FakeEnv::newCipher(const std::set<std::string>& fields) {
    static const std::map<std::string, std::string> kSignatures = {
        {"mode", "I"},
        {"project", "Ljava/lang/String;"},
        {"password", "Ljava/lang/String;"},
        {"context", "Ljava/lang/Object;"}};
    FakeObject* clazz = classNamed("com/ardex/security/VXCipher");
    for (const std::string& field : fields) clazz->fields[field] = kSignatures.at(field);
    FakeObject* cipher = make(Kind::instance, "");
    cipher->clazz = clazz;
    return cipher;
}

FakeObject* FakeEnv::newByteArray(std::vector<int8_t> bytes) {
    FakeObject* array = make(Kind::byte_array, "");
    array->bytes = std::move(bytes);
    return array;
}

FakeObject* FakeEnv::newString(const std::string& text) {
    FakeObject* string = make(Kind::string, "");
    string->text = text;
    return string;
}

jobject FakeEnv::ref(FakeObject* object) {
    auto* ref = new FakeRef{object};
    refs_.insert(ref);
    if (counting_) countedRefs_.insert(ref);
    return reinterpret_cast<jobject>(ref);
}

FakeObject* FakeEnv::deref(jobject ref) {
    return ref == nullptr ? nullptr : static_cast<FakeRef*>(static_cast<void*>(ref))->object;
}

void FakeEnv::dropRef(jobject ref) {
    if (ref == nullptr) return;
    if (refs_.erase(ref) == 0) {
        violation("DeleteLocalRef of a reference that is not live");
        return;
    }
    countedRefs_.erase(ref);
    delete static_cast<FakeRef*>(static_cast<void*>(ref));
}

jobject FakeEnv::globalRef(FakeObject* object) {
    auto* ref = new FakeRef{object};
    globalRefs_.insert(ref);
    return reinterpret_cast<jobject>(ref);
}

void FakeEnv::dropGlobalRef(jobject ref) {
    if (ref == nullptr) return;
    if (globalRefs_.erase(ref) == 0) {
        violation("DeleteGlobalRef of a reference that is not live");
        return;
    }
    delete static_cast<FakeRef*>(static_cast<void*>(ref));
}

void FakeEnv::countFindClass(const std::string& name) {
    if (counting_) ++findClassCalls_[name];
}

int FakeEnv::calls(const std::string& function) const {
    const auto it = calls_.find(function);
    return it == calls_.end() ? 0 : it->second;
}

int FakeEnv::findClassCalls(const std::string& name) const {
    const auto it = findClassCalls_.find(name);
    return it == findClassCalls_.end() ? 0 : it->second;
}

void FakeEnv::startCounting(int failAt) {
    counting_ = true;
    failAt_ = failAt;
}

void FakeEnv::enter(const char* function, bool allowedWithPending, bool allowedInCritical) {
    if (counting_) ++calls_[function];
    if (pending_ != nullptr && !allowedWithPending) {
        violation(std::string(function) + " with an exception pending");
    }
    if (critical > 0 && !allowedInCritical) {
        violation(std::string(function) + " inside a critical region");
    }
}

bool FakeEnv::failHere() {
    if (!counting_) return false;
    if (++fallibleCalls_ != failAt_) return false;
    injected_ = make(Kind::throwable, "java/lang/OutOfMemoryError");
    injected_->text = "injected";
    pending_ = injected_;
    return true;
}

void FakeEnv::throwNew(const std::string& className, const std::string& message) {
    FakeObject* throwable = make(Kind::throwable, className);
    throwable->text = message;
    pending_ = throwable;
}

int8_t* FakeEnv::pin(FakeObject* array) {
    if (array->kind != Kind::byte_array) violation("pinning something that is no byte array");
    // An exact-size copy: a write past its end is a heap overflow.
    auto* copy = new int8_t[array->bytes.size()];
    std::memcpy(copy, array->bytes.data(), array->bytes.size());
    ++critical;
    ++pins_;
    return copy;
}

void FakeEnv::unpin(FakeObject* array, int8_t* copy, jint mode) {
    if (mode == 0 || mode == JNI_COMMIT)
        std::memcpy(array->bytes.data(), copy, array->bytes.size());
    if (mode == JNI_COMMIT) return;
    delete[] copy;
    --critical;
    --pins_;
}

}  // namespace secnative::test
