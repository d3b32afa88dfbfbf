// The native layer's platform-independent part: reference-counted native
// objects, native gadgets with their edge-lock layout, and groups that hold
// children and know their client rectangle. The Win32 classes (win32window.h,
// win32panel.h, win32desktop.h) derive from these.
//
// Native objects are plain C++ objects outside the collector. What they hold
// of the runtime (their text) they hold through counted references, so the
// collector never frees it under them.
#pragma once
#include <vector>

#include "runtime/object.h"
#include "runtime/string.h"

class KVResource {
public:
    KVResource() = default;
    KVResource(const KVResource&) = delete;
    KVResource& operator=(const KVResource&) = delete;
    virtual ~KVResource();
    virtual uintptr_t query(int kind);

    void retain() { ++refs_; }
    // Dropping the last reference releases the dependencies and destroys the object.
    void release();
    // Keeps `other` alive (one reference) until this object is destroyed.
    void depend(KVResource* other);
    int refs() const { return refs_; }

private:
    int refs_ = 1;
    std::vector<KVResource*> dependencies_;
};

class KVGroup;
class KVMenu;
class Win32IconStrip;

// The native side of a gadget that holds items (list box, combo box):
// the control mirrors the gadget's item list. State bit 0x10 is selected.
class KVItems {
public:
    virtual void clearItems() = 0;
    virtual void insertItem(int index, String* text, String* tip, int icon) = 0;
    virtual void modifyItem(int index, String* text, String* tip, int icon) = 0;
    virtual void removeItem(int index) = 0;
    virtual void setItemState(int index, int state) = 0;
    virtual int itemState(int index) = 0;

protected:
    ~KVItems() = default;
};

class KVGadget : public KVResource {
public:
    KVGroup* group = nullptr;
    int style = 0;
    int x = 0, y = 0, width = 0, height = 0;
    bool visible = false;
    bool enabled = true;
    uintptr_t font = 0;  // the native font handle; fonts are shared, never owned here
    Win32IconStrip* iconStrip = nullptr;  // kept alive by the gadget's TIconStrip
    Ref<String> text;
    int lockedX = 0, lockedY = 0, lockedWidth = 0, lockedHeight = 0;
    int lockedClientWidth = 1, lockedClientHeight = 1;
    int lockLeft = 0, lockTop = 0, lockRight = 0, lockBottom = 0;

    // Stores the style and the group, joins the group's children and locks
    // the (empty) layout.
    KVGadget(KVGroup* group, int style);
    ~KVGadget() override;

    virtual void setFont(uintptr_t font);
    virtual void setText(String* text);
    virtual void setShape(int x, int y, int w, int h);
    virtual void setShow(bool show) = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual int activate(int command) = 0;
    virtual void setTextColor(int r, int g, int b);
    virtual void setColor(int r, int g, int b);
    // Shows the menu's children as a popup at the cursor; nothing in the base.
    virtual void popupMenu(KVMenu* menu);
    // The strip whose icons the items show; only stored in the base.
    virtual void setIconStrip(Win32IconStrip* strip);
    // The item side of a gadget that holds items; null for the others.
    virtual KVItems* itemList();
    virtual void layout();

    // The shape now, as the layout's starting point, with the group's client size.
    void lockLayout();
};

class KVGroup : public KVGadget {
public:
    std::vector<KVGadget*> kids;  // in creation order; not counted, the kids count on their group
    int clientX = 0, clientY = 0, clientWidth = 0, clientHeight = 0;

    KVGroup(KVGroup* group, int style) : KVGadget(group, style) {}
    // Kids still alive (held elsewhere) are let go: they no longer have a group.
    ~KVGroup() override;

    void setShape(int x, int y, int w, int h) override;
    virtual void layoutKids();
    virtual void clientRect(int& x, int& y, int& w, int& h) = 0;

    void addKid(KVGadget* kid);
    // Raises "Error removing gadget from group" when the kid is not listed.
    void removeKid(KVGadget* kid);
};

// Raises a gadget event for a native gadget: the driver layer finds the
// gadget that wraps it and posts the event (hooks first, then the queue).
void NativeEventSink(int id, KVGadget* native, int data, int mods, int x, int y, Object* extra);

class KVWindow : public KVGroup {
public:
    KVMenu* rootMenu;  // its children are the menu bar
    bool minimized = false;
    bool maximized = false;

    KVWindow(KVGroup* group, int style);
    ~KVWindow() override;

    virtual void updateMenu() = 0;
    virtual void activateFirst() = 0;
    virtual void setMinSize(int w, int h) = 0;
    virtual void setStatusText(String* text) = 0;
    virtual void minimize() = 0;
    virtual void maximize() = 0;
    virtual void restore() = 0;
};
