// Memory banks and bank streams.
#include "runtime/win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/exception.h"
#include "stream/bankstream.h"
#include "stream_test_support.h"
#include "tests/runtime/collect_helpers.h"

namespace {

bool ThrowsBounds(void (*body)(TBank*), TBank* bank) {
    try {
        body(bank);
    } catch (ThrownObject& thrown) {
        return thrown.As<TArrayBoundsException>() != nullptr;
    }
    return false;
}

}  // namespace

// ---- banks ----

TEST(Bank, CreateGivesSizeAndCapacity) {
    TBank* b = CreateBank(100);
    EXPECT_EQ(BankSize(b), 100);
    EXPECT_EQ(BankCapacity(b), 100);
    EXPECT_NE(BankBuf(b), nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(BankBuf(b)) % 16, 0u);
    EXPECT_EQ(BankSize(CreateBank(-5)), 0);
    EXPECT_EQ(BankSize(CreateBank(0)), 0);
}

TEST(Bank, ResizeGrowsByHalvesAndKeepsTheBytes) {
    TBank* b = CreateBank(100);
    for (int i = 0; i < 100; ++i) PokeByte(b, i, i + 1);
    unsigned char* before = BankBuf(b);
    ResizeBank(b, 120);
    EXPECT_EQ(BankCapacity(b), 150);
    EXPECT_EQ(BankSize(b), 120);
    EXPECT_NE(BankBuf(b), before);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(PeekByte(b, i), i + 1);
    unsigned char* grown = BankBuf(b);
    ResizeBank(b, 140);
    EXPECT_EQ(BankBuf(b), grown);  // within the capacity: no new block
    EXPECT_EQ(BankCapacity(b), 150);
    ResizeBank(b, 10);
    EXPECT_EQ(BankSize(b), 10);
    EXPECT_EQ(BankBuf(b), grown);  // shrinking keeps the block
    ResizeBank(b, 1000);
    EXPECT_EQ(BankCapacity(b), 1000);  // more than 3/2: exactly what is asked
    EXPECT_EQ(PeekByte(b, 9), 10);
    ResizeBank(b, -1);
    EXPECT_EQ(BankSize(b), 0);
}

TEST(Bank, PeeksAndPokesAreLittleEndian) {
    TBank* b = CreateBank(16);
    PokeByte(b, 0, 0x34);
    PokeByte(b, 1, 0x12);
    EXPECT_EQ(PeekShort(b, 0), 4660);
    PokeShort(b, 2, 0x1ffff);
    EXPECT_EQ(PeekShort(b, 2), 0xffff);  // zero-extended
    PokeByte(b, 4, 0x1ff);
    EXPECT_EQ(PeekByte(b, 4), 255);
    PokeInt(b, 5, -123456);  // unaligned
    EXPECT_EQ(PeekInt(b, 5), -123456);
    PokeLong(b, 8, 0x0102030405060708LL);
    EXPECT_EQ(PeekByte(b, 8), 8);
    EXPECT_EQ(PeekLong(b, 8), 0x0102030405060708LL);
    PokeFloat(b, 0, 2.5f);
    EXPECT_EQ(PeekFloat(b, 0), 2.5f);
    PokeDouble(b, 8, -1e100);
    EXPECT_EQ(PeekDouble(b, 8), -1e100);
}

TEST(Bank, OffsetsOutsideTheBankRaiseBoundsErrors) {
    TBank* b = CreateBank(8);
    EXPECT_TRUE(ThrowsBounds([](TBank* k) { PeekByte(k, 8); }, b));
    EXPECT_TRUE(ThrowsBounds([](TBank* k) { PeekByte(k, -1); }, b));
    EXPECT_TRUE(ThrowsBounds([](TBank* k) { PeekInt(k, 5); }, b));
    EXPECT_TRUE(ThrowsBounds([](TBank* k) { PokeLong(k, 1, 0); }, b));
    EXPECT_TRUE(ThrowsBounds([](TBank* k) { PokeShort(k, 0x7fffffff, 0); }, b));
    EXPECT_TRUE(ThrowsBounds([](TBank* k) { CopyBank(k, 4, k, 0, 5); }, b));
    EXPECT_FALSE(ThrowsBounds([](TBank* k) { PeekLong(k, 0); }, b));
}

TEST(Bank, StaticBankOverOutsideMemory) {
    unsigned char outside[32];
    for (int i = 0; i < 32; ++i) outside[i] = static_cast<unsigned char>(i);
    TBank* b = CreateStaticBank(outside, 16);
    EXPECT_EQ(BankBuf(b), outside);
    EXPECT_EQ(BankSize(b), 16);
    EXPECT_EQ(BankCapacity(b), -1);
    PokeByte(b, 3, 99);
    EXPECT_EQ(outside[3], 99);
    ResizeBank(b, 8);  // shrinking keeps working on the outside block
    EXPECT_EQ(BankBuf(b), outside);
    EXPECT_EQ(BankCapacity(b), -1);
}

TEST(Bank, ResizingAStaticBankBeyondItsSizeMovesIntoItsOwnBlock) {
    unsigned char outside[24];
    std::memset(outside, 0xee, sizeof outside);
    for (int i = 0; i < 16; ++i) outside[i] = static_cast<unsigned char>(i + 1);
    TBank* b = CreateStaticBank(outside, 16);
    ResizeBank(b, 40);
    EXPECT_NE(BankBuf(b), outside);
    EXPECT_EQ(BankCapacity(b), 40);
    for (int i = 0; i < 16; ++i) ASSERT_EQ(PeekByte(b, i), i + 1);
    PokeByte(b, 39, 7);
    PokeByte(b, 0, 0);
    // The outside block is neither written nor freed, the bytes past its size untouched.
    EXPECT_EQ(outside[0], 1);
    EXPECT_EQ(outside[16], 0xee);
}

__attribute__((noinline)) static uintptr_t MakeStaticBank(unsigned char* outside) {
    return Hide(CreateStaticBank(outside, 16));
}

CLEAN_STACK_TEST(Bank, AFreedStaticBankLeavesTheOutsideMemoryAlone) {
    static unsigned char outside[16];
    for (int i = 0; i < 16; ++i) outside[i] = static_cast<unsigned char>(i);
    volatile uintptr_t hidden = MakeStaticBank(outside);
    CollectFully();
    EXPECT_FALSE(IsLive(hidden));  // freed, and its free did not touch the block
    EXPECT_EQ(outside[15], 15);
}

TEST(Bank, ReadAndWriteThroughStreams) {
    TBank* b = CreateBank(8);
    TScriptedStream* in = TScriptedStream::Create("abcdef");
    EXPECT_EQ(ReadBank(b, in, 2, 4), 4);
    EXPECT_EQ(PeekByte(b, 2), 'a');
    EXPECT_EQ(PeekByte(b, 5), 'd');
    EXPECT_TRUE(ThrowsBounds([](TBank* k) { ReadBank(k, TScriptedStream::Create("x"), 6, 4); }, b));
    ScratchFolder dir;
    TStream* out = WriteStream(dir.Path("w.bin"));
    EXPECT_EQ(WriteBank(b, out, 2, 3), 3);
    out->Close();
    EXPECT_EQ(FileBytes(dir.Path("w.bin")), "abc");
}

TEST(Bank, CopyBankWithinOneBankHandlesOverlap) {
    TBank* b = CreateBank(10);
    for (int i = 0; i < 10; ++i) PokeByte(b, i, i);
    CopyBank(b, 0, b, 2, 6);
    EXPECT_EQ(PeekByte(b, 2), 0);
    EXPECT_EQ(PeekByte(b, 7), 5);
    TBank* other = CreateBank(4);
    CopyBank(b, 6, other, 1, 3);
    EXPECT_EQ(PeekByte(other, 1), 4);  // the bytes moved by the first copy
    EXPECT_EQ(PeekByte(other, 3), 8);
}

TEST(Bank, SaveAndLoad) {
    StartBankStreamModule();
    ScratchFolder dir;
    TBank* b = CreateBank(5);
    for (int i = 0; i < 5; ++i) PokeByte(b, i, 'v' + i);
    EXPECT_EQ(SaveBank(b, dir.Path("bank.bin")), 1);
    EXPECT_EQ(FileBytes(dir.Path("bank.bin")), "vwxyz");
    TBank* loaded = LoadBank(dir.Path("bank.bin"));
    ASSERT_FALSE(IsNull(loaded));
    EXPECT_EQ(BankSize(loaded), 5);
    EXPECT_EQ(BankCapacity(loaded), 5);
    EXPECT_EQ(PeekByte(loaded, 4), 'z');
    EXPECT_TRUE(IsNull(LoadBank(dir.Path("missing.bin"))));
    EXPECT_EQ(SaveBank(b, dir.Path("no/such/dir/bank.bin")), 0);
    EXPECT_TRUE(DeleteFileW(reinterpret_cast<const wchar_t*>(Units(dir.Path("bank.bin")).c_str())));  // closed
}

TEST(Bank, NullBanksThrowInsteadOfCrashing) {
    EXPECT_THROW(BankSize(NullOf<TBank>()), ThrownObject);
    EXPECT_THROW(PeekByte(NullOf<TBank>(), 0), ThrownObject);
}

// ---- bank streams ----

TEST(BankStream, SeekIsClamped) {
    TBankStream* s = CreateBankStream(CreateBank(50));
    EXPECT_EQ(s->Seek(-5), 0);
    EXPECT_EQ(s->Seek(70), 50);
    EXPECT_TRUE(s->Eof());
}

TEST(BankStream, WritingPastTheEndGrowsTheBank) {
    TBank* b = CreateBank(100);
    TBankStream* s = CreateBankStream(b);
    s->Seek(95);
    EXPECT_EQ(s->Write("0123456789", 10), 10);
    EXPECT_EQ(BankSize(b), 105);
    EXPECT_EQ(s->Pos(), 105);
    EXPECT_EQ(s->Size(), 105);
    EXPECT_EQ(PeekByte(b, 104), '9');
}

TEST(BankStream, ReadsPastTheEndReturnFewerBytesAndReadBytesThrowsNot) {
    TBank* b = CreateBank(4);
    PokeInt(b, 0, 0x64636261);
    TBankStream* s = CreateBankStream(b);
    char out[10];
    EXPECT_EQ(s->Read(out, 10), 4);
    EXPECT_EQ(s->Read(out, 10), 0);
    EXPECT_EQ(s->Read(out, 0), 0);
    s->Seek(2);
    EXPECT_EQ(s->ReadInt(), 0x6463);  // the two bytes left, zeros above
}

TEST(BankStream, ANullBankGivesANewEmptyOne) {
    TBankStream* s = CreateBankStream(NullOf<TBank>());
    ASSERT_FALSE(IsNull(s->bank));
    EXPECT_EQ(s->Size(), 0);
    s->WriteString(S("grown"));
    EXPECT_EQ(BankSize(s->bank), 5);
    s->Seek(0);
    EXPECT_EQ(Narrow(s->ReadLine()), "grown");
}

TEST(BankStream, WritingIntoAStaticBankGrowsACopy) {
    char outside[4] = {'a', 'b', 'c', 'd'};
    TBank* b = CreateStaticBank(outside, 4);
    TBankStream* s = CreateBankStream(b);
    s->Seek(2);
    s->WriteString(S("XYZ"));
    EXPECT_EQ(BankSize(b), 5);
    EXPECT_EQ(std::string(outside, 4), "abcd");
    EXPECT_EQ(PeekByte(b, 4), 'Z');
}

TEST(BankStream, OpenStreamWithABankAsTheUrl) {
    StartBankStreamModule();
    TBank* b = CreateBank(0);
    TStream* s = WriteStream(b);
    ASSERT_FALSE(IsNull(s));
    s->WriteInt(0x11223344);
    s->Close();  // does nothing to the bank
    EXPECT_EQ(BankSize(b), 4);
    EXPECT_EQ(PeekInt(b, 0), 0x11223344);
    TStream* in = ReadStream(b);
    EXPECT_EQ(in->ReadInt(), 0x11223344);
    EXPECT_TRUE(IsNull(ReadStream(S("bank::anything"))));  // only a bank object is answered
}

