// Arrays: creation, initial values, slicing, sorting, dimensions and casts.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "tests/runtime/collect_helpers.h"

namespace {

Array* Ints(std::vector<int32_t> values) {
    return ArrayFromData("i", static_cast<int>(values.size()), values.data());
}

std::vector<int32_t> Values(Array* a) {
    return std::vector<int32_t>(a->DataAs<int32_t>(), a->DataAs<int32_t>() + a->Length());
}

class TBox : public Object {
    KV_CLASS(TBox, Object)
public:
    int key = 0;
    int Compare(Object* other) override { return key - static_cast<TBox*>(other)->key; }
};
KV_DEFINE_CLASS(TBox, Object);

}  // namespace

TEST(Arrays, EmptyLengthsGiveTheSharedEmptyArray) {
    EXPECT_EQ(NewArray("i", 0), EmptyArray());
    EXPECT_EQ(NewArray("$", -3), EmptyArray());
    int sizes[] = {3, 0, 2};
    EXPECT_EQ(NewArrayDims("i", sizes, 3), EmptyArray());
    EXPECT_EQ(EmptyArray()->Length(), 0);
    EXPECT_EQ(Dimensions(EmptyArray()), EmptyArray());
}

TEST(Arrays, NewElementsTakeTheTypesInitialValue) {
    Array* s = NewArray("$", 3);
    Array* o = NewArray(":Object", 2);
    Array* a = NewArray("[i", 2);
    Array* d = NewArray("d", 4);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(s->StringAt(i), EmptyString());
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(IsNull(o->ObjectAt(i)));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(a->ObjectAt(i), EmptyArray());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(d->DataAs<double>()[i], 0.0);
    EXPECT_EQ(d->dataSize, 32);
    EXPECT_EQ(d->AllocSize(), 20 + 4 + 32);
}

TEST(Arrays, UninitialisedFunctionSlotsRaiseNullFunction) {
    Array* f = NewArray("()i", 2);
    auto call = f->DataAs<void (*)()>()[1];
    try {
        call();
        FAIL();
    } catch (ThrownObject& thrown) {
        auto* e = thrown.As<TNullFunctionException>();
        ASSERT_NE(e, nullptr);
        EXPECT_TRUE(Equals(e->ToString(), u"Attempt to call uninitialized function pointer"_s));
    }
}

TEST(Arrays, ScalesAndDimensionsOfAMultiDimensionalArray) {
    int sizes[] = {3, 4};
    Array* a = NewArrayDims("i", sizes, 2);
    EXPECT_EQ(a->dims, 2);
    EXPECT_EQ(a->Scales()[0], 12);
    EXPECT_EQ(a->Scales()[1], 4);
    EXPECT_EQ(Values(Dimensions(a)), (std::vector<int32_t>{3, 4}));
    int cube[] = {2, 3, 5};
    EXPECT_EQ(Values(Dimensions(NewArrayDims("b", cube, 3))), (std::vector<int32_t>{2, 3, 5}));
}

TEST(Arrays, SizeProductsThatOverflowAreTooLarge) {
    int cube[] = {1 << 21, 1 << 21, 1 << 21};
    EXPECT_THROW(NewArrayDims("b", cube, 3), ThrownObject);
    int square[] = {65536, 65536};
    EXPECT_THROW(NewArrayDims("b", square, 2), ThrownObject);
    int wrapsTo32Bytes[] = {1 << 16, 1 << 16, 1 << 16, 1 << 16};
    EXPECT_THROW(NewArrayDims("i", wrapsTo32Bytes, 4), ThrownObject);
}

TEST(Arrays, FromDataTakesLowBytesAndLowShorts) {
    int32_t values[] = {0x1ff, -1, 65, 0x12345678};
    Array* b = ArrayFromData("b", 4, values);
    EXPECT_EQ(b->DataAs<uint8_t>()[0], 0xff);
    EXPECT_EQ(b->DataAs<uint8_t>()[1], 0xff);
    EXPECT_EQ(b->DataAs<uint8_t>()[3], 0x78);
    Array* s = ArrayFromData("s", 4, values);
    EXPECT_EQ(s->DataAs<uint16_t>()[0], 0x1ff);
    EXPECT_EQ(s->DataAs<uint16_t>()[3], 0x5678);
    EXPECT_EQ(Values(ArrayFromData("i", 4, values)), (std::vector<int32_t>{0x1ff, -1, 65, 0x12345678}));
}

TEST(Arrays, SliceOutsideTheSourcePadsWithInitialValues) {
    Array* a = Ints({1, 2, 3});
    EXPECT_EQ(Values(SliceArray("i", a, -2, 5)), (std::vector<int32_t>{0, 0, 1, 2, 3, 0, 0}));
    EXPECT_EQ(SliceArray("i", a, 2, 2), EmptyArray());
    EXPECT_EQ(SliceArray("i", a, 5, 1), EmptyArray());
    EXPECT_EQ(Values(SliceArray("i", a, 1000000, 1000003)), (std::vector<int32_t>{0, 0, 0}));
    EXPECT_EQ(Values(SliceArray("i", a, -2147483647, -2147483645)), (std::vector<int32_t>{0, 0}));
}

TEST(Arrays, SliceOfAStringArrayRetainsTheCopiedElements) {
    Array* a = NewArray("$", 2);
    a->SetObject(0, String::FromCString("first"));
    a->SetObject(1, String::FromCString("second"));
    Array* s = SliceArray("$", a, 1, 4);
    ASSERT_EQ(s->Length(), 3);
    EXPECT_EQ(s->StringAt(0), a->StringAt(1));
    EXPECT_EQ(s->StringAt(0)->refs & ~kPendingFlag, 2);
    EXPECT_EQ(s->StringAt(1), EmptyString());
    EXPECT_EQ(s->StringAt(2), EmptyString());
}

TEST(Arrays, HugeSliceRangesFailCleanly) {
    Array* a = Ints({1});
    EXPECT_THROW(SliceArray("d", a, -2147483647, 2147483647), ThrownObject);
}

TEST(Arrays, SortNumbersAscendingAndDescending) {
    Array* a = Ints({5, -3, 9, 0, 9, 2, -8, 1});
    a->Sort(1);
    EXPECT_EQ(Values(a), (std::vector<int32_t>{-8, -3, 0, 1, 2, 5, 9, 9}));
    a->Sort(0);
    EXPECT_EQ(Values(a), (std::vector<int32_t>{9, 9, 5, 2, 1, 0, -3, -8}));
    int32_t bytes[] = {200, 100, 7};
    Array* b = ArrayFromData("b", 3, bytes);
    SortArray(b, 1);
    EXPECT_EQ(b->DataAs<uint8_t>()[0], 7);
    EXPECT_EQ(b->DataAs<uint8_t>()[2], 200);  // bytes compare unsigned
    Array* one = Ints({4});
    one->Sort(1);
    EXPECT_EQ(Values(one), (std::vector<int32_t>{4}));
}

TEST(Arrays, SortLargeRandomIntArrayMatchesStdSort) {
    std::vector<int32_t> values;
    uint32_t x = 12345;
    for (int i = 0; i < 5000; ++i) values.push_back(static_cast<int32_t>((x = x * 1103515245u + 12345u) >> 8) % 100);
    Array* a = Ints(values);
    a->Sort(1);
    std::sort(values.begin(), values.end());
    EXPECT_EQ(Values(a), values);
}

TEST(Arrays, SortStringsAndObjectsWithTheirCompareSlot) {
    Array* s = NewArray("$", 4);
    const char* words[] = {"pear", "apple", "fig", "apple2"};
    for (int i = 0; i < 4; ++i) s->SetObject(i, String::FromCString(words[i]));
    s->Sort(1);
    EXPECT_TRUE(Equals(s->StringAt(0), u"apple"_s));
    EXPECT_TRUE(Equals(s->StringAt(1), u"apple2"_s));
    EXPECT_TRUE(Equals(s->StringAt(3), u"pear"_s));
    Array* o = NewArray(":TBox", 3);
    for (int i = 0; i < 3; ++i) {
        TBox* box = new TBox();
        box->key = (i * 7) % 3;
        o->SetObject(i, box);
    }
    o->Sort(0);
    EXPECT_EQ(static_cast<TBox*>(o->ObjectAt(0))->key, 2);
    EXPECT_EQ(static_cast<TBox*>(o->ObjectAt(2))->key, 0);
}

TEST(Arrays, CastToArrayFollowsTheElementTypeRules) {
    EXPECT_EQ(CastToArray(EmptyArray(), ":TBox"), EmptyArray());
    EXPECT_TRUE(IsNull(CastToArray(new TBox(), ":Object")));
    EXPECT_TRUE(IsNull(CastToArray(String::FromCString("x"), "$")));
    Array* ints = Ints({1});
    EXPECT_EQ(CastToArray(ints, ":Object"), ints);
    Array* objects = NewArray(":Object", 1);
    EXPECT_EQ(CastToArray(objects, ":Object"), objects);
    EXPECT_TRUE(IsNull(CastToArray(objects, ":TBox")));
}

TEST(Arrays, IndexChecksRaiseArrayBounds) {
    Array* a = Ints({1, 2});
    EXPECT_EQ(a->CheckIndex(1), 1);
    try {
        a->CheckIndex(2);
        FAIL();
    } catch (ThrownObject& thrown) {
        ASSERT_NE(thrown.As<TArrayBoundsException>(), nullptr);
    }
    EXPECT_THROW(a->CheckIndex(-1), ThrownObject);
}

__attribute__((noinline)) static uintptr_t FillStringArray() {
    Array* a = NewArray("$", 100);
    for (int i = 0; i < 100; ++i) a->SetObject(i, String::FromInt(i * 1000));
    return ~reinterpret_cast<uintptr_t>(a);
}

CLEAN_STACK_TEST(Arrays, FreeingAReferenceArrayReleasesItsElements) {
    CollectFully();
    int64_t before = MemoryAllocated();
    FillStringArray();
    CollectFully();
    EXPECT_EQ(MemoryAllocated(), before);
}
