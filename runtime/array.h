// Arrays. Layout after the object header: the element type code, the
// dimension count, the data size in bytes, one scale per dimension, then the
// data, row-major. scale[k] is the product of the sizes of dimension k and of
// all later ones, so scale[0] is the element count.
//
// Element type codes (first character): "b" byte, "s" unsigned short, "i"
// int, "f" float, "l" long, "d" double, "$" string, ":" object (":Object",
// ":TList", ...), "[" array, "(" function pointer. String, object and array
// elements are counted references, never null pointers.
#pragma once
#include <cstdint>

#include "runtime/object.h"

class String;

class Array : public Object {
    KV_CLASS(Array, Object)
public:
    const char* type;
    int32_t dims;
    int32_t dataSize;

    constexpr explicit Array(StaticObjectTag tag)
        : Object(tag, kStaticRefs), type(""), dims(0), dataSize(0) {}
    ~Array() override;

    int32_t* Scales() { return reinterpret_cast<int32_t*>(this + 1); }
    void* Data() { return Scales() + dims; }
    template <class T>
    T* DataAs() {
        return static_cast<T*>(Data());
    }
    int Length() { return dims > 0 ? Scales()[0] : 0; }
    bool HoldsReferences() const;

    // Element access for reference arrays; the store is counted.
    Object* ObjectAt(int index) { return DataAs<Object*>()[index]; }
    String* StringAt(int index) { return reinterpret_cast<String*>(DataAs<Object*>()[index]); }
    void SetObject(int index, Object* value);
    // Bounds-checked index: raises TArrayBoundsException.
    int CheckIndex(int index);

    virtual void Sort(int ascending);
    virtual Array* Dimensions();

    void Free() override;
    int AllocSize() const override { return 20 + 4 * dims + dataSize; }

private:
    friend Array* AllocArray(const char* type, int dims, const int* sizes);
    Array(const char* elementType, int dimensionCount, int bytes)
        : type(elementType), dims(dimensionCount), dataSize(bytes) {}
};
static_assert(sizeof(Array) == 20);

int ElementSize(const char* type);

Array* NewArray(const char* type, int length);
Array* NewArrayDims(const char* type, const int* sizes, int count);
Array* ArrayFromData(const char* type, int length, const int32_t* values);
Array* SliceArray(const char* type, Array* source, int start, int end);
void SortArray(Array* array, int ascending);
Array* Dimensions(Array* array);
Array* CastToArray(Object* object, const char* type);
