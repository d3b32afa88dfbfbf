// The program's standard input and output: a UTF-8 text stream around the C
// library's stdin and stdout (both switched to binary mode, so that the line
// ends written are exactly 13, 10), behind Print and Input.
#pragma once
#include "stream/textstream.h"

// fread from stdin, fwrite to stdout; it cannot seek (Pos is -1).
class TCStandardIO : public TStream {
    KV_CLASS(TCStandardIO, TStream)
public:
    int Flush() override;
    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;
};

// The standard IO stream, made when the module starts.
TTextStream* StandardIOStream();

// The text and 13, 10 in UTF-8, flushed at once.
void Print(String* text);
// Writes the prompt, flushes, and reads one line. At the end of the input a
// read that gets nothing throws TStreamReadException.
String* Input(String* prompt);

void StartStandardIOModule();
