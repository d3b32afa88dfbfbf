#include "gui/win32/kvgadget.h"

#include <algorithm>

#include "gui/win32/kvmenu.h"
#include "runtime/exception.h"

KVResource::~KVResource() {
    for (KVResource* dependency : dependencies_) dependency->release();
}

uintptr_t KVResource::query(int) { return 0; }

void KVResource::release() {
    if (--refs_ == 0) delete this;
}

void KVResource::depend(KVResource* other) {
    other->retain();
    dependencies_.push_back(other);
}

KVGadget::KVGadget(KVGroup* parentGroup, int creationStyle) : group(parentGroup), style(creationStyle) {
    if (group) group->addKid(this);
    lockLayout();
}

KVGadget::~KVGadget() {
    if (group) {
        try {
            group->removeKid(this);
        } catch (...) {
            // A destructor must not throw; the group keeps no pointer to us then.
        }
    }
}

void KVGadget::setFont(uintptr_t newFont) { font = newFont; }
void KVGadget::setText(String* newText) { text = newText; }

void KVGadget::setShape(int newX, int newY, int w, int h) {
    x = newX;
    y = newY;
    width = w;
    height = h;
}

void KVGadget::setTextColor(int, int, int) {}
void KVGadget::setColor(int, int, int) {}
void KVGadget::popupMenu(KVMenu*) {}
void KVGadget::setIconStrip(Win32IconStrip* strip) { iconStrip = strip; }
KVItems* KVGadget::itemList() { return nullptr; }

KVWindow::KVWindow(KVGroup* parent, int windowStyle)
    : KVGroup(parent, windowStyle), rootMenu(new KVMenu(EmptyString(), -1, nullptr)) {}

KVWindow::~KVWindow() { rootMenu->release(); }

void KVGadget::lockLayout() {
    lockedX = x;
    lockedY = y;
    lockedWidth = width;
    lockedHeight = height;
    lockedClientWidth = group ? std::max(1, group->clientWidth) : 1;
    lockedClientHeight = group ? std::max(1, group->clientHeight) : 1;
}

namespace {

// One axis of the edge-lock rule; the same arithmetic as the gadget model's.
void LayoutAxis(int pw, int lockA, int lockB, int lx, int lw, int lpw, int position, int size, int& from,
                int& to) {
    if (lockA == 0 && lockB == 0) {
        from = pw * (lx + lw / 2) / lpw - lw / 2;
        to = from + lw;
        return;
    }
    from = lockA == 1 ? lx : lockA == 2 ? pw * lx / lpw : position;
    to = lockB == 1 ? lx + lw + pw - lpw : lockB == 2 ? pw * (lx + lw) / lpw : position + size;
    if (lockA == 0) {
        from = to - lw;
    } else if (lockB == 0) {
        to = from + lw;
    }
}

}  // namespace

void KVGadget::layout() {
    if (!group) return;
    int pw = std::max(1, group->clientWidth);
    int ph = std::max(1, group->clientHeight);
    int left, right, top, bottom;
    LayoutAxis(pw, lockLeft, lockRight, lockedX, lockedWidth, std::max(1, lockedClientWidth), x, width, left, right);
    LayoutAxis(ph, lockTop, lockBottom, lockedY, lockedHeight, std::max(1, lockedClientHeight), y, height, top,
               bottom);
    setShape(left, top, right - left, bottom - top);
}

void KVGroup::setShape(int newX, int newY, int w, int h) {
    KVGadget::setShape(newX, newY, w, h);
    int oldWidth = clientWidth, oldHeight = clientHeight;
    clientRect(clientX, clientY, clientWidth, clientHeight);
    if (clientWidth != oldWidth || clientHeight != oldHeight) layoutKids();
}

void KVGroup::layoutKids() {
    for (KVGadget* kid : kids) kid->layout();
}

KVGroup::~KVGroup() {
    for (KVGadget* kid : kids) kid->group = nullptr;
}

void KVGroup::addKid(KVGadget* kid) { kids.push_back(kid); }

void KVGroup::removeKid(KVGadget* kid) {
    auto at = std::find(kids.begin(), kids.end(), kid);
    if (at == kids.end()) RuntimeError("Error removing gadget from group");
    kids.erase(at);
}
