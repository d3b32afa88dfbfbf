#include "stream/ramstream.h"

#include <cstring>

#include "runtime/startup.h"

KV_DEFINE_CLASS(TRamStream, TStream);
KV_DEFINE_CLASS(TRamStreamFactory, TStreamFactory);

// ---- the registry ----
//
// A singly linked list, newest entry first, in ordinary heap memory; each
// entry holds one count on its name, so the collector never frees it.
// Entries are never removed.

namespace {

struct IncbinEntry {
    IncbinEntry* next;
    String* name;  // retained
    const void* address;
    int length;
};

IncbinEntry* incbinHead;

IncbinEntry* FindEntry(String* name) {
    for (IncbinEntry* e = incbinHead; e; e = e->next) {
        if (Equals(e->name, name)) return e;
    }
    return nullptr;
}

}  // namespace

int IncbinAdd(String* name, const void* address, int length) {
    if (length < 0 || FindEntry(name)) return 0;
    IncbinEntry* entry = new IncbinEntry{incbinHead, name, address, length};
    RetainObject(name);
    incbinHead = entry;
    return 1;
}

const void* IncbinPtr(String* name) {
    IncbinEntry* e = FindEntry(name);
    return e ? e->address : nullptr;
}

int IncbinLen(String* name) {
    IncbinEntry* e = FindEntry(name);
    return e ? e->length : 0;
}

// ---- TRamStream ----

int TRamStream::Pos() { return pos; }
int TRamStream::Size() { return size; }

int TRamStream::Seek(int to) {
    pos = to < 0 ? 0 : to > size ? size : to;
    return pos;
}

int TRamStream::Read(void* destination, int count) {
    if (count <= 0 || !readable) return 0;
    if (count > size - pos) count = size - pos;  // no overflow: 0 <= pos <= size
    if (count <= 0) return 0;
    std::memcpy(destination, buffer + pos, static_cast<size_t>(count));
    pos += count;
    return count;
}

bool TRamStream::PlainBytes() { return Class() == &classRecord; }

int TRamStream::Write(const void* source, int count) {
    if (count <= 0 || !writeable) return 0;
    if (count > size - pos) count = size - pos;
    if (count <= 0) return 0;
    std::memcpy(buffer + pos, source, static_cast<size_t>(count));
    pos += count;
    return count;
}

TRamStream* TRamStream::Create(void* buffer, int size, int readable, int writeable) {
    TRamStream* s = new TRamStream();
    s->buffer = static_cast<unsigned char*>(buffer);
    s->size = size > 0 && buffer ? size : 0;
    s->readable = readable;
    s->writeable = writeable;
    return s;
}

TRamStream* CreateRamStream(void* buffer, int size, int readable, int writeable) {
    return TRamStream::Create(buffer, size, readable, writeable);
}

// ---- the "incbin" factory ----

TStream* TRamStreamFactory::CreateStream(Object*, String* protocol, String* path, int readable,
                                         int writeable) {
    if (writeable || !Equals(protocol, u"incbin"_s)) return NullOf<TStream>();
    const void* address = IncbinPtr(path);
    if (!address) return NullOf<TStream>();
    // Writing was refused above, so the stream never writes to the resource.
    return CreateRamStream(const_cast<void*>(address), IncbinLen(path), readable, 0);
}

// ---- files compiled into the program ----

static EmbeddedFileTable* embeddedTables;

void AddEmbeddedFileTable(EmbeddedFileTable* table) {
    table->next = embeddedTables;
    embeddedTables = table;
}

const EmbeddedFile* FindEmbeddedFile(const char* name) {
    for (EmbeddedFileTable* t = embeddedTables; t; t = t->next) {
        for (int i = 0; i < t->count; ++i) {
            if (std::strcmp(t->files[i].name, name) == 0) return &t->files[i];
        }
    }
    return nullptr;
}

int RegisterEmbeddedFiles() {
    int added = 0;
    for (EmbeddedFileTable* t = embeddedTables; t; t = t->next) {
        for (int i = 0; i < t->count; ++i) {
            const EmbeddedFile& f = t->files[i];
            added += IncbinAdd(String::FromCString(f.name), f.data, f.length);
        }
    }
    return added;
}

void StartRamStreamModule() {
    KV_START_ONCE();
    StartStreamModule();
    new TRamStreamFactory();
}
