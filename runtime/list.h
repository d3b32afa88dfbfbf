// The linked list: a doubly linked, circular list of objects with a sentinel
// head link. Callers may keep the links AddFirst/AddLast return and remove
// them in constant time.
//
// Invariants kept here:
//  - the head link's value is the head link itself; following succ from the
//    head visits each element link once and comes back to the head, and for
//    every link L in that chain L.succ.pred == L and L.pred.succ == L;
//  - a removed link holds the null object as its value and keeps the succ
//    and pred it had, so an enumerator standing on it carries on with its
//    succ; links are never put back into a chain, so no link of a chain
//    points to a removed one again (that is how TLink::Remove and the
//    Insert...Link anchors recognise one);
//  - links hold counted references to their neighbours, so a list is a
//    reference cycle; ~TList breaks it.
#pragma once
#include "runtime/array.h"
#include "runtime/object.h"

// The base class of the serialisable containers; the data-serialisation
// layer builds on it. It adds nothing of its own.
class TData : public Object {
    KV_CLASS(TData, Object)
};

class TLink : public Object {
    KV_CLASS(TLink, Object)
public:
    Ref<Object> value;  // the head link itself for the head; null once removed
    Ref<TLink> succ;
    Ref<TLink> pred;

    virtual Object* Value();
    // The neighbour, or the null object at either end of the list.
    virtual TLink* NextLink();
    virtual TLink* PrevLink();
    // Unlinks this link in constant time; its succ and pred stay as they
    // were. Removing the head or an already removed link does nothing.
    virtual void Remove();
};

class TListEnum : public Object {
    KV_CLASS(TListEnum, Object)
public:
    Ref<TLink> link;  // the link whose value comes next

    virtual int HasNext();
    virtual Object* NextObject();
};

using CompareFunction = int (*)(Object* a, Object* b);

// a.Compare(b): the order Sort uses when the caller gives none.
int CompareObjects(Object* a, Object* b);

class ListIterator;
struct ListIteratorEnd {};

class TList : public TData {
    KV_CLASS(TList, TData)
public:
    Ref<TLink> head;

    TList();
    ~TList() override;  // Clear, then break the head's self-references

    // The list type's serialiser for the data-serialisation layer; none yet.
    virtual Object* Serializer();
    virtual void Clear();
    virtual int IsEmpty();
    virtual int Contains(Object* value);
    virtual TLink* AddFirst(Object* value);
    virtual TLink* AddLast(Object* value);
    // The first (last) value; for an empty list the head link itself, so a
    // Downcast to the element class gives the null object.
    virtual Object* First();
    virtual Object* Last();
    // The first (last) value, unlinked. An empty list is left as it is and
    // the null object comes back: unlinking there would cut out the head.
    virtual Object* RemoveFirst();
    virtual Object* RemoveLast();
    virtual TLink* FirstLink();
    virtual TLink* LastLink();
    // A new link with `value` just before `succ` (after `pred`). The anchor
    // must be a link of a list (the head included): a removed link raises
    // a runtime error, since inserting there would corrupt the list.
    virtual TLink* InsertBeforeLink(Object* value, TLink* succ);
    virtual TLink* InsertAfterLink(Object* value, TLink* pred);
    virtual TLink* FindLink(Object* value);
    // Raises "List index out of range" for an index with no element.
    virtual Object* ValueAtIndex(int index);
    virtual int Count();
    virtual int Remove(Object* value);
    virtual void Swap(TList* other);
    virtual TList* Copy();
    virtual void Reverse();
    virtual TList* Reversed();
    // Stable exchange sort of the links (links kept by callers keep their
    // values); ascending = 0 sorts in descending order.
    virtual void Sort(int ascending = 1, CompareFunction compare = CompareObjects);
    virtual TListEnum* ObjectEnumerator();
    // An ":Object" array of the values in order.
    virtual Array* ToArray();
    // A list of the elements of a reference array ("$", ":...", "[").
    static TList* FromArray(Array* array);

    // C++ range-for: `for (Object* value : *list)` walks the way TListEnum
    // does, so removing the current element inside the loop is safe.
    ListIterator begin();
    ListIteratorEnd end() { return {}; }
};

// Follows TListEnum exactly: each step takes the value of the link it stands
// on and moves to that link's succ before the loop body runs. It lives on
// the stack, so its plain pointers are seen by the collector's stack scan.
class ListIterator {
public:
    explicit ListIterator(TLink* first) : link_(first) { Advance(); }
    Object* operator*() const { return current_; }
    ListIterator& operator++() {
        Advance();
        return *this;
    }
    bool operator==(ListIteratorEnd) const { return done_; }

private:
    void Advance();

    TLink* link_;
    Object* current_ = nullptr;
    bool done_ = false;
};

inline ListIterator TList::begin() { return ListIterator(head->succ); }

TList* CreateList();
void ClearList(TList* list);
int CountList(TList* list);
int ListIsEmpty(TList* list);
int ListContains(TList* list, Object* value);
TLink* ListAddFirst(TList* list, Object* value);
TLink* ListAddLast(TList* list, Object* value);
TLink* ListFindLink(TList* list, Object* value);
int ListRemove(TList* list, Object* value);
void RemoveLink(TLink* link);
void SortList(TList* list, int ascending = 1, CompareFunction compare = CompareObjects);
TList* ListFromArray(Array* array);
Array* ListToArray(TList* list);
void SwapLists(TList* a, TList* b);
void ReverseList(TList* list);

void StartListModule();
