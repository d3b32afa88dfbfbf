// Text streams: characters to bytes in one of four encodings, around any
// other stream, and whole text files loaded and saved with byte-order marks.
//
// The typed operations take a text form: numbers are written as decimal
// lines and read back by parsing lines. Raw bytes (Read, Write, and so
// ReadBytes, WriteBytes, SkipBytes) travel as two upper-case hexadecimal
// digits each, 32 bytes to a line ended by 13, 10. A line left unfinished by
// raw bytes is its "pending line end": the next text operation writes it or
// reads it first.
//
// Decoding makes no validity checks: a malformed or truncated sequence reads
// as whatever value its bytes give (missing bytes read as 0), masked to one
// 16-bit code unit. Four-byte UTF-8 sequences read as 0 after three bytes.
#pragma once
#include "stream/stream.h"

constexpr int ENCODING_LATIN1 = 1;
constexpr int ENCODING_UTF8 = 2;
constexpr int ENCODING_UTF16BE = 3;
constexpr int ENCODING_UTF16LE = 4;

class TTextStream : public TStreamWrapper {
    KV_CLASS(TTextStream, TStreamWrapper)
public:
    int encoding = ENCODING_LATIN1;  // another value is taken as ENCODING_LATIN1
    int hexCount = 0;                // raw bytes moved on the current hexadecimal line, 0..32

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
    String* ReadLine() override;
    int WriteLine(String* text) override;
    String* ReadString(int length) override;
    void WriteString(String* text) override;

    // Every character up to the end of the stream, nothing skipped.
    virtual String* ReadFile();
    virtual int ReadChar();
    virtual void WriteChar(int c);

    static TTextStream* Create(TStream* stream, int encoding);

    // A byte of the wrapped stream (0 at its end).
    virtual int ReadRawByte();
    virtual void WriteRawByte(int value);
    // Throws the string "Malformed line terminator" when the pending line end
    // is neither 13, 10 nor 10.
    virtual void ReadPendingEOL();
    virtual void WritePendingEOL();

private:
    String* ReadPlainToEnd();
};

// "latin1", "utf8", "utf16be" and "utf16le": the path opened with OpenStream
// and wrapped in a text stream of that encoding.
class TTextStreamFactory : public TStreamFactory {
    KV_CLASS(TTextStreamFactory, TStreamFactory)
public:
    TStream* CreateStream(Object* url, String* protocol, String* path, int readable,
                          int writeable) override;
};

// The whole text, the encoding taken from a byte-order mark (UTF-16 either
// way, UTF-8), else ISO 8859-1. The empty string when the url cannot be opened.
String* LoadText(Object* url);
// ISO 8859-1 without a mark when every character fits, else UTF-16
// little-endian after the mark 255, 254. Nothing happens when the url cannot
// be opened.
void SaveText(String* text, Object* url);

void StartTextStreamModule();
