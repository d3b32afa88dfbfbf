#include "stream/bank.h"

#include <climits>
#include <cstring>

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/startup.h"

KV_DEFINE_CLASS(TBank, TData);

TBank::~TBank() {
    if (capacity >= 0) MemFreeBlock(buf);
}

unsigned char* TBank::Buf() { return buf; }

unsigned char* TBank::Lock() {
    ++locks;
    return buf;
}

void TBank::Unlock() { --locks; }
int TBank::Size() { return size; }
int TBank::Capacity() { return capacity; }

Object* TBank::Serializer() { return NullObject(); }

void TBank::Resize(int n) {
    if (n < 0) n = 0;
    // A static bank can use exactly the bytes it was given.
    int usable = capacity < 0 ? size : capacity;
    if (n > usable) {
        int64_t grown = static_cast<int64_t>(capacity) * 3 / 2;
        if (grown < n) grown = n;
        if (grown > INT_MAX) grown = INT_MAX;
        unsigned char* block = static_cast<unsigned char*>(MemAllocBlock(static_cast<int>(grown)));
        if (size) std::memcpy(block, buf, static_cast<size_t>(size));
        if (capacity >= 0) MemFreeBlock(buf);
        buf = block;
        capacity = static_cast<int>(grown);
    }
    size = n;
}

unsigned char* TBank::At(int offset, int width) {
    if (offset < 0 || width < 0 || offset > size - width) ThrowArrayBoundsError();
    return buf + offset;
}

int TBank::Read(TStream* stream, int offset, int count) {
    if (count <= 0) return 0;
    return Checked(stream)->Read(At(offset, count), count);
}

int TBank::Write(TStream* stream, int offset, int count) {
    if (count <= 0) return 0;
    return Checked(stream)->Write(At(offset, count), count);
}

// Little-endian access without alignment requirements.
template <class T>
static T LoadValue(const unsigned char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <class T>
static void StoreValue(unsigned char* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

int TBank::PeekByte(int offset) { return *At(offset, 1); }
void TBank::PokeByte(int offset, int value) { *At(offset, 1) = static_cast<unsigned char>(value); }
int TBank::PeekShort(int offset) { return LoadValue<uint16_t>(At(offset, 2)); }
void TBank::PokeShort(int offset, int value) { StoreValue(At(offset, 2), static_cast<uint16_t>(value)); }
int TBank::PeekInt(int offset) { return LoadValue<int32_t>(At(offset, 4)); }
void TBank::PokeInt(int offset, int value) { StoreValue(At(offset, 4), static_cast<int32_t>(value)); }
int64_t TBank::PeekLong(int offset) { return LoadValue<int64_t>(At(offset, 8)); }
void TBank::PokeLong(int offset, int64_t value) { StoreValue(At(offset, 8), value); }
float TBank::PeekFloat(int offset) { return LoadValue<float>(At(offset, 4)); }
void TBank::PokeFloat(int offset, float value) { StoreValue(At(offset, 4), value); }
double TBank::PeekDouble(int offset) { return LoadValue<double>(At(offset, 8)); }
void TBank::PokeDouble(int offset, double value) { StoreValue(At(offset, 8), value); }

int TBank::Save(Object* url) {
    TStream* stream = WriteStream(url);
    if (IsNull(stream)) return 0;
    try {
        if (size) stream->WriteBytes(buf, size);
    } catch (...) {
        stream->Close();
        throw;
    }
    // Buffered bytes are only written when the stream closes, and may fail there.
    return stream->Close() == 0 ? 1 : 0;
}

TBank* TBank::Load(Object* url) {
    TStream* stream = ReadStream(url);
    if (IsNull(stream)) return NullOf<TBank>();
    StreamCloser closer(stream);
    Array* bytes = ReadRemainingBytes(stream);
    TBank* bank = Create(bytes->Length());
    if (bank->size) std::memcpy(bank->buf, bytes->Data(), static_cast<size_t>(bank->size));
    return bank;
}

TBank* TBank::Create(int size) {
    if (size < 0) size = 0;
    TBank* bank = new TBank();
    bank->buf = static_cast<unsigned char*>(MemAllocBlock(size));
    bank->size = size;
    bank->capacity = size;
    return bank;
}

TBank* TBank::CreateStatic(void* buffer, int size) {
    TBank* bank = new TBank();
    bank->buf = static_cast<unsigned char*>(buffer);
    bank->size = buffer && size > 0 ? size : 0;
    bank->capacity = -1;
    return bank;
}

// ---- module functions ----

TBank* CreateBank(int size) { return TBank::Create(size); }
TBank* CreateStaticBank(void* buffer, int size) { return TBank::CreateStatic(buffer, size); }
TBank* LoadBank(Object* url) { return TBank::Load(url); }
int SaveBank(TBank* bank, Object* url) { return Checked(bank)->Save(url); }
unsigned char* BankBuf(TBank* bank) { return Checked(bank)->Buf(); }
unsigned char* LockBank(TBank* bank) { return Checked(bank)->Lock(); }
void UnlockBank(TBank* bank) { Checked(bank)->Unlock(); }
int BankSize(TBank* bank) { return Checked(bank)->Size(); }
int BankCapacity(TBank* bank) { return Checked(bank)->Capacity(); }
void ResizeBank(TBank* bank, int size) { Checked(bank)->Resize(size); }

int ReadBank(TBank* bank, TStream* stream, int offset, int count) {
    return Checked(bank)->Read(stream, offset, count);
}

int WriteBank(TBank* bank, TStream* stream, int offset, int count) {
    return Checked(bank)->Write(stream, offset, count);
}

void CopyBank(TBank* source, int sourceOffset, TBank* destination, int destinationOffset, int count) {
    Checked(source);
    Checked(destination);
    if (count <= 0) return;
    if (sourceOffset < 0 || sourceOffset > source->size - count || destinationOffset < 0 ||
        destinationOffset > destination->size - count) {
        ThrowArrayBoundsError();
    }
    // The ranges may overlap when both are the same bank.
    std::memmove(destination->buf + destinationOffset, source->buf + sourceOffset, static_cast<size_t>(count));
}

int PeekByte(TBank* bank, int offset) { return Checked(bank)->PeekByte(offset); }
void PokeByte(TBank* bank, int offset, int value) { Checked(bank)->PokeByte(offset, value); }
int PeekShort(TBank* bank, int offset) { return Checked(bank)->PeekShort(offset); }
void PokeShort(TBank* bank, int offset, int value) { Checked(bank)->PokeShort(offset, value); }
int PeekInt(TBank* bank, int offset) { return Checked(bank)->PeekInt(offset); }
void PokeInt(TBank* bank, int offset, int value) { Checked(bank)->PokeInt(offset, value); }
int64_t PeekLong(TBank* bank, int offset) { return Checked(bank)->PeekLong(offset); }
void PokeLong(TBank* bank, int offset, int64_t value) { Checked(bank)->PokeLong(offset, value); }
float PeekFloat(TBank* bank, int offset) { return Checked(bank)->PeekFloat(offset); }
void PokeFloat(TBank* bank, int offset, float value) { Checked(bank)->PokeFloat(offset, value); }
double PeekDouble(TBank* bank, int offset) { return Checked(bank)->PeekDouble(offset); }
void PokeDouble(TBank* bank, int offset, double value) { Checked(bank)->PokeDouble(offset, value); }

void StartBankModule() {
    KV_START_ONCE();
    StartStreamModule();
}
