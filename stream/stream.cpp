#include "stream/stream.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "runtime/exception.h"
#include "runtime/startup.h"

KV_DEFINE_CLASS(TIO, Object);
KV_DEFINE_CLASS(TStream, TIO);
KV_DEFINE_CLASS(TStreamWrapper, TStream);
KV_DEFINE_CLASS(TStreamStream, TStreamWrapper);
KV_DEFINE_CLASS(TCStream, TStream);
KV_DEFINE_CLASS(TStreamFactory, Object);
KV_DEFINE_CLASS(TStreamException, Object);
KV_DEFINE_CLASS(TStreamReadException, TStreamException);
KV_DEFINE_CLASS(TStreamWriteException, TStreamException);

// ---- TIO ----

TIO::~TIO() {}

int TIO::Eof() { return Pos() == Size(); }
int TIO::Pos() { return -1; }
int TIO::Size() { return 0; }
int TIO::Seek(int) { return -1; }
int TIO::Flush() { return 0; }
int TIO::Close() { return 0; }
int TIO::Read(void*, int) { RuntimeError("Stream is not readable"); }
int TIO::Write(const void*, int) { RuntimeError("Stream is not writeable"); }

// ---- TStream ----

int TStream::ReadBytes(void* buffer, int count) {
    char* at = static_cast<char*>(buffer);
    int left = count;
    while (left > 0 && !Eof()) {
        int n = Read(at, left);
        if (n <= 0) Throw(new TStreamReadException());
        at += n;
        left -= n;
    }
    return count;
}

int TStream::WriteBytes(const void* buffer, int count) {
    const char* at = static_cast<const char*>(buffer);
    int left = count;
    while (left > 0) {
        int n = Write(at, left);
        if (n <= 0) Throw(new TStreamWriteException());
        at += n;
        left -= n;
    }
    return count;
}

int TStream::SkipBytes(int count) {
    char scratch[1024];
    int left = count;
    while (left > 0 && !Eof()) {
        int n = Read(scratch, left < 1024 ? left : 1024);
        if (n <= 0) Throw(new TStreamReadException());
        left -= n;
    }
    return count;
}

// The typed values are stored as the machine holds them: little-endian.
template <class T>
static T ReadValue(TStream* stream) {
    T value{};
    stream->ReadBytes(&value, sizeof value);
    return value;
}

template <class T>
static void WriteValue(TStream* stream, T value) {
    stream->WriteBytes(&value, sizeof value);
}

int TStream::ReadByte() { return ReadValue<uint8_t>(this); }
void TStream::WriteByte(int value) { WriteValue(this, static_cast<uint8_t>(value)); }
int TStream::ReadShort() { return ReadValue<uint16_t>(this); }
void TStream::WriteShort(int value) { WriteValue(this, static_cast<uint16_t>(value)); }
int TStream::ReadInt() { return ReadValue<int32_t>(this); }
void TStream::WriteInt(int value) { WriteValue(this, static_cast<int32_t>(value)); }
int64_t TStream::ReadLong() { return ReadValue<int64_t>(this); }
void TStream::WriteLong(int64_t value) { WriteValue(this, value); }
float TStream::ReadFloat() { return ReadValue<float>(this); }
void TStream::WriteFloat(float value) { WriteValue(this, value); }
double TStream::ReadDouble() { return ReadValue<double>(this); }
void TStream::WriteDouble(double value) { WriteValue(this, value); }

namespace {

// A line's bytes as ReadLine collects them, 13 dropped. Runtime memory is
// taken by Take alone, once every byte has been read: the collection it may
// run can free a dropped wrapper of the stream, whose Close closes the
// stream being read (and frees the C library's buffer of a file).
class LineBytes {
public:
    void Add(unsigned char c) {
        if (c == 13) return;
        if (used_ == sizeof chunk_) Spill();
        chunk_[used_++] = c;
    }
    void Add(const unsigned char* bytes, int count) {
        for (int i = 0; i < count; ++i) Add(bytes[i]);
    }
    String* Take() {
        if (spilled_.empty()) return String::FromBytes(chunk_, used_);
        Spill();
        return String::FromBytes(spilled_.data(), static_cast<int>(spilled_.size()));
    }

private:
    void Spill() {
        spilled_.append(reinterpret_cast<const char*>(chunk_), static_cast<size_t>(used_));
        used_ = 0;
    }
    unsigned char chunk_[1024];
    int used_ = 0;
    std::string spilled_;  // the chunks before the current one, for long lines
};

}  // namespace

String* TStream::ReadLine() {
    LineBytes line;
    for (;;) {
        unsigned char c;
        if (Read(&c, 1) != 1 || c == 0 || c == 10) break;
        line.Add(c);
    }
    return line.Take();
}

bool TStream::PlainBytes() { return false; }

// The low byte of every character.
static std::vector<unsigned char> LowBytes(String* text) {
    std::vector<unsigned char> bytes(static_cast<size_t>(text->length));
    const char16_t* in = text->Text();
    for (int i = 0; i < text->length; ++i) bytes[static_cast<size_t>(i)] = static_cast<unsigned char>(in[i]);
    return bytes;
}

int TStream::WriteLine(String* text) {
    std::vector<unsigned char> bytes = LowBytes(text);
    int n = static_cast<int>(bytes.size());
    static const unsigned char crlf[2] = {13, 10};
    bool whole = (n == 0 || Write(bytes.data(), n) == n);
    return Write(crlf, 2) == 2 && whole ? 1 : 0;
}

String* TStream::ReadString(int length) {
    if (length <= 0) return EmptyString();
    Array* bytes = NewArray("b", length);
    ReadBytes(bytes->Data(), length);
    return String::FromBytes(bytes->Data(), length);
}

void TStream::WriteString(String* text) {
    std::vector<unsigned char> bytes = LowBytes(text);
    if (!bytes.empty()) WriteBytes(bytes.data(), static_cast<int>(bytes.size()));
}

Object* TStream::ReadObject() { ThrowCError("Unable to read object"); }
void TStream::WriteObject(Object*) { ThrowCError("Unable to write object"); }

// ---- TStreamWrapper ----

TStreamWrapper::~TStreamWrapper() {
    try {
        TStreamWrapper::Close();
    } catch (...) {
    }
}

int TStreamWrapper::Eof() { return stream->Eof(); }
int TStreamWrapper::Pos() { return stream->Pos(); }
int TStreamWrapper::Size() { return stream->Size(); }
int TStreamWrapper::Seek(int pos) { return stream->Seek(pos); }
int TStreamWrapper::Flush() { return stream->Flush(); }
int TStreamWrapper::Close() { return IsNull(stream) ? 0 : stream->Close(); }
int TStreamWrapper::Read(void* buffer, int count) { return stream->Read(buffer, count); }
int TStreamWrapper::Write(const void* buffer, int count) { return stream->Write(buffer, count); }
int TStreamWrapper::ReadByte() { return stream->ReadByte(); }
void TStreamWrapper::WriteByte(int value) { stream->WriteByte(value); }
int TStreamWrapper::ReadShort() { return stream->ReadShort(); }
void TStreamWrapper::WriteShort(int value) { stream->WriteShort(value); }
int TStreamWrapper::ReadInt() { return stream->ReadInt(); }
void TStreamWrapper::WriteInt(int value) { stream->WriteInt(value); }
int64_t TStreamWrapper::ReadLong() { return stream->ReadLong(); }
void TStreamWrapper::WriteLong(int64_t value) { stream->WriteLong(value); }
float TStreamWrapper::ReadFloat() { return stream->ReadFloat(); }
void TStreamWrapper::WriteFloat(float value) { stream->WriteFloat(value); }
double TStreamWrapper::ReadDouble() { return stream->ReadDouble(); }
void TStreamWrapper::WriteDouble(double value) { stream->WriteDouble(value); }
void TStreamWrapper::SetStream(TStream* wrapped) { stream = wrapped; }

bool TStreamWrapper::PlainBytes() {
    bool plainClass = Class() == &TStreamWrapper::classRecord || Class() == &TStreamStream::classRecord;
    return plainClass && !IsNull(stream) && stream->PlainBytes();
}

// ---- TStreamStream ----

// Detaching first keeps the wrapper's own destructor from closing the stream.
TStreamStream::~TStreamStream() { TStreamStream::Close(); }

int TStreamStream::Close() {
    stream = NullOf<TStream>();
    return 0;
}

TStreamStream* TStreamStream::Create(TStream* wrapped) {
    TStreamStream* s = new TStreamStream();
    s->SetStream(wrapped);
    return s;
}

// ---- TCStream ----

// Positions beyond the 32-bit range cannot be stored in a stream position.
static int ClampPosition(int64_t position) {
    if (position < 0) return -1;
    return position > INT_MAX ? INT_MAX : static_cast<int>(position);
}

TCStream::~TCStream() { TCStream::Close(); }

int TCStream::Pos() { return pos; }
int TCStream::Size() { return size; }

int TCStream::Seek(int to) {
    if (!file) return -1;
    _fseeki64(file, to, SEEK_SET);
    lastOp_ = 0;
    pos = ClampPosition(_ftelli64(file));
    return pos;
}

int TCStream::Flush() {
    if (!file) return 0;
    return std::fflush(file) == 0 ? 0 : -1;
}

int TCStream::Close() {
    if (!file) return 0;
    int flushed = std::fflush(file);
    int closed = std::fclose(file);
    file = nullptr;
    pos = 0;
    size = 0;
    lastOp_ = 0;
    return flushed == 0 && closed == 0 ? 0 : -1;
}

void TCStream::SwitchDirection(int op) {
    if (lastOp_ != 0 && lastOp_ != op) _fseeki64(file, 0, SEEK_CUR);
    lastOp_ = op;
}

int TCStream::Read(void* buffer, int count) {
    if (!file || count <= 0) return 0;
    SwitchDirection(MODE_READ);
    int n;
    if (count == 1) {
        // Single bytes (ReadLine, text streams) come straight from the buffer,
        // without the C library's lock: the file is the stream's own.
        int c = _getc_nolock(file);
        n = c == EOF ? 0 : 1;
        if (n) *static_cast<unsigned char*>(buffer) = static_cast<unsigned char>(c);
    } else {
        n = static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(count), file));
    }
    if (pos >= 0) pos += n;
    return n;
}

// Where the line in bytes[0, count) ends: its first 10 or 0, else count.
static int LineEnd(const unsigned char* bytes, int count) {
    int end = 0;
    while (end < count && bytes[end] != 10 && bytes[end] != 0) ++end;
    return end;
}

// The unread bytes of the C library's buffer up to the line's end go into
// line and leave the buffer; true when the line ended among them. msvcrt's
// FILE is public: _ptr is the next unread byte, _cnt how many are left.
static bool TakeBufferedLine(FILE* file, LineBytes* line, int* moved) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(file->_ptr);
    const int count = file->_cnt > 0 ? file->_cnt : 0;
    const int end = LineEnd(bytes, count);
    line->Add(bytes, end);
    const bool ended = end < count;
    *moved = ended ? end + 1 : end;
    file->_ptr += *moved;
    file->_cnt -= *moved;
    return ended;
}

constexpr int kShortLine = 1024;

// The common case: a line of at most kShortLine bytes whose end (10 or 0) is
// already in the C library's buffer. Its characters, without the 13s, go to
// units and the line leaves the buffer; returns how many, or -1 with nothing
// moved. The caller makes the string only afterwards (see LineBytes).
static int TakeShortLine(FILE* file, char16_t* units, int* moved) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(file->_ptr);
    const int count = std::min(file->_cnt > 0 ? file->_cnt : 0, kShortLine + 1);
    const int end = LineEnd(bytes, count);
    if (end == count) return -1;
    int made = 0;
    for (int i = 0; i < end; ++i) {
        if (bytes[i] != 13) units[made++] = bytes[i];
    }
    *moved = end + 1;
    file->_ptr += *moved;
    file->_cnt -= *moved;
    return made;
}

String* TCStream::ReadLine() {
    if (!PlainBytes() || !file) return TStream::ReadLine();
    SwitchDirection(MODE_READ);
    char16_t units[kShortLine];
    int moved = 0;
    const int made = TakeShortLine(file, units, &moved);
    if (made >= 0) {
        if (pos >= 0) pos += moved;
        return String::FromShorts(units, made);
    }
    LineBytes line;
    for (;;) {
        moved = 0;
        bool ended = TakeBufferedLine(file, &line, &moved);
        if (pos >= 0) pos += moved;
        if (ended) break;
        int c = _getc_nolock(file);  // the buffer is empty: this fills it
        if (c == EOF) break;
        if (pos >= 0) ++pos;
        if (c == 0 || c == 10) break;
        line.Add(static_cast<unsigned char>(c));
    }
    return line.Take();
}

bool TCStream::PlainBytes() { return Class() == &classRecord; }

int TCStream::Write(const void* buffer, int count) {
    if (!file || count <= 0) return 0;
    SwitchDirection(MODE_WRITE);
    int n;
    if (count == 1) {
        n = _putc_nolock(*static_cast<const unsigned char*>(buffer), file) == EOF ? 0 : 1;
    } else {
        n = static_cast<int>(std::fwrite(buffer, 1, static_cast<size_t>(count), file));
    }
    if (pos >= 0) {
        pos += n;
        if (pos > size) size = pos;
    }
    return n;
}

TCStream* TCStream::OpenFile(String* path, int readable, int writeable) {
    String* fixed = path->Replace(u"\\"_s, u"/"_s);
    const wchar_t* how = readable && writeable ? L"r+b" : writeable ? L"wb" : L"rb";
    int mode = readable && writeable ? MODE_READ | MODE_WRITE : writeable ? MODE_WRITE : MODE_READ;
    char16_t* name = fixed->ToWString();
    FILE* handle = _wfopen(reinterpret_cast<const wchar_t*>(name), how);
    MemFreeBlock(name);
    if (!handle) return NullOf<TCStream>();
    return CreateWithCStream(handle, mode);
}

TCStream* TCStream::CreateWithCStream(FILE* handle, int mode) {
    TCStream* s = new TCStream();
    s->file = handle;
    s->mode = mode;
    int64_t at = _ftelli64(handle);
    if (at < 0) {
        s->pos = -1;  // no position: the stream cannot seek
        s->size = 0;
        return s;
    }
    s->pos = ClampPosition(at);
    if (_fseeki64(handle, 0, SEEK_END) == 0) s->size = ClampPosition(_ftelli64(handle));
    _fseeki64(handle, at, SEEK_SET);
    if (s->size < s->pos) s->size = s->pos;
    return s;
}

// ---- factories ----

// Invariant: the chain is linked only through succ, each factory holding a
// counted reference to the one created before it; this global holds the newest.
static Ref<TStreamFactory> factoryChain;

TStreamFactory::TStreamFactory() {
    succ = factoryChain;
    factoryChain = this;
}

TStreamFactory* StreamFactories() { return factoryChain; }

String* TStreamReadException::ToString() { return u"Error reading from stream"_s; }
String* TStreamWriteException::ToString() { return u"Error writing to stream"_s; }

// ---- opening ----

TStream* OpenStream(Object* url, int readable, int writeable) {
    if (IsA<TStream>(url)) return TStreamStream::Create(static_cast<TStream*>(url));
    String* text = IsA<String>(url) ? static_cast<String*>(url) : EmptyString();
    int split = text->Find(u"::"_s);
    if (text->length > 0 && split < 0) return TCStream::OpenFile(text, readable, writeable);
    String* protocol = EmptyString();
    String* path = EmptyString();
    if (split >= 0) {
        protocol = Slice(text, 0, split)->ToLower();
        path = Slice(text, split + 2, text->length);
    }
    for (TStreamFactory* f = factoryChain; !IsNull(f); f = f->succ) {
        TStream* s = f->CreateStream(url, protocol, path, readable, writeable);
        if (!IsNull(s)) return s;
    }
    return NullOf<TStream>();
}

TStream* ReadStream(Object* url) { return OpenStream(url, 1, 0); }
TStream* WriteStream(Object* url) { return OpenStream(url, 0, 1); }

// ---- module functions ----

int Eof(TStream* stream) { return Checked(stream)->Eof(); }
int StreamPos(TStream* stream) { return Checked(stream)->Pos(); }
int StreamSize(TStream* stream) { return Checked(stream)->Size(); }
int SeekStream(TStream* stream, int pos) { return Checked(stream)->Seek(pos); }
int FlushStream(TStream* stream) { return Checked(stream)->Flush(); }
int CloseStream(TStream* stream) { return Checked(stream)->Close(); }
int ReadByte(TStream* stream) { return Checked(stream)->ReadByte(); }
int ReadShort(TStream* stream) { return Checked(stream)->ReadShort(); }
int ReadInt(TStream* stream) { return Checked(stream)->ReadInt(); }
int64_t ReadLong(TStream* stream) { return Checked(stream)->ReadLong(); }
float ReadFloat(TStream* stream) { return Checked(stream)->ReadFloat(); }
double ReadDouble(TStream* stream) { return Checked(stream)->ReadDouble(); }
void WriteByte(TStream* stream, int value) { Checked(stream)->WriteByte(value); }
void WriteShort(TStream* stream, int value) { Checked(stream)->WriteShort(value); }
void WriteInt(TStream* stream, int value) { Checked(stream)->WriteInt(value); }
void WriteLong(TStream* stream, int64_t value) { Checked(stream)->WriteLong(value); }
void WriteFloat(TStream* stream, float value) { Checked(stream)->WriteFloat(value); }
void WriteDouble(TStream* stream, double value) { Checked(stream)->WriteDouble(value); }
String* ReadLine(TStream* stream) { return Checked(stream)->ReadLine(); }
int WriteLine(TStream* stream, String* text) { return Checked(stream)->WriteLine(text); }
String* ReadString(TStream* stream, int length) { return Checked(stream)->ReadString(length); }
void WriteString(TStream* stream, String* text) { Checked(stream)->WriteString(text); }

// ---- copying, loading and saving ----

void CopyStream(TStream* from, TStream* to, int bufferSize) {
    Checked(from);
    Checked(to);
    if (bufferSize <= 0) bufferSize = 4096;
    std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(bufferSize)]);
    while (!from->Eof()) {
        int n = from->Read(buffer.get(), bufferSize);
        // A stream that cannot tell its end (a pipe) gives nothing more here.
        if (n <= 0) break;
        to->WriteBytes(buffer.get(), n);
    }
}

void CopyBytes(TStream* from, TStream* to, int count, int bufferSize) {
    Checked(from);
    Checked(to);
    if (bufferSize <= 0) bufferSize = 4096;
    std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(bufferSize)]);
    while (count > 0) {
        int n = count < bufferSize ? count : bufferSize;
        // Bytes the end of the source leaves unread are written as 0, not as
        // what the buffer held before.
        std::memset(buffer.get(), 0, static_cast<size_t>(n));
        from->ReadBytes(buffer.get(), n);
        to->WriteBytes(buffer.get(), n);
        count -= n;
    }
}

Array* ReadRemainingBytes(TStream* stream) {
    std::vector<unsigned char> buffer(1024);
    size_t used = 0;
    while (!stream->Eof()) {
        if (used == buffer.size()) {
            size_t grown = buffer.size() * 3 / 2;
            if (grown > static_cast<size_t>(INT_MAX)) RuntimeError("Stream too large");
            buffer.resize(grown);
        }
        int n = stream->Read(buffer.data() + used, static_cast<int>(buffer.size() - used));
        if (n <= 0) break;  // nothing more to get: never spin on a stream that cannot tell its end
        used += static_cast<size_t>(n);
    }
    Array* bytes = NewArray("b", static_cast<int>(used));
    if (used) std::memcpy(bytes->Data(), buffer.data(), used);
    return bytes;
}

Array* LoadByteArray(Object* url) {
    TStream* stream = ReadStream(url);
    if (IsNull(stream)) return EmptyArray();
    StreamCloser closer(stream);
    return ReadRemainingBytes(stream);
}

String* LoadString(Object* url) {
    Array* bytes = LoadByteArray(url);
    return String::FromBytes(bytes->Data(), bytes->Length());
}

void SaveByteArray(Array* array, Object* url) {
    TStream* stream = WriteStream(url);
    if (IsNull(stream)) return;
    StreamCloser closer(stream);
    if (array->dataSize > 0) stream->WriteBytes(array->Data(), array->dataSize);
}

void SaveString(String* text, Object* url) {
    TStream* stream = WriteStream(url);
    if (IsNull(stream)) return;
    StreamCloser closer(stream);
    std::vector<unsigned char> bytes = LowBytes(text);
    if (!bytes.empty()) stream->WriteBytes(bytes.data(), static_cast<int>(bytes.size()));
}

Object* LoadObject(Object* url) {
    TStream* stream = ReadStream(url);
    if (IsNull(stream)) return NullObject();
    StreamCloser closer(stream);
    return stream->ReadObject();
}

void SaveObject(Object* object, Object* url) {
    TStream* stream = WriteStream(url);
    if (IsNull(stream)) return;
    StreamCloser closer(stream);
    stream->WriteObject(object);
}

void StartStreamModule() {
    KV_START_ONCE();
    StartRuntimeCore();
}
