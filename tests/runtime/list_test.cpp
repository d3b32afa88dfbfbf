// The linked list: links and their removal, enumeration with removal, sort,
// reordering, arrays, and that a dropped list is freed.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/list.h"
#include "runtime/string.h"
#include "tests/runtime/collect_helpers.h"

namespace {

// An element ordered by key alone; the tag tells equal keys apart.
class TItem : public Object {
    KV_CLASS(TItem, Object)
public:
    int key = 0;
    int tag = 0;
    int Compare(Object* other) override { return key - static_cast<TItem*>(other)->key; }
};
KV_DEFINE_CLASS(TItem, Object);

TItem* Item(int key, int tag = 0) {
    TItem* item = new TItem;
    item->key = key;
    item->tag = tag;
    return item;
}

TList* ListOf(std::initializer_list<int> keys) {
    TList* list = new TList;
    int tag = 0;
    for (int k : keys) list->AddLast(Item(k, tag++));
    return list;
}

using Ints = std::vector<int>;

// The keys in order (-1 for a non-item), after checking that each link's
// neighbours point back at it.
Ints KeysOf(TList* list) {
    Ints keys;
    TLink* head = list->head;
    for (TLink* l = head->succ; l != head && keys.size() < 10000; l = l->succ) {
        EXPECT_EQ(l->succ->pred.get(), l);
        EXPECT_EQ(l->pred->succ.get(), l);
        TItem* item = Downcast<TItem>(l->value);
        keys.push_back(IsNull(item) ? -1 : item->key);
    }
    return keys;
}

Ints TagsOf(TList* list) {
    Ints tags;
    for (Object* v : *list) tags.push_back(static_cast<TItem*>(v)->tag);
    return tags;
}

int KeyOf(Object* item) { return static_cast<TItem*>(item)->key; }

std::string TextOf(Object* object) {
    char* text = Checked(Downcast<String>(object))->ToCString();
    std::string result(text);
    MemFreeBlock(text);
    return result;
}

}  // namespace

TEST(ListEmpty, FirstIsTheHeadSoItCastsToNullAndFirstLinkIsNull) {
    TList* list = new TList;
    EXPECT_TRUE(list->IsEmpty());
    EXPECT_FALSE(IsNull(list->First()));
    EXPECT_TRUE(IsNull(Downcast<TItem>(list->First())));
    EXPECT_TRUE(IsNull(Downcast<TItem>(list->Last())));
    EXPECT_TRUE(IsNull(list->FirstLink()));
    EXPECT_TRUE(IsNull(list->LastLink()));
    TListEnum* e = list->ObjectEnumerator();
    EXPECT_FALSE(e->HasNext());
    EXPECT_TRUE(IsNull(e->NextObject())) << "past the end gives the null object";
}

TEST(ListEmpty, RemoveFirstAndRemoveLastLeaveTheListIntact) {
    TList* list = new TList;
    EXPECT_TRUE(IsNull(list->RemoveFirst()));
    EXPECT_TRUE(IsNull(list->RemoveLast()));
    EXPECT_EQ(list->head->value.get(), list->head.get());
    list->AddLast(Item(5));
    EXPECT_EQ(KeysOf(list), Ints({5}));
    EXPECT_EQ(KeyOf(list->RemoveLast()), 5);
    EXPECT_TRUE(IsNull(list->RemoveFirst()));
    EXPECT_TRUE(list->IsEmpty());
}

TEST(ListLinks, AddAndInsertPlaceLinksAndNeighboursEndInNull) {
    TList* list = new TList;
    TLink* three = list->AddLast(Item(3));
    TLink* one = list->AddFirst(Item(1));
    list->InsertBeforeLink(Item(2), three);
    list->InsertAfterLink(Item(4), three);
    list->InsertBeforeLink(Item(5), list->head);  // before the head: at the end
    EXPECT_EQ(KeysOf(list), Ints({1, 2, 3, 4, 5}));
    EXPECT_EQ(list->Count(), 5);
    EXPECT_EQ(KeyOf(list->Last()), 5);
    EXPECT_EQ(KeyOf(one->NextLink()->Value()), 2);
    EXPECT_EQ(three->PrevLink()->PrevLink(), one);
    EXPECT_TRUE(IsNull(one->PrevLink())) << "the head is not an element";
    EXPECT_TRUE(IsNull(list->LastLink()->NextLink()));
}

TEST(ListLinks, InsertingNextToARemovedLinkRaisesAndKeepsTheList) {
    TList* list = ListOf({1, 2, 3});
    TLink* two = list->FirstLink()->NextLink();
    two->Remove();
    EXPECT_THROW(list->InsertAfterLink(Item(9), two), ThrownObject);
    EXPECT_THROW(list->InsertBeforeLink(Item(9), two), ThrownObject);
    EXPECT_THROW(list->InsertBeforeLink(Item(9), NullOf<TLink>()), ThrownObject);
    EXPECT_EQ(KeysOf(list), Ints({1, 3}));
}

TEST(ListLinks, ValueAtIndexOutOfRangeRaisesTheRuntimeError) {
    TList* list = ListOf({10, 20, 30});
    EXPECT_EQ(KeyOf(list->ValueAtIndex(0)), 10);
    EXPECT_EQ(KeyOf(list->ValueAtIndex(2)), 30);
    for (int index : {-1, 3, -2147483647 - 1, 2147483647}) {
        try {
            list->ValueAtIndex(index);
            ADD_FAILURE() << "no error for index " << index;
        } catch (ThrownObject& thrown) {
            ASSERT_NE(thrown.As<TRuntimeException>(), nullptr) << index;
            EXPECT_EQ(TextOf(thrown.As<TRuntimeException>()->error), "List index out of range");
        }
    }
}

TEST(ListFind, ContainsFindLinkAndRemoveUseTheElementsCompare) {
    TList* list = new TList;
    list->AddLast(String::FromCString("apple"));
    TLink* pear = list->AddLast(String::FromCString("pear"));
    list->AddLast(String::FromCString("pear"));
    String* probe = String::FromCString("pear");  // equal text, another object
    EXPECT_TRUE(list->Contains(probe));
    EXPECT_EQ(list->FindLink(probe), pear) << "the first match";
    EXPECT_TRUE(IsNull(list->FindLink(String::FromCString("plum"))));
    EXPECT_EQ(list->Remove(probe), 1);
    EXPECT_TRUE(IsNull(pear->Value()));
    EXPECT_EQ(list->Count(), 2) << "only the first match goes";
}

TEST(ListFind, RemoveOfAnAbsentValueReturnsZeroAndChangesNothing) {
    TList* list = ListOf({1, 2, 3});
    TLink* first = list->FirstLink();
    EXPECT_EQ(list->Remove(Item(7)), 0);
    EXPECT_EQ(KeysOf(list), Ints({1, 2, 3}));
    EXPECT_EQ(list->FirstLink(), first);
}

TEST(ListFind, LinkRemoveUnlinksOnceAndKeepsItsNeighbours) {
    TList* list = ListOf({1, 2, 3, 4});
    TLink* two = list->FirstLink()->NextLink();
    TLink* three = two->NextLink();
    two->Remove();
    EXPECT_TRUE(IsNull(two->Value()));
    EXPECT_EQ(two->succ.get(), three) << "a removed link keeps its succ";
    three->Remove();
    two->Remove();  // its stale neighbours must not be rewired
    list->head->Remove();  // the head is not an element
    EXPECT_EQ(KeysOf(list), Ints({1, 4}));
}

TEST(ListEnumerate, RemovingTheCurrentElementContinuesWithTheNext) {
    TList* a = ListOf({1, 2, 3, 4, 5});
    Ints seen;
    for (TListEnum* e = a->ObjectEnumerator(); e->HasNext();) {
        Object* v = e->NextObject();
        seen.push_back(KeyOf(v));
        if (KeyOf(v) % 2) a->Remove(v);
    }
    EXPECT_EQ(seen, Ints({1, 2, 3, 4, 5}));
    EXPECT_EQ(KeysOf(a), Ints({2, 4}));
    TList* b = ListOf({1, 2, 3});
    seen.clear();
    for (Object* v : *b) {
        seen.push_back(KeyOf(v));
        b->FindLink(v)->Remove();
    }
    EXPECT_EQ(seen, Ints({1, 2, 3}));
    EXPECT_TRUE(b->IsEmpty());
}

// Both stand on the next link while the body runs, so removing that link
// makes both yield the null object in its place.
TEST(ListEnumerate, RangeForFollowsTheEnumeratorWhenTheNextLinkGoes) {
    Ints viaEnum, viaRange;
    TList* a = ListOf({1, 2, 3});
    for (TListEnum* e = a->ObjectEnumerator(); e->HasNext();) {
        TItem* item = Downcast<TItem>(e->NextObject());
        viaEnum.push_back(IsNull(item) ? -1 : item->key);
        if (!IsNull(item) && item->key == 1) a->Remove(Item(2));
    }
    TList* b = ListOf({1, 2, 3});
    for (Object* v : *b) {
        TItem* item = Downcast<TItem>(v);
        viaRange.push_back(IsNull(item) ? -1 : item->key);
        if (!IsNull(item) && item->key == 1) b->Remove(Item(2));
    }
    EXPECT_EQ(viaEnum, Ints({1, -1, 3}));
    EXPECT_EQ(viaRange, viaEnum);
}

namespace {
__attribute__((noinline)) int EnumeratorOfADroppedList() {
    return HandleFromObject(ListOf({1, 2, 3})->ObjectEnumerator());
}
}  // namespace

CLEAN_STACK_TEST(ListEnumerate, AnEnumeratorOutlivingItsListEndsSafely) {
    int handle = EnumeratorOfADroppedList();
    CollectFully();  // the list is freed: cleared, and its head unlinked
    TListEnum* e = static_cast<TListEnum*>(HandleToObject(handle));
    int steps = 0;
    for (; e->HasNext() && steps < 10; ++steps) EXPECT_TRUE(IsNull(e->NextObject()));
    EXPECT_LT(steps, 10);
    ReleaseHandle(handle);
}

TEST(ListSort, ThreeOneTwoSortsBothWaysAndTinyListsStay) {
    TList* list = ListOf({3, 1, 2});
    list->Sort();
    EXPECT_EQ(KeysOf(list), Ints({1, 2, 3}));
    SortList(list, 0);
    EXPECT_EQ(KeysOf(list), Ints({3, 2, 1}));
    TList* empty = new TList;
    empty->Sort();
    EXPECT_TRUE(empty->IsEmpty());
    TList* one = ListOf({4});
    one->Sort(0);
    EXPECT_EQ(KeysOf(one), Ints({4}));
}

TEST(ListSort, EqualElementsKeepTheirOrderAndKeptLinksTheirValues) {
    TList* list = new TList;
    std::vector<TLink*> links;
    int keys[] = {2, 1, 2, 0, 1, 2};
    for (int i = 0; i < 6; ++i) links.push_back(list->AddLast(Item(keys[i], i)));
    list->Sort(1);
    EXPECT_EQ(TagsOf(list), Ints({3, 1, 4, 0, 2, 5}));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(static_cast<TItem*>(links[i]->Value())->tag, i);
    list->Sort(0);
    EXPECT_EQ(TagsOf(list), Ints({0, 2, 5, 1, 4, 3}));
    EXPECT_EQ(list->FirstLink(), links[0]) << "the links themselves moved";
}

namespace {
unsigned randomState = 12345;
int NextRandom(int range) {
    randomState = randomState * 1103515245u + 12345u;
    return static_cast<int>((randomState >> 16) % static_cast<unsigned>(range));
}
int CompareTags(Object* a, Object* b) { return static_cast<TItem*>(a)->tag - static_cast<TItem*>(b)->tag; }
int CompareRandomly(Object*, Object*) { return NextRandom(3) - 1; }
}  // namespace

TEST(ListSort, MatchesAStableSortAndTakesACompareFunction) {
    for (int ascending : {1, 0}) {
        TList* list = new TList;
        std::vector<std::pair<int, int>> expected;
        for (int i = 0; i < 200; ++i) {
            expected.push_back({NextRandom(15), i});
            list->AddLast(Item(expected.back().first, i));
        }
        list->Sort(ascending);
        std::stable_sort(expected.begin(), expected.end(), [&](auto& a, auto& b) {
            return ascending ? a.first < b.first : a.first > b.first;
        });
        Ints tags;
        for (auto& e : expected) tags.push_back(e.second);
        EXPECT_EQ(TagsOf(list), tags);
        list->Sort(1, CompareTags);
        std::sort(tags.begin(), tags.end());
        EXPECT_EQ(TagsOf(list), tags);
    }
}

TEST(ListSort, AnInconsistentCompareStillEndsWithEveryElement) {
    TList* list = new TList;
    Ints all;
    for (int i = 0; i < 30; ++i) {
        list->AddLast(Item(i));
        all.push_back(i);
    }
    list->Sort(1, CompareRandomly);
    Ints keys = KeysOf(list);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, all);
}

TEST(ListReorder, SwapExchangesTheContents) {
    TList* a = ListOf({1, 2});
    TList* b = ListOf({7, 8, 9});
    SwapLists(a, b);
    EXPECT_EQ(KeysOf(a), Ints({7, 8, 9}));
    EXPECT_EQ(KeysOf(b), Ints({1, 2}));
    a->Swap(a);
    EXPECT_EQ(KeysOf(a), Ints({7, 8, 9}));
}

TEST(ListReorder, ReverseInPlaceKeepsTheLinksAndReversedCopies) {
    TList* list = ListOf({1, 2, 3, 4});
    TLink* one = list->FirstLink();
    ReverseList(list);
    EXPECT_EQ(KeysOf(list), Ints({4, 3, 2, 1}));
    EXPECT_EQ(list->LastLink(), one);
    EXPECT_EQ(KeyOf(list->LastLink()->PrevLink()->Value()), 2);
    TList* back = list->Reversed();
    EXPECT_EQ(KeysOf(back), Ints({1, 2, 3, 4}));
    EXPECT_EQ(KeysOf(list), Ints({4, 3, 2, 1}));
    TList* empty = new TList;
    empty->Reverse();
    EXPECT_TRUE(empty->IsEmpty());
}

TEST(ListReorder, CopyHoldsTheSameValuesInNewLinks) {
    TList* list = ListOf({1, 2, 3});
    TList* copy = list->Copy();
    EXPECT_EQ(copy->First(), list->First());
    EXPECT_NE(copy->FirstLink(), list->FirstLink());
    copy->RemoveFirst();
    EXPECT_EQ(KeysOf(copy), Ints({2, 3}));
    EXPECT_EQ(KeysOf(list), Ints({1, 2, 3}));
}

TEST(ListArrays, ToArrayAndFromArrayKeepTheOrderAndRefuseNumbers) {
    Array* array = ListOf({5, 6, 7})->ToArray();
    EXPECT_STREQ(array->type, ":Object");
    ASSERT_EQ(array->Length(), 3);
    EXPECT_EQ(KeyOf(array->ObjectAt(2)), 7);
    EXPECT_EQ(KeysOf(TList::FromArray(array)), Ints({5, 6, 7}));
    EXPECT_EQ(ListToArray(new TList)->Length(), 0);
    Array* strings = NewArray("$", 2);
    strings->SetObject(1, String::FromCString("y"));
    EXPECT_EQ(TextOf(ListFromArray(strings)->Last()), "y");
    EXPECT_THROW(TList::FromArray(NewArray("i", 3)), ThrownObject);
}

TEST(ListModule, FunctionsForwardToTheList) {
    TList* list = CreateList();
    TLink* two = ListAddLast(list, Item(2));
    ListAddFirst(list, Item(1));
    EXPECT_EQ(CountList(list), 2);
    EXPECT_TRUE(ListContains(list, Item(2)));
    EXPECT_EQ(ListFindLink(list, Item(2)), two);
    EXPECT_EQ(ListRemove(list, Item(1)), 1);
    RemoveLink(two);
    EXPECT_TRUE(ListIsEmpty(list));
    EXPECT_THROW(ClearList(NullOf<TList>()), ThrownObject);
}

namespace {

__attribute__((noinline)) void BuildSortAndDropLists(int n) {
    TList* list = new TList;
    for (int i = 0; i < n; ++i) list->AddLast(String::FromInt((i * 7919) % n));
    list->Sort();
    list->FirstLink()->Remove();
    list->RemoveLast();
    list->Reversed()->Swap(list);
    (void)list->ObjectEnumerator();
    (void)list->ToArray();
}

Ref<TLink> keptLink;

__attribute__((noinline)) void KeepALinkOfADroppedList() { keptLink = ListOf({1, 2, 3})->FirstLink()->NextLink(); }

__attribute__((noinline)) bool KeptLinkIsRemoved() { return IsNull(keptLink->Value()); }

__attribute__((noinline)) void DropKeptLink() { keptLink = NullOf<TLink>(); }

}  // namespace

CLEAN_STACK_TEST(ListMemory, ADroppedListIsFreedEntirely) {
    int n = CollectorMode() == kCollectEveryAllocation ? 200 : 2000;
    CollectFully();
    int64_t before = MemoryAllocated();
    BuildSortAndDropLists(n);
    CollectFully();
    EXPECT_EQ(MemoryAllocated(), before);
}

CLEAN_STACK_TEST(ListMemory, ALinkKeptByACallerOutlivesItsListAndIsFreedLater) {
    CollectFully();
    int64_t before = MemoryAllocated();
    KeepALinkOfADroppedList();
    CollectFully();
    EXPECT_TRUE(KeptLinkIsRemoved()) << "the list's Delete cleared it";
    EXPECT_GT(MemoryAllocated(), before);
    DropKeptLink();
    CollectFully();
    EXPECT_EQ(MemoryAllocated(), before);
}
