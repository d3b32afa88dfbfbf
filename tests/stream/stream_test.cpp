// Streams, factories, file streams, copying, loading and saving.
#include "runtime/win32.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <string>

#include "runtime/exception.h"
#include "stream/stream.h"
#include "stream_test_support.h"
#include "tests/runtime/collect_helpers.h"

KV_DEFINE_CLASS(TScriptedStream, TStream);

namespace {

// A stream class that provides none of the primitives.
class TBareIO : public TStream {
    KV_CLASS(TBareIO, TStream)
};
KV_DEFINE_CLASS(TBareIO, TStream);

// A factory that answers one protocol with a scripted stream and records
// what the chain handed it.
class TRecordingFactory : public TStreamFactory {
    KV_CLASS(TRecordingFactory, TStreamFactory)
public:
    Ref<String> answers;
    Ref<String> lastProtocol;
    Ref<String> lastPath;
    Ref<Object> lastUrl;
    int calls = 0;

    TStream* CreateStream(Object* url, String* protocol, String* path, int, int) override {
        ++calls;
        lastUrl = url;
        lastProtocol = protocol;
        lastPath = path;
        if (!Equals(protocol, answers)) return NullOf<TStream>();
        return TScriptedStream::Create(Narrow(path));
    }
};
KV_DEFINE_CLASS(TRecordingFactory, TStreamFactory);

TRecordingFactory* NewRecordingFactory(const char* protocol) {
    StartStreamModule();
    TRecordingFactory* f = new TRecordingFactory();
    f->answers = S(protocol);
    return f;
}

template <class T>
bool ThrowsA(void (*body)(TStream*), TStream* stream) {
    try {
        body(stream);
    } catch (ThrownObject& thrown) {
        return thrown.As<T>() != nullptr;
    }
    return false;
}

std::string ThrownText(void (*body)()) {
    try {
        body();
    } catch (ThrownObject& thrown) {
        return Narrow(thrown.object()->ToString());
    }
    return "<nothing thrown>";
}

}  // namespace

// ---- the primitives' defaults and the exceptions ----

TEST(StreamDefaults, PrimitivesOfABareStream) {
    TStream* s = new TBareIO();
    EXPECT_EQ(s->Pos(), -1);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_EQ(s->Seek(10), -1);
    EXPECT_EQ(s->Flush(), 0);
    EXPECT_EQ(s->Close(), 0);
    EXPECT_FALSE(s->Eof());  // -1 is not 0
}

TEST(StreamDefaults, ReadAndWriteWithoutPrimitivesRaiseRuntimeErrors) {
    EXPECT_EQ(ThrownText([] {
                  char b;
                  (new TBareIO())->Read(&b, 1);
              }),
              "Stream is not readable");
    EXPECT_EQ(ThrownText([] { (new TBareIO())->WriteByte(1); }), "Stream is not writeable");
    try {
        (new TBareIO())->ReadInt();
        FAIL();
    } catch (ThrownObject& thrown) {
        EXPECT_NE(thrown.As<TRuntimeException>(), nullptr);
    }
}

TEST(StreamDefaults, ExceptionTexts) {
    EXPECT_EQ(Narrow((new TStreamReadException())->ToString()), "Error reading from stream");
    EXPECT_EQ(Narrow((new TStreamWriteException())->ToString()), "Error writing to stream");
    EXPECT_TRUE(IsA<TStreamException>(new TStreamReadException()));
    EXPECT_TRUE(IsA<TStreamException>(new TStreamWriteException()));
}

TEST(StreamDefaults, ObjectsCannotBeReadOrWrittenByTheBaseClass) {
    EXPECT_EQ(ThrownText([] { TScriptedStream::Create("abc")->ReadObject(); }), "Unable to read object");
    EXPECT_EQ(ThrownText([] { TScriptedStream::Create("")->WriteObject(NullObject()); }), "Unable to write object");
    EXPECT_EQ(ThrownText([] { LoadObject(TScriptedStream::Create("abc")); }), "Unable to read object");
}

TEST(StreamDefaults, ModuleFunctionsOnTheNullObjectThrowInsteadOfCrashing) {
    EXPECT_THROW(Eof(NullOf<TStream>()), ThrownObject);
    EXPECT_THROW(ReadLine(NullOf<TStream>()), ThrownObject);
    EXPECT_THROW(CloseStream(NullOf<TStream>()), ThrownObject);
}

// ---- block reads and the typed values ----

TEST(StreamBlocks, ReadBytesCollectsShortReads) {
    TScriptedStream* s = TScriptedStream::Create("abcdefghij");
    s->chunk = 3;
    char buffer[10];
    EXPECT_EQ(s->ReadBytes(buffer, 10), 10);
    EXPECT_EQ(std::string(buffer, 10), "abcdefghij");
    EXPECT_EQ(s->asked.size(), 4u);  // 10, 7, 4, 1
}

TEST(StreamBlocks, ReadBytesAtTheEndReturnsTheCountAskedWithoutThrowing) {
    TScriptedStream* s = TScriptedStream::Create("ab");
    char buffer[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(s->ReadBytes(buffer, 5), 5);
    EXPECT_EQ(std::string(buffer, 5), "abxxx");
    EXPECT_TRUE(s->Eof());
}

TEST(StreamBlocks, ReadThatMovesNothingBeforeTheEndThrowsReadException) {
    TScriptedStream* s = TScriptedStream::Create("abcdef");
    s->stall = 2;
    EXPECT_TRUE(ThrowsA<TStreamReadException>(
        [](TStream* st) {
            char b[6];
            st->ReadBytes(b, 6);
        },
        s));
    s->pos = 0;
    EXPECT_TRUE(ThrowsA<TStreamReadException>([](TStream* st) { st->SkipBytes(5); }, s));
}

TEST(StreamBlocks, WriteThatMovesNothingThrowsWriteException) {
    ScratchFolder dir;  // a file opened for reading only refuses every write
    PutFile(dir.Path("r.bin"), "abc");
    TStream* s = ReadStream(dir.Path("r.bin"));
    ASSERT_FALSE(IsNull(s));
    EXPECT_TRUE(ThrowsA<TStreamWriteException>([](TStream* st) { st->WriteInt(5); }, s));
    EXPECT_EQ(s->ReadByte(), 'a');
    EXPECT_TRUE(ThrowsA<TStreamWriteException>([](TStream* st) { st->WriteByte('X'); }, s));
    EXPECT_EQ(s->ReadByte(), 'b');  // the refused byte went nowhere, not into the read buffer
    s->Close();
    EXPECT_EQ(FileBytes(dir.Path("r.bin")), "abc");
}

TEST(StreamBlocks, SkipBytesStopsAtTheEnd) {
    TScriptedStream* s = TScriptedStream::Create(std::string(3000, 'q'));
    EXPECT_EQ(s->SkipBytes(2500), 2500);
    EXPECT_EQ(s->Pos(), 2500);
    EXPECT_EQ(s->SkipBytes(1000), 1000);  // the count asked for, although only 500 were left
    EXPECT_TRUE(s->Eof());
}

TEST(StreamTyped, ValuesRoundTripLittleEndian) {
    ScratchFolder dir;
    String* path = dir.Path("typed.bin");
    TStream* out = WriteStream(path);
    ASSERT_FALSE(IsNull(out));
    out->WriteByte(0x1ff);  // the low byte only
    out->WriteShort(0x12345);
    out->WriteInt(-2);
    out->WriteLong(0x0102030405060708LL);
    out->WriteFloat(1.5f);
    out->WriteDouble(-0.25);
    out->Close();
    EXPECT_EQ(FileBytes(path), std::string("\xff\x45\x23\xfe\xff\xff\xff\x08\x07\x06\x05\x04\x03\x02\x01", 15) +
                                   std::string("\x00\x00\xc0\x3f", 4) + std::string("\0\0\0\0\0\0\xd0\xbf", 8));
    TStream* in = ReadStream(path);
    EXPECT_EQ(in->ReadByte(), 255);
    EXPECT_EQ(in->ReadShort(), 0x2345);  // zero-extended
    EXPECT_EQ(in->ReadInt(), -2);
    EXPECT_EQ(in->ReadLong(), 0x0102030405060708LL);
    EXPECT_EQ(in->ReadFloat(), 1.5f);
    EXPECT_EQ(in->ReadDouble(), -0.25);
    EXPECT_TRUE(in->Eof());
    in->Close();
}

TEST(StreamTyped, ReadIntWithTwoBytesLeftGivesThemAsTheLowHalf) {
    TScriptedStream* s = TScriptedStream::Create("\x34\x12");
    EXPECT_EQ(s->ReadInt(), 0x1234);
    EXPECT_EQ(TScriptedStream::Create("\x01")->ReadDouble(), 4.9406564584124654e-324);  // only the low byte set
    EXPECT_EQ(TScriptedStream::Create("")->ReadLong(), 0);
}

// ---- lines and strings ----

TEST(StreamLines, ReadLineSplitsAtLineFeedAndSkipsCarriageReturns) {
    TScriptedStream* s = TScriptedStream::Create("ab\r\ncd");
    EXPECT_EQ(Narrow(s->ReadLine()), "ab");
    EXPECT_EQ(Narrow(s->ReadLine()), "cd");
    EXPECT_EQ(s->ReadLine()->length, 0);  // at the end: the empty string
    EXPECT_EQ(s->ReadLine()->length, 0);
}

TEST(StreamLines, ReadLineEndsAtAZeroByteAndKeepsHighBytes) {
    TScriptedStream* s = TScriptedStream::Create(std::string("a\rb\xe9\0c", 6));
    String* line = s->ReadLine();
    ASSERT_EQ(line->length, 3);
    EXPECT_EQ(line->Text()[2], 0xe9);
    EXPECT_EQ(Narrow(s->ReadLine()), "c");
}

TEST(StreamLines, ReadLineLongerThanItsBuffer) {
    int n = Stressed() ? 2100 : 5000;
    std::string text(static_cast<size_t>(n), 'z');
    text[1023] = 'A';
    text[1024] = 'B';
    TScriptedStream* s = TScriptedStream::Create(text + "\nnext");
    String* line = s->ReadLine();
    EXPECT_EQ(Narrow(line), text);
    EXPECT_EQ(Narrow(s->ReadLine()), "next");
}

// A file stream reads its lines straight from the C library's buffer: the
// same lines and positions as the generic loop over a scripted stream.
TEST(StreamLines, FileLinesAreTheGenericLines) {
    std::string bytes = RandomBytes(Stressed() ? 3000 : 30000, 11);
    for (size_t i = 0; i < bytes.size(); i += 37) bytes[i] = i % 3 ? '\n' : '\r';
    // Lines about as long as the short-line buffer, one with a 13 at its seam.
    for (int length : {1023, 1024, 1025, 2000}) bytes += std::string(static_cast<size_t>(length), 'y') + "\n";
    bytes += std::string(1023, 'z') + "\r" + std::string(5, 'z') + "\n";
    bytes += std::string(1500, 'x');  // a last line longer than the line buffer, without an end
    ScratchFolder dir;
    String* path = dir.Path("lines.bin");
    PutFile(path, bytes);
    TStream* file = ReadStream(path);
    TScriptedStream* scripted = TScriptedStream::Create(bytes);
    while (!scripted->Eof()) {
        ASSERT_EQ(Units(file->ReadLine()), Units(scripted->ReadLine())) << "at " << scripted->Pos();
        ASSERT_EQ(file->Pos(), scripted->Pos());
    }
    EXPECT_TRUE(file->Eof());
    EXPECT_EQ(file->ReadLine()->length, 0);
    file->Close();
}

TEST(StreamLines, WriteLineAndWriteStringUseTheLowByte) {
    ScratchFolder dir;
    String* path = dir.Path("lines.txt");
    TStream* out = WriteStream(path);
    String* text = FromChar(0x20ac);
    EXPECT_EQ(out->WriteLine(Concat(S("x"), text)), 1);
    out->WriteString(S("end"));
    out->Close();
    EXPECT_EQ(FileBytes(path), "x\xac\r\nend");
    TStream* in = ReadStream(path);
    EXPECT_EQ(Narrow(in->ReadString(3)), "x\xac\r");
    EXPECT_EQ(in->ReadString(0)->length, 0);
    in->Close();
}

TEST(StreamLines, WriteLineReportsAFailedWriteWithZero) {
    ScratchFolder dir;
    PutFile(dir.Path("ro.txt"), "");
    TStream* s = ReadStream(dir.Path("ro.txt"));
    EXPECT_EQ(s->WriteLine(S("abc")), 0);  // no exception
    s->Close();
}

// ---- file streams ----

TEST(CStream, OpenModesAndSizes) {
    ScratchFolder dir;
    String* path = dir.Path("f.bin");
    EXPECT_TRUE(IsNull(TCStream::OpenFile(path, 1, 0)));  // missing file
    TCStream* w = TCStream::OpenFile(path, 0, 1);
    ASSERT_FALSE(IsNull(w));
    EXPECT_EQ(w->mode, TCStream::MODE_WRITE);
    w->WriteString(S("hello"));
    EXPECT_EQ(w->Pos(), 5);
    EXPECT_EQ(w->Size(), 5);
    w->Close();
    TCStream* r = TCStream::OpenFile(path, 1, 0);
    EXPECT_EQ(r->mode, TCStream::MODE_READ);
    EXPECT_EQ(r->Size(), 5);
    EXPECT_EQ(r->Pos(), 0);
    r->Close();
    TCStream* rw = TCStream::OpenFile(path, 1, 1);
    EXPECT_EQ(rw->mode, TCStream::MODE_READ | TCStream::MODE_WRITE);
    rw->Close();
}

TEST(CStream, BackslashPathOpensTheSameFile) {
    ScratchFolder dir;
    PutFile(dir.Path("same.txt"), "same");
    String* back = dir.Path("same.txt")->Replace(u"/"_s, u"\\"_s);
    ASSERT_GE(back->Find(u"\\"_s), 0);
    TStream* s = ReadStream(back);
    ASSERT_FALSE(IsNull(s));
    EXPECT_EQ(Narrow(s->ReadLine()), "same");
    s->Close();
}

TEST(CStream, NonAsciiFileNames) {
    ScratchFolder dir;
    String* path = Concat(dir.Path(), u"/caf\u00e9-\u20ac.txt"_s);
    SaveString(S("wide"), path);
    EXPECT_EQ(FileBytes(path), "wide");
    EXPECT_EQ(Narrow(LoadString(path)), "wide");
}

TEST(CStream, WritingPastTheEndOfAReadWriteFileGrowsSize) {
    ScratchFolder dir;
    String* path = dir.Path("grow.bin");
    PutFile(path, "0123456789");
    TStream* s = OpenStream(path, 1, 1);
    ASSERT_FALSE(IsNull(s));
    EXPECT_EQ(s->Size(), 10);
    EXPECT_EQ(s->Seek(8), 8);
    s->WriteString(S("abcd"));
    EXPECT_EQ(s->Pos(), 12);
    EXPECT_EQ(s->Size(), 12);
    s->Close();
    EXPECT_EQ(FileBytes(path), "01234567abcd");
}

TEST(CStream, ReadThenWriteThenReadOnOneFileKeepsPositions) {
    ScratchFolder dir;
    String* path = dir.Path("mix.bin");
    PutFile(path, "abcdefgh");
    TStream* s = OpenStream(path, 1, 1);
    EXPECT_EQ(s->ReadByte(), 'a');
    EXPECT_EQ(s->ReadByte(), 'b');
    s->WriteByte('X');  // at position 2
    EXPECT_EQ(s->ReadByte(), 'd');
    s->WriteByte('Y');  // at position 4
    EXPECT_EQ(s->Pos(), 5);
    s->Close();
    EXPECT_EQ(FileBytes(path), "abXdYfgh");
}

TEST(CStream, CloseTwiceAndUseAfterClose) {
    ScratchFolder dir;
    PutFile(dir.Path("c.bin"), "abc");
    TStream* s = ReadStream(dir.Path("c.bin"));
    EXPECT_EQ(s->Close(), 0);
    EXPECT_EQ(s->Close(), 0);
    EXPECT_EQ(s->Pos(), 0);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_TRUE(s->Eof());
    char b;
    EXPECT_EQ(s->Read(&b, 1), 0);
    EXPECT_EQ(s->Seek(1), -1);
}

// Leaves bytes in the C library's buffer of a stream that nothing holds.
__attribute__((noinline)) static void WriteAndDrop(String* path) {
    TStream* s = WriteStream(path);
    s->WriteString(S("buffered"));
}

CLEAN_STACK_TEST(CStream, AStreamThatNobodyHoldsIsClosedByTheCollector) {
    ScratchFolder dir;
    String* path = dir.Path("held.bin");
    WriteAndDrop(path);
    CollectFully();
    EXPECT_EQ(FileBytes(path), "buffered");
    // Closed, so nothing holds the file open any more.
    EXPECT_TRUE(DeleteFileW(reinterpret_cast<const wchar_t*>(Units(path).c_str())));
}

TEST(CStream, PipeHandlesCannotSeek) {
    int fds[2];
    ASSERT_EQ(_pipe(fds, 4096, _O_BINARY), 0);
    FILE* writer = _fdopen(fds[1], "wb");
    FILE* reader = _fdopen(fds[0], "rb");
    std::fwrite("pipe\ndata", 1, 9, writer);
    std::fclose(writer);
    TCStream* s = TCStream::CreateWithCStream(reader, TCStream::MODE_READ);
    EXPECT_EQ(s->Pos(), -1);
    EXPECT_FALSE(s->Eof());
    EXPECT_EQ(Narrow(s->ReadLine()), "pipe");
    EXPECT_EQ(s->Pos(), -1);
    EXPECT_EQ(Narrow(LoadString(s)), "data");  // stops when the pipe gives nothing
    s->Close();
}

// ---- opening urls and the factory chain ----

TEST(OpenStreamUrls, ProtocolIsLowerCasedAndPathKept) {
    TRecordingFactory* f = NewRecordingFactory("mem");
    TStream* s = ReadStream(S("MeM::Some/Path::x"));
    ASSERT_FALSE(IsNull(s));
    EXPECT_EQ(Narrow(f->lastProtocol), "mem");
    EXPECT_EQ(Narrow(f->lastPath), "Some/Path::x");
    EXPECT_EQ(Narrow(s->ReadLine()), "Some/Path::x");
}

TEST(OpenStreamUrls, NewestFactoryIsAskedFirst) {
    TRecordingFactory* older = NewRecordingFactory("same");
    TRecordingFactory* newer = NewRecordingFactory("same");
    EXPECT_EQ(StreamFactories(), newer);
    EXPECT_EQ(newer->succ.get(), older);
    int olderCalls = older->calls;
    EXPECT_FALSE(IsNull(ReadStream(S("same::a"))));
    EXPECT_EQ(older->calls, olderCalls);  // never reached
    EXPECT_EQ(newer->calls, 1);
}

TEST(OpenStreamUrls, UnknownProtocolGivesNullEvenIfSuchAFileExists) {
    ScratchFolder dir;
    PutFile(dir.Path("exists.txt"), "x");
    EXPECT_TRUE(IsNull(ReadStream(Concat(S("nosuchproto::"), dir.Path("exists.txt")))));
    TStream* plain = ReadStream(dir.Path("exists.txt"));
    EXPECT_FALSE(IsNull(plain));
    plain->Close();
}

TEST(OpenStreamUrls, EmptyAndNonStringUrlsGoToTheFactoriesWithEmptyParts) {
    TRecordingFactory* f = NewRecordingFactory("never");
    EXPECT_TRUE(IsNull(ReadStream(EmptyString())));
    EXPECT_EQ(f->lastProtocol->length, 0);
    EXPECT_EQ(f->lastPath->length, 0);
    Object* thing = new TStreamReadException();
    EXPECT_TRUE(IsNull(ReadStream(thing)));
    EXPECT_EQ(f->lastUrl.get(), thing);  // the url object itself is handed on
    EXPECT_EQ(f->lastProtocol->length, 0);
}

TEST(OpenStreamUrls, AStreamAsUrlIsWrappedAndCloseLeavesItOpen) {
    TScriptedStream* inner = TScriptedStream::Create("abc\ndef");
    TStream* s = ReadStream(inner);
    ASSERT_TRUE(IsA<TStreamStream>(s));
    EXPECT_EQ(Narrow(s->ReadLine()), "abc");
    EXPECT_EQ(s->Pos(), 4);
    s->Close();
    EXPECT_EQ(inner->closes, 0);
    EXPECT_EQ(Narrow(inner->ReadLine()), "def");
    EXPECT_THROW(s->Pos(), ThrownObject);  // detached: the null object
    EXPECT_EQ(s->Close(), 0);              // closing again does nothing
}

TEST(OpenStreamUrls, PlainWrapperForwardsAndClosesTheWrappedStream) {
    TScriptedStream* inner = TScriptedStream::Create("\x01\x02\x03\x04rest");
    TStreamWrapper* w = new TStreamWrapper();
    w->SetStream(inner);
    EXPECT_EQ(w->ReadInt(), 0x04030201);
    EXPECT_EQ(w->Size(), 8);
    EXPECT_EQ(Narrow(w->ReadLine()), "rest");
    EXPECT_TRUE(w->Eof());
    w->Close();
    EXPECT_EQ(inner->closes, 1);
}

// ---- copying ----

TEST(Copying, CopyStreamMovesEverything) {
    ScratchFolder dir;
    std::string text;
    for (int i = 0; i < 10000; ++i) text.push_back(static_cast<char>(i * 31));
    TScriptedStream* in = TScriptedStream::Create(text);
    in->chunk = 777;
    TStream* out = WriteStream(dir.Path("copy.bin"));
    CopyStream(in, out, 1000);
    out->Close();
    EXPECT_EQ(FileBytes(dir.Path("copy.bin")), text);
}

TEST(Copying, CopyStreamFromAStalledSourceEnds) {
    ScratchFolder dir;
    TScriptedStream* in = TScriptedStream::Create("abcdef");
    in->stall = 3;
    TStream* out = WriteStream(dir.Path("stall.bin"));
    CopyStream(in, out, 2);  // would spin for ever if a read of nothing were not the end
    out->Close();
    EXPECT_EQ(FileBytes(dir.Path("stall.bin")), "abc");
}

TEST(Copying, CopyBytesCopiesExactlyCountAndZeroFillsBeyondTheEnd) {
    ScratchFolder dir;
    TScriptedStream* in = TScriptedStream::Create("abcdefgh");
    TStream* out = WriteStream(dir.Path("bytes.bin"));
    CopyBytes(in, out, 5, 2);
    EXPECT_EQ(in->Pos(), 5);
    CopyBytes(in, out, 6, 4);  // three bytes left in the source
    out->Close();
    EXPECT_EQ(FileBytes(dir.Path("bytes.bin")), std::string("abcdefgh\0\0\0", 11));
}

// ---- loading and saving ----

TEST(LoadSave, LoadByteArrayGrowsItsBufferByHalves) {
    std::string text(3000, 'x');
    text[0] = 'a';
    text[2999] = 'z';
    TScriptedStream* s = TScriptedStream::Create(text);
    Array* bytes = LoadByteArray(s);
    ASSERT_EQ(bytes->Length(), 3000);
    EXPECT_EQ(std::string(bytes->DataAs<char>(), 3000), text);
    // The free room of 1024, 1536, 2304 and 3456-byte buffers.
    ASSERT_EQ(s->asked.size(), 4u);
    EXPECT_EQ(s->asked[0], 1024);
    EXPECT_EQ(s->asked[1], 512);
    EXPECT_EQ(s->asked[2], 768);
    EXPECT_EQ(s->asked[3], 1152);
    EXPECT_EQ(s->closes, 0);  // the given stream stays open
}

TEST(LoadSave, LoadByteArrayOfAStalledStreamEnds) {
    TScriptedStream* s = TScriptedStream::Create("abcdef");
    s->stall = 4;
    EXPECT_EQ(LoadByteArray(s)->Length(), 4);
}

TEST(LoadSave, SaveByteArrayAndSaveStringWriteWholeFiles) {
    ScratchFolder dir;
    int values[] = {0, 1, 255, 128};
    SaveByteArray(ArrayFromData("b", 4, values), dir.Path("a.bin"));
    EXPECT_EQ(FileBytes(dir.Path("a.bin")), std::string("\0\1\xff\x80", 4));
    SaveString(Concat(S("ok"), FromChar(0x1e9)), dir.Path("s.txt"));
    EXPECT_EQ(FileBytes(dir.Path("s.txt")), "ok\xe9");
    SaveString(S("shorter"), dir.Path("a.bin"));  // replaces the content
    EXPECT_EQ(FileBytes(dir.Path("a.bin")), "shorter");
}

TEST(LoadSave, UrlsThatCannotBeOpenedDoNothingHarmful) {
    ScratchFolder dir;
    String* missing = dir.Path("no/such/folder/file.txt");
    SaveString(S("x"), missing);
    SaveByteArray(NewArray("b", 4), missing);
    SaveObject(NullObject(), missing);
    SaveString(S("x"), S("nosuch::thing"));
    SaveString(S("x"), EmptyString());
    EXPECT_EQ(LoadByteArray(missing)->Length(), 0);
    EXPECT_EQ(LoadString(S("nosuch::thing"))->length, 0);
    EXPECT_TRUE(IsNull(LoadObject(missing)));
    EXPECT_EQ(FileBytes(missing), "<missing>");
}

