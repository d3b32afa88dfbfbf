#include "runtime/object.h"

#include <cstdio>
#include <cstdlib>

#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/string.h"

const ClassRecord Object::classRecord{nullptr, "Object", static_cast<int>(sizeof(Object))};

constinit NullObjectClass nullObject;

void UnpendAbortedObject(Object* object);

Object::Object() {
    refs = 0;
    SetMemBit(this);
    PendObject(this);
}

// The collector clears an object's mem bit before freeing it, so a heap
// object destroyed with its bit still set is one whose constructor threw:
// it must leave the pending list before its memory goes back.
Object::~Object() {
    if (TestMemBit(this)) UnpendAbortedObject(this);
}

const ClassRecord* Object::Class() const { return &classRecord; }

String* Object::ToString() {
    char text[16];
    std::snprintf(text, sizeof text, "%p", static_cast<void*>(this));
    return String::FromCString(text);
}

int Object::Compare(Object* other) {
    return static_cast<int>(reinterpret_cast<intptr_t>(this) - reinterpret_cast<intptr_t>(other));
}

Object* Object::SendMessage(Object*, Object*) { return NullObject(); }

void Object::Reserved1() { ThrowCError("Illegal call to reserved method"); }
void Object::Reserved2() { ThrowCError("Illegal call to reserved method"); }
void Object::Reserved3() { ThrowCError("Illegal call to reserved method"); }

void Object::Free() { delete this; }

int Object::AllocSize() const { return Class()->size; }

void* Object::operator new(size_t size) {
    CollectorBeforeAlloc(static_cast<int>(size));
    return MemAlloc(static_cast<int>(size));
}

void Object::operator delete(void* block, size_t size) { MemFree(block, static_cast<int>(size)); }

void NullObjectClass::Free() { refs = kStaticRefs; }

Object* Downcast(Object* object, const ClassRecord* target) {
    for (const ClassRecord* c = object->Class(); c; c = c->super) {
        if (c == target) return object;
    }
    return NullObject();
}

// ---- class registry ----

static const ClassRecord** registry;
static int registryCount;
static int registryCapacity;

void RegisterClass(const ClassRecord* record) {
    if (registryCount == registryCapacity) {
        registryCapacity += 1024 / static_cast<int>(sizeof(void*));  // grows by 1024 bytes
        registry = static_cast<const ClassRecord**>(
            std::realloc(registry, sizeof(void*) * static_cast<size_t>(registryCapacity)));
        if (!registry) std::abort();
    }
    registry[registryCount++] = record;
}

const ClassRecord* const* RegisteredClasses(int* count) {
    *count = registryCount;
    return registry;
}

// ---- handles ----
//
// Two hash maps of 1024 buckets (object to handle, handle to object); the
// object map holds one counted reference for each handle.

namespace {

struct HandleNode {
    HandleNode* next;
    uintptr_t key;
    uintptr_t value;
};
static_assert(sizeof(HandleNode) <= 16);

HandleNode* objectToHandle[1024];
HandleNode* handleToObject[1024];
uint32_t handleCounter;

int Bucket(uintptr_t key) { return static_cast<int>((key / 8) & 1023); }

HandleNode* Find(HandleNode** map, uintptr_t key) {
    for (HandleNode* n = map[Bucket(key)]; n; n = n->next) {
        if (n->key == key) return n;
    }
    return nullptr;
}

void Insert(HandleNode** map, uintptr_t key, uintptr_t value) {
    HandleNode* node = static_cast<HandleNode*>(MemAlloc(16));
    node->key = key;
    node->value = value;
    node->next = map[Bucket(key)];
    map[Bucket(key)] = node;
}

void Remove(HandleNode** map, uintptr_t key) {
    for (HandleNode** link = &map[Bucket(key)]; *link; link = &(*link)->next) {
        if ((*link)->key == key) {
            HandleNode* node = *link;
            *link = node->next;
            MemFree(node, 16);
            return;
        }
    }
}

}  // namespace

int HandleFromObject(Object* object) {
    if (IsNull(object)) return 0;
    uintptr_t key = reinterpret_cast<uintptr_t>(object);
    if (HandleNode* node = Find(objectToHandle, key)) return static_cast<int>(node->value / 8);
    do {
        handleCounter += 8;
    } while (handleCounter / 8 == 0);
    RetainObject(object);
    Insert(objectToHandle, key, handleCounter);
    Insert(handleToObject, handleCounter, key);
    return static_cast<int>(handleCounter / 8);
}

Object* HandleToObject(int handle) {
    HandleNode* node = Find(handleToObject, static_cast<uintptr_t>(handle) * 8);
    return node ? reinterpret_cast<Object*>(node->value) : NullObject();
}

void ReleaseHandle(int handle) {
    uintptr_t key = static_cast<uintptr_t>(handle) * 8;
    HandleNode* node = Find(handleToObject, key);
    if (!node) return;
    Object* object = reinterpret_cast<Object*>(node->value);
    Remove(handleToObject, key);
    Remove(objectToHandle, reinterpret_cast<uintptr_t>(object));
    ReleaseObject(object);
}
