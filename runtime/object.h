// The object model: every runtime object, string and array starts with the
// same 8-byte header, the C++ vtable pointer (which leads to the class record)
// followed by a signed 32-bit reference count.
//
// Reference-count states:
//   >= 1            referenced from that many fields, globals or array slots
//   0               only for an instant, while being put on the pending list
//   bit 31 set      on the pending list (see collector.h)
//   0x7fffffff      a literal string in the program's data, never freed
//   0x40000000      one of the shared static objects (null object, empty
//                   string, empty array); brought to zero it is reset
//
// A slot that holds an object (field, global, array element) is a Ref<T>: it
// is never a null pointer but the null object, the empty string or the empty
// array. Locals are plain pointers, kept alive by the collector's stack scan.
#pragma once
#include <cstdint>
#include <cstddef>
#include <new>
#include <type_traits>

#include "runtime/memory.h"

class Object;
class String;
class Array;

// The static, immutable description of a class.
struct ClassRecord {
    const ClassRecord* super;  // null for Object
    const char* name;          // debug name: "Object", "String", "TList", ...
    int size;                  // instance size in bytes, header included
};

constexpr int32_t kPendingFlag = INT32_MIN;
constexpr int32_t kStaticRefs = 0x40000000;
constexpr int32_t kLiteralRefs = 0x7fffffff;

struct StaticObjectTag {};

class Object {
public:
    static const ClassRecord classRecord;

    // The slots, in order. Class() is the record behind the vtable pointer.
    virtual const ClassRecord* Class() const;
    virtual ~Object();  // Delete
    virtual String* ToString();
    virtual int Compare(Object* other);
    virtual Object* SendMessage(Object* message, Object* context);
    virtual void Reserved1();
    virtual void Reserved2();
    virtual void Reserved3();
    // Free routine: destroys the object and returns its memory.
    virtual void Free();
    // Bytes of memory the object occupies (the instance size for ordinary classes).
    virtual int AllocSize() const;

    // Ordinary objects come from the object allocator; the collector frees them.
    static void* operator new(size_t size);
    static void operator delete(void* block, size_t size);
    static void* operator new(size_t, void* place) { return place; }
    static void operator delete(void*, void*) {}

    int32_t refs;

protected:
    // A new heap object: marked by its mem bit and put on the pending list,
    // count 0x80000000, before the derived constructors run.
    Object();
    // A static object with a fixed count; never on the pending list.
    constexpr Object(StaticObjectTag, int32_t count) : refs(count) {}
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
};

// Declares the class record and the Class() slot of a runtime class.
#define KV_CLASS(Name, Super)                                                        \
public:                                                                              \
    using SuperClass = Super;                                                        \
    static const ClassRecord classRecord;                                            \
    const ClassRecord* Class() const override { return &classRecord; }               \
                                                                                     \
private:

#define KV_DEFINE_CLASS(Name, Super) \
    const ClassRecord Name::classRecord{&Super::classRecord, #Name, static_cast<int>(sizeof(Name))}

// The null object's class is unset: its record is null.
class NullObjectClass final : public Object {
public:
    constexpr NullObjectClass() : Object(StaticObjectTag{}, kStaticRefs) {}
    const ClassRecord* Class() const override { return nullptr; }
    void Free() override;
    ~NullObjectClass() override {}
};

extern constinit NullObjectClass nullObject;

inline Object* NullObject() { return &nullObject; }
inline bool IsNull(const Object* object) { return object == &nullObject; }
String* EmptyString();
Array* EmptyArray();

// The value an unset slot of type T holds.
template <class T>
inline T* NullOf() {
    if constexpr (std::is_base_of_v<String, T>) {
        return EmptyString();
    } else if constexpr (std::is_base_of_v<Array, T>) {
        return EmptyArray();
    } else {
        return static_cast<T*>(static_cast<Object*>(&nullObject));
    }
}

void PendObject(Object* object);  // count must be 0: appends to the pending list

inline void RetainObject(Object* object) {
    object->refs = static_cast<int32_t>(static_cast<uint32_t>(object->refs) + 1);
}

inline void ReleaseObject(Object* object) {
    int32_t count = static_cast<int32_t>(static_cast<uint32_t>(object->refs) - 1);
    object->refs = count;
    if (count == 0) PendObject(object);
}

// Raises TNullObjectException; the common path of every Ref dereference.
[[noreturn]] void ThrowNullObjectError();

// A counted reference: the type of every slot that holds an object.
// Assignment retains the new value before releasing the old one.
template <class T>
class Ref {
public:
    Ref() : p_(NullOf<T>()) { RetainObject(p_); }
    Ref(T* p) : p_(p) { RetainObject(p_); }
    Ref(const Ref& other) : p_(other.p_) { RetainObject(p_); }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(const Ref<U>& other) : p_(other.get()) { RetainObject(p_); }
    ~Ref() { ReleaseObject(p_); }

    Ref& operator=(T* p) {
        RetainObject(p);
        T* old = p_;
        p_ = p;
        ReleaseObject(old);
        return *this;
    }
    Ref& operator=(const Ref& other) { return *this = other.p_; }

    T* get() const { return p_; }
    operator T*() const { return p_; }
    T* operator->() const {
        if (IsNull(p_)) ThrowNullObjectError();
        return p_;
    }
    T& operator*() const { return *operator->(); }

private:
    T* p_;
};
static_assert(sizeof(Ref<Object>) == sizeof(void*));

// Checked member access through a plain pointer: the null object raises
// TNullObjectException instead of calling through a slot it does not have.
template <class T>
inline T* Checked(T* object) {
    if (IsNull(object)) ThrowNullObjectError();
    return object;
}

// Walks the object's class and its super chain; the null object when the
// class is not found.
Object* Downcast(Object* object, const ClassRecord* target);

template <class T>
inline T* Downcast(Object* object) {
    return static_cast<T*>(Downcast(object, &T::classRecord));
}

// True when `object` is an instance of T (the null object never is).
template <class T>
inline bool IsA(Object* object) {
    return !IsNull(Downcast(object, &T::classRecord));
}

// The class registry: records appended by RegisterClass, read back in order.
void RegisterClass(const ClassRecord* record);
const ClassRecord* const* RegisteredClasses(int* count);

// Handles: small integers standing for objects, for Windows data that the
// collector cannot see (window user data, timer user data).
int HandleFromObject(Object* object);
Object* HandleToObject(int handle);
void ReleaseHandle(int handle);
