#include "stream/standardio.h"

#include <fcntl.h>
#include <io.h>

#include "runtime/startup.h"

KV_DEFINE_CLASS(TCStandardIO, TStream);

int TCStandardIO::Flush() { return std::fflush(stdout) == 0 ? 0 : -1; }

int TCStandardIO::Read(void* buffer, int count) {
    if (count <= 0) return 0;
    return static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(count), stdin));
}

int TCStandardIO::Write(const void* buffer, int count) {
    if (count <= 0) return 0;
    return static_cast<int>(std::fwrite(buffer, 1, static_cast<size_t>(count), stdout));
}

static Ref<TTextStream> standardIO;

TTextStream* StandardIOStream() {
    StartStandardIOModule();
    return standardIO;
}

void Print(String* text) {
    TTextStream* io = StandardIOStream();
    io->WriteLine(text);
    io->Flush();
}

String* Input(String* prompt) {
    TTextStream* io = StandardIOStream();
    io->WriteString(prompt);
    io->Flush();
    return io->ReadLine();
}

void StartStandardIOModule() {
    KV_START_ONCE();
    StartTextStreamModule();
    // In text mode the C library would turn every 10 into 13, 10 on output
    // and drop 13 on input.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
    standardIO = TTextStream::Create(new TCStandardIO(), ENCODING_UTF8);
}
