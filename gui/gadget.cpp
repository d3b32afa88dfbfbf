#include "gui/gadget.h"

#include "graphics/graphics.h"
#include "runtime/startup.h"
#include "runtime/exception.h"
#include "stream/standardio.h"

KV_DEFINE_CLASS(TGadgetItem, Object);
KV_DEFINE_CLASS(TGuiFont, Object);
KV_DEFINE_CLASS(TIconStrip, Object);
KV_DEFINE_CLASS(TGadget, Object);
KV_DEFINE_CLASS(TProxyGadget, TGadget);
KV_DEFINE_CLASS(TIntWrapper, Object);

namespace {

// The target a new proxy forwards to until SetProxy gives it a real one.
Ref<TGadget> defaultProxyTarget;

TGadgetItem* ItemAt(Array* items, int index) {
    return static_cast<TGadgetItem*>(Checked(items->ObjectAt(items->CheckIndex(index))));
}

// Items array with one more (or one less) slot, the others copied around `index`.
Array* ItemsWithSlotAt(Array* items, int index) {
    int count = items->Length();
    Array* grown = NewArray(":TGadgetItem", count + 1);
    for (int i = 0; i < count; ++i) grown->SetObject(i < index ? i : i + 1, items->ObjectAt(i));
    return grown;
}

Array* ItemsWithout(Array* items, int index) {
    int count = items->Length();
    Array* shrunk = NewArray(":TGadgetItem", count - 1);
    for (int i = 0, j = 0; i < count; ++i) {
        if (i != index) shrunk->SetObject(j++, items->ObjectAt(i));
    }
    return shrunk;
}

Array* StringsOf(Object* const* values, int count) {
    int kept = 0;
    for (int i = 0; i < count; ++i) kept += IsNull(values[i]) ? 0 : 1;
    Array* strings = NewArray("$", kept);
    for (int i = 0, j = 0; i < count; ++i) {
        if (!IsNull(values[i])) strings->SetObject(j++, values[i]->ToString());
    }
    return strings;
}

Array* CopyOfStrings(Array* strings) { return SliceArray("$", strings, 0, strings->Length()); }

bool IsStringArray(Array* array) { return array->type[0] == '$'; }
bool IsObjectArray(Array* array) { return array->type[0] == ':'; }

}  // namespace

int DefaultGadgetFilter(TEvent*, Object*) { return 1; }

void TGadgetItem::Set(String* newText, String* newTip, int newIcon, Object* newExtra, int newFlags) {
    text = newText;
    tip = newTip;
    icon = newIcon;
    extra = newExtra;
    flags = newFlags;
}

TGadget::TGadget() : kids(CreateList()) {}

// ---- base operations ----

void TGadget::SetFilter(GadgetFilter newFilter, Object* context) {
    filter = newFilter ? newFilter : DefaultGadgetFilter;
    filterContext = context;
}

void TGadget::SetGroup(TGadget* group, int index) {
    if (!IsNull(parent.get())) parent->kids->Remove(this);
    parent = group;
    if (IsNull(group)) return;
    TList* siblings = group->kids;
    int count = siblings->Count();
    if (index == 0) {
        siblings->AddFirst(this);
    } else if (index > 0 && index < count) {
        TLink* link = siblings->FirstLink();
        for (int i = 0; i < index; ++i) link = link->NextLink();
        siblings->InsertBeforeLink(this, link);
    } else {
        siblings->AddLast(this);
    }
}

TGadget* TGadget::Self() { return this; }

void TGadget::SetShape(int newX, int newY, int w, int h) {
    SetArea(newX, newY, w, h);
    LockLayout();
}

void TGadget::SetArea(int newX, int newY, int w, int h) {
    SetRect(newX, newY, w, h);
    Rethink();
    LayoutKids();
}

void TGadget::SetRect(int newX, int newY, int w, int h) {
    x = newX;
    y = newY;
    width = w;
    height = h;
}

void TGadget::LockLayout() {
    lockedX = x;
    lockedY = y;
    lockedWidth = width;
    lockedHeight = height;
    if (IsNull(parent.get())) {
        lockedClientWidth = lockedClientHeight = 1;
        return;
    }
    int w = parent->ClientWidth();
    int h = parent->ClientHeight();
    lockedClientWidth = w < 1 ? 1 : w;
    lockedClientHeight = h < 1 ? 1 : h;
}

void TGadget::SetLayout(int left, int right, int top, int bottom) {
    lockLeft = left;
    lockRight = right;
    lockTop = top;
    lockBottom = bottom;
    LockLayout();
}

void TGadget::LayoutKids() {
    for (Object* kid : *kids.get()) {
        TGadget* gadget = Downcast<TGadget>(kid);
        if (!IsNull(gadget)) gadget->DoLayout();
    }
}

// One axis of the edge-lock rule, in 32-bit integer arithmetic with the
// multiplication before the division: `from` and `to` are the new edges.
void TGadget::LayoutAxis(int pw, int lockA, int lockB, int lx, int lw, int lpw, int position, int size,
                         int& from, int& to) {
    if (lockA == EDGE_CENTERED && lockB == EDGE_CENTERED) {
        from = pw * (lx + lw / 2) / lpw - lw / 2;
        to = from + lw;
        return;
    }
    if (lockA == EDGE_ALIGNED) {
        from = lx;
    } else if (lockA == EDGE_RELATIVE) {
        from = pw * lx / lpw;
    } else {
        from = position;
    }
    if (lockB == EDGE_ALIGNED) {
        to = lx + lw + pw - lpw;
    } else if (lockB == EDGE_RELATIVE) {
        to = pw * (lx + lw) / lpw;
    } else {
        to = position + size;
    }
    if (lockA == EDGE_CENTERED) {
        from = to - lw;
    } else if (lockB == EDGE_CENTERED) {
        to = from + lw;
    }
}

void TGadget::DoLayout() {
    if (IsNull(parent.get())) return;
    int pw = parent->ClientWidth();
    int ph = parent->ClientHeight();
    if (pw < 1) pw = 1;
    if (ph < 1) ph = 1;
    // A gadget laid out before it was ever locked has a locked client size of 0.
    int lpw = lockedClientWidth < 1 ? 1 : lockedClientWidth;
    int lph = lockedClientHeight < 1 ? 1 : lockedClientHeight;
    int left, right, top, bottom;
    LayoutAxis(pw, lockLeft, lockRight, lockedX, lockedWidth, lpw, x, width, left, right);
    LayoutAxis(ph, lockTop, lockBottom, lockedY, lockedHeight, lph, y, height, top, bottom);
    SetArea(left, top, right - left, bottom - top);
}

void TGadget::SetItemSource(Object* source) {
    ClearItems();
    itemSource = source;
    itemSnapshot = EmptyArray();
    SyncItemSource();
}

Array* TGadget::ListStrings(TList* list) {
    Array* values = Checked(list)->ToArray();
    return StringsOf(values->DataAs<Object*>(), values->Length());
}

Array* TGadget::ArrayStrings(Array* array) {
    Checked(array);
    if (!array->HoldsReferences()) return NewArray("$", 0);
    return StringsOf(array->DataAs<Object*>(), array->Length());
}

int TGadget::SyncItemSource() {
    Object* source = itemSource.get();
    if (IsNull(source)) return 0;
    Array* strings;
    if (TList* list = Downcast<TList>(source); !IsNull(list)) {
        strings = ListStrings(list);
    } else if (Array* array = Downcast<Array>(source); !IsNull(array) && IsStringArray(array)) {
        strings = array;
    } else if (!IsNull(array) && IsObjectArray(array)) {
        strings = ArrayStrings(array);
    } else {
        strings = NewArray("$", 0);
    }
    if (strings->Length() > 0) {
        SyncItems(strings);
        itemSnapshot = CopyOfStrings(strings);
        return 0;
    }
    if (CountItems() == 0) return 0;
    ClearItems();
    return 1;
}

// Distance from snapshot entry c to the next one equal to strings[i]; the
// number of entries left when none is.
int TGadget::SnapshotMatchDistance(Array* strings, int i, int c) {
    Array* snapshot = itemSnapshot;
    int n = snapshot->Length();
    for (int k = c; k < n; ++k) {
        if (Equals(snapshot->StringAt(k), strings->StringAt(i))) return k - c;
    }
    return n - c;
}

// 1 plus the number of entries after the match at `match` that go on
// matching strings after i pairwise.
int TGadget::SnapshotRunLength(Array* strings, int i, int match) {
    Array* snapshot = itemSnapshot;
    int run = 1;
    for (int s = match + 1, t = i + 1; s < snapshot->Length() && t < strings->Length(); ++s, ++t) {
        if (!Equals(snapshot->StringAt(s), strings->StringAt(t))) break;
        ++run;
    }
    return run;
}

// Invariant of the walk: items[0..i) already show strings[0..i), and the
// items from i on are the snapshot entries from c on that are still kept.
void TGadget::SyncItems(Array* strings) {
    int c = 0;
    int n = itemSnapshot->Length();
    for (int i = 0; i < strings->Length(); ++i) {
        if (c < n) {
            if (Equals(strings->StringAt(i), itemSnapshot->StringAt(c))) {
                ++c;
                continue;
            }
            int k = SnapshotMatchDistance(strings, i, c);
            int b = c + k < n ? SnapshotRunLength(strings, i, c + k) : 1;
            if (k < b) {
                for (int r = 0; r < k; ++r) RemoveItem(i);
                c += k + 1;
                continue;
            }
        }
        InsertItemText(i, strings->StringAt(i));
    }
    while (CountItems() > strings->Length()) RemoveItem(strings->Length());
}

void TGadget::InsertItemText(int index, String* itemText) {
    InsertItem(index, itemText, EmptyString(), 0, itemSource, 0);
}

void TGadget::ClearItems() {
    NativeClearItems();
    items = EmptyArray();
}

void TGadget::InsertItem(int index, String* itemText, String* tip, int icon, Object* extra, int flags) {
    if (index < 0 || index > CountItems()) ThrowArrayBoundsError();
    Array* grown = ItemsWithSlotAt(items, index);
    TGadgetItem* item = new TGadgetItem();
    item->Set(itemText, tip, icon, extra, flags);
    grown->SetObject(index, item);
    items = grown;
    NativeInsertItem(index, itemText, tip, icon, extra);
    if (flags & GADGETITEM_DEFAULT) SelectItem(index, 1);
}

void TGadget::ModifyItem(int index, String* itemText, String* tip, int icon, Object* extra, int flags) {
    ItemAt(items, index)->Set(itemText, tip, icon, extra, flags);
    NativeModifyItem(index, itemText, tip, icon, extra);
    if (flags & GADGETITEM_DEFAULT) SelectItem(index, 1);
}

void TGadget::RemoveItem(int index) {
    items->CheckIndex(index);
    items = ItemsWithout(items, index);
    NativeRemoveItem(index);
}

int TGadget::CountItems() { return items->Length(); }
String* TGadget::ItemText(int index) { return ItemAt(items, index)->text; }
String* TGadget::ItemTip(int index) { return ItemAt(items, index)->tip; }
int TGadget::ItemFlags(int index) { return ItemAt(items, index)->flags; }
int TGadget::ItemIcon(int index) { return ItemAt(items, index)->icon; }
Object* TGadget::ItemExtra(int index) { return ItemAt(items, index)->extra; }
void TGadget::SetItemState(int index, int state) { NativeSetItemState(index, state); }
int TGadget::ItemState(int index) { return NativeItemState(index); }

void TGadget::SelectItem(int index, int mode) {
    if (index == -1) {
        for (int i = 0; i < CountItems(); ++i) SelectItem(i, mode);
        return;
    }
    int state = ItemState(index);
    if (mode == 0) {
        state &= ~GADGETITEM_SELECTED;
    } else if (mode == 1) {
        state |= GADGETITEM_SELECTED;
    } else {
        state ^= GADGETITEM_SELECTED;
    }
    TGadgetItem* item = ItemAt(items, index);
    if ((item->flags & GADGETITEM_TOGGLE) && item->icon >= 0) {
        int shown = (state & GADGETITEM_SELECTED) ? item->icon + 1 : item->icon;
        NativeModifyItem(index, item->text, item->tip, shown, item->extra);
    }
    SetItemState(index, state);
}

int TGadget::SelectedItem() {
    for (int i = 0; i < CountItems(); ++i) {
        if (NativeItemState(i) & GADGETITEM_SELECTED) return i;
    }
    return -1;
}

Array* TGadget::SelectedItems() {
    int count = 0;
    for (int i = 0; i < CountItems(); ++i) count += (NativeItemState(i) & GADGETITEM_SELECTED) ? 1 : 0;
    Array* selected = NewArray("i", count);
    for (int i = 0, j = 0; i < CountItems(); ++i) {
        if (NativeItemState(i) & GADGETITEM_SELECTED) selected->DataAs<int>()[j++] = i;
    }
    return selected;
}

void TGadget::Attach(TGadget*, int) {}

// ---- driver operations: nothing here ----

uintptr_t TGadget::Query(int) { return 0; }
void TGadget::Free() {}
void TGadget::Rethink() {}
int TGadget::ClientWidth() { return 0; }
int TGadget::ClientHeight() { return 0; }
int TGadget::Activate(int) { return 0; }
int TGadget::State() { return 0; }
void TGadget::SetText(String*) {}
String* TGadget::GetText() { return EmptyString(); }
void TGadget::SetFont(TGuiFont*) {}
void TGadget::SetColor(int, int, int) {}
void TGadget::SetAlpha(float) {}
void TGadget::SetTextColor(int, int, int) {}
void TGadget::SetIconStrip(TIconStrip*) {}
void TGadget::SetShow(int) {}
void TGadget::SetEnabled(int) {}
void TGadget::SetSelected(int) {}
void TGadget::SetHotKey(int, int) {}
void TGadget::SetStatusText(String*) {}
TGadget* TGadget::WindowMenu() { return NullOf<TGadget>(); }
void TGadget::PopupMenu(TGadget*, Object*) {}
void TGadget::UpdateWindowMenu() {}
void TGadget::SetMinimumSize(int, int) {}
void TGadget::NativeClearItems() {}
void TGadget::NativeInsertItem(int, String*, String*, int, Object*) {}
void TGadget::NativeModifyItem(int, String*, String*, int, Object*) {}
void TGadget::NativeRemoveItem(int) {}
void TGadget::NativeSetItemState(int, int) {}
int TGadget::NativeItemState(int) { return 0; }
TGadget* TGadget::RootNode() { return NullOf<TGadget>(); }
TGadget* TGadget::InsertNode(int, String*, int) { return NullOf<TGadget>(); }
void TGadget::ModifyNode(String*, int) {}
TGadget* TGadget::SelectedNode() { return NullOf<TGadget>(); }
int TGadget::CountKids() { return 0; }
void TGadget::SetAreaText(String*, int, int, int) {}
void TGadget::AddAreaText(String*) {}
String* TGadget::AreaText(int, int, int) { return EmptyString(); }
int TGadget::AreaLen(int) { return 0; }
void TGadget::LockText() {}
void TGadget::UnlockText() {}
void TGadget::SetTabs(int) {}
int TGadget::GetCursorPos(int) { return 0; }
int TGadget::GetSelectionLength(int) { return 0; }
void TGadget::SetStyle(int, int, int, int, int, int, int) {}
void TGadget::SetSelection(int, int, int) {}
int TGadget::CharAt(int) { return 0; }
int TGadget::LineAt(int) { return 0; }
void TGadget::SetProgress(float) {}
void TGadget::SetRange(int, int) {}
void TGadget::SetValue(int) {}
int TGadget::GetValue() { return 0; }
void TGadget::SetPixmap(TPixmap*, int) {}
void TGadget::AttachGraphics(int) {}
TGraphics* TGadget::CanvasGraphics() { return NullOf<TGraphics>(); }
String* TGadget::RunScript(String*) { return EmptyString(); }

// ---- proxies ----

TProxyGadget::TProxyGadget() : target(defaultProxyTarget.get()) {}

void TProxyGadget::SetProxy(TGadget* newTarget) {
    target = newTarget;
    if (!IsNull(newTarget)) newTarget->link = this;
}

uintptr_t TProxyGadget::Query(int kind) { return target->Query(kind); }
void TProxyGadget::Free() { target->Free(); }
void TProxyGadget::Rethink() { target->Rethink(); }
int TProxyGadget::ClientWidth() { return target->ClientWidth(); }
int TProxyGadget::ClientHeight() { return target->ClientHeight(); }
int TProxyGadget::Activate(int command) { return target->Activate(command); }
int TProxyGadget::State() { return target->State(); }
void TProxyGadget::SetText(String* value) { target->SetText(value); }
String* TProxyGadget::GetText() { return target->GetText(); }
void TProxyGadget::SetFont(TGuiFont* font) { target->SetFont(font); }
void TProxyGadget::SetColor(int r, int g, int b) { target->SetColor(r, g, b); }
void TProxyGadget::SetAlpha(float alpha) { target->SetAlpha(alpha); }
void TProxyGadget::SetTextColor(int r, int g, int b) { target->SetTextColor(r, g, b); }
void TProxyGadget::SetIconStrip(TIconStrip* strip) { target->SetIconStrip(strip); }
void TProxyGadget::SetShow(int show) { target->SetShow(show); }
void TProxyGadget::SetEnabled(int enabled) { target->SetEnabled(enabled); }
void TProxyGadget::SetSelected(int selected) { target->SetSelected(selected); }
void TProxyGadget::SetHotKey(int key, int mods) { target->SetHotKey(key, mods); }
void TProxyGadget::SetStatusText(String* value) { target->SetStatusText(value); }
TGadget* TProxyGadget::WindowMenu() { return target->WindowMenu(); }
void TProxyGadget::PopupMenu(TGadget* menu, Object* extra) { target->PopupMenu(menu, extra); }
void TProxyGadget::UpdateWindowMenu() { target->UpdateWindowMenu(); }
void TProxyGadget::SetMinimumSize(int w, int h) { target->SetMinimumSize(w, h); }
void TProxyGadget::NativeClearItems() { target->NativeClearItems(); }
void TProxyGadget::NativeInsertItem(int index, String* value, String* tip, int icon, Object* extra) {
    target->NativeInsertItem(index, value, tip, icon, extra);
}
void TProxyGadget::NativeModifyItem(int index, String* value, String* tip, int icon, Object* extra) {
    target->NativeModifyItem(index, value, tip, icon, extra);
}
void TProxyGadget::NativeRemoveItem(int index) { target->NativeRemoveItem(index); }
void TProxyGadget::NativeSetItemState(int index, int state) { target->NativeSetItemState(index, state); }
int TProxyGadget::NativeItemState(int index) { return target->NativeItemState(index); }
TGadget* TProxyGadget::RootNode() { return target->RootNode(); }
TGadget* TProxyGadget::InsertNode(int index, String* value, int icon) { return target->InsertNode(index, value, icon); }
void TProxyGadget::ModifyNode(String* value, int icon) { target->ModifyNode(value, icon); }
TGadget* TProxyGadget::SelectedNode() { return target->SelectedNode(); }
int TProxyGadget::CountKids() { return target->CountKids(); }
void TProxyGadget::SetAreaText(String* value, int pos, int length, int units) {
    target->SetAreaText(value, pos, length, units);
}
void TProxyGadget::AddAreaText(String* value) { target->AddAreaText(value); }
String* TProxyGadget::AreaText(int pos, int length, int units) { return target->AreaText(pos, length, units); }
int TProxyGadget::AreaLen(int units) { return target->AreaLen(units); }
void TProxyGadget::LockText() { target->LockText(); }
void TProxyGadget::UnlockText() { target->UnlockText(); }
void TProxyGadget::SetTabs(int tabWidth) { target->SetTabs(tabWidth); }
int TProxyGadget::GetCursorPos(int units) { return target->GetCursorPos(units); }
int TProxyGadget::GetSelectionLength(int units) { return target->GetSelectionLength(units); }
void TProxyGadget::SetStyle(int r, int g, int b, int flags, int pos, int length, int units) {
    target->SetStyle(r, g, b, flags, pos, length, units);
}
void TProxyGadget::SetSelection(int pos, int length, int units) { target->SetSelection(pos, length, units); }
int TProxyGadget::CharAt(int line) { return target->CharAt(line); }
int TProxyGadget::LineAt(int index) { return target->LineAt(index); }
void TProxyGadget::SetProgress(float value) { target->SetProgress(value); }
void TProxyGadget::SetRange(int visible, int total) { target->SetRange(visible, total); }
void TProxyGadget::SetValue(int value) { target->SetValue(value); }
int TProxyGadget::GetValue() { return target->GetValue(); }
void TProxyGadget::SetPixmap(TPixmap* pixmap, int flags) { target->SetPixmap(pixmap, flags); }
void TProxyGadget::AttachGraphics(int flags) { target->AttachGraphics(flags); }
TGraphics* TProxyGadget::CanvasGraphics() { return target->CanvasGraphics(); }
String* TProxyGadget::RunScript(String* script) { return target->RunScript(script); }

// ---- handle map keys ----

TIntWrapper* TIntWrapper::Create(int value) {
    TIntWrapper* wrapper = new TIntWrapper();
    wrapper->value = value;
    return wrapper;
}

int TIntWrapper::Compare(Object* other) {
    TIntWrapper* that = Downcast<TIntWrapper>(other);
    if (IsNull(that)) return Object::Compare(other);
    return value - that->value;
}

// ---- events ----

void PostGadgetEvent(int id, TGadget* source, int data, int mods, int x, int y, Object* extra) {
    Object* from = source;
    if (!IsNull(source) && !IsNull(source->link.get())) from = source->link;
    TEvent::Create(id, from, data, mods, x, y, extra)->Emit();
}

int FilterKey(TGadget* gadget, int id, int data, int mods) {
    if (IsNull(gadget) || gadget->filter == DefaultGadgetFilter) return 1;
    TEvent* event = TEvent::Create(id, gadget, data, mods, 0, 0, NullObject());
    return gadget->filter(event, gadget->filterContext);
}

void StartGadgetModule() {
    KV_START_ONCE();
    StartEventModule();
    StartListModule();
    StartPixmapModule();
    RegisterClass(&TGadgetItem::classRecord);
    RegisterClass(&TGuiFont::classRecord);
    RegisterClass(&TIconStrip::classRecord);
    RegisterClass(&TGadget::classRecord);
    RegisterClass(&TProxyGadget::classRecord);
    RegisterClass(&TIntWrapper::classRecord);
    defaultProxyTarget = new TGadget();
}
