// The object model and the collector: counting, the pending list, the
// conservative stack scan, static objects, handles and mem bits.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/object.h"
#include "runtime/string.h"
#include "runtime/win32.h"
#include "tests/runtime/collect_helpers.h"

namespace {

class TNode1 : public Object {
    KV_CLASS(TNode1, Object)
public:
    Ref<Object> next;
    int value = 7;
};

class TNode2 : public TNode1 {
    KV_CLASS(TNode2, TNode1)
public:
    int extra = 9;
};

class TThrowsInConstructor : public Object {
    KV_CLASS(TThrowsInConstructor, Object)
public:
    Ref<Object> held;
    TThrowsInConstructor() {
        held = String::FromInt(12345);
        RuntimeError("constructor failed");
    }
};

KV_DEFINE_CLASS(TNode1, Object);
KV_DEFINE_CLASS(TNode2, TNode1);
KV_DEFINE_CLASS(TThrowsInConstructor, Object);

__attribute__((noinline)) uintptr_t MakeUnreferencedObject() { return Hide(new TNode1()); }

__attribute__((noinline)) uintptr_t MakeCycle() {
    TNode1* a = new TNode1();
    TNode1* b = new TNode1();
    a->next = b;
    b->next = a;
    return Hide(a);
}

}  // namespace

CLEAN_STACK_TEST(Collector, UnreferencedObjectIsFreedAndItsMemoryReturned) {
    CollectFully();
    int64_t before = MemoryAllocated();
    volatile uintptr_t hidden = MakeUnreferencedObject();
    EXPECT_EQ(MemoryAllocated() - before, static_cast<int64_t>(sizeof(TNode1)));
    CollectFully();
    EXPECT_FALSE(IsLive(hidden));
    EXPECT_EQ(MemoryAllocated(), before);
}

CLEAN_STACK_TEST(Collector, ObjectHeldOnlyByALocalSurvivesCollections) {
    TNode1* local = new TNode1();
    local->value = 4242;
    for (int i = 0; i < 3; ++i) {
        CollectMemory();
        // Garbage between collections reuses any block freed by mistake.
        for (int k = 0; k < 50; ++k) (void)new TNode1();
    }
    EXPECT_TRUE(TestMemBit(local));
    EXPECT_EQ(local->value, 4242);
    EXPECT_EQ(local->refs & ~kPendingFlag, 0);
}

// Only a pointer into the middle of the string's text stays in this frame.
__attribute__((noinline)) const char16_t* MakeStringKeepInterior() {
    String* s = String::FromCString("interior pointers keep their object");
    return s->Text() + 9;
}

CLEAN_STACK_TEST(Collector, InteriorPointerKeepsItsObjectAlive) {
    const char16_t* volatile inside = MakeStringKeepInterior();
    for (int i = 0; i < 3; ++i) {
        ClearStackBelow();
        CollectMemory();
        for (int k = 0; k < 50; ++k) (void)String::FromCString("garbage text of similar size!!");
    }
    const String* owner = reinterpret_cast<const String*>(
        reinterpret_cast<uintptr_t>(inside - 9) - sizeof(String));
    EXPECT_TRUE(TestMemBit(owner));
    std::u16string rest(inside, 8);
    EXPECT_EQ(rest, u"pointers");
}

__attribute__((noinline)) uintptr_t MakeLargeArrayKeepInterior(int32_t** inside) {
    Array* a = NewArray("i", 100000);
    a->DataAs<int32_t>()[50000] = 77;
    *inside = a->DataAs<int32_t>() + 50000;
    return Hide(a);
}

CLEAN_STACK_TEST(Collector, InteriorPointerIntoALargeBlockKeepsItAlive) {
    int32_t* volatile inside = nullptr;
    int32_t* tmp = nullptr;
    volatile uintptr_t hidden = MakeLargeArrayKeepInterior(&tmp);
    inside = tmp;
    tmp = nullptr;
    CollectFully();
    EXPECT_TRUE(IsLive(hidden));
    EXPECT_EQ(*inside, 77);
}

static Ref<TNode1> holder;

__attribute__((noinline)) uintptr_t StoreChild() {
    holder = new TNode1();
    return Hide(holder->next = new TNode2());
}

__attribute__((noinline)) void DropHolder() {
    holder->next = NullObject();
    holder = static_cast<TNode1*>(NullObject());
    asm volatile("" ::: "memory");  // no tail call: see BreakCycle
}

CLEAN_STACK_TEST(Collector, StoredObjectsLiveAndAreFreedWhenTheLastReferenceGoes) {
    CollectFully();
    int64_t before = MemoryAllocated();
    volatile uintptr_t child = StoreChild();
    CollectFully();
    EXPECT_TRUE(IsLive(child));
    EXPECT_EQ(RefsOf(child), 1);
    DropHolder();
    CollectFully();
    EXPECT_FALSE(IsLive(child));
    EXPECT_EQ(MemoryAllocated(), before);
}

// What a Delete does: clear the field that closes the cycle. The barrier
// keeps the release from becoming a tail call, which would leave the other
// object's address in the caller's argument slot.
__attribute__((noinline)) void BreakCycle(uintptr_t hidden) {
    static_cast<TNode1*>(Unhide(hidden))->next = NullObject();
    asm volatile("" ::: "memory");
}

CLEAN_STACK_TEST(Collector, CycleLivesUntilBrokenThenIsFreed) {
    CollectFully();
    int64_t before = MemoryAllocated();
    volatile uintptr_t hidden = MakeCycle();
    CollectFully();
    EXPECT_TRUE(IsLive(hidden)) << "a counted cycle is not collected on its own";
    BreakCycle(hidden);
    CollectFully();
    EXPECT_EQ(MemoryAllocated(), before);
}

TEST(Collector, NewObjectCountsCarryThePendingFlagUntilCollected) {
    TNode1* a = new TNode1();
    EXPECT_EQ(a->refs, kPendingFlag);
    Ref<TNode1> slot = a;
    EXPECT_EQ(static_cast<uint32_t>(a->refs), 0x80000001u);
    CollectMemory();
    EXPECT_EQ(a->refs, 1);
}

__attribute__((noinline)) void MakeGarbage(int count) {
    for (int i = 0; i < count; ++i) (void)new TNode1();
}

CLEAN_STACK_TEST(Collector, ManyPendingObjectsGrowTheListAndAllAreFreed) {
    CollectFully();
    int saved = CollectorMode();
    SetCollectorMode(kCollectManual);
    int64_t before = MemoryAllocated();
    int count = saved == kCollectEveryAllocation ? 2000 : 5000;
    MakeGarbage(count);
    EXPECT_GE(PendingCount(), count);
    EXPECT_GE(PendingCapacityReached(), count);
    CollectFully();
    EXPECT_EQ(MemoryAllocated(), before);
    SetCollectorMode(saved);
}

TEST(Collector, AutomaticModeKeepsGarbageBounded) {
    if (CollectorMode() != kCollectAutomatic) GTEST_SKIP() << "automatic mode only";
    CollectFully();
    int64_t before = MemoryAllocated();
    int64_t peak = 0;
    for (int i = 0; i < 200000; ++i) {
        (void)NewArray("i", 60);  // 264 bytes each, about 50 MB in all
        int64_t now = MemoryAllocated() - before;
        if (now > peak) peak = now;
    }
    EXPECT_LT(peak, 4 << 20);
}

// A chain: freeing each link releases the next one during the same walk.
__attribute__((noinline)) void MakeChain(int length) {
    Ref<TNode1> head = new TNode1();
    TNode1* at = head;
    for (int i = 0; i < length; ++i) {
        TNode1* n = new TNode1();
        at->next = n;
        at = n;
    }
}

CLEAN_STACK_TEST(Collector, DestructorsThatReleaseDuringACollectionAreHandled) {
    CollectFully();
    int64_t before = MemoryAllocated();
    MakeChain(300);
    CollectFully();
    EXPECT_EQ(MemoryAllocated(), before);
}

__attribute__((noinline)) bool ConstructAndCatch() {
    try {
        (void)new TThrowsInConstructor();
    } catch (ThrownObject& thrown) {
        return thrown.As<TRuntimeException>() != nullptr;
    }
    return false;
}

CLEAN_STACK_TEST(Collector, ConstructorThatThrowsLeavesNoHalfMadeObject) {
    CollectFully();
    int64_t before = MemoryAllocated();
    int pending = PendingCount();
    EXPECT_TRUE(ConstructAndCatch());
    EXPECT_LE(PendingCount(), pending + 3);  // the exception and its text, not the half-made object
    CollectFully();
    EXPECT_EQ(MemoryAllocated(), before);
}

TEST(Collector, DebugModePrintsItsStatisticsLine) {
    std::fflush(stdout);
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    std::strcat(path, "neonara_gc_debug.txt");
    FILE* saved = nullptr;
    int savedFd = _dup(_fileno(stdout));
    ASSERT_NE(std::freopen(path, "w", stdout), saved);
    int mode = CollectorMode();
    SetCollectorMode(kCollectManual);
    SetCollectorDebug(1);
    MakeGarbage(3);
    ClearStackBelow();
    CollectMemory();
    SetCollectorDebug(0);
    SetCollectorMode(mode);
    std::fflush(stdout);
    _dup2(savedFd, _fileno(stdout));
    _close(savedFd);
    FILE* in = std::fopen(path, "rb");
    ASSERT_TRUE(in);
    char line[256] = {};
    ASSERT_TRUE(std::fgets(line, sizeof line, in));
    std::fclose(in);
    std::remove(path);
    int memFreed, time, freed, scanned, live;
    EXPECT_EQ(std::sscanf(line,
                          "GC collectMem: memFreed=%i, time=%ims, objsFreed=%i, objsScanned=%i, "
                          "objsLive=%i",
                          &memFreed, &time, &freed, &scanned, &live),
              5)
        << line;
    EXPECT_EQ(line[std::strlen(line) - 1], '\n');
    EXPECT_GE(freed, 1);
    EXPECT_EQ(scanned, live);
}

TEST(StaticObjects, ReleasingTheEmptyStringToZeroResetsIt) {
    String* empty = EmptyString();
    int32_t saved = empty->refs;
    empty->refs = 1;
    ReleaseObject(empty);
    EXPECT_EQ(empty->refs, kPendingFlag);
    CollectMemory();
    EXPECT_EQ(empty->refs, kStaticRefs);
    EXPECT_EQ(empty->length, 0);
    EXPECT_EQ(Concat(empty, u"ok"_s)->length, 2);
    empty->refs = saved;
}

TEST(StaticObjects, LiteralsArePermanentAndShared) {
    String* a = u"literal"_s;
    EXPECT_EQ(a->refs, kLiteralRefs);
    EXPECT_EQ(a, u"literal"_s);
    EXPECT_EQ(a->length, 7);
    EXPECT_EQ(std::u16string(a->Text(), 7), u"literal");
    EXPECT_EQ(u""_s, EmptyString());
    {
        Ref<String> slot = a;
        EXPECT_NE(a->refs, kLiteralRefs);
    }
    EXPECT_EQ(a->refs, kLiteralRefs);
}

TEST(StaticObjects, UnsetSlotsHoldTheSharedStaticObjects) {
    Ref<Object> object;
    Ref<String> text;
    Ref<Array> array;
    EXPECT_TRUE(IsNull(object));
    EXPECT_EQ(text.get(), EmptyString());
    EXPECT_EQ(array.get(), EmptyArray());
}

TEST(Objects, CallingThroughTheNullObjectRaisesNullObjectException) {
    Ref<TNode1> slot;
    try {
        slot->value = 1;
        FAIL() << "no exception";
    } catch (ThrownObject& thrown) {
        auto* e = thrown.As<TNullObjectException>();
        ASSERT_NE(e, nullptr);
        EXPECT_TRUE(Equals(e->ToString(), u"Attempt to access field or method of Null object"_s));
    }
    EXPECT_EQ(nullObject.refs & ~kPendingFlag, nullObject.refs);
}

TEST(Objects, DowncastWalksTheSuperChain) {
    TNode2* n = new TNode2();
    EXPECT_EQ(Downcast<TNode1>(n), n);
    EXPECT_EQ(Downcast<TNode2>(n), n);
    EXPECT_EQ(Downcast(n, &Object::classRecord), n);
    TNode1* base = new TNode1();
    EXPECT_TRUE(IsNull(Downcast<TNode2>(base)));
    EXPECT_TRUE(IsNull(Downcast<TNode1>(NullObject())));
    EXPECT_TRUE(IsNull(Downcast<String>(n)));
    EXPECT_EQ(TNode2::classRecord.size, static_cast<int>(sizeof(TNode2)));
    EXPECT_STREQ(TNode2::classRecord.name, "TNode2");
}

TEST(Objects, DefaultToStringCompareAndReservedSlots) {
    Object* a = new TNode1();
    Object* b = new TNode1();
    char expected[16];
    std::snprintf(expected, sizeof expected, "%p", static_cast<void*>(a));
    char* text = a->ToString()->ToCString();
    EXPECT_STREQ(text, expected);
    EXPECT_EQ(std::strlen(text), 8u);
    MemFreeBlock(text);
    EXPECT_EQ(a->Compare(b), static_cast<int>(reinterpret_cast<intptr_t>(a) - reinterpret_cast<intptr_t>(b)));
    EXPECT_TRUE(IsNull(a->SendMessage(b, b)));
    try {
        a->Reserved2();
        FAIL();
    } catch (ThrownObject& thrown) {
        String* s = thrown.As<String>();
        ASSERT_NE(s, nullptr);
        EXPECT_TRUE(Equals(s, u"Illegal call to reserved method"_s));
    }
}

TEST(Objects, ClassRegistryKeepsRegistrationOrder) {
    int before = 0;
    RegisteredClasses(&before);
    RegisterClass(&TNode1::classRecord);
    RegisterClass(&TNode2::classRecord);
    int count = 0;
    const ClassRecord* const* list = RegisteredClasses(&count);
    ASSERT_EQ(count, before + 2);
    EXPECT_EQ(list[count - 2], &TNode1::classRecord);
    EXPECT_EQ(list[count - 1], &TNode2::classRecord);
}

TEST(Handles, SameObjectSameHandleRetainedOnce) {
    TNode1* n = new TNode1();
    int h1 = HandleFromObject(n);
    int h2 = HandleFromObject(n);
    EXPECT_EQ(h1, h2);
    EXPECT_GT(h1, 0);
    EXPECT_EQ(n->refs & ~kPendingFlag, 1);
    EXPECT_EQ(HandleToObject(h1), n);
    TNode1* m = new TNode1();
    EXPECT_EQ(HandleFromObject(m), h1 + 1);
    EXPECT_EQ(HandleFromObject(NullObject()), 0);
    ReleaseHandle(h1);
    EXPECT_TRUE(IsNull(HandleToObject(h1)));
    EXPECT_EQ(n->refs & ~kPendingFlag, 0);
    ReleaseHandle(h1);  // a second release is harmless
    ReleaseHandle(h1 + 1);
    EXPECT_TRUE(IsNull(HandleToObject(987654)));
}

__attribute__((noinline)) int HandleForHiddenObject() { return HandleFromObject(new TNode1()); }

TEST(Handles, AHandleKeepsItsObjectAliveWithoutAnyStackReference) {
    int handle = HandleForHiddenObject();
    CollectFully();
    Object* back = HandleToObject(handle);
    ASSERT_FALSE(IsNull(back));
    EXPECT_EQ(static_cast<TNode1*>(back)->value, 7);
    ReleaseHandle(handle);
}

TEST(MemBits, InconsistenciesAreFatalErrorsWithTheirTexts) {
    auto expectThrown = [](auto action, const char16_t* text) {
        try {
            action();
            ADD_FAILURE() << "no error";
        } catch (ThrownObject& thrown) {
            String* s = thrown.As<String>();
            ASSERT_NE(s, nullptr);
            EXPECT_TRUE(Equals(s, String::FromWString(text)));
        }
    };
    void* block = MemAllocBlock(64);
    SetMemBit(block);
    EXPECT_TRUE(TestMemBit(block));
    expectThrown([&] { SetMemBit(block); }, u"setMemBit error: membit already set");
    ClearMemBit(block);
    expectThrown([&] { ClearMemBit(block); }, u"clrMemBit error: membit not set");
    expectThrown([] { ClearMemBit(reinterpret_cast<void*>(0xfff00000u)); },
                 u"clrMemBit error: mempage does not exist");
    MemFreeBlock(block);
}

TEST(Memory, SmallAndLargeBlocksAreSixteenByteAligned) {
    for (int size : {1, 15, 16, 17, 240, 241, 4096, 100000}) {
        void* block = MemAlloc(size);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) & 15, 0u) << size;
        std::memset(block, 0xab, static_cast<size_t>(size));
        MemFree(block, size);
    }
    EXPECT_EQ(MemAlloc(0), nullptr);
    EXPECT_EQ(MemAlloc(-5), nullptr);
}

TEST(Memory, FreedSmallBlocksAreReusedFromTheirClass) {
    void* a = MemAlloc(100);
    MemFree(a, 100);
    void* b = MemAlloc(112);  // same 112-byte class
    EXPECT_EQ(a, b);
    MemFree(b, 112);
}

// A freed large block serves the next request of about its size, and only
// that: a far smaller one, or one larger than the block, gets a block of its own.
TEST(Memory, FreedLargeBlocksServeRequestsOfAboutTheirSize) {
    const int size = 256 * 1024;
    void* a = MemAlloc(size);
    std::memset(a, 1, static_cast<size_t>(size));
    MemFree(a, size);
    void* small = MemAlloc(size / 2);
    void* larger = MemAlloc(size + 16);
    EXPECT_NE(small, a);
    EXPECT_NE(larger, a);
    void* b = MemAlloc(size - 4096);
    EXPECT_EQ(b, a);
    std::memset(b, 2, static_cast<size_t>(size - 4096));
    for (auto [block, bytes] : {std::pair{small, size / 2}, {larger, size + 16}, {b, size - 4096}}) {
        MemFree(block, bytes);
    }
}

// A large block cut in place counts as its new size, and, freed, is kept
// whole and serves a request of its first size; a cut into the small range,
// or from a size that is not the block's, is refused.
TEST(Memory, ALargeBlockCutInPlaceIsKeptAndReusedWhole) {
    const int size = 8 << 20;  // larger than any block the cache kept before
    void* a = MemAlloc(size);
    const int64_t before = MemoryAllocated();
    EXPECT_FALSE(MemShrink(a, size, kSmallBlockLimit));
    EXPECT_FALSE(MemShrink(a, size - 16, 4096));
    EXPECT_TRUE(MemShrink(a, size, 4096));
    EXPECT_EQ(before - MemoryAllocated(), size - 4096);
    MemFree(a, 4096);
    const int64_t cached = CachedBlockBytes();
    EXPECT_GE(cached, size);
    void* b = MemAlloc(size);
    EXPECT_EQ(b, a);
    EXPECT_LE(CachedBlockBytes(), cached - size);
    MemFree(b, size);
}

TEST(Memory, AFreshStringIsCutInPlaceOnlyWhenLittleIsWasted) {
    String* big = NewString(100000);
    for (int i = 0; i < 1000; ++i) big->Text()[i] = static_cast<char16_t>('a' + i % 26);
    const int64_t before = MemoryAllocated();
    EXPECT_EQ(CutNewString(big, 80000), big);
    EXPECT_EQ(big->length, 80000);
    EXPECT_EQ(before - MemoryAllocated(), 2 * 20000);
    String* copy = CutNewString(big, 1000);  // would waste more than a quarter: copied
    EXPECT_NE(copy, big);
    EXPECT_EQ(copy->length, 1000);
    copy = CutNewString(big, 10);
    EXPECT_NE(copy, big);
    EXPECT_EQ(std::u16string(copy->Text(), 10), u"abcdefghij");
}
