// Memory banks: resizable blocks of raw memory with typed peeks and pokes at
// byte offsets, in the machine's little-endian order.
//
// Invariants:
//  - 0 <= size; an owned bank has size <= capacity and its block is the
//    runtime's aligned block, freed with the bank;
//  - a static bank (capacity -1) works on memory it does not own and never
//    frees it. Resizing it beyond its size moves its bytes into a new owned
//    block (the outside block stays as it is); a smaller size keeps the block.
//
// Offsets are checked: a peek, poke or transfer outside 0..size raises
// TArrayBoundsException instead of touching memory beyond the bank.
#pragma once
#include <cstdint>

#include "runtime/list.h"  // TData, the base of the serialisable objects
#include "stream/stream.h"

class TBank : public TData {
    KV_CLASS(TBank, TData)
public:
    unsigned char* buf = nullptr;
    int size = 0;
    int capacity = 0;  // -1: a static bank over memory it does not own
    int locks = 0;     // informational

    ~TBank() override;
    // The slot of the data-serialisation layer (banks have no serialiser yet).
    virtual Object* Serializer();

    virtual unsigned char* Buf();
    virtual unsigned char* Lock();  // locks + 1
    virtual void Unlock();          // locks - 1
    virtual int Size();
    virtual int Capacity();
    // Growing beyond the capacity allocates max(capacity * 3 / 2, n) bytes and
    // keeps the old bytes; a negative size counts as 0.
    virtual void Resize(int n);
    // The stream's Read into buf + offset / Write from buf + offset.
    virtual int Read(TStream* stream, int offset, int count);
    virtual int Write(TStream* stream, int offset, int count);
    virtual int PeekByte(int offset);  // zero-extended
    virtual void PokeByte(int offset, int value);
    virtual int PeekShort(int offset);  // zero-extended
    virtual void PokeShort(int offset, int value);
    virtual int PeekInt(int offset);
    virtual void PokeInt(int offset, int value);
    virtual int64_t PeekLong(int offset);
    virtual void PokeLong(int offset, int64_t value);
    virtual float PeekFloat(int offset);
    virtual void PokeFloat(int offset, float value);
    virtual double PeekDouble(int offset);
    virtual void PokeDouble(int offset, double value);
    // 1 when saved; 0 when the url cannot be opened or the stream reports
    // that it could not write everything when it closes.
    virtual int Save(Object* url);

    // The null object when the url cannot be opened.
    static TBank* Load(Object* url);
    static TBank* Create(int size);
    static TBank* CreateStatic(void* buffer, int size);

private:
    // Raises TArrayBoundsException unless offset..offset+width lies in 0..size.
    unsigned char* At(int offset, int width);
};

TBank* CreateBank(int size);
TBank* CreateStaticBank(void* buffer, int size);
TBank* LoadBank(Object* url);
int SaveBank(TBank* bank, Object* url);
unsigned char* BankBuf(TBank* bank);
unsigned char* LockBank(TBank* bank);
void UnlockBank(TBank* bank);
int BankSize(TBank* bank);
int BankCapacity(TBank* bank);
void ResizeBank(TBank* bank, int size);
int ReadBank(TBank* bank, TStream* stream, int offset, int count);
int WriteBank(TBank* bank, TStream* stream, int offset, int count);
void CopyBank(TBank* source, int sourceOffset, TBank* destination, int destinationOffset, int count);
int PeekByte(TBank* bank, int offset);
void PokeByte(TBank* bank, int offset, int value);
int PeekShort(TBank* bank, int offset);
void PokeShort(TBank* bank, int offset, int value);
int PeekInt(TBank* bank, int offset);
void PokeInt(TBank* bank, int offset, int value);
int64_t PeekLong(TBank* bank, int offset);
void PokeLong(TBank* bank, int offset, int64_t value);
float PeekFloat(TBank* bank, int offset);
void PokeFloat(TBank* bank, int offset, float value);
double PeekDouble(TBank* bank, int offset);
void PokeDouble(TBank* bank, int offset, double value);

void StartBankModule();
