// Streams: every byte source and sink of the system, opened from a url.
//
// A url is either a plain file path, opened at once as a C-library file
// stream, or protocol::path, offered to the chain of stream factories (newest
// first) with the protocol in lower case. A stream object itself passed as the
// url gives a wrapper whose Close leaves the given stream open.
//
// TIO holds the eight primitives, TStream the operations built on them. Typed
// values move in the machine's little-endian order. Failures throw: a read
// that moves nothing before the end throws TStreamReadException, a write that
// moves nothing TStreamWriteException; lookups that find no stream give the
// null object.
//
// Closing on release: C++ runs a destructor with the slots of its own class,
// so every class whose Close does work calls it from its own destructor too.
// Such destructors never let anything thrown escape.
#pragma once
#include <cstdint>
#include <cstdio>

#include "runtime/array.h"
#include "runtime/object.h"
#include "runtime/string.h"

class TIO : public Object {
    KV_CLASS(TIO, Object)
public:
    ~TIO() override;

    virtual int Eof();  // Pos() = Size()
    virtual int Pos();
    virtual int Size();
    virtual int Seek(int pos);
    virtual int Flush();
    virtual int Close();
    // Bytes actually moved, possibly fewer than asked; 0 when none could move.
    virtual int Read(void* buffer, int count);
    virtual int Write(const void* buffer, int count);
};

class TStream : public TIO {
    KV_CLASS(TStream, TIO)
public:
    // The count asked for, also when the end of the stream ended the loop early.
    virtual int ReadBytes(void* buffer, int count);
    virtual int WriteBytes(const void* buffer, int count);
    virtual int SkipBytes(int count);
    // Typed reads start from zero, so bytes the end of the stream did not
    // fill read as 0.
    virtual int ReadByte();  // 0..255
    virtual void WriteByte(int value);
    virtual int ReadShort();  // 0..65535
    virtual void WriteShort(int value);
    virtual int ReadInt();
    virtual void WriteInt(int value);
    virtual int64_t ReadLong();
    virtual void WriteLong(int64_t value);
    virtual float ReadFloat();
    virtual void WriteFloat(float value);
    virtual double ReadDouble();
    virtual void WriteDouble(double value);
    // One byte per character; the line ends at 0, 10 or the end of the
    // stream, and 13 is skipped wherever it appears.
    virtual String* ReadLine();
    // 1 when the text and its 13, 10 were written whole, else 0.
    virtual int WriteLine(String* text);
    virtual String* ReadString(int length);
    virtual void WriteString(String* text);
    virtual Object* ReadObject();
    virtual void WriteObject(Object* object);

    // True when ReadByte is exactly a one-byte Read that gives 0 at the end,
    // so that a reader may take runs of bytes with Read instead: the file,
    // RAM and bank streams of exactly their class, and the plain wrappers of
    // one. A subclass is not plain unless it says so.
    virtual bool PlainBytes();
};

// Forwards the primitives and the typed operations to the wrapped stream.
class TStreamWrapper : public TStream {
    KV_CLASS(TStreamWrapper, TStream)
public:
    Ref<TStream> stream;

    ~TStreamWrapper() override;

    int Eof() override;
    int Pos() override;
    int Size() override;
    int Seek(int pos) override;
    int Flush() override;
    int Close() override;  // closes the wrapped stream (nothing once detached)
    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;
    int ReadByte() override;
    void WriteByte(int value) override;
    int ReadShort() override;
    void WriteShort(int value) override;
    int ReadInt() override;
    void WriteInt(int value) override;
    int64_t ReadLong() override;
    void WriteLong(int64_t value) override;
    float ReadFloat() override;
    void WriteFloat(float value) override;
    double ReadDouble() override;
    void WriteDouble(double value) override;

    bool PlainBytes() override;

    virtual void SetStream(TStream* wrapped);
};

// A wrapper whose Close detaches the wrapped stream without closing it.
class TStreamStream : public TStreamWrapper {
    KV_CLASS(TStreamStream, TStreamWrapper)
public:
    ~TStreamStream() override;
    int Close() override;

    static TStreamStream* Create(TStream* wrapped);
};

// A file of the C library. Positions are 32-bit like every stream position;
// a handle that cannot tell its position (a pipe) has pos -1 and size 0, and
// its reads go on until the C library reports the end.
//
// The file handle is the stream's own, used on the main thread only (as every
// runtime object is): single bytes move without the C library's lock, which
// would cost far more than the byte.
class TCStream : public TStream {
    KV_CLASS(TCStream, TStream)
public:
    static constexpr int MODE_READ = 1;
    static constexpr int MODE_WRITE = 2;

    int pos = 0;
    int size = 0;
    FILE* file = nullptr;
    int mode = 0;

    ~TCStream() override;

    int Pos() override;
    int Size() override;
    int Seek(int pos) override;
    int Flush() override;  // 0, or -1 when the C library could not write its buffer
    int Close() override;  // the same; a second Close does nothing
    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;
    // The generic ReadLine's bytes, taken straight from the C library's
    // buffer instead of one virtual Read a byte.
    String* ReadLine() override;
    bool PlainBytes() override;

    // Backslashes become "/"; "r+b" for both flags, "wb" for writing only,
    // else "rb". The null object when the file cannot be opened.
    static TCStream* OpenFile(String* path, int readable, int writeable);
    static TCStream* CreateWithCStream(FILE* handle, int mode);

private:
    // The C library needs a seek between a read and a write on one file.
    int lastOp_ = 0;
    void SwitchDirection(int op);
};

// One entry of the factory chain. Creating a factory links it in at the head,
// so the newest factory is asked first; factories are never removed.
class TStreamFactory : public Object {
    KV_CLASS(TStreamFactory, Object)
public:
    Ref<TStreamFactory> succ;

    TStreamFactory();
    // A stream for the url, or the null object so that the next factory is
    // asked. The protocol arrives in lower case.
    virtual TStream* CreateStream(Object* url, String* protocol, String* path, int readable,
                                  int writeable) = 0;
};

// The newest factory, or the null object.
TStreamFactory* StreamFactories();

class TStreamException : public Object {
    KV_CLASS(TStreamException, Object)
};

class TStreamReadException : public TStreamException {
    KV_CLASS(TStreamReadException, TStreamException)
public:
    String* ToString() override;  // "Error reading from stream"
};

class TStreamWriteException : public TStreamException {
    KV_CLASS(TStreamWriteException, TStreamException)
public:
    String* ToString() override;  // "Error writing to stream"
};

// ---- opening ----

TStream* OpenStream(Object* url, int readable, int writeable);
TStream* ReadStream(Object* url);   // OpenStream(url, 1, 0)
TStream* WriteStream(Object* url);  // OpenStream(url, 0, 1)

// ---- the slots as module functions (the null object raises TNullObjectException) ----

int Eof(TStream* stream);
int StreamPos(TStream* stream);
int StreamSize(TStream* stream);
int SeekStream(TStream* stream, int pos);
int FlushStream(TStream* stream);
int CloseStream(TStream* stream);
int ReadByte(TStream* stream);
int ReadShort(TStream* stream);
int ReadInt(TStream* stream);
int64_t ReadLong(TStream* stream);
float ReadFloat(TStream* stream);
double ReadDouble(TStream* stream);
void WriteByte(TStream* stream, int value);
void WriteShort(TStream* stream, int value);
void WriteInt(TStream* stream, int value);
void WriteLong(TStream* stream, int64_t value);
void WriteFloat(TStream* stream, float value);
void WriteDouble(TStream* stream, double value);
String* ReadLine(TStream* stream);
int WriteLine(TStream* stream, String* text);
String* ReadString(TStream* stream, int length);
void WriteString(TStream* stream, String* text);

// ---- copying, loading and saving ----

// Copies until the source is at its end or can give no more bytes.
void CopyStream(TStream* from, TStream* to, int bufferSize = 4096);
// Exactly count bytes; bytes beyond the end of the source are written as 0.
void CopyBytes(TStream* from, TStream* to, int count, int bufferSize = 4096);

// The whole content; the empty array (string) when the url cannot be opened.
Array* LoadByteArray(Object* url);
String* LoadString(Object* url);  // one character per byte (ISO 8859-1)
// Nothing happens when the url cannot be opened.
void SaveByteArray(Array* array, Object* url);
void SaveString(String* text, Object* url);  // the low byte of every character
// The null object when the url cannot be opened.
Object* LoadObject(Object* url);
void SaveObject(Object* object, Object* url);

// Reads what the stream still gives into a new byte array, growing the buffer
// to 3/2 of its size when full (it starts at 1024 bytes). Stops at the end or
// when a read moves nothing. The stream is left open.
Array* ReadRemainingBytes(TStream* stream);

// Closes a stream when the scope ends, also when something is thrown; the
// caller's local keeps the stream alive meanwhile.
class StreamCloser {
public:
    explicit StreamCloser(TStream* stream) : stream_(stream) {}
    ~StreamCloser() {
        try {
            stream_->Close();
        } catch (...) {
        }
    }
    StreamCloser(const StreamCloser&) = delete;
    StreamCloser& operator=(const StreamCloser&) = delete;

private:
    TStream* stream_;
};

void StartStreamModule();
