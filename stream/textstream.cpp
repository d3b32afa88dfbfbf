#include "stream/textstream.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/exception.h"
#include "runtime/startup.h"

KV_DEFINE_CLASS(TTextStream, TStreamWrapper);
KV_DEFINE_CLASS(TTextStreamFactory, TStreamFactory);

// ---- raw bytes and pending line ends ----

int TTextStream::ReadRawByte() { return stream->ReadByte() & 255; }
void TTextStream::WriteRawByte(int value) { stream->WriteByte(value & 255); }

void TTextStream::ReadPendingEOL() {
    if (hexCount == 0) return;
    int c = ReadRawByte();
    if (c == 13) c = ReadRawByte();
    if (c != 10) ThrowCError("Malformed line terminator");
    hexCount = 0;
}

void TTextStream::WritePendingEOL() {
    if (hexCount == 0) return;
    WriteRawByte(13);
    WriteRawByte(10);
    hexCount = 0;
}

// A digit above "9" is taken as one of "A" to "F"; nothing else is checked.
static int HexValue(int digit) { return digit > '9' ? digit - 'A' + 10 : digit - '0'; }

int TTextStream::Read(void* buffer, int count) {
    unsigned char* out = static_cast<unsigned char*>(buffer);
    for (int i = 0; i < count; ++i) {
        if (hexCount == 32) ReadPendingEOL();
        int high = HexValue(ReadRawByte());
        int low = HexValue(ReadRawByte());
        out[i] = static_cast<unsigned char>((high << 4) | (low & 15));
        ++hexCount;
    }
    return count > 0 ? count : 0;
}

int TTextStream::Write(const void* buffer, int count) {
    static const char digits[] = "0123456789ABCDEF";
    const unsigned char* in = static_cast<const unsigned char*>(buffer);
    for (int i = 0; i < count; ++i) {
        WriteRawByte(digits[in[i] >> 4]);
        WriteRawByte(digits[in[i] & 15]);
        if (++hexCount == 32) {
            WriteRawByte(13);
            WriteRawByte(10);
            hexCount = 0;
        }
    }
    return count > 0 ? count : 0;
}

// ---- characters ----

namespace {

// How many bytes a character takes, from its first byte. UTF-8 is not
// validated: a four-byte sequence stops after three bytes (and reads as 0).
template <int kEncoding>
int CharLength(int first) {
    if (kEncoding == ENCODING_UTF8) return first < 128 ? 1 : first < 224 ? 2 : 3;
    if (kEncoding == ENCODING_UTF16BE || kEncoding == ENCODING_UTF16LE) return 2;
    return 1;
}

// A character from its bytes; bytes past the end of the stream are 0.
template <int kEncoding>
int CharValue(const int* b) {
    switch (kEncoding) {
        case ENCODING_UTF8:
            if (b[0] < 128) return b[0];
            if (b[0] < 224) return ((b[0] - 192) * 64 + (b[1] - 128)) & 0xffff;
            if (b[0] < 240) return ((b[0] - 224) * 4096 + (b[1] - 128) * 64 + (b[2] - 128)) & 0xffff;
            return 0;
        case ENCODING_UTF16BE:
            return b[0] << 8 | b[1];
        case ENCODING_UTF16LE:
            return b[1] << 8 | b[0];
        default:
            return b[0];
    }
}

template <int kEncoding>
int ReadCharOf(TTextStream* text) {
    int b[3] = {text->ReadRawByte(), 0, 0};
    const int length = CharLength<kEncoding>(b[0]);
    for (int i = 1; i < length; ++i) b[i] = text->ReadRawByte();
    return CharValue<kEncoding>(b);
}

// The UTF-8 characters of bytes[0, count) that start at least two bytes
// before its end, so that none is cut off and no byte needs a bounds check.
// Returns the bytes used; out moves past the characters made.
int DecodeUtf8Body(const unsigned char* bytes, int count, char16_t** out) {
    char16_t* to = *out;
    int at = 0;
    while (at < count - 2) {
        const int first = bytes[at];
        int c;
        if (first < 128) {
            c = first;
            at += 1;
        } else if (first < 224) {
            c = (first - 192) * 64 + (bytes[at + 1] - 128);
            at += 2;
        } else {
            c = first < 240 ? (first - 224) * 4096 + (bytes[at + 1] - 128) * 64 + (bytes[at + 2] - 128) : 0;
            at += 3;
        }
        *to++ = static_cast<char16_t>(c);
    }
    *out = to;
    return at;
}

// Decodes the whole characters at the start of bytes[0, count) into out,
// which has room for MostCharacters of them; with atEnd, a character cut off by
// the end is decoded too. Returns the bytes used; *made, the characters.
template <int kEncoding>
int DecodeRun(const unsigned char* bytes, int count, bool atEnd, char16_t* out, int* made) {
    char16_t* const start = out;
    int at = kEncoding == ENCODING_UTF8 ? DecodeUtf8Body(bytes, count, &out) : 0;
    while (at < count) {
        const int first = bytes[at];
        if (kEncoding == ENCODING_UTF8 && first < 128) {  // the common case, one byte
            *out++ = static_cast<char16_t>(first);
            ++at;
            continue;
        }
        const int length = CharLength<kEncoding>(first);
        if (at + length > count && !atEnd) break;
        int b[3] = {first, 0, 0};
        for (int i = 1; i < length && at + i < count; ++i) b[i] = bytes[at + i];
        *out++ = static_cast<char16_t>(CharValue<kEncoding>(b));
        at += length;
    }
    *made = static_cast<int>(out - start);
    return at < count ? at : count;
}

int DecodeRunIn(int encoding, const unsigned char* bytes, int count, bool atEnd, char16_t* out, int* made) {
    switch (encoding) {
        case ENCODING_UTF8: return DecodeRun<ENCODING_UTF8>(bytes, count, atEnd, out, made);
        case ENCODING_UTF16BE: return DecodeRun<ENCODING_UTF16BE>(bytes, count, atEnd, out, made);
        case ENCODING_UTF16LE: return DecodeRun<ENCODING_UTF16LE>(bytes, count, atEnd, out, made);
        default: return DecodeRun<ENCODING_LATIN1>(bytes, count, atEnd, out, made);
    }
}

// How many characters `count` bytes can make at most.
int MostCharacters(int encoding, int count) {
    if (count <= 0) return 0;
    return encoding == ENCODING_UTF16BE || encoding == ENCODING_UTF16LE ? count / 2 + 1 : count;
}

// Characters decoded straight into a string from NewString, which is cut to
// what was made at the end: text read whole is written once, not built up
// and copied (unless the cut would waste much of the string; see
// CutNewString). The string is held here, where the collector's stack scan
// finds it.
class DecodedText {
public:
    // At most `expected` characters, the usual case; more grow the string.
    explicit DecodedText(int expected) : text_(NewString(expected > 0 ? expected : 0)) {}

    // Decodes the whole characters at the start of bytes[0, count) (with
    // atEnd, a cut-off one too); returns the bytes used.
    int Append(int encoding, const unsigned char* bytes, int count, bool atEnd) {
        const int most = MostCharacters(encoding, count);
        if (most > text_->length - made_) Grow(most);
        int made = 0;
        int used = DecodeRunIn(encoding, bytes, count, atEnd, text_->Text() + made_, &made);
        made_ += made;
        return used;
    }

    String* Take() { return CutNewString(text_, made_); }

private:
    // Room for `count` more characters, at least doubling.
    void Grow(int count) {
        int64_t want = std::max<int64_t>(2 * static_cast<int64_t>(text_->length), made_ + static_cast<int64_t>(count));
        if (want > INT_MAX / 2) want = made_ + static_cast<int64_t>(count);
        String* bigger = NewString(static_cast<int>(want));
        std::memcpy(bigger->Text(), text_->Text(), 2 * static_cast<size_t>(made_));
        text_ = bigger;
    }

    String* text_;
    int made_ = 0;
};

}  // namespace

int TTextStream::ReadChar() {
    switch (encoding) {
        case ENCODING_UTF8: return ReadCharOf<ENCODING_UTF8>(this);
        case ENCODING_UTF16BE: return ReadCharOf<ENCODING_UTF16BE>(this);
        case ENCODING_UTF16LE: return ReadCharOf<ENCODING_UTF16LE>(this);
        default: return ReadCharOf<ENCODING_LATIN1>(this);
    }
}

void TTextStream::WriteChar(int c) {
    c &= 0xffff;
    switch (encoding) {
        case ENCODING_UTF8:
            if (c < 128) {
                WriteRawByte(c);
            } else if (c < 2048) {
                WriteRawByte(0xc0 + c / 64);
                WriteRawByte(0x80 + c % 64);
            } else {
                WriteRawByte(0xe0 + c / 4096);
                WriteRawByte(0x80 + (c / 64) % 64);
                WriteRawByte(0x80 + c % 64);
            }
            break;
        case ENCODING_UTF16BE:
            WriteRawByte(c >> 8);
            WriteRawByte(c);
            break;
        case ENCODING_UTF16LE:
            WriteRawByte(c);
            WriteRawByte(c >> 8);
            break;
        default:
            WriteRawByte(c);
    }
}

// ---- lines and strings ----

static String* FromUnits(const std::u16string& units) {
    return String::FromShorts(units.data(), static_cast<int>(units.size()));
}

String* TTextStream::ReadLine() {
    ReadPendingEOL();
    std::u16string line;
    while (!Eof()) {
        int c = ReadChar();
        if (c == 0 || c == 10) break;
        if (c == 13) continue;
        line.push_back(static_cast<char16_t>(c));
    }
    return FromUnits(line);
}

String* TTextStream::ReadFile() {
    ReadPendingEOL();
    if (Class() == &classRecord && !IsNull(stream) && stream->PlainBytes()) return ReadPlainToEnd();
    std::u16string text;
    while (!Eof()) text.push_back(static_cast<char16_t>(ReadChar()));
    return FromUnits(text);
}

// ReadFile over plain bytes, read in runs: a run is the bytes ReadByte would
// give one at a time, and the end is checked as ReadFile checks it. The bytes
// of a character that a run cut off come again at the start of the next.
String* TTextStream::ReadPlainToEnd() {
    constexpr int kRun = 64 * 1024;
    DecodedText text(MostCharacters(encoding, stream->Size() - stream->Pos()));
    std::vector<unsigned char> run(kRun + 2);
    int kept = 0;  // at most 2: the first bytes of a character
    while (!stream->Eof()) {
        int n = stream->Read(run.data() + kept, kRun);
        if (n <= 0) Throw(new TStreamReadException());
        int count = kept + n;
        int used = text.Append(encoding, run.data(), count, false);
        kept = count - used;
        std::memmove(run.data(), run.data() + used, static_cast<size_t>(kept));
    }
    text.Append(encoding, run.data(), kept, true);
    return text.Take();
}

String* TTextStream::ReadString(int length) {
    ReadPendingEOL();
    std::u16string text;
    for (int i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(ReadChar()));
    return FromUnits(text);
}

void TTextStream::WriteString(String* text) {
    WritePendingEOL();
    const char16_t* units = text->Text();
    for (int i = 0; i < text->length; ++i) WriteChar(units[i]);
}

int TTextStream::WriteLine(String* text) {
    WritePendingEOL();
    WriteString(text);
    WriteString(u"\r\n"_s);
    return 1;
}

// ---- typed values as decimal lines ----

int TTextStream::ReadByte() {
    ReadPendingEOL();
    return ReadLine()->ToInt();
}

int TTextStream::ReadShort() {
    ReadPendingEOL();
    return ReadLine()->ToInt();
}

int TTextStream::ReadInt() {
    ReadPendingEOL();
    return ReadLine()->ToInt();
}

int64_t TTextStream::ReadLong() {
    ReadPendingEOL();
    return ReadLine()->ToLong();
}

float TTextStream::ReadFloat() {
    ReadPendingEOL();
    return ReadLine()->ToFloat();
}

double TTextStream::ReadDouble() {
    ReadPendingEOL();
    return ReadLine()->ToDouble();
}

void TTextStream::WriteByte(int value) {
    WritePendingEOL();
    WriteLine(String::FromInt(value));
}

void TTextStream::WriteShort(int value) {
    WritePendingEOL();
    WriteLine(String::FromInt(value));
}

void TTextStream::WriteInt(int value) {
    WritePendingEOL();
    WriteLine(String::FromInt(value));
}

void TTextStream::WriteLong(int64_t value) { WriteLine(String::FromLong(value)); }
void TTextStream::WriteFloat(float value) { WriteLine(String::FromFloat(value)); }
void TTextStream::WriteDouble(double value) { WriteLine(String::FromDouble(value)); }

TTextStream* TTextStream::Create(TStream* wrapped, int encoding) {
    TTextStream* s = new TTextStream();
    s->SetStream(wrapped);
    s->encoding = encoding;
    return s;
}

// ---- the factory ----

static int EncodingOf(String* protocol) {
    if (Equals(protocol, u"latin1"_s)) return ENCODING_LATIN1;
    if (Equals(protocol, u"utf8"_s)) return ENCODING_UTF8;
    if (Equals(protocol, u"utf16be"_s)) return ENCODING_UTF16BE;
    if (Equals(protocol, u"utf16le"_s)) return ENCODING_UTF16LE;
    return 0;
}

TStream* TTextStreamFactory::CreateStream(Object*, String* protocol, String* path, int readable,
                                          int writeable) {
    int encoding = EncodingOf(protocol);
    if (!encoding) return NullOf<TStream>();
    TStream* inner = OpenStream(path, readable, writeable);
    if (IsNull(inner)) return NullOf<TStream>();
    return TTextStream::Create(inner, encoding);
}

// ---- whole texts ----

namespace {

// One byte with Read, so that a stream which cannot tell its end stops here
// instead of throwing.
bool NextByte(TStream* stream, unsigned char* byte) {
    return !stream->Eof() && stream->Read(byte, 1) == 1;
}

String* DecodeRest(TStream* stream, int encoding) {
    TTextStream* text = TTextStream::Create(stream, encoding);
    StreamCloser closer(text);  // closes the underlying stream too
    return text->ReadFile();
}

// ISO 8859-1: the bytes already looked at, then the rest of the stream, in a
// buffer that starts at 1024 bytes and doubles when full.
String* Latin1Rest(TStream* stream, const unsigned char* head, int headCount) {
    std::vector<unsigned char> bytes(1024);
    size_t used = static_cast<size_t>(headCount);
    for (int i = 0; i < headCount; ++i) bytes[static_cast<size_t>(i)] = head[i];
    while (!stream->Eof()) {
        if (used == bytes.size()) {
            if (bytes.size() > static_cast<size_t>(INT_MAX) / 2) RuntimeError("Stream too large");
            bytes.resize(bytes.size() * 2);
        }
        int n = stream->Read(bytes.data() + used, static_cast<int>(bytes.size() - used));
        if (n <= 0) break;
        used += static_cast<size_t>(n);
    }
    return String::FromBytes(bytes.data(), static_cast<int>(used));
}

}  // namespace

String* LoadText(Object* url) {
    TStream* stream = ReadStream(url);
    if (IsNull(stream)) return EmptyString();
    StreamCloser closer(stream);
    unsigned char head[3];
    int count = 0;
    if (!NextByte(stream, &head[count])) return EmptyString();
    ++count;
    if (NextByte(stream, &head[count])) {
        ++count;
        if (head[0] == 254 && head[1] == 255) return DecodeRest(stream, ENCODING_UTF16BE);
        if (head[0] == 255 && head[1] == 254) return DecodeRest(stream, ENCODING_UTF16LE);
        if (head[0] == 239 && head[1] == 187 && NextByte(stream, &head[count])) {
            ++count;
            if (head[2] == 191) return DecodeRest(stream, ENCODING_UTF8);
        }
    }
    return Latin1Rest(stream, head, count);
}

void SaveText(String* text, Object* url) {
    bool narrow = true;
    for (int i = 0; i < text->length && narrow; ++i) narrow = text->Text()[i] <= 255;
    if (narrow) {
        SaveString(text, url);
        return;
    }
    TStream* stream = WriteStream(url);
    if (IsNull(stream)) return;
    StreamCloser closer(stream);
    stream->WriteByte(255);
    stream->WriteByte(254);
    TTextStream* encoder = TTextStream::Create(stream, ENCODING_UTF16LE);
    StreamCloser closeEncoder(encoder);
    encoder->WriteString(text);
}

void StartTextStreamModule() {
    KV_START_ONCE();
    StartStreamModule();
    new TTextStreamFactory();
}
