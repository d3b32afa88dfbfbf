#include "gui/win32guidriver.h"

#include "runtime/win32.h"  // before the other Windows headers, which need it

#include <commctrl.h>
#include <commdlg.h>

#include <cstring>

#include "gui/win32/kvgadget.h"
#include "gui/win32/kvmenu.h"
#include "gui/win32/win32button.h"
#include "gui/win32/win32combobox.h"
#include "gui/win32/win32desktop.h"
#include "gui/win32/win32htmlview.h"
#include "gui/win32/win32iconstrip.h"
#include "gui/win32/win32hwnd.h"
#include "gui/win32/win32label.h"
#include "gui/win32/win32listbox.h"
#include "gui/win32/win32panel.h"
#include "gui/win32/win32tabber.h"
#include "gui/win32/win32textarea.h"
#include "gui/win32/win32textfield.h"
#include "gui/win32/win32toolbar.h"
#include "gui/win32/win32treeview.h"
#include "gui/win32/win32valuegadgets.h"
#include "gui/win32/win32window.h"
#include "runtime/exception.h"
#include "runtime/map.h"
#include "runtime/memory.h"
#include "runtime/startup.h"
#include "system/system.h"

KV_DEFINE_CLASS(TWin32Gadget, TGadget);
KV_DEFINE_CLASS(TWin32GUIDriver, TVantaGUIDriver);
KV_DEFINE_CLASS(TWin32IconStrip, TIconStrip);

TWin32IconStrip::~TWin32IconStrip() {
    if (native) native->release();
}

namespace {

Ref<TMap> handleMap;  // TIntWrapper(native pointer) -> TWin32Gadget
// Keyed by the decimal text of a menu's internal id: the user's tag as
// decimal text, and the menu gadget.
Ref<TMap> menuTags;
Ref<TMap> menuGadgets;
int nextMenuId = 100;
Ref<Object> popupExtra;  // the extra of the popup menu being shown
HFONT defaultFont = nullptr;

TIntWrapper* KeyOf(KVGadget* native) { return TIntWrapper::Create(static_cast<int>(reinterpret_cast<uintptr_t>(native))); }

bool IsGroupClass(int gadgetClass) {
    switch (gadgetClass) {
    case GADGET_DESKTOP:
    case GADGET_WINDOW:
    case GADGET_PANEL:
    case GADGET_TABBER:
    case GADGET_CANVAS: return true;
    default: return false;
    }
}

Object* InputSourceOf(KVGadget* native) { return GadgetFromNative(native); }

// The native create sequence: shape, text where the class takes one, shown
// unless it is a hidden window, and the layout locked at that shape.
void SetUpNative(KVGadget* native, String* text, bool takesText, bool show, int x, int y, int w, int h) {
    native->setFont(reinterpret_cast<uintptr_t>(defaultFont));
    native->setShape(x, y, w, h);
    if (takesText) native->setText(text);
    if (show) native->setShow(true);
    native->lockLayout();
}

// The sequence for the classes made without text, shown.
KVGadget* SetUpNew(KVGadget* native, int x, int y, int w, int h) {
    SetUpNative(native, EmptyString(), false, true, x, y, w, h);
    return native;
}

KVGadget* CreateNative(int gadgetClass, String* text, int x, int y, int w, int h, KVGroup* parent, int style) {
    switch (gadgetClass) {
    case GADGET_WINDOW: {
        auto* window = new Win32Window(parent, style);
        SetUpNative(window, text, true, !(style & WINDOW_HIDDEN), x, y, w, h);
        return window;
    }
    case GADGET_PANEL:
    case GADGET_CANVAS: {
        int panelStyle = gadgetClass == GADGET_CANVAS ? style | PANEL_CANVAS : style;
        auto* panel = new Win32Panel(parent, panelStyle);
        SetUpNative(panel, text, false, true, x, y, w, h);
        if (gadgetClass == GADGET_PANEL && text->length > 0) panel->setText(text);
        return panel;
    }
    case GADGET_BUTTON: {
        auto* button = new Win32Button(parent, style);
        SetUpNative(button, text, true, true, x, y, w, h);
        return button;
    }
    case GADGET_LABEL: {
        auto* label = new Win32Label(parent, style);
        SetUpNative(label, text, true, true, x, y, w, h);
        return label;
    }
    case GADGET_TEXTFIELD: {
        auto* field = new Win32TextField(parent, style);
        SetUpNative(field, text, false, true, x, y, w, h);
        return field;
    }
    case GADGET_HTMLVIEW: {
        auto* view = new Win32HtmlView(parent, style);
        SetUpNative(view, text, false, true, x, y, w, h);
        return view;
    }
    case GADGET_LISTBOX: return SetUpNew(new Win32ListBox(parent, style), x, y, w, h);
    case GADGET_TABBER: return SetUpNew(new Win32Tabber(parent, style), x, y, w, h);
    case GADGET_TOOLBAR: return SetUpNew(new Win32ToolBar(parent, style), x, y, w, h);
    case GADGET_TREEVIEW: return SetUpNew(new Win32TreeView(parent, style), x, y, w, h);
    case GADGET_TEXTAREA: return SetUpNew(new Win32TextArea(parent, style), x, y, w, h);
    case GADGET_COMBOBOX: return SetUpNew(new Win32ComboBox(parent, style), x, y, w, h);
    case GADGET_SLIDER: return SetUpNew(new Win32Slider(parent, style), x, y, w, h);
    case GADGET_PROGBAR: return SetUpNew(new Win32ProgBar(parent, style), x, y, w, h);
    case GADGET_TREENODE: RuntimeError("chunks");
    default: FormatRuntimeError("Gadget class %d is not made by this GUI driver", gadgetClass);
    }
}

[[noreturn]] void InvalidGadgetType() { RuntimeError("Invalid Gadget type"); }

// The standard cursors of SetPointer's shapes 0..14 (arrow, arrow, I-beam,
// wait, cross, up arrow, the four sizing arrows, size all, no, hand, app
// starting, help); anything else is the arrow.
LPCWSTR CursorOf(int shape) {
    static const int cursors[] = {32512, 32512, 32513, 32514, 32515, 32516, 32642, 32643,
                                  32644, 32645, 32646, 32648, 32649, 32650, 32651};
    return MAKEINTRESOURCEW(shape >= 0 && shape < 15 ? cursors[shape] : 32512);
}

TGuiFont* WrapFont(HFONT font) {
    LOGFONTA info{};
    if (!font || !GetObjectA(font, sizeof info, &info)) return NullOf<TGuiFont>();
    TGuiFont* wrapped = new TGuiFont();
    wrapped->name = String::FromCString(info.lfFaceName);
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    wrapped->size = MulDiv(info.lfHeight < 0 ? -info.lfHeight : info.lfHeight, 72, dpi);
    wrapped->style = (info.lfWeight >= FW_BOLD ? 1 : 0) | (info.lfItalic ? 2 : 0) | (info.lfUnderline ? 4 : 0);
    wrapped->handle = reinterpret_cast<uintptr_t>(font);
    return wrapped;
}

}  // namespace

// ---- gadgets ----

TGadget* GadgetFromNative(KVGadget* native) {
    if (IsNull(handleMap.get()) || !native) return NullOf<TGadget>();
    return Downcast<TGadget>(handleMap->ValueForKey(KeyOf(native)));
}

int NativeKeyFilter(KVGadget* native, int id, int data, int mods) {
    return FilterKey(GadgetFromNative(native), id, data, mods);
}

void NativeEventSink(int id, KVGadget* native, int data, int mods, int x, int y, Object* extra) {
    TWin32Gadget* gadget = Downcast<TWin32Gadget>(GadgetFromNative(native));
    if (id == EVENT_MENUACTION) {
        String* key = String::FromInt(data);
        String* tag = Downcast<String>(menuTags->ValueForKey(key));
        data = IsNull(tag) ? 0 : tag->ToInt();
        gadget = Downcast<TWin32Gadget>(menuGadgets->ValueForKey(key));
        extra = popupExtra;
    }
    // A tree view's events carry the native node; the extra is its gadget.
    if (!IsNull(gadget) && gadget->gadgetClass == GADGET_TREEVIEW) {
        extra = GadgetFromNative(reinterpret_cast<KVGadget*>(static_cast<intptr_t>(data)));
    }
    if (!IsNull(gadget) && native && native->itemList() && data >= 0 && data < gadget->CountItems()) {
        if (gadget->ItemFlags(data) & GADGETITEM_TOGGLE) gadget->SelectItem(data, 2);
        extra = gadget->ItemExtra(data);
    }
    if (!IsNull(gadget)) {
        if (id == EVENT_WINDOWSIZE) gadget->SyncShape();
        if (id == EVENT_WINDOWMOVE) gadget->SyncPosition();
    }
    PostGadgetEvent(id, gadget, data, mods, x, y, extra);
}

TWin32Gadget::~TWin32Gadget() {
    if (native) native->release();
    if (menu) menu->release();
}

TWin32Gadget* TWin32Gadget::Wrap(int gadgetClass, KVGadget* native, TGadget* group) {
    TWin32Gadget* gadget = new TWin32Gadget();
    gadget->gadgetClass = gadgetClass;
    gadget->native = native;
    if (!IsNull(group)) gadget->SetGroup(group, -1);
    gadget->SyncShape();
    if (!IsNull(handleMap->ValueForKey(KeyOf(native)))) {
        gadget->native = nullptr;  // the other gadget keeps the native one
        RuntimeError("Gadget handle already in map!");
    }
    handleMap->Insert(KeyOf(native), gadget);
    if (gadgetClass == GADGET_SLIDER) {
        gadget->SetRange(1, 10);
        gadget->SetValue(0);
    }
    // A tool bar stretches with the top edge of its parent.
    if (gadgetClass == GADGET_TOOLBAR) gadget->SetLayout(EDGE_ALIGNED, EDGE_ALIGNED, EDGE_ALIGNED, 0);
    return gadget;
}

KVGroup* TWin32Gadget::NativeGroup() {
    return native && IsGroupClass(gadgetClass) ? static_cast<KVGroup*>(native) : nullptr;
}

void TWin32Gadget::SetShape(int newX, int newY, int w, int h) {
    if (!native) return;
    native->setShape(newX, newY, w, h);
    native->lockLayout();
    SyncShape();
}

void TWin32Gadget::SetLayout(int left, int right, int top, int bottom) {
    lockLeft = left;
    lockRight = right;
    lockTop = top;
    lockBottom = bottom;
    if (!native) return;
    native->lockLeft = left;
    native->lockRight = right;
    native->lockTop = top;
    native->lockBottom = bottom;
    native->lockLayout();
}

uintptr_t TWin32Gadget::Query(int kind) { return native ? native->query(kind) : 0; }

void TWin32Gadget::Free() {
    if (!IsNull(parent.get())) SetGroup(NullOf<TGadget>(), 0);
    while (!kids->IsEmpty()) {
        TGadget* kid = Downcast<TGadget>(kids->First());
        if (IsNull(kid)) {
            kids->RemoveFirst();
            continue;
        }
        kid->Free();
        kids->Remove(kid);  // a kid that is not a Win32 gadget may not leave by itself
    }
    if (!IsNull(graphics.get())) {
        CloseGraphics(graphics);
        graphics = NullOf<TGraphics>();
    }
    if (menu) {
        KVMenu* gone = menu;
        menu = nullptr;
        String* key = String::FromInt(gone->id);
        menuTags->Remove(key);
        menuGadgets->Remove(key);
        gone->release();
    }
    if (!native) return;
    KVGadget* gone = native;
    native = nullptr;
    handleMap->Remove(KeyOf(gone));
    // A kid whose native object something else holds (Attach) outlives its
    // group: it is let go, and the program hears of it once the group is gone.
    KVGroup* group = IsGroupClass(gadgetClass) ? static_cast<KVGroup*>(gone) : nullptr;
    bool keptKids = group && !group->kids.empty() && gone->refs() == 1;
    gone->release();
    if (keptKids) RuntimeError("Error removing child gadget");
}

// The other gadget's native object lives at least as long as this one's.
void TWin32Gadget::Attach(TGadget* other, int) {
    TWin32Gadget* target = Downcast<TWin32Gadget>(other);
    if (native && !IsNull(target) && target->native && target->native != native) native->depend(target->native);
}

int TWin32Gadget::ClientWidth() {
    KVGroup* group = NativeGroup();
    return group ? group->clientWidth : 0;
}

int TWin32Gadget::ClientHeight() {
    KVGroup* group = NativeGroup();
    return group ? group->clientHeight : 0;
}

int TWin32Gadget::Activate(int command) {
    if (!native) return 0;
    if (gadgetClass == GADGET_WINDOW) {
        auto* window = static_cast<KVWindow*>(native);
        switch (command) {
        case ACTIVATE_FOCUS: window->activateFirst(); return 0;
        case ACTIVATE_MINIMIZE: window->minimize(); return 0;
        case ACTIVATE_MAXIMIZE: window->maximize(); return 0;
        case ACTIVATE_RESTORE: window->restore(); return 0;
        default: break;
        }
    }
    if (gadgetClass == GADGET_HTMLVIEW && (command == ACTIVATE_BACK || command == ACTIVATE_FORWARD)) {
        auto* view = static_cast<Win32HtmlView*>(native);
        command == ACTIVATE_BACK ? view->back() : view->forward();
        return 0;
    }
    return native->activate(command);
}

int TWin32Gadget::State() {
    if (menu) return (menu->checked ? STATE_SELECTED : 0) | (disabled ? STATE_DISABLED : 0);
    if (!native) return 0;
    int state = 0;
    if (gadgetClass == GADGET_WINDOW) {
        auto* window = static_cast<KVWindow*>(native);
        state |= (window->minimized ? STATE_MINIMIZED : 0) | (window->maximized ? STATE_MAXIMIZED : 0);
    }
    HWND frame = reinterpret_cast<HWND>(native->query(QUERY_HWND));
    if (gadgetClass == GADGET_BUTTON && static_cast<Win32Button*>(native)->checked()) state |= STATE_SELECTED;
    if (gadgetClass == GADGET_HTMLVIEW && static_cast<Win32HtmlView*>(native)->busy()) state |= STATE_MINIMIZED;
    if (frame && !IsWindowVisible(frame)) state |= STATE_HIDDEN;
    if (disabled) state |= STATE_DISABLED;
    return state;
}

void TWin32Gadget::SetText(String* value) {
    if (menu) menu->text = value;
    if (native) native->setText(value);
}

String* TWin32Gadget::GetText() {
    if (menu) return menu->text;
    if (!native) return EmptyString();
    if (gadgetClass == GADGET_TEXTFIELD) return static_cast<Win32TextField*>(native)->currentText();
    if (gadgetClass == GADGET_TEXTAREA) return AreaText(0, -1, TEXTAREA_CHARS);
    if (gadgetClass == GADGET_COMBOBOX) {
        int chosen = SelectedItem();
        return chosen >= 0 ? ItemText(chosen) : static_cast<Win32ComboBox*>(native)->editText();
    }
    return native->text;
}

void TWin32Gadget::SetSelected(int selected) {
    if (menu) menu->checked = selected != 0;
    if (native && gadgetClass == GADGET_BUTTON) static_cast<Win32Button*>(native)->setChecked(selected != 0);
}

void TWin32Gadget::SetFont(TGuiFont* font) {
    if (native && !IsNull(font)) native->setFont(font->handle);
}

void TWin32Gadget::SetColor(int r, int g, int b) {
    if (native) native->setColor(r, g, b);
}

void TWin32Gadget::SetTextColor(int r, int g, int b) {
    if (native) native->setTextColor(r, g, b);
}

void TWin32Gadget::SetAlpha(float alpha) {
    if (native && (gadgetClass == GADGET_PANEL || gadgetClass == GADGET_CANVAS)) {
        static_cast<Win32Panel*>(native)->alpha = alpha;
    }
}

void TWin32Gadget::SetShow(int show) {
    if (native) native->setShow(show != 0);
}

void TWin32Gadget::SetEnabled(int enable) {
    disabled = enable ? 0 : 1;
    if (menu) menu->enabled = enable != 0;
    if (native) native->setEnabled(enable != 0);
}

// A hot key raises the gadget's GadgetAction, or a menu's MenuAction with
// its tag, while the gadget's window is in front; a menu shows it too.
void TWin32Gadget::SetHotKey(int key, int mods) {
    RemoveHotKey(hotKey);
    TEvent* action;
    if (menu) {
        menu->hotKey = key;
        menu->hotMods = mods;
        String* tag = Downcast<String>(menuTags->ValueForKey(String::FromInt(menu->id)));
        action = TEvent::Create(EVENT_MENUACTION, this, IsNull(tag) ? 0 : tag->ToInt(), 0, 0, 0, NullObject());
    } else {
        action = TEvent::Create(EVENT_GADGETACTION, this, 0, 0, 0, 0, NullObject());
    }
    hotKey = SetHotKeyEvent(key, mods, action, WindowHandle());
}

void TWin32Gadget::SetStatusText(String* value) {
    if (native && gadgetClass == GADGET_WINDOW) static_cast<KVWindow*>(native)->setStatusText(value);
}

void TWin32Gadget::SetMinimumSize(int w, int h) {
    if (native && gadgetClass == GADGET_WINDOW) static_cast<KVWindow*>(native)->setMinSize(w, h);
}

String* TWin32Gadget::RunScript(String* script) {
    if (native && gadgetClass == GADGET_HTMLVIEW) static_cast<Win32HtmlView*>(native)->runScript(script);
    return EmptyString();
}

TGadget* TWin32Gadget::WindowMenu() { return this; }

// The chosen item's command arrives while the popup is up; the pump hands
// it on before the popup's extra is cleared.
void TWin32Gadget::PopupMenu(TGadget* menuGadget, Object* extra) {
    TWin32Gadget* popup = Downcast<TWin32Gadget>(menuGadget);
    if (!native || IsNull(popup) || !popup->menu) return;
    popupExtra = extra;
    native->popupMenu(popup->menu);
    PollSystem();
    popupExtra = NullObject();
}

void TWin32Gadget::UpdateWindowMenu() {
    if (native && gadgetClass == GADGET_WINDOW) static_cast<KVWindow*>(native)->updateMenu();
}
TGadget* TWin32Gadget::RootNode() { return gadgetClass == GADGET_TREEVIEW ? this : NullOf<TGadget>(); }

// A new node at `index` among the kids of this tree view (at its top level)
// or node; an index out of range puts it last.
TGadget* TWin32Gadget::InsertNode(int index, String* nodeText, int icon) {
    Win32TreeView* tree = nullptr;
    HTREEITEM parentItem = TVI_ROOT;
    if (native && gadgetClass == GADGET_TREEVIEW) {
        tree = static_cast<Win32TreeView*>(native);
    } else if (native && gadgetClass == GADGET_TREENODE) {
        tree = static_cast<Win32TreeViewNode*>(native)->tree;
        parentItem = static_cast<Win32TreeViewNode*>(native)->item;
    } else {
        InvalidGadgetType();
    }
    if (index > CountKids()) index = -1;
    auto* node = new Win32TreeViewNode(tree, parentItem, index, nodeText, icon);
    TWin32Gadget* gadget = Wrap(GADGET_TREENODE, node, NullOf<TGadget>());
    gadget->text = nodeText;
    gadget->SetGroup(this, index);
    return gadget;
}

void TWin32Gadget::ModifyNode(String* nodeText, int icon) {
    if (!native || gadgetClass != GADGET_TREENODE) return;
    static_cast<Win32TreeViewNode*>(native)->modify(nodeText, icon);
    text = nodeText;
}

TGadget* TWin32Gadget::SelectedNode() {
    if (!native || gadgetClass != GADGET_TREEVIEW) return NullOf<TGadget>();
    return GadgetFromNative(static_cast<Win32TreeView*>(native)->selected());
}

int TWin32Gadget::CountKids() {
    if (native && gadgetClass == GADGET_TREEVIEW) return static_cast<Win32TreeView*>(native)->countKids(TVI_ROOT);
    if (native && gadgetClass == GADGET_TREENODE) return static_cast<Win32TreeViewNode*>(native)->countKids();
    return 0;
}

// The item side of a gadget that holds items; any other raises "Invalid Gadget type".
KVItems* TWin32Gadget::Items() {
    KVItems* list = native ? native->itemList() : nullptr;
    if (!list) InvalidGadgetType();
    return list;
}

void TWin32Gadget::NativeClearItems() { Items()->clearItems(); }
void TWin32Gadget::NativeInsertItem(int index, String* value, String* tip, int icon, Object*) {
    Items()->insertItem(index, value, tip, icon);
}
void TWin32Gadget::NativeModifyItem(int index, String* value, String* tip, int icon, Object*) {
    Items()->modifyItem(index, value, tip, icon);
}
void TWin32Gadget::NativeRemoveItem(int index) { Items()->removeItem(index); }
void TWin32Gadget::NativeSetItemState(int index, int state) { Items()->setItemState(index, state); }
int TWin32Gadget::NativeItemState(int index) { return Items()->itemState(index); }

void TWin32Gadget::SetIconStrip(TIconStrip* strip) {
    TWin32IconStrip* native32 = Downcast<TWin32IconStrip>(strip);
    iconStrip = strip;
    if (!native) return;
    native->setIconStrip(IsNull(native32) ? nullptr : native32->native);
    SyncShape();  // a tool bar takes the height the strip gives it
}

void TWin32Gadget::SetRange(int visible, int total) {
    if (native && gadgetClass == GADGET_SLIDER) static_cast<Win32Slider*>(native)->setRange(visible, total);
}
void TWin32Gadget::SetValue(int value) {
    if (native && gadgetClass == GADGET_SLIDER) static_cast<Win32Slider*>(native)->setValue(value);
}
int TWin32Gadget::GetValue() {
    return native && gadgetClass == GADGET_SLIDER ? static_cast<Win32Slider*>(native)->value() : 0;
}
void TWin32Gadget::SetProgress(float value) {
    if (native && gadgetClass == GADGET_PROGBAR) static_cast<Win32ProgBar*>(native)->setProgress(value);
}

// ---- text areas (the other classes keep the base's answers) ----

Win32TextArea* TWin32Gadget::TextArea() {
    return native && gadgetClass == GADGET_TEXTAREA ? static_cast<Win32TextArea*>(native) : nullptr;
}

void TWin32Gadget::SetAreaText(String* value, int pos, int length, int units) {
    if (Win32TextArea* area = TextArea()) area->setAreaText(value, pos, length, units);
}
void TWin32Gadget::AddAreaText(String* value) {
    if (Win32TextArea* area = TextArea()) area->addAreaText(value);
}
String* TWin32Gadget::AreaText(int pos, int length, int units) {
    Win32TextArea* area = TextArea();
    return area ? area->areaText(pos, length, units) : EmptyString();
}
int TWin32Gadget::AreaLen(int units) {
    Win32TextArea* area = TextArea();
    return area ? area->length(units) : 0;
}
void TWin32Gadget::LockText() {
    if (Win32TextArea* area = TextArea()) area->lock();
}
void TWin32Gadget::UnlockText() {
    if (Win32TextArea* area = TextArea()) area->unlock();
}
void TWin32Gadget::SetTabs(int width) {
    if (Win32TextArea* area = TextArea()) area->setTabs(width);
}
int TWin32Gadget::GetCursorPos(int units) {
    Win32TextArea* area = TextArea();
    return area ? area->cursor(units) : 0;
}
int TWin32Gadget::GetSelectionLength(int units) {
    Win32TextArea* area = TextArea();
    return area ? area->selectionLength(units) : 0;
}
void TWin32Gadget::SetStyle(int r, int g, int b, int flags, int pos, int length, int units) {
    if (Win32TextArea* area = TextArea()) area->setStyle(r, g, b, flags, pos, length, units);
}
void TWin32Gadget::SetSelection(int pos, int length, int units) {
    if (Win32TextArea* area = TextArea()) area->select(pos, length, units);
}
int TWin32Gadget::CharAt(int line) {
    Win32TextArea* area = TextArea();
    return area ? area->charAt(line) : 0;
}
int TWin32Gadget::LineAt(int index) {
    Win32TextArea* area = TextArea();
    return area ? area->lineAt(index) : 0;
}

// A panel's background; the pixmap stays with the gadget while shown.
void TWin32Gadget::SetPixmap(TPixmap* image, int flags) {
    if (!native || (gadgetClass != GADGET_PANEL && gadgetClass != GADGET_CANVAS)) return;
    pixmap = image;
    static_cast<Win32Panel*>(native)->setPixmap(image, flags);
}

void TWin32Gadget::AttachGraphics(int flags) {
    if (!native) return;
    graphics = ::AttachGraphics(static_cast<intptr_t>(native->query(QUERY_HWND)), flags);
}

TGraphics* TWin32Gadget::CanvasGraphics() { return graphics; }

uintptr_t TWin32Gadget::WindowHandle() {
    for (TGadget* gadget = this; !IsNull(gadget); gadget = gadget->parent) {
        TWin32Gadget* win32 = Downcast<TWin32Gadget>(gadget);
        if (!IsNull(win32) && win32->gadgetClass == GADGET_WINDOW) return win32->Query(QUERY_HWND);
    }
    return 0;
}

void TWin32Gadget::SyncShape() {
    if (!native || gadgetClass == GADGET_MENU || gadgetClass == GADGET_TREENODE) return;
    SetRect(native->x, native->y, native->width, native->height);
    for (Object* kid : *kids.get()) {
        TWin32Gadget* gadget = Downcast<TWin32Gadget>(kid);
        if (!IsNull(gadget)) gadget->SyncShape();
    }
}

TWin32Gadget* TWin32Gadget::WrapMenu(KVMenu* node, TGadget* group, String* menuText, int tag) {
    TWin32Gadget* gadget = new TWin32Gadget();
    gadget->gadgetClass = GADGET_MENU;
    gadget->menu = node;
    if (!IsNull(group)) gadget->SetGroup(group, -1);
    gadget->text = menuText;
    String* key = String::FromInt(node->id);
    menuTags->Insert(key, String::FromInt(tag));
    menuGadgets->Insert(key, gadget);
    return gadget;
}

void TWin32Gadget::SyncPosition() {
    if (!native) return;
    x = native->x;
    y = native->y;
}

// ---- the driver ----

// OLE is not started here: nothing made yet needs it, and it opens a hidden
// window of its own in every process, also in the modes that show none.
TWin32GUIDriver* TWin32GUIDriver::Create() {
    INITCOMMONCONTROLSEX controls{sizeof controls, 0x0EFF};
    InitCommonControlsEx(&controls);
    LoadLibraryA("riched32.dll");
    defaultFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    handleMap = CreateMap();
    menuTags = CreateMap();
    menuGadgets = CreateMap();
    NativeInputSource = InputSourceOf;
    TWin32GUIDriver* driver = new TWin32GUIDriver();
    driver->desktop = TWin32Gadget::Wrap(GADGET_DESKTOP, new Win32Desktop(), NullOf<TGadget>());
    return driver;
}

TGuiFont* TWin32GUIDriver::LoadFont(String* name, int size, int style) {
    HDC screen = GetDC(nullptr);
    int height = -MulDiv(size, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    HFONT font = CreateFontA(height, 0, 0, 0, (style & 1) ? FW_BOLD : FW_NORMAL, (style & 2) ? TRUE : FALSE,
                             (style & 4) ? TRUE : FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, NativeText(name).c_str());
    return WrapFont(font);
}

TGadget* TWin32GUIDriver::CreateGadget(int gadgetClass, String* text, int x, int y, int w, int h, TGadget* group,
                                       int style) {
    if (gadgetClass == GADGET_DESKTOP) return desktop;
    if (IsNull(group)) group = desktop;
    TWin32Gadget* parent = Downcast<TWin32Gadget>(group);
    if (gadgetClass == GADGET_MENU) return CreateMenuGadget(text, parent, style);
    KVGroup* nativeParent = IsNull(parent) ? nullptr : parent->NativeGroup();
    KVGadget* native = CreateNative(gadgetClass, text, x, y, w, h, nativeParent, style);
    TWin32Gadget* gadget = TWin32Gadget::Wrap(gadgetClass, native, group);
    gadget->text = text;
    return gadget;
}

// A window's menus hang from its root; a desktop's are popups; others nest.
TGadget* TWin32GUIDriver::CreateMenuGadget(String* text, TWin32Gadget* parent, int tag) {
    KVMenu* parentMenu = nullptr;
    if (IsNull(parent)) RuntimeError("A menu belongs to a window, the desktop or another menu");
    if (parent->gadgetClass == GADGET_WINDOW && parent->native) {
        parentMenu = static_cast<KVWindow*>(parent->native)->rootMenu;
    } else if (parent->menu) {
        parentMenu = parent->menu;
    } else if (parent->gadgetClass != GADGET_DESKTOP) {
        RuntimeError("A menu belongs to a window, the desktop or another menu");
    }
    KVMenu* node = new KVMenu(text, nextMenuId++, parentMenu);
    return TWin32Gadget::WrapMenu(node, parent->gadgetClass == GADGET_DESKTOP ? NullOf<TGadget>() : parent, text,
                                  tag);
}

TGadget* TWin32GUIDriver::ActiveGadget() {
    Win32Hwnd* binding = BindingOf(GetFocus());
    return binding ? GadgetFromNative(binding->owner) : NullOf<TGadget>();
}

int TWin32GUIDriver::RequestColor(int r, int g, int b) {
    static COLORREF custom[16];
    CHOOSECOLORA choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = GetActiveWindow();
    choice.rgbResult = RGB(r, g, b);
    choice.lpCustColors = custom;
    choice.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!ChooseColorA(&choice)) return 0;
    COLORREF chosen = choice.rgbResult;
    SetRequestedColor((GetRValue(chosen) << 16) | (GetGValue(chosen) << 8) | GetBValue(chosen));
    return 1;
}

TGuiFont* TWin32GUIDriver::RequestFont(TGuiFont* font) {
    LOGFONTA info{};
    HFONT current = IsNull(font) ? nullptr : reinterpret_cast<HFONT>(font->handle);
    if (current) GetObjectA(current, sizeof info, &info);
    CHOOSEFONTA choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = GetActiveWindow();
    choice.lpLogFont = &info;
    choice.Flags = CF_SCREENFONTS | (current ? CF_INITTOLOGFONTSTRUCT : 0);
    if (!ChooseFontA(&choice)) return NullOf<TGuiFont>();
    LOGFONTA before{};
    if (current) GetObjectA(current, sizeof before, &before);
    if (current && std::memcmp(&before, &info, sizeof info) == 0) return font;
    return WrapFont(CreateFontIndirectA(&info));
}

void TWin32GUIDriver::SetPointer(int shape) {
    SetLayerPointer(LoadCursorW(nullptr, CursorOf(shape)));
}

// A copy of a pixmap source, or a pixmap loaded from any other; the null
// object when there is none.
TIconStrip* TWin32GUIDriver::LoadIconStrip(Object* source) {
    TPixmap* given = Downcast<TPixmap>(source);
    TPixmap* pixmap = IsNull(given) ? LoadPixmap(source) : CopyPixmap(given);
    if (IsNull(pixmap) || pixmap->height <= 0) return NullOf<TIconStrip>();
    PrepareIconPixmap(pixmap);
    pixmap = ConvertPixmap(pixmap, PF_RGB888);
    TWin32IconStrip* strip = new TWin32IconStrip();
    strip->pixmap = pixmap;
    strip->native = new Win32IconStrip(pixmap);
    strip->count = strip->native->count;
    return strip;
}

void StartWin32GuiModule() {
    KV_START_ONCE();
    StartGuiModule();
    StartMapModule();
    RegisterClass(&TWin32Gadget::classRecord);
    RegisterClass(&TWin32GUIDriver::classRecord);
    RegisterClass(&TWin32IconStrip::classRecord);
    SetGUIDriver(TWin32GUIDriver::Create());
}
