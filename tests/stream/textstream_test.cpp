// Text streams: the four encodings, raw bytes as hexadecimal lines, the
// typed values as decimal lines, the factory, LoadText and SaveText.
#include "runtime/win32.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/exception.h"
#include "stream/ramstream.h"
#include "stream/textstream.h"
#include "stream_test_support.h"

namespace {

TTextStream* Reader(const std::string& bytes, int encoding) {
    return TTextStream::Create(TScriptedStream::Create(bytes), encoding);
}

// Writes through a text stream into a file and returns the file's bytes.
std::string Written(int encoding, void (*body)(TTextStream*)) {
    ScratchFolder dir;
    String* path = dir.Path("text.out");
    TStream* file = WriteStream(path);
    TTextStream* text = TTextStream::Create(file, encoding);
    body(text);
    text->Close();
    return FileBytes(path);
}

std::string ThrownString(void (*body)()) {
    try {
        body();
    } catch (ThrownObject& thrown) {
        if (!IsA<String>(thrown.object())) return "<not a string>";
        return Narrow(static_cast<String*>(thrown.object()));
    }
    return "<nothing thrown>";
}

}  // namespace

// ---- characters in the four encodings ----

TEST(TextEncodings, Utf8WritesOneTwoAndThreeBytes) {
    EXPECT_EQ(Written(ENCODING_UTF8,
                      [](TTextStream* t) {
                          t->WriteChar('A');
                          t->WriteChar(0xe9);
                          t->WriteChar(0x20ac);
                          t->WriteChar(0x7ff);
                          t->WriteChar(0xd83d);  // a lone surrogate unit: three bytes of its own
                      }),
              "A\xc3\xa9\xe2\x82\xac\xdf\xbf\xed\xa0\xbd");
}

TEST(TextEncodings, Utf8ThroughTheFactoryUrl) {
    StartTextStreamModule();
    ScratchFolder dir;
    String* url = Concat(S("utf8::"), dir.Path("u.txt"));
    TStream* s = WriteStream(url);
    ASSERT_TRUE(IsA<TTextStream>(s));
    s->WriteString(Concat(FromChar(0xe9), FromChar(0x20ac)));
    s->Close();
    EXPECT_EQ(FileBytes(dir.Path("u.txt")), "\xc3\xa9\xe2\x82\xac");
    TStream* in = ReadStream(url);
    String* back = static_cast<TTextStream*>(in)->ReadFile();
    in->Close();
    EXPECT_EQ(Units(back), u"\u00e9\u20ac");
}

TEST(TextEncodings, Latin1AndBothUtf16Orders) {
    EXPECT_EQ(Written(ENCODING_LATIN1, [](TTextStream* t) { t->WriteString(Concat(S("a"), FromChar(0x1e9))); }),
              "a\xe9");
    EXPECT_EQ(Written(ENCODING_UTF16BE, [](TTextStream* t) { t->WriteChar(0x20ac); }), "\x20\xac");
    EXPECT_EQ(Written(ENCODING_UTF16LE, [](TTextStream* t) { t->WriteChar(0x20ac); }), "\xac\x20");
    EXPECT_EQ(Reader("\x20\xac", ENCODING_UTF16BE)->ReadChar(), 0x20ac);
    EXPECT_EQ(Reader("\xac\x20", ENCODING_UTF16LE)->ReadChar(), 0x20ac);
    EXPECT_EQ(Reader("\xe9", ENCODING_LATIN1)->ReadChar(), 0xe9);
    EXPECT_EQ(Reader("\xe9", 99)->ReadChar(), 0xe9);  // an unknown encoding reads as ISO 8859-1
}

TEST(TextEncodings, Utf8RoundTripOfEveryBmpUnitSample) {
    ScratchFolder dir;
    std::u16string all;
    int step = Stressed() ? 997 : 13;
    for (int c = 1; c < 0x10000; c += step) all.push_back(static_cast<char16_t>(c));
    String* text = String::FromShorts(all.data(), static_cast<int>(all.size()));
    TTextStream* out = TTextStream::Create(WriteStream(dir.Path("all.txt")), ENCODING_UTF8);
    out->WriteString(text);
    out->Close();
    TTextStream* in = TTextStream::Create(ReadStream(dir.Path("all.txt")), ENCODING_UTF8);
    EXPECT_EQ(Units(in->ReadFile()), all);
    in->Close();
}

// ---- malformed input reads as documented partial values ----

TEST(TextMalformed, StrayContinuationByteReadsAsAMaskedValue) {
    TTextStream* t = Reader("\x80" "A", ENCODING_UTF8);
    EXPECT_EQ(t->ReadChar(), ((128 - 192) * 64 + ('A' - 128)) & 0xffff);
    EXPECT_TRUE(t->Eof());
}

TEST(TextMalformed, TruncatedSequencesReadMissingBytesAsZero) {
    EXPECT_EQ(Reader("\xc3", ENCODING_UTF8)->ReadChar(), (3 * 64 - 128) & 0xffff);
    EXPECT_EQ(Reader("\xe2\x82", ENCODING_UTF8)->ReadChar(), (2 * 4096 + 2 * 64 - 128) & 0xffff);
    TTextStream* t = Reader("ok\xe2", ENCODING_UTF8);
    String* line = t->ReadLine();
    ASSERT_EQ(line->length, 3);
    EXPECT_EQ(Units(Slice(line, 0, 2)), u"ok");
    EXPECT_TRUE(t->Eof());
}

TEST(TextMalformed, FourByteSequencesReadAsZeroAfterThreeBytes) {
    TTextStream* t = Reader("\xf0\x9f\x98\x80x", ENCODING_UTF8);
    EXPECT_EQ(t->ReadChar(), 0);
    EXPECT_EQ(t->ReadChar(), ((128 - 192) * 64 + ('x' - 128)) & 0xffff);  // the fourth byte, as a stray one
    EXPECT_TRUE(t->Eof());
    EXPECT_EQ(Reader("a\xf0\x9f\x98\x80" "b", ENCODING_UTF8)->ReadLine()->length, 1);  // the 0 ends the line
}

TEST(TextMalformed, OddByteCountInUtf16) {
    TTextStream* le = Reader(std::string("a\0b", 3), ENCODING_UTF16LE);
    EXPECT_EQ(Units(le->ReadFile()), u"ab");
    TTextStream* be = Reader(std::string("\0a\x01", 3), ENCODING_UTF16BE);
    EXPECT_EQ(Units(be->ReadFile()), std::u16string(u"a\u0100"));
}

TEST(TextMalformed, ReadsNeverGoPastTheEnd) {
    TTextStream* t = Reader("", ENCODING_UTF16LE);
    EXPECT_EQ(t->ReadChar(), 0);
    EXPECT_EQ(t->ReadLine()->length, 0);
    EXPECT_EQ(t->ReadString(3)->length, 3);  // exactly n characters, zeros past the end
}

// File and RAM streams are decoded in runs of bytes; what they give must be
// what a stream read one byte at a time gives, across the runs' seams and
// with a character cut off by the end.
TEST(TextRuns, RunsDecodeAsSingleBytesDo) {
    std::string bytes = RandomBytes(Stressed() ? 70001 : 200001, 7) + "\xe2\x82";  // odd: UTF-16 ends cut off too
    bytes.replace(65500, 38, std::string(35, 'a') + "\xe2\x82\xac");  // a character across the first seam
    ScratchFolder dir;
    String* path = dir.Path("runs.bin");
    PutFile(path, bytes);
    for (int encoding = ENCODING_LATIN1; encoding <= ENCODING_UTF16LE; ++encoding) {
        std::u16string bytewise = Units(Reader(bytes, encoding)->ReadFile());
        TRamStream* ram = CreateRamStream(bytes.data(), static_cast<int>(bytes.size()), 1, 0);
        EXPECT_EQ(Units(TTextStream::Create(ram, encoding)->ReadFile()), bytewise) << "RAM, encoding " << encoding;
        TStream* inner = ReadStream(path);  // seen through a plain wrapper
        TTextStream* file = TTextStream::Create(TStreamStream::Create(inner), encoding);
        EXPECT_EQ(Units(file->ReadFile()), bytewise) << "file, encoding " << encoding;
        EXPECT_TRUE(file->Eof());
        inner->Close();
    }
}

// ---- lines, strings and typed values ----

TEST(TextLines, ReadLineSkipsEveryCarriageReturn) {
    TTextStream* t = Reader("a\r\r\nb", ENCODING_UTF8);
    EXPECT_EQ(Narrow(t->ReadLine()), "a");
    EXPECT_EQ(Narrow(t->ReadLine()), "b");
    EXPECT_EQ(t->ReadLine()->length, 0);
}

TEST(TextLines, WriteLineEndsWithCarriageReturnAndLineFeed) {
    EXPECT_EQ(Written(ENCODING_UTF16LE, [](TTextStream* t) { EXPECT_EQ(t->WriteLine(S("hi")), 1); }),
              std::string("h\0i\0\r\0\n\0", 8));
}

TEST(TextLines, ReadStringReadsCharactersNotBytes) {
    TTextStream* t = Reader("\xc3\xa9" "abc", ENCODING_UTF8);
    EXPECT_EQ(Units(t->ReadString(2)), u"\u00e9a");
    EXPECT_EQ(Narrow(t->ReadString(2)), "bc");
}

TEST(TextTyped, IntsAreDecimalLines) {
    EXPECT_EQ(Written(ENCODING_UTF8, [](TTextStream* t) { t->WriteInt(42); }), "42\r\n");
    EXPECT_EQ(Written(ENCODING_LATIN1, [](TTextStream* t) { t->WriteByte(300); }), "300\r\n");  // not masked
    TTextStream* in = Reader("42\r\n-7\n300\n123456789012\n", ENCODING_UTF8);
    EXPECT_EQ(in->ReadInt(), 42);
    EXPECT_EQ(in->ReadShort(), -7);
    EXPECT_EQ(in->ReadByte(), 300);
    EXPECT_EQ(in->ReadLong(), 123456789012LL);
}

TEST(TextTyped, FloatingValuesRoundTrip) {
    ScratchFolder dir;
    TTextStream* out = TTextStream::Create(WriteStream(dir.Path("f.txt")), ENCODING_UTF8);
    out->WriteFloat(0.1f);
    out->WriteDouble(-2.5e-300);
    out->WriteLong(-9000000000LL);
    out->Close();
    TTextStream* in = TTextStream::Create(ReadStream(dir.Path("f.txt")), ENCODING_UTF8);
    EXPECT_EQ(in->ReadFloat(), 0.1f);
    EXPECT_EQ(in->ReadDouble(), -2.5e-300);
    EXPECT_EQ(in->ReadLong(), -9000000000LL);
    in->Close();
}

// ---- raw bytes as hexadecimal lines ----

TEST(TextHex, FortyBytesMakeAFullLineAndAPendingOne) {
    std::string written = Written(ENCODING_UTF8, [](TTextStream* t) {
        unsigned char bytes[40];
        for (int i = 0; i < 40; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 0xa0);
        EXPECT_EQ(t->Write(bytes, 40), 40);
        EXPECT_EQ(t->hexCount, 8);
        t->WriteLine(S("after"));
    });
    std::string expected;
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 40; ++i) {
        unsigned char b = static_cast<unsigned char>(i * 7 + 0xa0);
        expected += digits[b >> 4];
        expected += digits[b & 15];
        if (i == 31) expected += "\r\n";
    }
    expected += "\r\nafter\r\n";
    EXPECT_EQ(written, expected);
}

TEST(TextHex, BytesAndLinesReadBackInOrder) {
    ScratchFolder dir;
    TTextStream* out = TTextStream::Create(WriteStream(dir.Path("h.txt")), ENCODING_UTF8);
    out->WriteInt(7);
    out->WriteBytes("0123456789abcdefghijklmnopqrstuvwxyz!", 37);
    out->WriteLine(S("tail"));
    out->WriteBytes("exactly thirty-two bytes here..!", 32);  // ends its own line
    out->WriteInt(-1);
    out->Close();
    TTextStream* in = TTextStream::Create(ReadStream(dir.Path("h.txt")), ENCODING_UTF8);
    EXPECT_EQ(in->ReadInt(), 7);
    char bytes[37];
    in->ReadBytes(bytes, 37);
    EXPECT_EQ(std::string(bytes, 37), "0123456789abcdefghijklmnopqrstuvwxyz!");
    EXPECT_EQ(Narrow(in->ReadLine()), "tail");
    char more[32];
    in->ReadBytes(more, 32);
    EXPECT_EQ(std::string(more, 32), "exactly thirty-two bytes here..!");
    EXPECT_EQ(in->hexCount, 32);
    EXPECT_EQ(in->ReadInt(), -1);
    EXPECT_TRUE(in->Eof());
    in->Close();
}

TEST(TextHex, ABareLineFeedIsAcceptedAsTheLineEnd) {
    std::string hex(64, '0');
    TTextStream* t = Reader(hex + "\n41", ENCODING_LATIN1);
    char bytes[33];
    t->ReadBytes(bytes, 33);
    EXPECT_EQ(bytes[32], 'A');
}

TEST(TextHex, AMalformedLineTerminatorIsThrownAsAString) {
    EXPECT_EQ(ThrownString([] {
                  TTextStream* t = Reader(std::string(64, 'F') + "X41", ENCODING_LATIN1);
                  char bytes[33];
                  t->ReadBytes(bytes, 33);
              }),
              "Malformed line terminator");
    EXPECT_EQ(ThrownString([] {
                  TTextStream* t = Reader("41\rX", ENCODING_LATIN1);
                  char b;
                  t->ReadBytes(&b, 1);
                  t->ReadLine();  // the pending line end is 13 and then not 10
              }),
              "Malformed line terminator");
    EXPECT_EQ(ThrownString([] {
                  TTextStream* t = Reader("41", ENCODING_LATIN1);
                  char b;
                  t->ReadBytes(&b, 1);
                  t->ReadInt();  // the stream ends where the line end should be
              }),
              "Malformed line terminator");
}

TEST(TextHex, SkipBytesReadsHexToo) {
    TTextStream* t = Reader("0102030405\r\n9", ENCODING_LATIN1);
    EXPECT_EQ(t->SkipBytes(5), 5);
    EXPECT_EQ(t->hexCount, 5);
    EXPECT_EQ(t->ReadInt(), 9);  // after the pending line end
}

// ---- the factory ----

TEST(TextFactory, ProtocolsAndFailures) {
    StartTextStreamModule();
    ScratchFolder dir;
    PutFile(dir.Path("le.txt"), std::string("h\0i\0", 4));
    TStream* s = ReadStream(Concat(S("UTF16LE::"), dir.Path("le.txt")));
    ASSERT_TRUE(IsA<TTextStream>(s));
    EXPECT_EQ(static_cast<TTextStream*>(s)->encoding, ENCODING_UTF16LE);
    EXPECT_EQ(Narrow(s->ReadLine()), "hi");
    s->Close();
    TStream* latin1 = ReadStream(Concat(S("latin1::"), dir.Path("le.txt")));
    EXPECT_EQ(static_cast<TTextStream*>(latin1)->encoding, ENCODING_LATIN1);
    latin1->Close();
    TStream* be = ReadStream(Concat(S("utf16be::"), dir.Path("le.txt")));
    EXPECT_EQ(static_cast<TTextStream*>(be)->encoding, ENCODING_UTF16BE);
    be->Close();
    EXPECT_TRUE(IsNull(ReadStream(Concat(S("utf8::"), dir.Path("missing.txt")))));
    EXPECT_TRUE(IsNull(ReadStream(Concat(S("utf32::"), dir.Path("le.txt")))));
    EXPECT_TRUE(IsNull(ReadStream(S("utf8::"))));
}

// ---- whole texts ----

TEST(LoadText, ByteOrderMarksPickTheEncoding) {
    ScratchFolder dir;
    PutFile(dir.Path("u8.txt"), "\xef\xbb\xbf" "caf\xc3\xa9");
    EXPECT_EQ(Units(LoadText(dir.Path("u8.txt"))), u"caf\u00e9");
    PutFile(dir.Path("le.txt"), std::string("\xff\xfe\xac\x20z\0", 6));
    EXPECT_EQ(Units(LoadText(dir.Path("le.txt"))), u"\u20acz");
    PutFile(dir.Path("be.txt"), std::string("\xfe\xff\x20\xac\0z", 6));
    EXPECT_EQ(Units(LoadText(dir.Path("be.txt"))), u"\u20acz");
}

TEST(LoadText, WithoutAMarkEveryByteIsACharacter) {
    ScratchFolder dir;
    PutFile(dir.Path("near.txt"), "\xef\xbb" "A");
    EXPECT_EQ(Units(LoadText(dir.Path("near.txt"))), u"\u00ef\u00bbA");
    PutFile(dir.Path("cut.txt"), "\xef\xbb");
    EXPECT_EQ(Units(LoadText(dir.Path("cut.txt"))), u"\u00ef\u00bb");
    PutFile(dir.Path("one.txt"), "\xff");
    EXPECT_EQ(Units(LoadText(dir.Path("one.txt"))), u"\u00ff");
    PutFile(dir.Path("empty.txt"), "");
    EXPECT_EQ(LoadText(dir.Path("empty.txt"))->length, 0);
    std::string big;
    for (int i = 0; i < 5000; ++i) big.push_back(static_cast<char>('a' + i % 26));
    PutFile(dir.Path("big.txt"), big);
    EXPECT_EQ(Narrow(LoadText(dir.Path("big.txt"))), big);
}

TEST(LoadText, TheFileIsClosedAfterwards) {
    ScratchFolder dir;
    PutFile(dir.Path("closed.txt"), "\xef\xbb\xbfx");
    LoadText(dir.Path("closed.txt"));
    EXPECT_TRUE(DeleteFileW(reinterpret_cast<const wchar_t*>(Units(dir.Path("closed.txt")).c_str())));
}

TEST(SaveText, NarrowTextHasNoMarkAndWideTextIsUtf16LittleEndian) {
    ScratchFolder dir;
    SaveText(S("plain \xe9"), dir.Path("plain.txt"));
    EXPECT_EQ(FileBytes(dir.Path("plain.txt")), "plain \xe9");
    String* wide = Concat(S("x"), FromChar(0x20ac));
    SaveText(wide, dir.Path("wide.txt"));
    EXPECT_EQ(FileBytes(dir.Path("wide.txt")), std::string("\xff\xfex\0\xac\x20", 6));
    EXPECT_EQ(Units(LoadText(dir.Path("wide.txt"))), Units(wide));
    EXPECT_EQ(Units(LoadText(dir.Path("plain.txt"))), u"plain \u00e9");
}

TEST(SaveText, UnopenableUrlsAreHarmless) {
    ScratchFolder dir;
    SaveText(Concat(S("x"), FromChar(0x20ac)), dir.Path("no/such/dir/x.txt"));
    SaveText(S("x"), S("nosuch::x"));
    EXPECT_EQ(LoadText(dir.Path("no/such/dir/x.txt"))->length, 0);
    EXPECT_EQ(LoadText(S("nosuch::x"))->length, 0);
}
