// The map: insertion and replacement, ordered enumeration, removal of inner
// nodes, copies, red-black balance against std::map, and that a dropped map
// is freed.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/map.h"
#include "runtime/string.h"
#include "tests/runtime/collect_helpers.h"

namespace {

String* S(const char* text) { return String::FromCString(text); }

std::string TextOf(Object* object) {
    String* s = Downcast<String>(object);
    if (IsNull(s)) return "<not a string>";
    char* text = s->ToCString();
    std::string result(text);
    MemFreeBlock(text);
    return result;
}

using Texts = std::vector<std::string>;

Texts Drain(TMapEnumerator* wrapper) {
    Texts out;
    TNodeEnumerator* e = wrapper->ObjectEnumerator();
    while (e->HasNext() && out.size() < 10000) out.push_back(TextOf(e->NextObject()));
    return out;
}

TMap* MapOf(std::initializer_list<const char*> keys) {
    TMap* map = new TMap;
    for (const char* k : keys) map->Insert(S(k), Concat(S(k), S("v")));
    return map;
}

// Checks the subtree under `node` (whose parent must be `parent`) and
// returns its black height, the nil node counting one.
int BlackHeight(TNode* node, TNode* parent, std::string* fault) {
    if (node == NilNode.get()) return 1;
    if (IsNull(node)) {
        *fault = "a child is the null object";
        return 0;
    }
    std::string at = " at " + TextOf(node->key);
    if (node->parent.get() != parent) *fault = "wrong parent link" + at;
    if (node->color != kNodeRed && node->color != kNodeBlack) *fault = "bad colour" + at;
    if (node->color == kNodeRed && (node->left->color == kNodeRed || node->right->color == kNodeRed)) {
        *fault = "red node with a red child" + at;
    }
    int lh = BlackHeight(node->left, node, fault);
    if (lh != BlackHeight(node->right, node, fault)) *fault = "black heights differ" + at;
    return lh + (node->color == kNodeBlack ? 1 : 0);
}

// The red-black rules, parent links, an untouched nil node, and ascending
// keys walking forward and backward.
::testing::AssertionResult IsRedBlackTree(TMap* map) {
    TNode* nil = NilNode;
    if (nil->color != kNodeBlack || nil->parent.get() != nil || nil->left.get() != nil ||
        nil->right.get() != nil || !IsNull(nil->key) || !IsNull(nil->value)) {
        return ::testing::AssertionFailure() << "the nil node was written";
    }
    if (map->root->color != kNodeBlack) return ::testing::AssertionFailure() << "red root";
    std::string fault;
    BlackHeight(map->root, nil, &fault);
    if (!fault.empty()) return ::testing::AssertionFailure() << fault;
    TNode* previous = nil;
    for (TNode* n = map->FirstNode(); n != nil; previous = n, n = n->NextNode()) {
        if (previous != nil && previous->key->Compare(n->key) >= 0) {
            return ::testing::AssertionFailure() << "keys out of order at " << TextOf(n->key);
        }
        if (n->PrevNode() != previous) return ::testing::AssertionFailure() << "PrevNode disagrees";
    }
    if (map->LastNode() != previous) return ::testing::AssertionFailure() << "LastNode disagrees";
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(MapBasics, AnEmptyMapAnswersWithNilNullAndZero) {
    TMap* map = new TMap;
    EXPECT_TRUE(map->IsEmpty());
    EXPECT_EQ(map->FirstNode(), NilNode.get());
    EXPECT_EQ(map->LastNode(), NilNode.get());
    EXPECT_EQ(map->FindNode(S("a")), NilNode.get());
    EXPECT_FALSE(map->Contains(S("a")));
    EXPECT_EQ(map->Remove(S("a")), 0);
    EXPECT_FALSE(map->ObjectEnumerator()->HasNext());
}

TEST(MapBasics, InsertingAnExistingKeyReplacesTheValueAndKeepsTheSize) {
    TMap* map = new TMap;
    String* first = S("key");
    map->Insert(first, S("one"));
    map->Insert(S("other"), S("x"));
    map->Insert(S("key"), S("two"));  // equal text, another object
    EXPECT_EQ(Drain(map->Keys()), Texts({"key", "other"}));
    EXPECT_EQ(TextOf(map->ValueForKey(S("key"))), "two");
    EXPECT_EQ(map->FindNode(S("key"))->Key(), first) << "the key object stays";
}

TEST(MapBasics, MissingKeysGiveTheNullObjectAndRemoveZero) {
    TMap* map = MapOf({"b", "d"});
    for (const char* k : {"a", "c", "e", ""}) {
        EXPECT_TRUE(IsNull(map->ValueForKey(S(k)))) << k;
        EXPECT_EQ(map->Remove(S(k)), 0) << k;
    }
    EXPECT_EQ(Drain(map->Keys()), Texts({"b", "d"}));
}

TEST(MapBasics, KeysValuesAndNodesComeOutInAscendingKeyOrder) {
    TMap* map = MapOf({"b", "a", "c"});
    EXPECT_EQ(Drain(map->Keys()), Texts({"a", "b", "c"}));
    EXPECT_EQ(Drain(MapValues(map)), Texts({"av", "bv", "cv"}));
    TNodeEnumerator* nodes = map->ObjectEnumerator();
    Texts pairs;
    while (nodes->HasNext()) {
        TNode* n = static_cast<TNode*>(nodes->NextObject());
        pairs.push_back(TextOf(n->Key()) + "=" + TextOf(n->Value()));
    }
    EXPECT_EQ(pairs, Texts({"a=av", "b=bv", "c=cv"}));
    EXPECT_EQ(nodes->NextObject(), NilNode.get()) << "an exhausted enumerator stays on nil";
}

TEST(MapRemove, RemovingATwoChildNodeLeavesThePredecessorsPairInIt) {
    TMap* map = MapOf({"d", "b", "f", "a", "c", "e", "g"});
    TNode* d = map->FindNode(S("d"));
    ASSERT_NE(d->left.get(), NilNode.get());
    ASSERT_NE(d->right.get(), NilNode.get());
    EXPECT_EQ(map->Remove(S("d")), 1);
    EXPECT_EQ(TextOf(d->Key()), "c");
    EXPECT_EQ(TextOf(d->Value()), "cv");
    EXPECT_EQ(map->FindNode(S("c")), d);
    EXPECT_EQ(Drain(map->Keys()), Texts({"a", "b", "c", "e", "f", "g"}));
    EXPECT_TRUE(IsRedBlackTree(map));
}

// The enumerator already stands on the next node when a node is returned,
// and removing the returned key never unlinks that next node (an inner
// node takes its predecessor's pair, which was visited already).
TEST(MapRemove, RemovingReturnedKeysDuringEnumerationVisitsEveryKey) {
    TMap* map = new TMap;
    for (int i = 0; i < 30; ++i) map->Insert(String::FromInt(100 + (i * 7) % 30), S("v"));
    Texts seen, kept;
    for (TNodeEnumerator* e = map->ObjectEnumerator(); e->HasNext();) {
        TNode* node = static_cast<TNode*>(e->NextObject());
        seen.push_back(TextOf(node->key));
        if (seen.size() % 2) {
            EXPECT_EQ(map->Remove(node->key), 1);
        } else {
            kept.push_back(seen.back());
        }
    }
    ASSERT_EQ(seen.size(), 30u);
    EXPECT_EQ(seen.back(), "129");
    EXPECT_EQ(Drain(map->Keys()), kept);
    EXPECT_TRUE(IsRedBlackTree(map));
}

TEST(MapRemove, RemoveNodeIgnoresNodesThatAreNotThisMaps) {
    TMap* a = MapOf({"a", "b", "c"});
    TMap* b = MapOf({"a", "b", "c"});
    a->RemoveNode(b->FindNode(S("b")));
    a->RemoveNode(NilNode);
    TNode* gone = a->FindNode(S("a"));
    a->RemoveNode(gone);
    a->RemoveNode(gone);  // already out of the tree
    EXPECT_EQ(Drain(a->Keys()), Texts({"b", "c"}));
    EXPECT_EQ(Drain(b->Keys()), Texts({"a", "b", "c"}));
    EXPECT_TRUE(IsRedBlackTree(a));
    EXPECT_TRUE(IsRedBlackTree(b));
}

TEST(MapCopy, CopyIsADeepCopyWithTheSameShapeAndColours) {
    TMap* map = new TMap;
    for (int i = 0; i < 25; ++i) map->Insert(String::FromInt(i), String::FromInt(i * i));
    TMap* copy = CopyMap(map);
    EXPECT_TRUE(IsRedBlackTree(copy));
    TNode* a = map->FirstNode();
    TNode* b = copy->FirstNode();
    for (; a != NilNode.get() && b != NilNode.get(); a = a->NextNode(), b = b->NextNode()) {
        EXPECT_NE(a, b);
        EXPECT_EQ(a->key.get(), b->key.get());
        EXPECT_EQ(a->value.get(), b->value.get());
        EXPECT_EQ(a->color, b->color);
    }
    EXPECT_EQ(a, b) << "both walks end together";
    copy->Remove(S("3"));
    EXPECT_TRUE(map->Contains(S("3")));
}

TEST(MapCopy, ClearEmptiesTheMapAndCutsTheParentLinks) {
    TMap* map = new TMap;
    for (int i = 0; i < 10; ++i) map->Insert(String::FromInt(i), S("v"));
    TNode* kept = map->FindNode(S("5"));
    ClearMap(map);
    EXPECT_TRUE(MapIsEmpty(map));
    EXPECT_TRUE(IsNull(kept->parent));
    int steps = 0;  // walking on from a node of the cleared tree ends
    for (TNode* n = kept; n != NilNode.get() && steps < 20; n = n->NextNode()) ++steps;
    EXPECT_LT(steps, 20);
    MapInsert(map, S("x"), S("y"));
    EXPECT_EQ(TextOf(MapValueForKey(map, S("x"))), "y");
}

TEST(MapModule, FunctionsForwardToTheMap) {
    TMap* map = CreateMap();
    MapInsert(map, S("k"), S("v"));
    EXPECT_TRUE(MapContains(map, S("k")));
    EXPECT_EQ(Drain(MapKeys(map)), Texts({"k"}));
    EXPECT_EQ(MapRemove(map, S("k")), 1);
    EXPECT_TRUE(MapIsEmpty(map));
    EXPECT_THROW(MapIsEmpty(NullOf<TMap>()), ThrownObject);
}

TEST(MapRandom, InsertsAndRemovesMatchStdMapAndKeepTheTreeRedBlack) {
    bool stress = CollectorMode() == kCollectEveryAllocation;
    int operations = stress ? 600 : 6000;
    int keyRange = stress ? 80 : 400;
    TMap* map = new TMap;
    std::map<std::u16string, int> reference;
    unsigned state = 2024;
    auto next = [&](int range) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<unsigned>(range));
    };
    for (int op = 0; op < operations; ++op) {
        String* key = String::FromInt(next(keyRange));
        std::u16string text(key->Text(), key->Text() + key->length);
        if (next(3) < 2) {
            map->Insert(key, String::FromInt(op));
            reference[text] = op;
        } else {
            EXPECT_EQ(map->Remove(key), static_cast<int>(reference.erase(text)));
        }
        if (op % 50 == 0) {
            ASSERT_TRUE(IsRedBlackTree(map)) << "after operation " << op;
        }
    }
    ASSERT_TRUE(IsRedBlackTree(map));
    std::map<std::u16string, int> contents;
    for (TNode* n = map->FirstNode(); n != NilNode.get(); n = n->NextNode()) {
        String* key = static_cast<String*>(n->key.get());
        contents[std::u16string(key->Text(), key->Text() + key->length)] =
            static_cast<String*>(n->value.get())->ToInt();
    }
    EXPECT_EQ(contents, reference);
}

TEST(MapRandom, SortedRunsStayBalanced) {
    int n = CollectorMode() == kCollectEveryAllocation ? 200 : 2000;
    TMap* map = new TMap;
    char text[16];
    for (int i = 0; i < n; ++i) {
        std::snprintf(text, sizeof text, "%06d", i);
        map->Insert(S(text), S("v"));
    }
    EXPECT_TRUE(IsRedBlackTree(map));
    int depth = 0;  // at most 2 log2(n + 1)
    for (TNode* x = map->FirstNode(); x != NilNode.get(); x = x->parent) ++depth;
    EXPECT_LE(depth, 22);
    for (int i = n - 1; i >= 0; i -= 3) {
        std::snprintf(text, sizeof text, "%06d", i);
        EXPECT_EQ(map->Remove(S(text)), 1);
    }
    EXPECT_TRUE(IsRedBlackTree(map));
}

namespace {

__attribute__((noinline)) void BuildCopyAndDropMaps(int n) {
    TMap* map = new TMap;
    for (int i = 0; i < n; ++i) map->Insert(String::FromInt((i * 7919) % n), String::FromInt(i));
    for (int i = 0; i < n; i += 3) map->Remove(String::FromInt(i));
    map->Copy()->Insert(S("extra"), S("value"));
    (void)map->Keys();
}

Ref<TNode> keptNode;

__attribute__((noinline)) void KeepANodeOfADroppedMap() {
    TMap* map = new TMap;
    for (int i = 0; i < 20; ++i) map->Insert(String::FromInt(i), S("v"));
    keptNode = map->FindNode(S("7"));
}

__attribute__((noinline)) void DropKeptNode() { keptNode = NullOf<TNode>(); }

}  // namespace

CLEAN_STACK_TEST(MapMemory, ADroppedMapIsFreedEntirely) {
    StartMapModule();  // the nil node is made once and stays
    CollectFully();
    int64_t before = MemoryAllocated();
    BuildCopyAndDropMaps(CollectorMode() == kCollectEveryAllocation ? 150 : 3000);
    CollectFully();
    EXPECT_EQ(MemoryAllocated(), before);
}

CLEAN_STACK_TEST(MapMemory, ANodeKeptByACallerOutlivesItsMapAndIsFreedLater) {
    StartMapModule();
    CollectFully();
    int64_t before = MemoryAllocated();
    KeepANodeOfADroppedMap();
    CollectFully();
    EXPECT_GT(MemoryAllocated(), before);
    DropKeptNode();
    CollectFully();
    EXPECT_EQ(MemoryAllocated(), before);
}
