// Strings: immutable UTF-16 text. Layout after the object header: a signed
// 32-bit length, then that many 16-bit code units (no terminator).
//
// Every operation whose result has length 0 returns the one shared empty
// string; operations that would return an unchanged copy (Trim, Replace
// without a match) return the receiver. Results are allocated once, at
// their final size.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/object.h"

class String : public Object {
    KV_CLASS(String, Object)
public:
    int32_t length;

    constexpr String(StaticObjectTag tag, int32_t count, int32_t units)
        : Object(tag, count), length(units) {}
    ~String() override {}

    char16_t* Text() { return reinterpret_cast<char16_t*>(this + 1); }
    const char16_t* Text() const { return reinterpret_cast<const char16_t*>(this + 1); }

    String* ToString() override { return this; }
    int Compare(Object* other) override;
    void Free() override;
    int AllocSize() const override { return 12 + 2 * length; }

    int Find(String* sub, int start = 0);
    int FindLast(String* sub, int start = 0);
    String* Trim();
    String* Replace(String* with, String* by);
    String* ToLower();
    String* ToUpper();
    int ToInt();
    int64_t ToLong();
    float ToFloat();
    double ToDouble();
    // NUL-terminated buffers; free them with MemFreeBlock.
    char* ToCString();
    char16_t* ToWString();
    char* ToUtf8();
    bool StartsWith(String* sub);
    bool EndsWith(String* sub);
    bool Contains(String* sub);
    Array* Split(String* separator);
    String* Join(Array* pieces);

    static String* FromInt(int value);
    static String* FromLong(int64_t value);
    static String* FromFloat(float value);
    static String* FromDouble(double value);
    static String* FromCString(const char* text);
    static String* FromWString(const char16_t* text);
    static String* FromBytes(const void* bytes, int count);
    static String* FromShorts(const char16_t* units, int count);
    static String* FromUtf8(const char* text, int count = -1);

private:
    friend String* NewString(int length);
    explicit String(int32_t units) : length(units) {}
};
static_assert(sizeof(String) == 12);

// A string of `length` units with undefined text; the empty string for 0.
String* NewString(int length);
// The first `length` units of a string from NewString that nothing else
// holds yet: the same string cut in place when that wastes at most a quarter
// of its block, else a copy.
String* CutNewString(String* fresh, int length);
String* FromInts(const int32_t* values, int count);
String* FromArray(Array* array);  // "b", "s" or "i" arrays
String* FromChar(int code);

// a + b (+ c ...), allocated once.
String* Concat(String* a, String* b);
String* Concat(String* a, String* b, String* c);
String* Concat(String* a, String* b, String* c, String* d);

// The substring form: end - start units; positions outside the source are spaces.
String* Slice(String* source, int start, int end);

// Compare(a, b) = 0.
bool Equals(String* a, String* b);

// ---- literals ----
//
// u"text"_s is a permanent static string with the count 0x7fffffff.

template <size_t N>
struct StringLiteralText {
    char16_t text[N];
    constexpr StringLiteralText(const char16_t (&source)[N]) {
        for (size_t i = 0; i < N; ++i) text[i] = source[i];
    }
};

template <size_t N>
struct alignas(16) StringLiteralObject {
    String header;
    char16_t text[N];
    constexpr explicit StringLiteralObject(const char16_t* source)
        : header(StaticObjectTag{}, kLiteralRefs, static_cast<int32_t>(N)), text{} {
        for (size_t i = 0; i < N; ++i) text[i] = source[i];
    }
};

template <StringLiteralText S>
String* operator""_s() {
    constexpr size_t units = sizeof(S.text) / sizeof(char16_t) - 1;
    if constexpr (units == 0) {
        return EmptyString();
    } else {
        static constinit StringLiteralObject<units> literal(S.text);
        return &literal.header;
    }
}
