// Embedded resources and RAM streams.
//
// The registry maps names to blocks of bytes compiled into the program (or
// any other memory that lives as long as the process); "incbin::name" opens a
// RAM stream over the registered bytes themselves, for reading only. A RAM
// stream reads and writes a block in place and never grows or frees it.
//
// Files reach the registry through the build: the CMake function
// neonara_embed(TARGET t FILES ...) compiles them into the program and lists
// them as EmbeddedFile tables; RegisterEmbeddedFiles then registers them under
// their file names.
#pragma once
#include "stream/stream.h"

// ---- the registry ----

// 1 when added; 0 when the name is already registered (nothing changes) or
// the length is negative. The name is kept for the life of the process.
int IncbinAdd(String* name, const void* address, int length);
const void* IncbinPtr(String* name);  // null when not registered
int IncbinLen(String* name);          // 0 when not registered

// ---- RAM streams ----

class TRamStream : public TStream {
    KV_CLASS(TRamStream, TStream)
public:
    int pos = 0;  // 0..size
    int size = 0;
    unsigned char* buffer = nullptr;  // not owned
    int readable = 0;
    int writeable = 0;

    int Pos() override;
    int Size() override;
    int Seek(int pos) override;  // clamped to 0..size
    int Read(void* destination, int count) override;
    int Write(const void* source, int count) override;
    bool PlainBytes() override;

    // A negative size counts as 0.
    static TRamStream* Create(void* buffer, int size, int readable, int writeable);
};

TRamStream* CreateRamStream(void* buffer, int size, int readable, int writeable);

// Answers "incbin" urls opened for reading with a RAM stream over the
// registered bytes; everything else goes on to the next factory.
class TRamStreamFactory : public TStreamFactory {
    KV_CLASS(TRamStreamFactory, TStreamFactory)
public:
    TStream* CreateStream(Object* url, String* protocol, String* path, int readable,
                          int writeable) override;
};

// ---- files compiled into the program ----

struct EmbeddedFile {
    const char* name;  // the file name, ASCII
    const unsigned char* data;
    int length;
};

// One table per program target, linked in by the table's static initialiser
// (plain data only: it runs before any runtime module).
struct EmbeddedFileTable {
    EmbeddedFileTable* next;
    const EmbeddedFile* files;
    int count;
};

void AddEmbeddedFileTable(EmbeddedFileTable* table);
// The embedded file of that name, or null.
const EmbeddedFile* FindEmbeddedFile(const char* name);
// IncbinAdd of every embedded file; returns how many were newly registered.
int RegisterEmbeddedFiles();

void StartRamStreamModule();
