#include "support/fake_jni_env.h"

#include <cstring>

namespace secnative::test {

namespace {

// Each FakeEnv has its own function tables, whose first reserved slot points
// back to it: like a virtual machine's JNIEnv, each env belongs to one thread
// and several can work at once.
FakeEnv* fakeOf(JNIEnv* env) {
    return static_cast<FakeEnv*>(env->functions->reserved0);
}

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
T newRef(FakeEnv* fake, FakeObject* object) {
    return object == nullptr ? nullptr : reinterpret_cast<T>(fake->ref(object));
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

jclass JNICALL FindClass(JNIEnv* env, const char* name) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("FindClass", kNotWithPending, kOutsideCritical);
    fake->countFindClass(name);
    if (fake->failHere()) return nullptr;
    return newRef<jclass>(fake, fake->classNamed(name));
}

jint JNICALL Throw(JNIEnv* env, jthrowable t) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("Throw", kNotWithPending, kOutsideCritical);
    fake->setPending(obj(t));
    return 0;
}

jint JNICALL ThrowNew(JNIEnv* env, jclass clazz, const char* message) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("ThrowNew", kNotWithPending, kOutsideCritical);
    fake->throwNew(obj(clazz)->name, message);
    return 0;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv* env) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("ExceptionOccurred", kWithPending, kOutsideCritical);
    return newRef<jthrowable>(fake, fake->pending());
}

void JNICALL ExceptionClear(JNIEnv* env) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("ExceptionClear", kWithPending, kOutsideCritical);
    fake->setPending(nullptr);
}

jboolean JNICALL ExceptionCheck(JNIEnv* env) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("ExceptionCheck", kWithPending, kOutsideCritical);
    return fake->pending() != nullptr ? JNI_TRUE : JNI_FALSE;
}

void JNICALL DeleteLocalRef(JNIEnv* env, jobject ref) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("DeleteLocalRef", kWithPending, kOutsideCritical);
    fake->dropRef(ref);
}

jobject JNICALL NewGlobalRef(JNIEnv* env, jobject ref) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("NewGlobalRef", kNotWithPending, kOutsideCritical);
    if (fake->failHere()) return nullptr;
    return fake->globalRef(obj(ref));
}

void JNICALL DeleteGlobalRef(JNIEnv* env, jobject ref) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("DeleteGlobalRef", kWithPending, kOutsideCritical);
    fake->dropGlobalRef(ref);
}

jint JNICALL GetEnv(JavaVM* vm, void** env, jint version) {
    if (version < JNI_VERSION_1_1 || version > JNI_VERSION_1_8) return JNI_EVERSION;
    *env = static_cast<FakeEnv*>(vm->functions->reserved0)->env();
    return JNI_OK;
}

jclass JNICALL GetObjectClass(JNIEnv* env, jobject o) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("GetObjectClass", kNotWithPending, kOutsideCritical);
    const FakeObject* object = obj(o);
    if (object->kind == Kind::instance) return newRef<jclass>(fake, object->clazz);
    return newRef<jclass>(fake, fake->classNamed(classOf(object)));
}

jboolean JNICALL IsInstanceOf(JNIEnv* env, jobject o, jclass clazz) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("IsInstanceOf", kNotWithPending, kOutsideCritical);
    return classOf(obj(o)) == obj(clazz)->name ? JNI_TRUE : JNI_FALSE;
}

jfieldID JNICALL GetFieldID(JNIEnv* env, jclass clazz, const char* name, const char* signature) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("GetFieldID", kNotWithPending, kOutsideCritical);
    if (fake->failHere()) return nullptr;
    const auto& fields = obj(clazz)->fields;
    const auto it = fields.find(name);
    if (it == fields.end() || it->second != signature) {
        fake->throwNew("java/lang/NoSuchFieldError", name);
        return nullptr;
    }
    return fieldId(name);
}

jobject JNICALL GetObjectField(JNIEnv* env, jobject o, jfieldID field) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("GetObjectField", kNotWithPending, kOutsideCritical);
    return newRef(fake, obj(o)->refs[fieldName(field)]);
}

jint JNICALL GetIntField(JNIEnv* env, jobject o, jfieldID) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("GetIntField", kNotWithPending, kOutsideCritical);
    return obj(o)->mode;
}

void JNICALL SetObjectField(JNIEnv* env, jobject o, jfieldID field, jobject value) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("SetObjectField", kNotWithPending, kOutsideCritical);
    obj(o)->refs[fieldName(field)] = value == nullptr ? nullptr : obj(value);
}

jsize JNICALL GetStringLength(JNIEnv* env, jstring s) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("GetStringLength", kNotWithPending, kOutsideCritical);
    return static_cast<jsize>(obj(s)->text.size());
}

void JNICALL GetStringUTFRegion(JNIEnv* env, jstring s, jsize start, jsize len, char* buf) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("GetStringUTFRegion", kNotWithPending, kOutsideCritical);
    if (fake->failHere()) return;
    const std::string& text = obj(s)->text;  // ASCII only: one byte per character
    if (start < 0 || len < 0 ||
        static_cast<size_t>(start) + static_cast<size_t>(len) > text.size()) {
        fake->violation("GetStringUTFRegion outside the string");
        fake->throwNew("java/lang/StringIndexOutOfBoundsException", "");
        return;
    }
    std::memcpy(buf, text.data() + start, static_cast<size_t>(len));
    buf[len] = '\0';
}

jsize JNICALL GetArrayLength(JNIEnv* env, jarray a) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("GetArrayLength", kNotWithPending, kOutsideCritical);
    const FakeObject* array = obj(a);
    if (array->kind != Kind::byte_array) {
        fake->violation("GetArrayLength on something that is no array");
        return 0;
    }
    return static_cast<jsize>(array->bytes.size());
}

jbyteArray JNICALL NewByteArray(JNIEnv* env, jsize length) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("NewByteArray", kNotWithPending, kOutsideCritical);
    if (fake->failHere()) return nullptr;
    if (length < 0) fake->violation("NewByteArray with a negative length");
    return newRef<jbyteArray>(fake,
                              fake->newByteArray(std::vector<int8_t>(length < 0 ? 0 : length)));
}

void JNICALL GetByteArrayRegion(JNIEnv* env, jbyteArray a, jsize start, jsize len, jbyte* buf) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("GetByteArrayRegion", kNotWithPending, kOutsideCritical);
    if (fake->failHere()) return;
    FakeObject* array = obj(a);
    if (!rangeOk(array, start, len)) {
        fake->violation("GetByteArrayRegion outside the array");
        fake->throwNew("java/lang/ArrayIndexOutOfBoundsException", "");
        return;
    }
    std::memcpy(buf, array->bytes.data() + start, static_cast<size_t>(len));
}

void JNICALL SetByteArrayRegion(JNIEnv* env, jbyteArray a, jsize start, jsize len,
                                const jbyte* buf) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("SetByteArrayRegion", kNotWithPending, kOutsideCritical);
    if (fake->failHere()) return;
    FakeObject* array = obj(a);
    if (!rangeOk(array, start, len)) {
        fake->violation("SetByteArrayRegion outside the array");
        fake->throwNew("java/lang/ArrayIndexOutOfBoundsException", "");
        return;
    }
    std::memcpy(array->bytes.data() + start, buf, static_cast<size_t>(len));
}

void* JNICALL GetPrimitiveArrayCritical(JNIEnv* env, jarray a, jboolean* isCopy) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("GetPrimitiveArrayCritical", kNotWithPending, kInCritical);
    if (fake->failHere()) return nullptr;
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    return fake->pin(obj(a));
}

void JNICALL ReleasePrimitiveArrayCritical(JNIEnv* env, jarray a, void* elements, jint mode) {
    FakeEnv* fake = fakeOf(env);
    fake->enter("ReleasePrimitiveArrayCritical", kWithPending, kInCritical);
    fake->unpin(obj(a), static_cast<int8_t*>(elements), mode);
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
    table_.reserved0 = this;
    env_.functions = &table_;
    vmTable_ = {};
    vmTable_.GetEnv = GetEnv;
    vmTable_.reserved0 = this;
    vm_.functions = &vmTable_;
}

FakeEnv::~FakeEnv() {
    for (void* ref : refs_) delete static_cast<FakeRef*>(ref);
    for (void* ref : globalRefs_) delete static_cast<FakeRef*>(ref);
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
