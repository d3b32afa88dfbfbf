#include "stream/bankstream.h"

#include <climits>
#include <cstring>

#include "runtime/startup.h"

KV_DEFINE_CLASS(TBankStream, TStream);
KV_DEFINE_CLASS(TBankStreamFactory, TStreamFactory);

int TBankStream::Pos() { return pos; }
int TBankStream::Size() { return bank->size; }

int TBankStream::Seek(int to) {
    int size = bank->size;
    pos = to < 0 ? 0 : to > size ? size : to;
    return pos;
}

int TBankStream::Read(void* buffer, int count) {
    int size = bank->size;
    if (count < 1 || pos >= size) return 0;
    if (count > size - pos) count = size - pos;
    std::memcpy(buffer, bank->buf + pos, static_cast<size_t>(count));
    pos += count;
    return count;
}

bool TBankStream::PlainBytes() { return Class() == &classRecord; }

int TBankStream::Write(const void* buffer, int count) {
    if (count < 1 || pos > bank->size) return 0;
    if (count > INT_MAX - pos) count = INT_MAX - pos;  // a bank holds at most INT_MAX bytes
    if (count < 1) return 0;
    if (pos + count > bank->size) bank->Resize(pos + count);
    std::memcpy(bank->buf + pos, buffer, static_cast<size_t>(count));
    pos += count;
    return count;
}

TBankStream* TBankStream::Create(TBank* bank) {
    TBankStream* s = new TBankStream();
    s->bank = IsNull(bank) ? TBank::Create(0) : bank;
    return s;
}

TBankStream* CreateBankStream(TBank* bank) { return TBankStream::Create(bank); }

TStream* TBankStreamFactory::CreateStream(Object* url, String*, String*, int, int) {
    if (!IsA<TBank>(url)) return NullOf<TStream>();
    return CreateBankStream(static_cast<TBank*>(url));
}

void StartBankStreamModule() {
    KV_START_ONCE();
    StartStreamModule();
    StartBankModule();
    new TBankStreamFactory();
}
