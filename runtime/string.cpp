#include "runtime/string.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/memory.h"

KV_DEFINE_CLASS(String, Object);

// The shared empty string: a static object whose count is reset when a
// release brings it to zero.
static constinit String emptyString(StaticObjectTag{}, kStaticRefs, 0);

String* EmptyString() { return &emptyString; }

// The longest string whose block size (12 + 2 * length) fits the allocator.
static constexpr int64_t kMaxStringLength = (0x7fff0000 - 12) / 2;

String* NewString(int length) {
    if (length <= 0) return EmptyString();
    if (length > kMaxStringLength) RuntimeError("String too large");
    int size = 12 + 2 * length;
    CollectorBeforeAlloc(size);
    void* block = MemAlloc(size);
    return new (block) String(length);
}

// Cut in place, the string keeps its whole block while it lives, so only
// when that wastes at most a quarter of it.
String* CutNewString(String* fresh, int length) {
    if (length >= fresh->length) return fresh;
    if (length > 0 && length >= fresh->length - fresh->length / 4 &&
        MemShrink(fresh, fresh->AllocSize(), 12 + 2 * length)) {
        fresh->length = length;
        return fresh;
    }
    return String::FromShorts(fresh->Text(), length);
}

void String::Free() {
    if (this == &emptyString) {
        refs = kStaticRefs;
        return;
    }
    int size = AllocSize();
    this->~String();
    MemFree(this, size);
}

// ---- construction ----

String* String::FromBytes(const void* bytes, int count) {
    String* s = NewString(count);
    const unsigned char* in = static_cast<const unsigned char*>(bytes);
    char16_t* out = s->Text();
    for (int i = 0; i < s->length; ++i) out[i] = in[i];
    return s;
}

String* String::FromShorts(const char16_t* units, int count) {
    String* s = NewString(count);
    if (s->length) std::memcpy(s->Text(), units, 2 * static_cast<size_t>(s->length));
    return s;
}

String* FromInts(const int32_t* values, int count) {
    String* s = NewString(count);
    for (int i = 0; i < s->length; ++i) s->Text()[i] = static_cast<char16_t>(values[i]);
    return s;
}

String* FromArray(Array* array) {
    if (array->dims != 1) return EmptyString();
    switch (array->type[0]) {
        case 'b': return String::FromBytes(array->Data(), array->Length());
        case 's': return String::FromShorts(array->DataAs<char16_t>(), array->Length());
        case 'i': return FromInts(array->DataAs<int32_t>(), array->Length());
        default: return EmptyString();
    }
}

String* String::FromCString(const char* text) {
    if (!text) return EmptyString();
    return FromBytes(text, static_cast<int>(std::strlen(text)));
}

String* String::FromWString(const char16_t* text) {
    if (!text) return EmptyString();
    int n = 0;
    while (text[n]) ++n;
    return FromShorts(text, n);
}

String* FromChar(int code) {
    String* s = NewString(1);
    s->Text()[0] = static_cast<char16_t>(code);
    return s;
}

// A result length computed in 64 bits, checked before it becomes a size.
static int ResultLength(int64_t length) {
    if (length > kMaxStringLength) RuntimeError("String too large");
    return static_cast<int>(length);
}

// Decodes UTF-8; a malformed byte stands for itself (ISO 8859-1), so no
// input is lost. Characters beyond the BMP become surrogate pairs.
String* String::FromUtf8(const char* text, int count) {
    if (!text) return EmptyString();
    if (count < 0) count = static_cast<int>(std::strlen(text));
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    auto decode = [&](char16_t* out) {
        int units = 0;
        for (int i = 0; i < count;) {
            unsigned c = in[i];
            int extra = c >= 0xf0 && c < 0xf8 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : 0;
            if (c >= 0xf8) extra = 0;
            unsigned code = extra == 3 ? c & 7 : extra == 2 ? c & 15 : c & 31;
            bool ok = extra > 0;
            for (int k = 1; ok && k <= extra; ++k) {
                if (i + k >= count || (in[i + k] & 0xc0) != 0x80) ok = false;
                else code = (code << 6) | (in[i + k] & 63);
            }
            if (!ok) {
                code = c;
                extra = 0;
            }
            if (code >= 0x10000) {
                if (out) {
                    out[units] = static_cast<char16_t>(0xd800 + ((code - 0x10000) >> 10));
                    out[units + 1] = static_cast<char16_t>(0xdc00 + ((code - 0x10000) & 1023));
                }
                units += 2;
            } else {
                if (out) out[units] = static_cast<char16_t>(code);
                ++units;
            }
            i += 1 + extra;
        }
        return units;
    };
    String* s = NewString(decode(nullptr));
    if (s->length) decode(s->Text());
    return s;
}

// ---- buffers for C ----

char* String::ToCString() {
    char* out = static_cast<char*>(MemAllocBlock(length + 1));
    const char16_t* in = Text();
    for (int i = 0; i < length; ++i) out[i] = static_cast<char>(in[i]);
    out[length] = 0;
    return out;
}

char16_t* String::ToWString() {
    char16_t* out = static_cast<char16_t*>(MemAllocBlock(2 * (length + 1)));
    if (length) std::memcpy(out, Text(), 2 * static_cast<size_t>(length));
    out[length] = 0;
    return out;
}

char* String::ToUtf8() {
    const char16_t* in = Text();
    char* out = static_cast<char*>(MemAllocBlock(ResultLength(3 * static_cast<int64_t>(length) + 1)));
    int n = 0;
    for (int i = 0; i < length; ++i) {
        unsigned c = in[i];
        if (c >= 0xd800 && c < 0xdc00 && i + 1 < length && in[i + 1] >= 0xdc00 && in[i + 1] < 0xe000) {
            unsigned code = 0x10000 + ((c - 0xd800) << 10) + (in[i + 1] - 0xdc00u);
            out[n++] = static_cast<char>(0xf0 | (code >> 18));
            out[n++] = static_cast<char>(0x80 | ((code >> 12) & 63));
            out[n++] = static_cast<char>(0x80 | ((code >> 6) & 63));
            out[n++] = static_cast<char>(0x80 | (code & 63));
            ++i;
        } else if (c < 0x80) {
            out[n++] = static_cast<char>(c);
        } else if (c < 0x800) {
            out[n++] = static_cast<char>(0xc0 | (c >> 6));
            out[n++] = static_cast<char>(0x80 | (c & 63));
        } else {
            out[n++] = static_cast<char>(0xe0 | (c >> 12));
            out[n++] = static_cast<char>(0x80 | ((c >> 6) & 63));
            out[n++] = static_cast<char>(0x80 | (c & 63));
        }
    }
    out[n] = 0;
    return out;
}

// ---- comparison and search ----

static int CompareUnits(const String* a, const String* b) {
    int n = a->length < b->length ? a->length : b->length;
    const char16_t* x = a->Text();
    const char16_t* y = b->Text();
    for (int i = 0; i < n; ++i) {
        if (x[i] != y[i]) return static_cast<int>(x[i]) - static_cast<int>(y[i]);
    }
    return a->length - b->length;
}

int String::Compare(Object* other) {
    if (other->Class() != &classRecord && !IsA<String>(other)) return Object::Compare(other);
    return CompareUnits(this, static_cast<String*>(other));
}

bool Equals(String* a, String* b) {
    return a == b || (a->length == b->length && CompareUnits(a, b) == 0);
}

static bool MatchesAt(const String* s, const String* sub, int at) {
    return std::memcmp(s->Text() + at, sub->Text(), 2 * static_cast<size_t>(sub->length)) == 0;
}

int String::Find(String* sub, int start) {
    if (start < 0) start = 0;
    // Written as a difference: start + sub->length can overflow.
    for (int i = start; i <= length - sub->length; ++i) {
        if (MatchesAt(this, sub, i)) return i;
    }
    return -1;
}

int String::FindLast(String* sub, int start) {
    int64_t from = static_cast<int64_t>(length) - start;
    if (from > length - sub->length) from = length - sub->length;
    for (int i = static_cast<int>(from); i >= 0; --i) {
        if (MatchesAt(this, sub, i)) return i;
    }
    return -1;
}

bool String::StartsWith(String* sub) { return length >= sub->length && MatchesAt(this, sub, 0); }

bool String::EndsWith(String* sub) {
    return length >= sub->length && MatchesAt(this, sub, length - sub->length);
}

bool String::Contains(String* sub) { return Find(sub, 0) != -1; }

// ---- building ----

static String* ConcatAll(String* const* parts, int count) {
    int64_t total = 0;
    for (int i = 0; i < count; ++i) total += parts[i]->length;
    if (total == 0) return EmptyString();
    for (int i = 0; i < count; ++i) {
        if (parts[i]->length == total) return parts[i];
    }
    String* s = NewString(ResultLength(total));
    char16_t* out = s->Text();
    for (int i = 0; i < count; ++i) {
        std::memcpy(out, parts[i]->Text(), 2 * static_cast<size_t>(parts[i]->length));
        out += parts[i]->length;
    }
    return s;
}

String* Concat(String* a, String* b) {
    String* parts[] = {a, b};
    return ConcatAll(parts, 2);
}

String* Concat(String* a, String* b, String* c) {
    String* parts[] = {a, b, c};
    return ConcatAll(parts, 3);
}

String* Concat(String* a, String* b, String* c, String* d) {
    String* parts[] = {a, b, c, d};
    return ConcatAll(parts, 4);
}

String* Slice(String* source, int start, int end) {
    int64_t count = static_cast<int64_t>(end) - start;
    if (count <= 0) return EmptyString();
    if (start == 0 && end == source->length) return source;
    String* s = NewString(ResultLength(count));
    char16_t* out = s->Text();
    const char16_t* in = source->Text();
    for (int k = 0; k < s->length; ++k) {
        int64_t at = static_cast<int64_t>(start) + k;
        out[k] = at >= 0 && at < source->length ? in[at] : u' ';
    }
    return s;
}

String* String::Trim() {
    int first = 0;
    int last = length;
    const char16_t* t = Text();
    while (first < last && t[first] < 33) ++first;
    while (last > first && t[last - 1] < 33) --last;
    if (first == 0 && last == length) return this;
    return Slice(this, first, last);
}

String* String::Replace(String* with, String* by) {
    if (with->length == 0) return this;
    int count = 0;
    for (int i = Find(with, 0); i != -1; i = Find(with, i + with->length)) ++count;
    if (count == 0) return this;
    String* s = NewString(ResultLength(length + static_cast<int64_t>(count) * (by->length - with->length)));
    char16_t* out = s->Text();
    int from = 0;
    for (int i = Find(with, 0); i != -1; i = Find(with, i + with->length)) {
        std::memcpy(out, Text() + from, 2 * static_cast<size_t>(i - from));
        out += i - from;
        std::memcpy(out, by->Text(), 2 * static_cast<size_t>(by->length));
        out += by->length;
        from = i + with->length;
    }
    std::memcpy(out, Text() + from, 2 * static_cast<size_t>(length - from));
    return s;
}

static String* MapUnits(String* source, char16_t low, char16_t high, int delta) {
    int i = 0;
    const char16_t* in = source->Text();
    while (i < source->length && (in[i] < low || in[i] > high)) ++i;
    if (i == source->length) return source;
    String* s = NewString(source->length);
    char16_t* out = s->Text();
    for (int k = 0; k < source->length; ++k) {
        char16_t c = in[k];
        out[k] = c >= low && c <= high ? static_cast<char16_t>(c + delta) : c;
    }
    return s;
}

String* String::ToLower() { return MapUnits(this, u'A', u'Z', 32); }
String* String::ToUpper() { return MapUnits(this, u'a', u'z', -32); }

Array* String::Split(String* separator) {
    if (separator->length == 0) {
        // Every position would match: the whole string is the one piece.
        Array* pieces = NewArray("$", 1);
        pieces->SetObject(0, this);
        return pieces;
    }
    int count = 0;
    for (int i = Find(separator, 0); i != -1; i = Find(separator, i + separator->length)) ++count;
    Array* pieces = NewArray("$", count + 1);
    int from = 0;
    int k = 0;
    for (int i = Find(separator, 0); i != -1; i = Find(separator, i + separator->length)) {
        pieces->SetObject(k++, Slice(this, from, i));
        from = i + separator->length;
    }
    pieces->SetObject(k, Slice(this, from, length));
    return pieces;
}

String* String::Join(Array* pieces) {
    int n = pieces->Length();
    if (n == 0) return EmptyString();
    int64_t total = static_cast<int64_t>(n - 1) * length;
    for (int i = 0; i < n; ++i) total += pieces->StringAt(i)->length;
    String* s = NewString(ResultLength(total));
    char16_t* out = s->Text();
    for (int i = 0; i < n; ++i) {
        if (i) {
            std::memcpy(out, Text(), 2 * static_cast<size_t>(length));
            out += length;
        }
        String* piece = pieces->StringAt(i);
        std::memcpy(out, piece->Text(), 2 * static_cast<size_t>(piece->length));
        out += piece->length;
    }
    return s;
}

// ---- numbers to text ----

// Decimal digits straight into the string, without a round trip through
// the C library: integers are formatted on every "+" of a number to text.
static String* FromDecimal(uint64_t magnitude, bool negative) {
    char16_t digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    String* s = NewString(n + (negative ? 1 : 0));
    char16_t* out = s->Text();
    if (negative) *out++ = u'-';
    while (n) *out++ = digits[--n];
    return s;
}

String* String::FromInt(int value) {
    if (value >= 0) {
        // 32-bit division is much cheaper than 64-bit on this target.
        uint32_t v = static_cast<uint32_t>(value);
        char16_t digits[10];
        int n = 0;
        do {
            digits[n++] = static_cast<char16_t>(u'0' + v % 10);
            v /= 10;
        } while (v);
        String* s = NewString(n);
        char16_t* out = s->Text();
        while (n) *out++ = digits[--n];
        return s;
    }
    return FromDecimal(0u - static_cast<uint64_t>(static_cast<int64_t>(value)), true);
}

String* String::FromLong(int64_t value) {
    return value < 0 ? FromDecimal(0u - static_cast<uint64_t>(value), true)
                     : FromDecimal(static_cast<uint64_t>(value), false);
}

// The platform C library's formatting, as every number shown by the system uses.
String* String::FromFloat(float value) {
    char text[64];
    _snprintf(text, sizeof text - 1, "%#.9g", static_cast<double>(value));
    text[sizeof text - 1] = 0;
    return FromCString(text);
}

String* String::FromDouble(double value) {
    char text[64];
    _snprintf(text, sizeof text - 1, "%#.17lg", value);
    text[sizeof text - 1] = 0;
    return FromCString(text);
}

// ---- text to numbers ----

template <class Unsigned>
static Unsigned ParseInteger(const String* s) {
    const char16_t* t = s->Text();
    int i = 0;
    int n = s->length;
    while (i < n && (t[i] == ' ' || (t[i] >= 9 && t[i] <= 13))) ++i;
    bool negative = false;
    if (i < n && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    Unsigned value = 0;
    if (i < n && t[i] == '%') {
        for (++i; i < n && (t[i] == '0' || t[i] == '1'); ++i) value = value * 2 + (t[i] - '0');
    } else if (i < n && t[i] == '$') {
        for (++i; i < n; ++i) {
            char16_t c = t[i];
            int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
            if (digit < 0) break;
            value = value * 16 + static_cast<Unsigned>(digit);
        }
    } else {
        for (; i < n && t[i] >= '0' && t[i] <= '9'; ++i) value = value * 10 + (t[i] - '0');
    }
    return negative ? static_cast<Unsigned>(0) - value : value;
}

int String::ToInt() { return static_cast<int>(ParseInteger<uint32_t>(this)); }
int64_t String::ToLong() { return static_cast<int64_t>(ParseInteger<uint64_t>(this)); }

double String::ToDouble() {
    char* text = ToCString();
    double value = std::atof(text);
    MemFreeBlock(text);
    return value;
}

float String::ToFloat() { return static_cast<float>(ToDouble()); }
