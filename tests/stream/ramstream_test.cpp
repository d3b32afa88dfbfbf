// The resource registry, RAM streams, the "incbin" factory and the files the
// build compiles into this program.
#include "runtime/win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "stream/ramstream.h"
#include "stream_test_support.h"

namespace {

// The bytes of the sample file that tests/stream/CMakeLists.txt embeds.
unsigned char SampleByte(int i) { return static_cast<unsigned char>((7 * i + 3) % 256); }
constexpr int kSampleLength = 4099;

void StartModules() {
    StartRamStreamModule();
    RegisterEmbeddedFiles();
}

}  // namespace

// ---- the registry ----

TEST(Incbin, RegisteringANameTwiceKeepsTheFirstAddress) {
    static const char first[] = "first";
    static const char second[] = "second!";
    String* name = S("registry-twice");
    EXPECT_EQ(IncbinAdd(name, first, 5), 1);
    EXPECT_EQ(IncbinAdd(S("registry-twice"), second, 7), 0);
    EXPECT_EQ(IncbinPtr(name), first);
    EXPECT_EQ(IncbinLen(name), 5);
}

TEST(Incbin, UnknownNamesAndCaseSensitivity) {
    static const char bytes[] = "abc";
    EXPECT_EQ(IncbinAdd(S("Case.bin"), bytes, 3), 1);
    EXPECT_EQ(IncbinPtr(S("case.bin")), nullptr);
    EXPECT_EQ(IncbinLen(S("case.bin")), 0);
    EXPECT_EQ(IncbinPtr(S("never-registered")), nullptr);
    EXPECT_EQ(IncbinLen(S("never-registered")), 0);
}

TEST(Incbin, NegativeLengthIsRefused) {
    static const char bytes[] = "abc";
    EXPECT_EQ(IncbinAdd(S("negative.bin"), bytes, -1), 0);
    EXPECT_EQ(IncbinPtr(S("negative.bin")), nullptr);
}

TEST(Incbin, TheRegisteredNameSurvivesCollections) {
    static const char bytes[] = "kept";
    EXPECT_EQ(IncbinAdd(String::FromCString("collected-name"), bytes, 4), 1);
    for (int i = 0; i < 3; ++i) {
        CollectMemory();
        for (int k = 0; k < 50; ++k) (void)String::FromCString("garbage of the same size");
    }
    EXPECT_EQ(IncbinPtr(S("collected-name")), bytes);
}

// ---- RAM streams ----

TEST(RamStream, SeekIsClamped) {
    char block[100] = {};
    TRamStream* s = CreateRamStream(block, 100, 1, 1);
    EXPECT_EQ(s->Pos(), 0);
    EXPECT_EQ(s->Seek(-5), 0);
    EXPECT_EQ(s->Seek(110), 100);
    EXPECT_TRUE(s->Eof());
    EXPECT_EQ(s->Seek(42), 42);
}

TEST(RamStream, ReadNearTheEndReturnsWhatIsLeft) {
    char block[100];
    for (int i = 0; i < 100; ++i) block[i] = static_cast<char>(i);
    TRamStream* s = CreateRamStream(block, 100, 1, 0);
    s->Seek(70);
    char out[100];
    EXPECT_EQ(s->Read(out, 100), 30);
    EXPECT_EQ(out[0], 70);
    EXPECT_EQ(out[29], 99);
    EXPECT_TRUE(s->Eof());
    EXPECT_EQ(s->Read(out, 1), 0);
    EXPECT_EQ(s->Read(out, 0), 0);
    EXPECT_EQ(s->Read(out, -3), 0);
}

TEST(RamStream, HugeCountsDoNotOverflowThePosition) {
    char block[16] = "0123456789abcde";
    TRamStream* s = CreateRamStream(block, 16, 1, 1);
    s->Seek(10);
    char out[16];
    EXPECT_EQ(s->Read(out, 0x7fffffff), 6);
    s->Seek(14);
    EXPECT_EQ(s->Write(out, 0x7fffffff), 2);  // cut to the room left, never beyond the block
}

TEST(RamStream, WritesInPlaceAndNeverGrows) {
    char block[8] = {'-', '-', '-', '-', '-', '-', '-', '-'};
    char guard[4] = {'G', 'G', 'G', 'G'};
    TRamStream* s = CreateRamStream(block, 8, 0, 1);
    s->Seek(5);
    EXPECT_EQ(s->Write("abcdef", 6), 3);
    EXPECT_EQ(std::string(block, 8), "-----abc");
    EXPECT_EQ(std::string(guard, 4), "GGGG");
    EXPECT_EQ(s->Size(), 8);
    EXPECT_THROW(s->WriteInt(1), ThrownObject);  // full: WriteBytes throws TStreamWriteException
}

TEST(RamStream, FlagsGateReadsAndWrites) {
    char block[4] = {'a', 'b', 'c', 'd'};
    TRamStream* readOnly = CreateRamStream(block, 4, 1, 0);
    EXPECT_EQ(readOnly->Write("x", 1), 0);
    TRamStream* writeOnly = CreateRamStream(block, 4, 0, 1);
    char b;
    EXPECT_EQ(writeOnly->Read(&b, 1), 0);
    EXPECT_EQ(std::string(block, 4), "abcd");
}

TEST(RamStream, NegativeSizeCountsAsEmpty) {
    char block[4];
    TRamStream* s = CreateRamStream(block, -10, 1, 1);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_TRUE(s->Eof());
    char b;
    EXPECT_EQ(s->Read(&b, 1), 0);
}

// ---- the "incbin" factory ----

TEST(IncbinFactory, OpensRegisteredBytesInPlaceForReading) {
    StartRamStreamModule();
    static const char bytes[] = "line one\r\nline two";
    ASSERT_EQ(IncbinAdd(S("factory.txt"), bytes, 18), 1);
    TStream* s = ReadStream(S("incbin::factory.txt"));
    ASSERT_TRUE(IsA<TRamStream>(s));
    EXPECT_EQ(static_cast<TRamStream*>(s)->buffer, reinterpret_cast<const unsigned char*>(bytes));
    EXPECT_EQ(s->Size(), 18);
    EXPECT_EQ(Narrow(s->ReadLine()), "line one");
    EXPECT_EQ(Narrow(s->ReadLine()), "line two");
}

TEST(IncbinFactory, ProtocolCaseAndNameCase) {
    StartRamStreamModule();
    static const char bytes[] = "X";
    ASSERT_EQ(IncbinAdd(S("Mixed.Name"), bytes, 1), 1);
    EXPECT_FALSE(IsNull(ReadStream(S("INCBIN::Mixed.Name"))));
    EXPECT_TRUE(IsNull(ReadStream(S("incbin::mixed.name"))));
    EXPECT_TRUE(IsNull(ReadStream(S("incbin::not-there"))));
}

TEST(IncbinFactory, RefusesToOpenForWriting) {
    StartRamStreamModule();
    static const char bytes[] = "const";
    ASSERT_EQ(IncbinAdd(S("readonly.bin"), bytes, 5), 1);
    EXPECT_TRUE(IsNull(WriteStream(S("incbin::readonly.bin"))));
    EXPECT_TRUE(IsNull(OpenStream(S("incbin::readonly.bin"), 1, 1)));
    SaveString(S("XXXXX"), S("incbin::readonly.bin"));  // nothing is written
    EXPECT_EQ(std::string(bytes), "const");
}

// ---- files compiled into the program ----

TEST(Embedded, TheSampleFileIsCompiledInWithItsExactBytes) {
    const EmbeddedFile* f = FindEmbeddedFile("embed_sample.bin");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->length, kSampleLength);
    int wrong = 0;
    for (int i = 0; i < kSampleLength; ++i) wrong += f->data[i] != SampleByte(i);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(f->data[kSampleLength], 0);  // a zero byte follows the file
    EXPECT_EQ(reinterpret_cast<uintptr_t>(f->data) % 16, 0u);
    EXPECT_EQ(FindEmbeddedFile("not-embedded.bin"), nullptr);
}

TEST(Embedded, RegisteredFilesOpenAsIncbinUrls) {
    StartModules();
    EXPECT_EQ(RegisterEmbeddedFiles(), 0);  // already registered: nothing new
    EXPECT_EQ(IncbinLen(S("embed_sample.bin")), kSampleLength);
    TStream* s = ReadStream(S("incbin::embed_sample.bin"));
    ASSERT_FALSE(IsNull(s));
    EXPECT_EQ(s->Size(), kSampleLength);
    EXPECT_EQ(s->ReadByte(), SampleByte(0));
    EXPECT_EQ(s->ReadInt(), SampleByte(1) | SampleByte(2) << 8 | SampleByte(3) << 16 | SampleByte(4) << 24);
    s->Seek(kSampleLength - 30);
    unsigned char tail[100];
    EXPECT_EQ(s->Read(tail, 100), 30);
    EXPECT_EQ(tail[29], SampleByte(kSampleLength - 1));
    EXPECT_TRUE(s->Eof());
    Array* all = LoadByteArray(S("incbin::embed_sample.bin"));
    ASSERT_EQ(all->Length(), kSampleLength);
    EXPECT_EQ(std::memcmp(all->Data(), FindEmbeddedFile("embed_sample.bin")->data, kSampleLength), 0);
}
