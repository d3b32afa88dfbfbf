// Fuzz targets of the runtime core and the streams: number parsing, the
// string functions and the containers against simple models on standard
// types, bank peeks, pokes and resizes, and stream urls.
#include <algorithm>
#include <climits>
#include <iterator>
#include <cstring>
#include <list>
#include <map>

#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/list.h"
#include "runtime/map.h"
#include "runtime/string.h"
#include "stream/bank.h"
#include "stream/stream.h"
#include "tests/fuzz/fuzz.h"

namespace fuzz {

namespace {

using U16 = std::u16string;

String* Make(const U16& text) { return String::FromShorts(text.data(), static_cast<int>(text.size())); }
U16 Units(String* s) { return U16(s->Text(), static_cast<size_t>(s->length)); }

// Short texts over a few units, so that searches find something.
U16 Text(Rng& rng, int longest = 12) {
    static const char16_t kUnits[] = {u'a', u'b', u'a', u'b', u' ', u'\t', u'A', u'Z', u'\u00e9', u'\xd800', u'\0'};
    U16 text(rng.Below(static_cast<uint32_t>(longest) + 1), u'a');
    for (char16_t& c : text) c = kUnits[rng.Below(sizeof kUnits / sizeof kUnits[0])];
    return text;
}

// ---- numbers ----

template <class Unsigned>
Unsigned ParseModel(const U16& t) {
    size_t i = 0, n = t.size();
    while (i < n && (t[i] == ' ' || (t[i] >= 9 && t[i] <= 13))) ++i;
    bool negative = false;
    if (i < n && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    Unsigned value = 0;
    auto digit = [](char16_t c, int base) {
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
        return d < base ? d : -1;
    };
    int base = 10;
    if (i < n && (t[i] == '%' || t[i] == '$')) base = t[i++] == '%' ? 2 : 16;
    for (; i < n && digit(t[i], base) >= 0; ++i) value = value * base + static_cast<Unsigned>(digit(t[i], base));
    return negative ? Unsigned(0) - value : value;
}

void Numbers(Rng& rng) {
    static const char16_t kUnits[] = u" \t\n+-%$0123456789abcdefABCDEFxe.E\u0660\u00b2";
    U16 text(rng.Below(24), u'0');
    for (char16_t& c : text) c = kUnits[rng.Below(sizeof kUnits / sizeof kUnits[0] - 1)];
    String* s = Make(text);
    Expect(s->ToInt() == static_cast<int>(ParseModel<uint32_t>(text)), "ToInt");
    Expect(s->ToLong() == static_cast<int64_t>(ParseModel<uint64_t>(text)), "ToLong");
    // Any value will do for these (the C library decides it); they must return.
    s->ToDouble();
    s->ToFloat();
    // The round trips of the number texts.
    int64_t value = static_cast<int64_t>(rng.Next());
    Expect(String::FromLong(value)->ToLong() == value, "FromLong round trip");
    Expect(String::FromInt(static_cast<int>(value))->ToInt() == static_cast<int>(value), "FromInt round trip");
}

// ---- strings against a model ----

int FindModel(const U16& s, const U16& sub, int start) {
    int64_t i = start < 0 ? 0 : start;
    for (; i + static_cast<int64_t>(sub.size()) <= static_cast<int64_t>(s.size()); ++i) {
        if (s.compare(static_cast<size_t>(i), sub.size(), sub) == 0) return static_cast<int>(i);
    }
    return -1;
}

int FindLastModel(const U16& s, const U16& sub, int start) {
    int64_t i = static_cast<int64_t>(s.size()) - start;
    int64_t last = static_cast<int64_t>(s.size()) - static_cast<int64_t>(sub.size());
    if (i > last) i = last;
    for (; i >= 0; --i) {
        if (s.compare(static_cast<size_t>(i), sub.size(), sub) == 0) return static_cast<int>(i);
    }
    return -1;
}

constexpr int64_t kLongestString = (0x7fff0000 - 12) / 2;

void ExpectSlice(const U16& s, int start, int end) {
    int64_t count = static_cast<int64_t>(end) - start;
    if (count > kLongestString) {
        bool refused = false;
        try {
            Slice(Make(s), start, end);
        } catch (ThrownObject&) {
            refused = true;
        }
        Expect(refused, "Slice of more than a string can hold");
        return;
    }
    U16 model;
    for (int64_t k = 0; k < count; ++k) {
        int64_t at = start + k;
        model += at >= 0 && at < static_cast<int64_t>(s.size()) ? s[static_cast<size_t>(at)] : u' ';
    }
    Expect(Units(Slice(Make(s), start, end)) == model, "Slice");
}

U16 ReplaceModel(const U16& s, const U16& with, const U16& by) {
    if (with.empty()) return s;
    U16 out;
    size_t from = 0;
    for (size_t i = s.find(with); i != U16::npos; i = s.find(with, from)) {
        out += s.substr(from, i - from) + by;
        from = i + with.size();
    }
    return out + s.substr(from);
}

std::vector<U16> SplitModel(const U16& s, const U16& separator) {
    if (separator.empty()) return {s};
    std::vector<U16> pieces;
    size_t from = 0;
    for (size_t i = s.find(separator); i != U16::npos; i = s.find(separator, from)) {
        pieces.push_back(s.substr(from, i - from));
        from = i + separator.size();
    }
    pieces.push_back(s.substr(from));
    return pieces;
}

U16 TrimModel(const U16& s) {
    size_t first = 0, last = s.size();
    while (first < last && s[first] < 33) ++first;
    while (last > first && s[last - 1] < 33) --last;
    return s.substr(first, last - first);
}

void Strings(Rng& rng) {
    U16 s = Text(rng), sub = Text(rng, 3), by = Text(rng, 4);
    String* str = Make(s);
    String* substr = Make(sub);
    int start = rng.Int(14);
    Expect(str->Find(substr, start) == FindModel(s, sub, start), "Find");
    Expect(str->FindLast(substr, start) == FindLastModel(s, sub, start), "FindLast");
    Expect(str->StartsWith(substr) == (s.compare(0, sub.size(), sub) == 0 && s.size() >= sub.size()), "StartsWith");
    Expect(str->EndsWith(substr) ==
               (s.size() >= sub.size() && s.compare(s.size() - sub.size(), sub.size(), sub) == 0),
           "EndsWith");
    Expect(str->Contains(substr) == (FindModel(s, sub, 0) != -1), "Contains");
    ExpectSlice(s, rng.Int(14), rng.Int(14));
    String* replaced = str->Replace(substr, Make(by));
    Expect(Units(replaced) == ReplaceModel(s, sub, by), "Replace");
    Expect((replaced == str) == (sub.empty() || s.find(sub) == U16::npos), "Replace gives the receiver unchanged");
    String* trimmed = str->Trim();
    Expect(Units(trimmed) == TrimModel(s), "Trim");
    Expect((trimmed == str) == (TrimModel(s).size() == s.size()), "Trim gives the receiver when nothing goes");
    U16 lower = s, upper = s;
    for (char16_t& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c;
    for (char16_t& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char16_t>(c - 32) : c;
    Expect(Units(str->ToLower()) == lower && Units(str->ToUpper()) == upper, "ToLower and ToUpper");
    Array* pieces = str->Split(substr);
    std::vector<U16> model = SplitModel(s, sub);
    Expect(pieces->Length() == static_cast<int>(model.size()), "Split count");
    U16 joined;
    for (int i = 0; i < pieces->Length(); ++i) {
        Expect(Units(pieces->StringAt(i)) == model[static_cast<size_t>(i)], "Split piece");
        joined += (i ? by : U16()) + model[static_cast<size_t>(i)];
    }
    Expect(Units(Make(by)->Join(pieces)) == joined, "Join");
    Expect(Units(Concat(str, substr, Make(by))) == s + sub + by, "Concat");
    int cmp = str->Compare(substr);
    int model_cmp = s.compare(sub);
    Expect((cmp < 0) == (model_cmp < 0) && (cmp == 0) == (model_cmp == 0), "Compare");
}

// ---- containers against std::list and std::map ----

void Containers(Rng& rng) {
    String* values[8];
    for (int i = 0; i < 8; ++i) values[i] = String::FromInt(i);
    TList* list = new TList();
    std::list<int> listModel;
    TMap* map = new TMap();
    std::map<int, int> mapModel;
    int ops = static_cast<int>(rng.Below(60));
    for (int op = 0; op < ops; ++op) {
        int v = static_cast<int>(rng.Below(8));
        switch (rng.Below(10)) {
        case 0: list->AddFirst(values[v]); listModel.push_front(v); break;
        case 1: list->AddLast(values[v]); listModel.push_back(v); break;
        case 2: {
            Object* first = list->RemoveFirst();
            Expect(listModel.empty() ? IsNull(first) : first == values[listModel.front()], "RemoveFirst");
            if (!listModel.empty()) listModel.pop_front();
            break;
        }
        case 3: {
            Object* last = list->RemoveLast();
            Expect(listModel.empty() ? IsNull(last) : last == values[listModel.back()], "RemoveLast");
            if (!listModel.empty()) listModel.pop_back();
            break;
        }
        case 4: {
            auto it = std::find(listModel.begin(), listModel.end(), v);
            Expect(list->Remove(values[v]) == (it != listModel.end()), "TList Remove");
            if (it != listModel.end()) listModel.erase(it);
            break;
        }
        case 5: {
            if (listModel.empty()) break;
            int index = static_cast<int>(rng.Below(static_cast<uint32_t>(listModel.size())));
            Expect(list->ValueAtIndex(index) == values[*std::next(listModel.begin(), index)], "ValueAtIndex");
            break;
        }
        case 6: list->Reverse(); listModel.reverse(); break;
        case 7: map->Insert(values[v], values[(v + 3) % 8]); mapModel[v] = (v + 3) % 8; break;
        case 8: Expect(map->Remove(values[v]) == static_cast<int>(mapModel.erase(v)), "TMap Remove"); break;
        default: {
            Object* found = map->ValueForKey(values[v]);
            Expect(mapModel.count(v) ? found == values[mapModel[v]] : IsNull(found), "ValueForKey");
        }
        }
        Expect(list->Count() == static_cast<int>(listModel.size()), "Count");
    }
    auto it = listModel.begin();
    for (Object* value : *list) Expect(value == values[*it++], "list order");
    auto key = mapModel.begin();
    for (TNode* node = map->FirstNode(); node != NilNode.get(); node = node->NextNode(), ++key) {
        Expect(key != mapModel.end() && node->Key() == values[key->first], "map order");
    }
    Expect(key == mapModel.end(), "map size");
}

// ---- banks against a byte vector ----

void Banks(Rng& rng) {
    std::vector<uint8_t> model(rng.Below(64));
    TBank* bank = CreateBank(static_cast<int>(model.size()));
    std::memset(bank->Buf(), 0, model.size());
    int ops = static_cast<int>(rng.Below(40));
    for (int op = 0; op < ops; ++op) {
        static const int kWidths[] = {1, 2, 4, 8};
        int width = kWidths[rng.Below(4)];
        int offset = rng.Int(static_cast<int>(model.size()) + 4);
        bool inside = offset >= 0 && offset <= static_cast<int>(model.size()) - width;
        uint64_t value = rng.Next();
        try {
            switch (rng.Below(3)) {
            case 0: {
                if (width == 1) bank->PokeByte(offset, static_cast<int>(value));
                if (width == 2) bank->PokeShort(offset, static_cast<int>(value));
                if (width == 4) bank->PokeInt(offset, static_cast<int>(value));
                if (width == 8) bank->PokeLong(offset, static_cast<int64_t>(value));
                Expect(inside, "a poke outside the bank was let through");
                std::memcpy(&model[static_cast<size_t>(offset)], &value, static_cast<size_t>(width));
                break;
            }
            case 1: {
                uint64_t got = 0;
                if (width == 1) got = static_cast<uint64_t>(bank->PeekByte(offset));
                if (width == 2) got = static_cast<uint64_t>(bank->PeekShort(offset));
                if (width == 4) got = static_cast<uint32_t>(bank->PeekInt(offset));
                if (width == 8) got = static_cast<uint64_t>(bank->PeekLong(offset));
                Expect(inside, "a peek outside the bank was let through");
                uint64_t expected = 0;
                std::memcpy(&expected, &model[static_cast<size_t>(offset)], static_cast<size_t>(width));
                Expect(got == expected, "peek");
                break;
            }
            default: {
                // (A huge size is a real allocation when the memory is there.)
                int size = rng.OneIn(10) ? -static_cast<int>(rng.Below(9)) : static_cast<int>(rng.Below(300));
                size_t before = model.size();
                bank->Resize(size);
                model.resize(size < 0 ? 0 : static_cast<size_t>(size));
                // Grown bytes are undefined: the model takes what is there.
                if (model.size() > before) std::memcpy(&model[before], bank->Buf() + before, model.size() - before);
                break;
            }
            }
        } catch (ThrownObject&) {
            Expect(bank->Size() == static_cast<int>(model.size()), "a refused operation changed the size");
        }
    }
    Expect(bank->Size() == static_cast<int>(model.size()) &&
               (model.empty() || std::memcmp(bank->Buf(), model.data(), model.size()) == 0),
           "bank contents");
}

// ---- stream urls ----

// A device name as a path component would read the console or a port.
bool NamesADevice(const std::string& path) {
    std::string upper;
    for (char c : path) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "COM", "LPT", "CONIN$", "CONOUT$"}) {
        if (upper.find(device) != std::string::npos) return true;
    }
    return false;
}

void Urls(Rng& rng) {
    static const char* kProtocols[] = {"", "incbin::", "latin1::", "utf8::", "utf16be::", "utf16le::",
                                       "utf8::incbin::", "INCBIN::", "x::", "::", "incbin:"};
    static const char* kNames[] = {"glowline.png", "ALBA____.TTF", "fuzz-url.txt", "missing", ""};
    static const char kUnits[] = "abz./\\:_*?<>|%-~ \t";
    std::string path = kNames[rng.Below(5)];
    if (rng.OneIn(2)) {
        path = std::string(rng.Below(16), 'a');
        for (char& c : path) c = kUnits[rng.Below(sizeof kUnits - 1)];
    }
    if (NamesADevice(path) || path.rfind("//", 0) == 0 || path.rfind("\\\\", 0) == 0) return;
    String* url = Concat(String::FromCString(kProtocols[rng.Below(11)]), String::FromCString(path.c_str()));
    TStream* stream = OpenStream(url, 1, 0);
    if (IsNull(stream)) return;
    StreamCloser closer(stream);
    char buffer[64];
    stream->Read(buffer, static_cast<int>(rng.Below(sizeof buffer)));
    stream->Seek(rng.Int(64));
    stream->Eof();
    stream->ReadLine();
}

}  // namespace

int Rng::Int(int usual) {
    static const int kEdges[] = {INT_MAX, INT_MIN, INT_MAX - 1, INT_MIN + 1, 1 << 30, -(1 << 30)};
    uint32_t kind = Below(10);
    if (kind == 0) return kEdges[Below(6)];
    if (kind == 1) return -static_cast<int>(Below(static_cast<uint32_t>(usual) + 1));
    return static_cast<int>(Below(static_cast<uint32_t>(usual) + 1));
}

std::string Rng::Bytes(size_t count) {
    std::string out(count, '\0');
    for (char& c : out) c = static_cast<char>(Next());
    return out;
}

void Mutate(std::string& data, Rng& rng, size_t maxSize) {
    static const uint32_t kEdges[] = {0, 0x7f, 0x80, 0xff, 0x7fff, 0x8000, 0xffff, 0x7fffffff, 0x80000000, 0xffffffff};
    int edits = 1 + static_cast<int>(rng.Below(8));
    for (int e = 0; e < edits; ++e) {
        size_t at = data.empty() ? 0 : rng.Below(static_cast<uint32_t>(data.size()));
        switch (rng.Below(7)) {
        case 0:
            if (!data.empty()) data[at] = static_cast<char>(data[at] ^ (1 << rng.Below(8)));
            break;
        case 1:
            if (!data.empty()) data[at] = static_cast<char>(rng.Next());
            break;
        case 2: {
            uint32_t v = kEdges[rng.Below(10)];
            for (int k = 0; k < 4 && at + k < data.size(); ++k) data[at + k] = static_cast<char>(v >> (8 * k));
            break;
        }
        case 3:
            data.insert(at, rng.Bytes(1 + rng.Below(16)));
            break;
        case 4:
            data.erase(at, 1 + rng.Below(64));
            break;
        case 5:
            if (!data.empty()) data.insert(rng.Below(static_cast<uint32_t>(data.size())), data.substr(at, 1 + rng.Below(64)));
            break;
        default:
            if (rng.OneIn(4)) data.resize(at);
        }
    }
    if (data.size() > maxSize) data.resize(maxSize);
}

const Target kRuntimeTargets[] = {
    {"numbers", Numbers, 200000},
    {"strings", Strings, 100000},
    {"containers", Containers, 30000},
    {"banks", Banks, 50000},
    {"urls", Urls, 30000},
};
const int kRuntimeTargetCount = sizeof kRuntimeTargets / sizeof kRuntimeTargets[0];

}  // namespace fuzz
