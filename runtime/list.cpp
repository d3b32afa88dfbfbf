#include "runtime/list.h"

#include "runtime/exception.h"
#include "runtime/startup.h"
#include "runtime/string.h"

KV_DEFINE_CLASS(TData, Object);
KV_DEFINE_CLASS(TLink, Object);
KV_DEFINE_CLASS(TListEnum, Object);
KV_DEFINE_CLASS(TList, TData);

namespace {

bool IsHead(TLink* link) { return link->value.get() == link; }

// True while the link sits in a chain: its neighbours point back at it.
bool IsLinked(TLink* link) {
    TLink* s = link->succ;
    TLink* p = link->pred;
    return !IsNull(s) && !IsNull(p) && s->pred.get() == link && p->succ.get() == link;
}

// The link must be an element link of a chain.
void Unlink(TLink* link) {
    link->value = NullObject();
    TLink* s = link->succ;
    TLink* p = link->pred;
    s->pred = p;
    p->succ = s;
}

TLink* NewLink(Object* value, TLink* pred, TLink* succ) {
    TLink* link = new TLink;
    link->value = value;
    link->succ = succ;
    link->pred = pred;
    pred->succ = link;
    succ->pred = link;
    return link;
}

[[noreturn]] void ThrowUnlinkedAnchor() { RuntimeError(u"List link is not in a list"_s); }

// Exchanges two counted slots without their counts passing through zero.
void SwapRefs(Ref<TLink>& a, Ref<TLink>& b) {
    TLink* held = a;
    RetainObject(held);
    a = b.get();
    b = held;
    ReleaseObject(held);
}

// Moves `a` one place on, behind its successor.
void ExchangeWithSucc(TLink* a) {
    TLink* b = a->succ;
    TLink* p = a->pred;
    TLink* n = b->succ;
    RetainObject(a);  // neither link may reach a count of zero half-way
    RetainObject(b);
    p->succ = b;
    b->pred = p;
    a->succ = n;
    n->pred = a;
    b->succ = a;
    a->pred = b;
    ReleaseObject(a);
    ReleaseObject(b);
}

bool OutOfOrder(int rc, int ascending) { return ascending ? rc > 0 : rc < 0; }

// One pass of the exchange sort over the links before `end`; returns the
// link at which it stopped, or null when it exchanged nothing.
TLink* SortPass(TLink* head, TLink* end, int ascending, CompareFunction compare) {
    bool exchanged = false;
    TLink* current = head->succ;
    while (current->succ.get() != end) {
        TLink* next = current->succ;
        if (OutOfOrder(compare(current->value, next->value), ascending)) {
            ExchangeWithSucc(current);  // current moves on: compare it again
            exchanged = true;
        } else {
            current = next;
        }
    }
    return exchanged ? current : nullptr;
}

}  // namespace

// ---- TLink ----

Object* TLink::Value() { return value; }

TLink* TLink::NextLink() {
    TLink* s = succ;
    if (IsNull(s) || IsHead(s)) return NullOf<TLink>();
    return s;
}

TLink* TLink::PrevLink() {
    TLink* p = pred;
    if (IsNull(p) || IsHead(p)) return NullOf<TLink>();
    return p;
}

void TLink::Remove() {
    // Unlinking the head, or a removed link a second time (its stale
    // neighbours would be rewired), would cut live links out of the list.
    if (IsHead(this) || !IsLinked(this)) return;
    Unlink(this);
}

// ---- TListEnum ----

// A link of a list that has been freed has no neighbours: that ends the walk too.
int TListEnum::HasNext() {
    TLink* l = link;
    return !IsNull(l) && !IsHead(l);
}

// Past the end (or on a freed list's link) it stays put and gives the null object.
Object* TListEnum::NextObject() {
    if (!HasNext()) return NullObject();
    TLink* l = link;
    Object* v = l->value;
    link = l->succ.get();
    return v;
}

void ListIterator::Advance() {
    if (IsNull(link_) || IsHead(link_)) {
        done_ = true;
        return;
    }
    current_ = link_->value;
    link_ = link_->succ;
}

// ---- TList ----

int CompareObjects(Object* a, Object* b) { return a->Compare(b); }

TList::TList() {
    TLink* h = new TLink;
    h->value = h;
    h->succ = h;
    h->pred = h;
    head = h;
}

TList::~TList() {
    Clear();
    TLink* h = head;
    h->value = NullObject();
    h->succ = NullOf<TLink>();
    h->pred = NullOf<TLink>();
}

Object* TList::Serializer() { return NullObject(); }

void TList::Clear() {
    TLink* h = head;
    while (h->succ.get() != h) Unlink(h->succ);
}

int TList::IsEmpty() { return head->succ.get() == head.get(); }

int TList::Contains(Object* value) { return !IsNull(FindLink(value)); }

TLink* TList::AddFirst(Object* value) { return InsertAfterLink(value, head); }

TLink* TList::AddLast(Object* value) { return InsertBeforeLink(value, head); }

Object* TList::First() { return head->succ->value; }

Object* TList::Last() { return head->pred->value; }

Object* TList::RemoveFirst() {
    TLink* h = head;
    TLink* first = h->succ;
    if (first == h) return NullObject();
    Object* v = first->value;
    Unlink(first);
    return v;
}

Object* TList::RemoveLast() {
    TLink* h = head;
    TLink* last = h->pred;
    if (last == h) return NullObject();
    Object* v = last->value;
    Unlink(last);
    return v;
}

TLink* TList::FirstLink() {
    TLink* h = head;
    return h->succ.get() == h ? NullOf<TLink>() : h->succ.get();
}

TLink* TList::LastLink() {
    TLink* h = head;
    return h->pred.get() == h ? NullOf<TLink>() : h->pred.get();
}

TLink* TList::InsertBeforeLink(Object* value, TLink* succ) {
    Checked(succ);
    if (!IsLinked(succ)) ThrowUnlinkedAnchor();
    return NewLink(value, succ->pred, succ);
}

TLink* TList::InsertAfterLink(Object* value, TLink* pred) {
    Checked(pred);
    if (!IsLinked(pred)) ThrowUnlinkedAnchor();
    return NewLink(value, pred, pred->succ);
}

// The element's own Compare decides; a null element compares by address.
TLink* TList::FindLink(Object* value) {
    TLink* h = head;
    for (TLink* l = h->succ; l != h; l = l->succ) {
        if (l->value.get()->Compare(value) == 0) return l;
    }
    return NullOf<TLink>();
}

Object* TList::ValueAtIndex(int index) {
    TLink* h = head;
    TLink* l = h->succ;
    if (index >= 0) {
        for (; l != h && index > 0; --index) l = l->succ;
    }
    if (index != 0 || l == h) RuntimeError(u"List index out of range"_s);
    return l->value;
}

int TList::Count() {
    int n = 0;
    TLink* h = head;
    for (TLink* l = h->succ; l != h; l = l->succ) ++n;
    return n;
}

int TList::Remove(Object* value) {
    TLink* l = FindLink(value);
    if (IsNull(l)) return 0;
    Unlink(l);
    return 1;
}

void TList::Swap(TList* other) { SwapRefs(head, Checked(other)->head); }

TList* TList::Copy() {
    TList* copy = new TList;
    TLink* h = head;
    for (TLink* l = h->succ; l != h; l = l->succ) copy->AddLast(l->value);
    return copy;
}

void TList::Reverse() {
    TLink* h = head;
    TLink* l = h;
    do {
        SwapRefs(l->succ, l->pred);
        l = l->pred;  // the old succ
    } while (l != h);
}

TList* TList::Reversed() {
    TList* reversed = new TList;
    TLink* h = head;
    for (TLink* l = h->succ; l != h; l = l->succ) reversed->AddFirst(l->value);
    return reversed;
}

// Each pass carries the greatest remaining element (in the chosen order) to
// the end and the end moves back one link, so at most Count passes run,
// whatever the compare function answers.
void TList::Sort(int ascending, CompareFunction compare) {
    if (!compare) compare = CompareObjects;
    TLink* h = head;
    TLink* end = h;
    while ((end = SortPass(h, end, ascending, compare)) != nullptr) {
    }
}

TListEnum* TList::ObjectEnumerator() {
    TListEnum* e = new TListEnum;
    e->link = head->succ;
    return e;
}

Array* TList::ToArray() {
    Array* array = NewArray(":Object", Count());
    int i = 0;
    TLink* h = head;
    for (TLink* l = h->succ; l != h; l = l->succ) array->SetObject(i++, l->value);
    return array;
}

TList* TList::FromArray(Array* array) {
    Checked(array);
    int n = array->Length();
    // Reading plain numbers as object pointers would be unsafe.
    if (n > 0 && !array->HoldsReferences()) RuntimeError(u"Array elements are not objects"_s);
    TList* list = new TList;
    for (int i = 0; i < n; ++i) list->AddLast(array->ObjectAt(i));
    return list;
}

// ---- module functions ----

TList* CreateList() { return new TList; }
void ClearList(TList* list) { Checked(list)->Clear(); }
int CountList(TList* list) { return Checked(list)->Count(); }
int ListIsEmpty(TList* list) { return Checked(list)->IsEmpty(); }
int ListContains(TList* list, Object* value) { return Checked(list)->Contains(value); }
TLink* ListAddFirst(TList* list, Object* value) { return Checked(list)->AddFirst(value); }
TLink* ListAddLast(TList* list, Object* value) { return Checked(list)->AddLast(value); }
TLink* ListFindLink(TList* list, Object* value) { return Checked(list)->FindLink(value); }
int ListRemove(TList* list, Object* value) { return Checked(list)->Remove(value); }
void RemoveLink(TLink* link) { Checked(link)->Remove(); }
void SortList(TList* list, int ascending, CompareFunction compare) {
    Checked(list)->Sort(ascending, compare);
}
TList* ListFromArray(Array* array) { return TList::FromArray(array); }
Array* ListToArray(TList* list) { return Checked(list)->ToArray(); }
void SwapLists(TList* a, TList* b) { Checked(a)->Swap(b); }
void ReverseList(TList* list) { Checked(list)->Reverse(); }

void StartListModule() {
    KV_START_ONCE();
    RegisterClass(&TData::classRecord);
    RegisterClass(&TLink::classRecord);
    RegisterClass(&TListEnum::classRecord);
    RegisterClass(&TList::classRecord);
}
