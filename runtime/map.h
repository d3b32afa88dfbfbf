// The map: an ordered associative container from object keys to object
// values, kept as a red-black tree. Keys are ordered by the key's own
// Compare slot (strings by their text, other objects as their class says).
//
// Invariants kept here (outside the middle of Insert and RemoveNode):
//  - every absent child, and the root's parent, is the one shared nil node;
//    the nil node is black, its key and value are the null object, its
//    parent, left and right are itself, and the tree code never writes it;
//  - the root is black, no red node has a red child, every path from a node
//    down to the nil node passes the same number of black nodes;
//  - for every node N, N.left.parent == N and N.right.parent == N (nil aside);
//  - in-order, keys strictly ascend by Compare.
// Parent links make each tree a web of reference cycles: TNode::Clear cuts
// them, and ~TMap clears, so a dropped map is freed.
//
// The map module must be started (StartMapModule) before nodes are walked;
// creating a TMap starts it.
#pragma once
#include "runtime/object.h"

constexpr int kNodeRed = -1;
constexpr int kNodeBlack = 1;

class TKeyValue : public Object {
    KV_CLASS(TKeyValue, Object)
public:
    Ref<Object> key;
    Ref<Object> value;

    virtual Object* Key();
    virtual Object* Value();
};

class TNode : public TKeyValue {
    KV_CLASS(TNode, TKeyValue)
public:
    int color = kNodeBlack;
    Ref<TNode> parent;
    Ref<TNode> left;
    Ref<TNode> right;

    // In-order successor / predecessor; the nil node past either end.
    virtual TNode* NextNode();
    virtual TNode* PrevNode();
    // Sets the parent to the null object and clears the children, cutting
    // the subtree's parent-child cycles.
    virtual void Clear();
    // A deep copy of the subtree (same keys, values and colours) under `parent`.
    virtual TNode* Copy(TNode* parent);
};

// The shared nil node, made by StartMapModule.
extern Ref<TNode> NilNode;

class TNodeEnumerator : public Object {
    KV_CLASS(TNodeEnumerator, Object)
public:
    Ref<TNode> node;  // the node that comes next

    virtual int HasNext();
    virtual Object* NextObject();  // the node itself
};

class TKeyEnumerator : public TNodeEnumerator {
    KV_CLASS(TKeyEnumerator, TNodeEnumerator)
public:
    Object* NextObject() override;  // the node's key
};

class TValueEnumerator : public TNodeEnumerator {
    KV_CLASS(TValueEnumerator, TNodeEnumerator)
public:
    Object* NextObject() override;  // the node's value
};

// Stands in a for-each: hands out the enumerator it wraps.
class TMapEnumerator : public Object {
    KV_CLASS(TMapEnumerator, Object)
public:
    Ref<TNodeEnumerator> enumerator;

    virtual TNodeEnumerator* ObjectEnumerator();
};

class TMap : public Object {
    KV_CLASS(TMap, Object)
public:
    Ref<TNode> root;

    TMap();  // starts the map module
    ~TMap() override;  // Clear

    virtual void Clear();
    virtual int IsEmpty();
    // Replaces the value when the key is present, else adds a node.
    virtual void Insert(Object* key, Object* value);
    virtual int Contains(Object* key);
    virtual Object* ValueForKey(Object* key);  // the null object when absent
    virtual int Remove(Object* key);
    virtual TMapEnumerator* Keys();
    virtual TMapEnumerator* Values();
    virtual TMap* Copy();
    virtual TNodeEnumerator* ObjectEnumerator();
    virtual TNode* FirstNode();
    virtual TNode* LastNode();
    virtual TNode* FindNode(Object* key);  // the nil node when absent
    // Removes a node of this map (anything else is ignored). A node with two
    // children stays in the tree and takes its predecessor's key and value;
    // the predecessor's node is unlinked instead. An unlinked node is left
    // detached (parent and children nil): an enumerator standing on it ends.
    virtual void RemoveNode(TNode* node);

protected:
    // `parent` is x's parent: x may be the nil node, whose parent is never set.
    virtual void RemoveFixup(TNode* x, TNode* parent);
    virtual void RotateLeft(TNode* x);
    virtual void RotateRight(TNode* x);
    virtual void InsertFixup(TNode* z);

private:
    bool Holds(TNode* node);
    void ReplaceChild(TNode* parent, TNode* child, TNode* by);
};

TMap* CreateMap();
void ClearMap(TMap* map);
int MapIsEmpty(TMap* map);
void MapInsert(TMap* map, Object* key, Object* value);
Object* MapValueForKey(TMap* map, Object* key);
int MapContains(TMap* map, Object* key);
int MapRemove(TMap* map, Object* key);
TMapEnumerator* MapKeys(TMap* map);
TMapEnumerator* MapValues(TMap* map);
TMap* CopyMap(TMap* map);

void StartMapModule();
