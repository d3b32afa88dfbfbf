#include "runtime/map.h"

#include "runtime/startup.h"

KV_DEFINE_CLASS(TKeyValue, Object);
KV_DEFINE_CLASS(TNode, TKeyValue);
KV_DEFINE_CLASS(TNodeEnumerator, Object);
KV_DEFINE_CLASS(TKeyEnumerator, TNodeEnumerator);
KV_DEFINE_CLASS(TValueEnumerator, TNodeEnumerator);
KV_DEFINE_CLASS(TMapEnumerator, Object);
KV_DEFINE_CLASS(TMap, Object);

Ref<TNode> NilNode;

namespace {

// A real node: neither the nil node nor the null object (the parent of a
// node whose subtree was cleared).
bool IsNode(TNode* node) { return node != NilNode.get() && !IsNull(node); }

// Keeps an object's count above zero while the tree is rewired around it,
// so it never visits the pending list half-way.
class Hold {
public:
    explicit Hold(Object* object) : object_(object) { RetainObject(object_); }
    ~Hold() { ReleaseObject(object_); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    Object* object_;
};

TNode* Leftmost(TNode* node) {
    TNode* nil = NilNode;
    while (node->left.get() != nil) node = node->left;
    return node;
}

TNode* Rightmost(TNode* node) {
    TNode* nil = NilNode;
    while (node->right.get() != nil) node = node->right;
    return node;
}

TNode* NewNode(Object* key, Object* value, TNode* parent) {
    TNode* nil = NilNode;
    TNode* node = new TNode;
    node->key = key;
    node->value = value;
    node->color = kNodeRed;
    node->parent = parent;
    node->left = nil;
    node->right = nil;
    return node;
}

int ColorOf(TNode* node) { return node->color; }

}  // namespace

// ---- TKeyValue, TNode ----

Object* TKeyValue::Key() { return key; }
Object* TKeyValue::Value() { return value; }

TNode* TNode::NextNode() {
    if (IsNode(right)) return Leftmost(right);
    TNode* x = this;
    TNode* y = parent;
    while (IsNode(y) && x == y->right.get()) {
        x = y;
        y = y->parent;
    }
    return IsNode(y) ? y : NilNode.get();
}

TNode* TNode::PrevNode() {
    if (IsNode(left)) return Rightmost(left);
    TNode* x = this;
    TNode* y = parent;
    while (IsNode(y) && x == y->left.get()) {
        x = y;
        y = y->parent;
    }
    return IsNode(y) ? y : NilNode.get();
}

void TNode::Clear() {
    if (this == NilNode.get()) return;  // the shared node is never written
    parent = NullOf<TNode>();
    if (IsNode(left)) left->Clear();
    if (IsNode(right)) right->Clear();
}

TNode* TNode::Copy(TNode* newParent) {
    TNode* nil = NilNode;
    if (this == nil) return nil;
    TNode* copy = NewNode(key, value, newParent);
    copy->color = color;
    if (IsNode(left)) copy->left = left->Copy(copy);
    if (IsNode(right)) copy->right = right->Copy(copy);
    return copy;
}

// ---- enumerators ----

int TNodeEnumerator::HasNext() { return IsNode(node); }

// Past the end it stays on the nil node and gives it again.
Object* TNodeEnumerator::NextObject() {
    TNode* n = node;
    if (IsNode(n)) node = n->NextNode();
    return n;
}

Object* TKeyEnumerator::NextObject() { return static_cast<TNode*>(TNodeEnumerator::NextObject())->key; }

Object* TValueEnumerator::NextObject() {
    return static_cast<TNode*>(TNodeEnumerator::NextObject())->value;
}

TNodeEnumerator* TMapEnumerator::ObjectEnumerator() { return enumerator; }

// ---- TMap ----

TMap::TMap() {
    StartMapModule();
    root = NilNode.get();
}

TMap::~TMap() { Clear(); }

void TMap::Clear() {
    TNode* r = root;
    if (!IsNode(r)) return;
    r->Clear();
    root = NilNode.get();
}

int TMap::IsEmpty() { return root.get() == NilNode.get(); }

void TMap::Insert(Object* key, Object* value) {
    TNode* nil = NilNode;
    TNode* parent = nil;
    int rc = 0;
    for (TNode* x = root; x != nil; x = rc < 0 ? x->left.get() : x->right.get()) {
        parent = x;
        rc = key->Compare(x->key);
        if (rc == 0) {
            x->value = value;
            return;
        }
    }
    TNode* z = NewNode(key, value, parent);
    if (parent == nil) {
        root = z;
    } else if (rc <= 0) {
        parent->left = z;
    } else {
        parent->right = z;
    }
    InsertFixup(z);
}

TNode* TMap::FindNode(Object* key) {
    TNode* nil = NilNode;
    TNode* x = root;
    while (x != nil) {
        int rc = key->Compare(x->key);
        if (rc == 0) return x;
        x = rc < 0 ? x->left.get() : x->right.get();
    }
    return nil;
}

int TMap::Contains(Object* key) { return FindNode(key) != NilNode.get(); }

Object* TMap::ValueForKey(Object* key) {
    TNode* node = FindNode(key);
    return node == NilNode.get() ? NullObject() : node->value.get();
}

int TMap::Remove(Object* key) {
    TNode* node = FindNode(key);
    if (node == NilNode.get()) return 0;
    RemoveNode(node);
    return 1;
}

TMapEnumerator* TMap::Keys() {
    TMapEnumerator* wrapper = new TMapEnumerator;
    TNodeEnumerator* e = new TKeyEnumerator;
    e->node = FirstNode();
    wrapper->enumerator = e;
    return wrapper;
}

TMapEnumerator* TMap::Values() {
    TMapEnumerator* wrapper = new TMapEnumerator;
    TNodeEnumerator* e = new TValueEnumerator;
    e->node = FirstNode();
    wrapper->enumerator = e;
    return wrapper;
}

TMap* TMap::Copy() {
    TMap* copy = new TMap;
    TNode* r = root;
    if (IsNode(r)) copy->root = r->Copy(NilNode);
    return copy;
}

TNodeEnumerator* TMap::ObjectEnumerator() {
    TNodeEnumerator* e = new TNodeEnumerator;
    e->node = FirstNode();
    return e;
}

TNode* TMap::FirstNode() { return Leftmost(root); }

TNode* TMap::LastNode() { return Rightmost(root); }

// A node is this map's when its parent chain ends at this map's root.
bool TMap::Holds(TNode* node) {
    if (!IsNode(node)) return false;
    while (IsNode(node->parent)) node = node->parent;
    return node == root.get();
}

// `by` takes `child`'s place under `parent` (or as the root).
void TMap::ReplaceChild(TNode* parent, TNode* child, TNode* by) {
    if (!IsNode(parent)) {
        root = by;
    } else if (child == parent->left.get()) {
        parent->left = by;
    } else {
        parent->right = by;
    }
}

void TMap::RemoveNode(TNode* z) {
    if (!Holds(z)) return;
    TNode* nil = NilNode;
    TNode* y = (z->left.get() == nil || z->right.get() == nil) ? z : Rightmost(z->left);
    Hold hold(y);
    TNode* x = y->left.get() != nil ? y->left.get() : y->right.get();
    TNode* xParent = y->parent;
    if (x != nil) x->parent = xParent;
    ReplaceChild(xParent, y, x);
    if (y != z) {
        z->key = y->key.get();
        z->value = y->value.get();
    }
    if (y->color == kNodeBlack) RemoveFixup(x, xParent);
    // Detached, the unlinked node no longer keeps parts of the tree alive
    // for a caller that still holds it.
    y->parent = nil;
    y->left = nil;
    y->right = nil;
}

void TMap::RotateLeft(TNode* x) {
    TNode* nil = NilNode;
    TNode* y = x->right;
    Hold holdX(x);
    Hold holdY(y);
    x->right = y->left.get();
    if (y->left.get() != nil) y->left->parent = x;
    y->parent = x->parent.get();
    ReplaceChild(x->parent, x, y);
    y->left = x;
    x->parent = y;
}

void TMap::RotateRight(TNode* x) {
    TNode* nil = NilNode;
    TNode* y = x->left;
    Hold holdX(x);
    Hold holdY(y);
    x->left = y->right.get();
    if (y->right.get() != nil) y->right->parent = x;
    y->parent = x->parent.get();
    ReplaceChild(x->parent, x, y);
    y->right = x;
    x->parent = y;
}

void TMap::InsertFixup(TNode* z) {
    while (ColorOf(z->parent) == kNodeRed) {
        TNode* p = z->parent;
        TNode* g = p->parent;  // exists: a red node is never the root
        bool onLeft = p == g->left.get();
        TNode* uncle = onLeft ? g->right.get() : g->left.get();
        if (ColorOf(uncle) == kNodeRed) {
            p->color = kNodeBlack;
            uncle->color = kNodeBlack;
            g->color = kNodeRed;
            z = g;
            continue;
        }
        if (z == (onLeft ? p->right.get() : p->left.get())) {
            z = p;
            if (onLeft) RotateLeft(z); else RotateRight(z);
            p = z->parent;
        }
        p->color = kNodeBlack;
        g->color = kNodeRed;
        if (onLeft) RotateRight(g); else RotateLeft(g);
    }
    root->color = kNodeBlack;
}

// x carries an extra black; the sibling w is a real node, since x's side
// is one black short of w's side.
void TMap::RemoveFixup(TNode* x, TNode* parent) {
    while (x != root.get() && ColorOf(x) == kNodeBlack) {
        bool onLeft = x == parent->left.get();
        TNode* w = onLeft ? parent->right.get() : parent->left.get();
        if (w->color == kNodeRed) {
            w->color = kNodeBlack;
            parent->color = kNodeRed;
            if (onLeft) RotateLeft(parent); else RotateRight(parent);
            w = onLeft ? parent->right.get() : parent->left.get();
        }
        TNode* nearChild = onLeft ? w->left.get() : w->right.get();
        TNode* farChild = onLeft ? w->right.get() : w->left.get();
        if (ColorOf(nearChild) == kNodeBlack && ColorOf(farChild) == kNodeBlack) {
            w->color = kNodeRed;
            x = parent;
            parent = x->parent;
            continue;
        }
        if (ColorOf(farChild) == kNodeBlack) {
            nearChild->color = kNodeBlack;
            w->color = kNodeRed;
            if (onLeft) RotateRight(w); else RotateLeft(w);
            w = onLeft ? parent->right.get() : parent->left.get();
            farChild = onLeft ? w->right.get() : w->left.get();
        }
        w->color = parent->color;
        parent->color = kNodeBlack;
        farChild->color = kNodeBlack;
        if (onLeft) RotateLeft(parent); else RotateRight(parent);
        x = root;
        break;
    }
    if (x != NilNode.get()) x->color = kNodeBlack;
}

// ---- module functions ----

TMap* CreateMap() { return new TMap; }
void ClearMap(TMap* map) { Checked(map)->Clear(); }
int MapIsEmpty(TMap* map) { return Checked(map)->IsEmpty(); }
void MapInsert(TMap* map, Object* key, Object* value) { Checked(map)->Insert(key, value); }
Object* MapValueForKey(TMap* map, Object* key) { return Checked(map)->ValueForKey(key); }
int MapContains(TMap* map, Object* key) { return Checked(map)->Contains(key); }
int MapRemove(TMap* map, Object* key) { return Checked(map)->Remove(key); }
TMapEnumerator* MapKeys(TMap* map) { return Checked(map)->Keys(); }
TMapEnumerator* MapValues(TMap* map) { return Checked(map)->Values(); }
TMap* CopyMap(TMap* map) { return Checked(map)->Copy(); }

// The nil node is black and its own parent and children, so walking from it
// (an empty map's FirstNode, NextNode past the end) ends on it.
void StartMapModule() {
    KV_START_ONCE();
    RegisterClass(&TKeyValue::classRecord);
    RegisterClass(&TNode::classRecord);
    RegisterClass(&TNodeEnumerator::classRecord);
    RegisterClass(&TKeyEnumerator::classRecord);
    RegisterClass(&TValueEnumerator::classRecord);
    RegisterClass(&TMapEnumerator::classRecord);
    RegisterClass(&TMap::classRecord);
    TNode* nil = new TNode;
    nil->color = kNodeBlack;
    nil->parent = nil;
    nil->left = nil;
    nil->right = nil;
    NilNode = nil;
}
