// Bank streams: the stream interface over a memory bank, growing it on
// writes. OpenStream with a bank as the url gives one (through the factory).
#pragma once
#include "stream/bank.h"

class TBankStream : public TStream {
    KV_CLASS(TBankStream, TStream)
public:
    int pos = 0;
    Ref<TBank> bank;

    int Pos() override;
    int Size() override;         // the bank's size
    int Seek(int pos) override;  // clamped to 0..size
    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;  // grows the bank as needed
    bool PlainBytes() override;

    // For the null object a new empty bank is used.
    static TBankStream* Create(TBank* bank);
};

TBankStream* CreateBankStream(TBank* bank);

// Answers a url object that is a bank, whatever the protocol and path.
class TBankStreamFactory : public TStreamFactory {
    KV_CLASS(TBankStreamFactory, TStreamFactory)
public:
    TStream* CreateStream(Object* url, String* protocol, String* path, int readable,
                          int writeable) override;
};

void StartBankStreamModule();
