// Strings: construction, comparison, search, building and number conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/string.h"

namespace {

String* S(const char* text) { return String::FromCString(text); }

std::string Narrow(String* s) {
    char* c = s->ToCString();
    std::string out(c);
    MemFreeBlock(c);
    return out;
}

}  // namespace

TEST(Strings, ConstructionAndTheSharedEmptyString) {
    EXPECT_EQ(NewString(0), EmptyString());
    EXPECT_EQ(S(""), EmptyString());
    EXPECT_EQ(String::FromCString(nullptr), EmptyString());
    EXPECT_EQ(String::FromWString(nullptr), EmptyString());
    EXPECT_EQ(String::FromBytes("abc", 0), EmptyString());
    unsigned char latin[] = {0x41, 0xe9, 0xff};
    String* l = String::FromBytes(latin, 3);
    EXPECT_EQ(l->Text()[1], 0xe9);
    EXPECT_EQ(l->Text()[2], 0xff);
    EXPECT_EQ(String::FromWString(u"w\u20acx")->Text()[1], 0x20ac);
    int32_t ints[] = {0x10041, 66};
    EXPECT_EQ(Narrow(FromInts(ints, 2)), "AB");
    EXPECT_EQ(Narrow(FromChar(90)), "Z");
    EXPECT_EQ(S("xyz")->AllocSize(), 12 + 6);
}

TEST(Strings, FromArrayByElementType) {
    int32_t codes[] = {104, 105};
    EXPECT_EQ(Narrow(FromArray(ArrayFromData("b", 2, codes))), "hi");
    EXPECT_EQ(Narrow(FromArray(ArrayFromData("s", 2, codes))), "hi");
    EXPECT_EQ(Narrow(FromArray(ArrayFromData("i", 2, codes))), "hi");
    EXPECT_EQ(FromArray(ArrayFromData("f", 2, codes)), EmptyString());
    int sizes[] = {1, 2};
    EXPECT_EQ(FromArray(NewArrayDims("b", sizes, 2)), EmptyString());
}

TEST(Strings, CompareIsByUnsignedUnitsThenLength) {
    EXPECT_LT(S("ab")->Compare(S("abc")), 0);
    EXPECT_GT(S("b")->Compare(S("abc")), 0);
    EXPECT_EQ(S("abc")->Compare(S("abc")), 0);
    EXPECT_GT(String::FromWString(u"\uffff")->Compare(S("a")), 0);
    EXPECT_TRUE(Equals(S("same"), u"same"_s));
    EXPECT_FALSE(Equals(S("same"), u"Same"_s));
}

TEST(Strings, FindAndFindLast) {
    EXPECT_EQ(S("abc")->Find(S("a"), 5), -1);
    EXPECT_EQ(S("abcb")->FindLast(S("b"), 0), 3);
    EXPECT_EQ(S("abcb")->FindLast(S("b"), 1), 3);
    EXPECT_EQ(S("abcb")->FindLast(S("b"), 2), 1);
    EXPECT_EQ(S("abcabc")->Find(S("bc"), -7), 1);
    EXPECT_EQ(S("abcabc")->Find(S("bc"), 2), 4);
    EXPECT_EQ(S("abc")->Find(EmptyString(), 2), 2);
    EXPECT_EQ(S("abc")->Find(EmptyString(), 3), 3);
    EXPECT_EQ(S("abc")->Find(EmptyString(), 4), -1);
    EXPECT_EQ(S("ab")->Find(S("abc"), 0), -1);
    EXPECT_EQ(S("ab")->FindLast(S("abc"), 0), -1);
    EXPECT_TRUE(S("hello")->StartsWith(S("he")));
    EXPECT_FALSE(S("he")->StartsWith(S("hello")));
    EXPECT_TRUE(S("hello")->EndsWith(S("llo")));
    EXPECT_TRUE(S("hello")->Contains(S("ell")));
    EXPECT_FALSE(S("hello")->Contains(S("elo")));
}

TEST(Strings, SlicePadsOutsidePositionsWithSpaces) {
    EXPECT_EQ(Narrow(Slice(S("abc"), -2, 3)), "  abc");
    EXPECT_EQ(Narrow(Slice(S("abc"), 1, 6)), "bc   ");
    EXPECT_EQ(Slice(S("abc"), 2, 2), EmptyString());
    EXPECT_EQ(Slice(S("abc"), 3, 1), EmptyString());
    EXPECT_EQ(Narrow(Slice(S("/s"), 0, 2)), "/s");
    EXPECT_EQ(Narrow(Slice(S("/"), 0, 2)), "/ ");
    EXPECT_EQ(Slice(S("abc"), -2147483647, -2147483646)->length, 1);
}

TEST(Strings, ConcatenationAllocatesTheSum) {
    EXPECT_EQ(Narrow(Concat(S("ab"), S("cd"))), "abcd");
    EXPECT_EQ(Narrow(Concat(S("a"), S("b"), S("c"), S("d"))), "abcd");
    EXPECT_EQ(Concat(EmptyString(), EmptyString()), EmptyString());
}

TEST(Strings, TrimReturnsTheReceiverOrTheEmptyString) {
    String* clean = S("clean");
    EXPECT_EQ(clean->Trim(), clean);
    EXPECT_EQ(S(" \t \t ")->Trim(), EmptyString());
    EXPECT_EQ(Narrow(S("\r\n  both ends\x01 ")->Trim()), "both ends");
}

TEST(Strings, ReplaceIsNonOverlappingLeftToRight) {
    EXPECT_EQ(Narrow(S("aaaa")->Replace(S("aa"), S("b"))), "bb");
    EXPECT_EQ(Narrow(S("aaa")->Replace(S("aa"), S("xyz"))), "xyza");
    EXPECT_EQ(Narrow(S("a.b.c")->Replace(S("."), EmptyString())), "abc");
    String* s = S("unchanged");
    EXPECT_EQ(s->Replace(S("zz"), S("y")), s);
    EXPECT_EQ(s->Replace(EmptyString(), S("y")), s);
}

// Lengths are checked in 64 bits before anything is allocated or copied:
// a result too large for a string raises an error instead of overrunning.
TEST(Strings, ResultsTooLargeForAStringRaiseAnError) {
    String* wide = NewString(30000);
    std::fill_n(wide->Text(), 30000, u'w');
    Array* pieces = NewArray("$", 100000);
    for (int i = 0; i < 100000; ++i) pieces->SetObject(i, S("x"));
    EXPECT_THROW(wide->Join(pieces), ThrownObject);
    String* many = NewString(100000);
    std::fill_n(many->Text(), 100000, u'a');
    EXPECT_THROW(many->Replace(S("a"), wide), ThrownObject);
    EXPECT_THROW(Slice(S("abc"), 0, 2147483647), ThrownObject);
    EXPECT_THROW(Slice(S("abc"), -1073741824, 1073741824), ThrownObject);
    static const char byte = 'b';
    EXPECT_THROW(String::FromBytes(&byte, 0x40000000), ThrownObject);
    EXPECT_THROW(NewString(0x40000000), ThrownObject);
    // Starts near the ends of the int range find nothing and read nothing outside.
    EXPECT_EQ(S("abc")->Find(S("bc"), 2147483646), -1);
    EXPECT_EQ(S("abc")->Find(EmptyString(), 2147483647), -1);
    EXPECT_EQ(S("abcb")->FindLast(S("b"), -2147483647 - 1), 3);
    EXPECT_EQ(S("abcb")->FindLast(S("b"), 2147483647), -1);
}

TEST(Strings, CaseMappingOnlyFoldsAsciiLetters) {
    EXPECT_EQ(Narrow(S("MiXeD 123 [@]")->ToLower()), "mixed 123 [@]");
    EXPECT_EQ(Narrow(S("MiXeD 123 {`}")->ToUpper()), "MIXED 123 {`}");
    String* u = String::FromWString(u"\u00c9A");
    EXPECT_EQ(u->ToLower()->Text()[0], 0xc9);
    String* lower = S("lower");
    EXPECT_EQ(lower->ToLower(), lower);
}

TEST(Strings, SplitAndJoin) {
    Array* pieces = S(",a,,")->Split(S(","));
    ASSERT_EQ(pieces->Length(), 4);
    EXPECT_EQ(pieces->StringAt(0), EmptyString());
    EXPECT_EQ(Narrow(pieces->StringAt(1)), "a");
    EXPECT_EQ(pieces->StringAt(2), EmptyString());
    EXPECT_EQ(pieces->StringAt(3), EmptyString());
    EXPECT_EQ(Narrow(S("-")->Join(pieces)), "-a--");
    EXPECT_EQ(S("-")->Join(EmptyArray()), EmptyString());
    Array* words = S("one::two::three")->Split(S("::"));
    ASSERT_EQ(words->Length(), 3);
    EXPECT_EQ(Narrow(S(", ")->Join(words)), "one, two, three");
}

TEST(Strings, SplitWithAnEmptySeparatorTerminates) {
    Array* pieces = S("abc")->Split(EmptyString());
    ASSERT_EQ(pieces->Length(), 1);
    EXPECT_EQ(Narrow(pieces->StringAt(0)), "abc");
}

TEST(Strings, IntegersToText) {
    EXPECT_EQ(Narrow(String::FromInt(-2147483647 - 1)), "-2147483648");
    EXPECT_EQ(Narrow(String::FromInt(0)), "0");
    EXPECT_EQ(Narrow(String::FromInt(42)), "42");
    EXPECT_EQ(Narrow(String::FromLong(INT64_MIN)), "-9223372036854775808");
    EXPECT_EQ(Narrow(String::FromLong(1234567890123LL)), "1234567890123");
}

TEST(Strings, FloatsAndDoublesKeepTheirFixedFormats) {
    EXPECT_EQ(Narrow(String::FromFloat(2.0f)), "2.00000000");
    EXPECT_EQ(Narrow(String::FromFloat(1.5f)), "1.50000000");
    EXPECT_EQ(Narrow(String::FromFloat(0.1f)), "0.100000001");
    EXPECT_EQ(Narrow(String::FromDouble(0.5)), "0.50000000000000000");
    EXPECT_EQ(Narrow(String::FromDouble(0.1)), "0.10000000000000001");
    EXPECT_EQ(Narrow(String::FromFloat(-3.25f)), "-3.25000000");
    std::string big = Narrow(String::FromDouble(1e300));
    EXPECT_EQ(big.substr(0, 20), "1.0000000000000001e+");
}

TEST(Strings, ToIntRules) {
    EXPECT_EQ(S("  -$1f")->ToInt(), -31);
    EXPECT_EQ(S("%101")->ToInt(), 5);
    EXPECT_EQ(S("12abc")->ToInt(), 12);
    EXPECT_EQ(S("abc")->ToInt(), 0);
    EXPECT_EQ(S("")->ToInt(), 0);
    EXPECT_EQ(S("-")->ToInt(), 0);
    EXPECT_EQ(S("+7")->ToInt(), 7);
    EXPECT_EQ(S("\t\n\v\f\r 9")->ToInt(), 9);
    EXPECT_EQ(S("$FFFFFFFF")->ToInt(), -1);
    EXPECT_EQ(S("4294967297")->ToInt(), 1);  // wraps modulo 2^32
    EXPECT_EQ(S("%2")->ToInt(), 0);
    EXPECT_EQ(S("$g")->ToInt(), 0);
    EXPECT_EQ(S("- 5")->ToInt(), 0);
    EXPECT_EQ(S("99999999999999999999999")->ToLong(), 200376420520689663LL);  // modulo 2^64
    EXPECT_EQ(S("-$7fffffffffffffff")->ToLong(), -INT64_MAX);
}

TEST(Strings, ToFloatAndToDoubleUseTheCLibrary) {
    EXPECT_EQ(S("2.5")->ToDouble(), 2.5);
    EXPECT_EQ(S("  1e3xyz")->ToDouble(), 1000.0);
    EXPECT_EQ(S("junk")->ToDouble(), 0.0);
    EXPECT_EQ(S("0.1")->ToFloat(), 0.1f);
}

TEST(Strings, CStringAndUtf8Buffers) {
    String* s = String::FromWString(u"A\u00e9\u20ac\U0001F600");
    char* c = s->ToCString();
    EXPECT_EQ(static_cast<unsigned char>(c[1]), 0xe9);
    EXPECT_EQ(static_cast<unsigned char>(c[2]), 0xac);  // low byte of the euro sign
    MemFreeBlock(c);
    char* u = s->ToUtf8();
    EXPECT_STREQ(u, "A\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
    EXPECT_EQ(String::FromUtf8(u)->Compare(s), 0);
    MemFreeBlock(u);
    char16_t* w = s->ToWString();
    EXPECT_EQ(w[s->length], 0);
    EXPECT_EQ(String::FromWString(w)->Compare(s), 0);
    MemFreeBlock(w);
    String* broken = String::FromUtf8("a\x80z\xe2\x82");
    ASSERT_EQ(broken->length, 5);  // malformed bytes stand for themselves
    EXPECT_EQ(broken->Text()[1], 0x80);
}
