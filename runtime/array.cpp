#include "runtime/array.h"

#include <cstring>
#include <utility>

#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/string.h"

KV_DEFINE_CLASS(Array, Object);

static constinit Array emptyArray{StaticObjectTag{}};

Array* EmptyArray() { return &emptyArray; }

int ElementSize(const char* type) {
    switch (type[0]) {
        case 'b': return 1;
        case 's': return 2;
        case 'l':
        case 'd': return 8;
        default: return 4;
    }
}

static bool IsReferenceType(const char* type) {
    return type[0] == ':' || type[0] == '$' || type[0] == '[';
}

bool Array::HoldsReferences() const { return IsReferenceType(type); }

// Fills new elements with the type's initial value.
static void InitElements(Array* array) {
    int n = array->dims > 0 ? array->Scales()[0] : 0;
    Object** slots = array->DataAs<Object*>();
    switch (array->type[0]) {
        case '$':
            for (int i = 0; i < n; ++i) RetainObject(slots[i] = EmptyString());
            break;
        case ':':
            for (int i = 0; i < n; ++i) RetainObject(slots[i] = NullObject());
            break;
        case '[':
            for (int i = 0; i < n; ++i) RetainObject(slots[i] = EmptyArray());
            break;
        case '(': {
            auto** functions = array->DataAs<void (*)()>();
            for (int i = 0; i < n; ++i) functions[i] = NullFunction;
            break;
        }
        default:
            std::memset(array->Data(), 0, static_cast<size_t>(array->dataSize));
    }
}

Array* AllocArray(const char* type, int dims, const int* sizes) {
    // Checked at every step: the product of a few sizes overflows 64 bits.
    const int64_t limit = 0x7fff0000 - 20 - 4 * static_cast<int64_t>(dims);
    int64_t count = 1;
    for (int k = 0; k < dims; ++k) {
        count *= sizes[k];
        if (count > limit) RuntimeError("Array too large");
    }
    int64_t bytes = count * ElementSize(type);
    if (bytes > limit) RuntimeError("Array too large");
    int size = 20 + 4 * dims + static_cast<int>(bytes);
    CollectorBeforeAlloc(size);
    void* block = MemAlloc(size);
    Array* array = new (block) Array(type, dims, static_cast<int>(bytes));
    int32_t scale = static_cast<int32_t>(count);
    for (int k = 0; k < dims; ++k) {
        array->Scales()[k] = scale;
        if (sizes[k]) scale /= sizes[k];
    }
    InitElements(array);
    return array;
}

Array* NewArray(const char* type, int length) {
    if (length <= 0) return EmptyArray();
    return AllocArray(type, 1, &length);
}

Array* NewArrayDims(const char* type, const int* sizes, int count) {
    if (count <= 0) return EmptyArray();
    for (int k = 0; k < count; ++k) {
        if (sizes[k] < 1) return EmptyArray();
    }
    return AllocArray(type, count, sizes);
}

Array* ArrayFromData(const char* type, int length, const int32_t* values) {
    Array* array = NewArray(type, length);
    if (array == EmptyArray()) return array;
    switch (type[0]) {
        case 'b':
            for (int i = 0; i < length; ++i) array->DataAs<uint8_t>()[i] = static_cast<uint8_t>(values[i]);
            break;
        case 's':
            for (int i = 0; i < length; ++i) array->DataAs<uint16_t>()[i] = static_cast<uint16_t>(values[i]);
            break;
        default:
            if (IsReferenceType(type)) {
                for (int i = 0; i < length; ++i)
                    array->SetObject(i, reinterpret_cast<Object*>(static_cast<uintptr_t>(values[i])));
            } else {
                // Eight-byte elements take two table entries each.
                std::memcpy(array->Data(), values, static_cast<size_t>(array->dataSize));
            }
    }
    return array;
}

Array::~Array() {
    if (HoldsReferences()) {
        Object** slots = DataAs<Object*>();
        int n = Length();
        for (int i = 0; i < n; ++i) ReleaseObject(slots[i]);
    }
}

void Array::Free() {
    if (this == &emptyArray) {
        refs = kStaticRefs;
        return;
    }
    int size = AllocSize();
    this->~Array();
    MemFree(this, size);
}

void Array::SetObject(int index, Object* value) {
    Object*& slot = DataAs<Object*>()[index];
    RetainObject(value);
    Object* old = slot;
    slot = value;
    ReleaseObject(old);
}

int Array::CheckIndex(int index) {
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(Length())) ThrowArrayBoundsError();
    return index;
}

Array* SliceArray(const char* type, Array* source, int start, int end) {
    int64_t count = static_cast<int64_t>(end) - start;
    if (count <= 0) return EmptyArray();
    if (count > 0x7fffffff / 8) RuntimeError("Array too large");
    Array* result = NewArray(type, static_cast<int>(count));
    int size = ElementSize(type);
    int sourceLength = source->Length();
    bool references = IsReferenceType(type);
    for (int64_t k = 0; k < count; ++k) {
        int64_t at = start + k;
        if (at < 0 || at >= sourceLength) continue;  // keeps the initial value
        if (references) {
            result->SetObject(static_cast<int>(k), source->ObjectAt(static_cast<int>(at)));
        } else {
            std::memcpy(result->DataAs<char>() + k * size, source->DataAs<char>() + at * size,
                        static_cast<size_t>(size));
        }
    }
    return result;
}

// ---- sort ----
//
// Quicksort in place: the pivot is the median of the first, middle and last
// elements; the left part recurses, the right part iterates.

namespace {

template <class T>
struct ValueOrder {
    static int Compare(T a, T b) { return a < b ? -1 : a > b ? 1 : 0; }
};

struct ObjectOrder {
    static int Compare(Object* a, Object* b) { return a->Compare(b); }
};

template <class T, class Order>
void QuickSort(T* data, int lo, int hi, int sign) {
    auto less = [sign](T a, T b) { return sign * Order::Compare(a, b) < 0; };
    while (hi - lo >= 1) {
        if (hi - lo == 1) {
            if (less(data[hi], data[lo])) std::swap(data[lo], data[hi]);
            return;
        }
        int mid = lo + (hi - lo) / 2;
        if (less(data[mid], data[lo])) std::swap(data[mid], data[lo]);
        if (less(data[hi], data[lo])) std::swap(data[hi], data[lo]);
        if (less(data[hi], data[mid])) std::swap(data[hi], data[mid]);
        T pivot = data[mid];
        int i = lo;
        int j = hi;
        while (i <= j) {
            while (less(data[i], pivot)) ++i;
            while (less(pivot, data[j])) --j;
            if (i <= j) {
                std::swap(data[i], data[j]);
                ++i;
                --j;
            }
        }
        if (lo < j) QuickSort<T, Order>(data, lo, j, sign);
        lo = i;
    }
}

template <class T, class Order = ValueOrder<T>>
void SortAs(Array* array, int sign) {
    QuickSort<T, Order>(array->DataAs<T>(), 0, array->Length() - 1, sign);
}

}  // namespace

void Array::Sort(int ascending) {
    if (Length() < 2) return;
    int sign = ascending ? 1 : -1;
    switch (type[0]) {
        case 'b': SortAs<uint8_t>(this, sign); break;
        case 's': SortAs<uint16_t>(this, sign); break;
        case 'i': SortAs<int32_t>(this, sign); break;
        case 'f': SortAs<float>(this, sign); break;
        case 'l': SortAs<int64_t>(this, sign); break;
        case 'd': SortAs<double>(this, sign); break;
        case '$':
        case ':': SortAs<Object*, ObjectOrder>(this, sign); break;
        default: break;
    }
}

void SortArray(Array* array, int ascending) { array->Sort(ascending); }

Array* Array::Dimensions() {
    if (dims == 0) return EmptyArray();
    Array* result = NewArray("i", dims);
    int32_t* sizes = result->DataAs<int32_t>();
    int32_t* scales = Scales();
    for (int k = 0; k < dims; ++k) sizes[k] = k + 1 < dims ? scales[k] / scales[k + 1] : scales[k];
    return result;
}

Array* Dimensions(Array* array) { return array->Dimensions(); }

Array* CastToArray(Object* object, const char* type) {
    if (object == EmptyArray()) return EmptyArray();
    if (!IsA<Array>(object)) return static_cast<Array*>(NullObject());
    Array* array = static_cast<Array*>(object);
    if (std::strcmp(array->type, ":Object") != 0) return array;
    return std::strcmp(type, ":Object") == 0 ? array : static_cast<Array*>(NullObject());
}
