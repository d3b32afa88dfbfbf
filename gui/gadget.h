// The platform-neutral gadget model: the gadget record with its edge-lock
// layout, its item list kept in step with a data source, proxies, the key
// filter and how gadget events are raised. The GUI driver's gadget classes
// implement the operations marked "driver" below; in TGadget they do nothing
// and return 0 or the null object.
#pragma once
#include <cstdint>

#include "graphics/pixmap.h"
#include "runtime/array.h"
#include "runtime/list.h"
#include "runtime/object.h"
#include "runtime/string.h"
#include "system/event.h"

class TGraphics;

// Gadget classes, the first argument of CreateGadget.
constexpr int GADGET_DESKTOP = 0;
constexpr int GADGET_WINDOW = 1;
constexpr int GADGET_BUTTON = 2;
constexpr int GADGET_PANEL = 3;
constexpr int GADGET_TEXTFIELD = 4;
constexpr int GADGET_TEXTAREA = 5;
constexpr int GADGET_COMBOBOX = 6;
constexpr int GADGET_LISTBOX = 7;
constexpr int GADGET_TOOLBAR = 8;
constexpr int GADGET_TABBER = 9;
constexpr int GADGET_TREEVIEW = 10;
constexpr int GADGET_HTMLVIEW = 11;
constexpr int GADGET_LABEL = 12;
constexpr int GADGET_SLIDER = 13;
constexpr int GADGET_PROGBAR = 14;
constexpr int GADGET_MENU = 15;
constexpr int GADGET_TREENODE = 16;  // made by InsertNode only
constexpr int GADGET_CANVAS = 17;    // a panel with the canvas style

// Window styles.
constexpr int WINDOW_TITLEBAR = 1;
constexpr int WINDOW_RESIZABLE = 2;
constexpr int WINDOW_MENU = 4;
constexpr int WINDOW_STATUS = 8;
constexpr int WINDOW_TOOL = 16;
constexpr int WINDOW_CLIENTCOORDS = 32;  // the shape given and reported is the client area
constexpr int WINDOW_HIDDEN = 64;
constexpr int WINDOW_ACCEPTFILES = 128;
constexpr int WINDOW_CHILD = 256;

// Panel styles.
constexpr int PANEL_SUNKEN = 1;
constexpr int PANEL_ACTIVE = 2;  // raw mouse and key messages become input events
constexpr int PANEL_CANVAS = 4;  // paints by raising GadgetPaint; also active
constexpr int PANEL_GROUP = 8;   // a group box with a title

// Style bit 1 of text fields and text areas.
constexpr int TEXTFIELD_PASSWORD = 1;  // the text shows as dots
constexpr int TEXTAREA_WORDWRAP = 1;   // lines wrap at the area's width
constexpr int TEXTAREA_READONLY = 2;

// How a panel shows its background pixmap (SetPanelPixmap's flags).
constexpr int PANELPIXMAP_TILE = 0;     // repeated from the top-left corner
constexpr int PANELPIXMAP_CENTER = 1;   // once, in the middle
constexpr int PANELPIXMAP_FIT = 2;      // scaled to fit, keeping its aspect, in the middle
constexpr int PANELPIXMAP_STRETCH = 3;  // stretched over the whole client area

// HTML view style: navigation requests become events.
constexpr int HTMLVIEW_NAVIGATIONEVENTS = 2;

// State bits, the result of State().
constexpr int STATE_MINIMIZED = 1;  // windows; HTML views: busy loading
constexpr int STATE_MAXIMIZED = 2;
constexpr int STATE_DISABLED = 4;
constexpr int STATE_HIDDEN = 8;
constexpr int STATE_SELECTED = 16;  // checked or selected

// Activate commands.
constexpr int ACTIVATE_FOCUS = 0;
constexpr int ACTIVATE_CUT = 1;
constexpr int ACTIVATE_COPY = 2;
constexpr int ACTIVATE_PASTE = 3;
constexpr int ACTIVATE_MINIMIZE = 4;
constexpr int ACTIVATE_MAXIMIZE = 5;
constexpr int ACTIVATE_RESTORE = 6;
constexpr int ACTIVATE_EXPAND = 7;
constexpr int ACTIVATE_COLLAPSE = 8;
constexpr int ACTIVATE_SELECT = 9;
constexpr int ACTIVATE_BACK = 10;     // HTML view back, or the next control
constexpr int ACTIVATE_FORWARD = 11;  // HTML view forward, or the previous control
constexpr int ACTIVATE_PRINT = 12;
constexpr int ACTIVATE_REDRAW = 13;

// Query kinds.
constexpr int QUERY_HWND = 1;         // the native frame handle
constexpr int QUERY_HWND_CLIENT = 2;  // the native client handle

// Edge lock modes.
constexpr int EDGE_CENTERED = 0;  // free: the centre keeps its fraction of the parent
constexpr int EDGE_ALIGNED = 1;   // a fixed distance to the parent's edge
constexpr int EDGE_RELATIVE = 2;  // proportional to the parent's size

// Item flags and the item state bit.
constexpr int GADGETITEM_DEFAULT = 1;  // select the item when it is added
constexpr int GADGETITEM_TOGGLE = 2;   // selecting flips it; its icon + 1 shows while selected
constexpr int GADGETITEM_SELECTED = 0x10;

class TGadget;

// A key filter: 0 drops the key, anything else passes it on.
using GadgetFilter = int (*)(TEvent* event, Object* context);
int DefaultGadgetFilter(TEvent* event, Object* context);  // returns 1

class TGadgetItem : public Object {
    KV_CLASS(TGadgetItem, Object)
public:
    Ref<String> text;
    Ref<String> tip;
    int icon = -1;  // index into the gadget's icon strip, -1 none
    int flags = 0;
    Ref<Object> extra;

    virtual void Set(String* text, String* tip, int icon, Object* extra, int flags);
};

class TGuiFont : public Object {
    KV_CLASS(TGuiFont, Object)
public:
    Ref<String> name;
    Ref<String> path;  // left empty by the Win32 driver
    int style = 0;     // 1 bold, 2 italic, 4 underline
    int size = 0;      // points
    uintptr_t handle = 0;  // the native font object
};

// Square icons side by side: count = pixmap width / pixmap height.
class TIconStrip : public Object {
    KV_CLASS(TIconStrip, Object)
public:
    Ref<TPixmap> pixmap;
    int count = 0;
};

class TGadget : public Object {
    KV_CLASS(TGadget, Object)
public:
    Ref<TGadget> link;    // when set, this gadget's events name it as their source
    Ref<TGadget> parent;  // the group that contains this gadget
    Ref<TList> kids;      // children in insertion order
    int x = 0, y = 0;     // inside the parent's client area
    int width = 0, height = 0;
    Ref<String> text;     // the text given at creation
    int lockLeft = 0, lockRight = 0, lockTop = 0, lockBottom = 0;
    int lockedX = 0, lockedY = 0, lockedWidth = 0, lockedHeight = 0;
    int lockedClientWidth = 0, lockedClientHeight = 0;  // never below 1 once locked
    GadgetFilter filter = DefaultGadgetFilter;
    Ref<Object> filterContext;
    Ref<Array> items;         // TGadgetItem
    Ref<Object> itemSource;   // a TList or an array
    Ref<Array> itemSnapshot;  // the source's texts at the last synchronisation

    TGadget();

    // ---- base operations ----
    virtual void SetFilter(GadgetFilter filter, Object* context);
    // Moves the gadget into `group` at `index` (0 first, past the end or
    // negative: last); the null group only takes it out of its old parent.
    virtual void SetGroup(TGadget* group, int index);
    virtual TGadget* Self();
    virtual void SetShape(int x, int y, int w, int h);
    virtual void SetArea(int x, int y, int w, int h);
    virtual void SetRect(int x, int y, int w, int h);
    virtual void LockLayout();
    virtual void SetLayout(int left, int right, int top, int bottom);
    virtual void LayoutKids();
    virtual void DoLayout();
    virtual void SetItemSource(Object* source);
    virtual Array* ListStrings(TList* list);
    virtual Array* ArrayStrings(Array* array);
    virtual int SyncItemSource();
    virtual void SyncItems(Array* strings);
    virtual void InsertItemText(int index, String* text);
    virtual void ClearItems();
    virtual void InsertItem(int index, String* text, String* tip, int icon, Object* extra, int flags);
    virtual void ModifyItem(int index, String* text, String* tip, int icon, Object* extra, int flags);
    virtual void RemoveItem(int index);
    virtual int CountItems();
    virtual String* ItemText(int index);
    virtual String* ItemTip(int index);
    virtual int ItemFlags(int index);
    virtual int ItemIcon(int index);
    virtual Object* ItemExtra(int index);
    virtual void SetItemState(int index, int state);
    virtual int ItemState(int index);
    virtual void SelectItem(int index, int mode);  // 0 clear, 1 set, 2 toggle; -1 every item
    virtual int SelectedItem();
    virtual Array* SelectedItems();
    virtual void Attach(TGadget* other, int n);

    // ---- driver operations ----
    virtual uintptr_t Query(int kind);
    virtual void Free();
    virtual void Rethink();
    virtual int ClientWidth();
    virtual int ClientHeight();
    virtual int Activate(int command);
    virtual int State();
    virtual void SetText(String* text);
    virtual String* GetText();
    virtual void SetFont(TGuiFont* font);
    virtual void SetColor(int r, int g, int b);
    virtual void SetAlpha(float alpha);
    virtual void SetTextColor(int r, int g, int b);
    virtual void SetIconStrip(TIconStrip* strip);
    virtual void SetShow(int show);
    virtual void SetEnabled(int enabled);
    virtual void SetSelected(int selected);
    virtual void SetHotKey(int key, int mods);
    virtual void SetStatusText(String* text);
    virtual TGadget* WindowMenu();
    virtual void PopupMenu(TGadget* menu, Object* extra);
    virtual void UpdateWindowMenu();
    virtual void SetMinimumSize(int w, int h);
    virtual void NativeClearItems();
    virtual void NativeInsertItem(int index, String* text, String* tip, int icon, Object* extra);
    virtual void NativeModifyItem(int index, String* text, String* tip, int icon, Object* extra);
    virtual void NativeRemoveItem(int index);
    virtual void NativeSetItemState(int index, int state);
    virtual int NativeItemState(int index);
    virtual TGadget* RootNode();
    virtual TGadget* InsertNode(int index, String* text, int icon);
    virtual void ModifyNode(String* text, int icon);
    virtual TGadget* SelectedNode();
    virtual int CountKids();
    // The text area's thirteen operations.
    virtual void SetAreaText(String* text, int pos, int length, int units);
    virtual void AddAreaText(String* text);
    virtual String* AreaText(int pos, int length, int units);
    virtual int AreaLen(int units);
    virtual void LockText();
    virtual void UnlockText();
    virtual void SetTabs(int width);
    virtual int GetCursorPos(int units);
    virtual int GetSelectionLength(int units);
    virtual void SetStyle(int r, int g, int b, int flags, int pos, int length, int units);
    virtual void SetSelection(int pos, int length, int units);
    virtual int CharAt(int line);
    virtual int LineAt(int index);
    virtual void SetProgress(float value);
    virtual void SetRange(int visible, int total);
    virtual void SetValue(int value);
    virtual int GetValue();
    virtual void SetPixmap(TPixmap* pixmap, int flags);
    virtual void AttachGraphics(int flags);
    virtual TGraphics* CanvasGraphics();
    virtual String* RunScript(String* script);

private:
    void LayoutAxis(int parentSize, int lockA, int lockB, int locked, int lockedSize, int lockedParent,
                    int position, int size, int& from, int& to);
    int SnapshotMatchDistance(Array* strings, int i, int c);
    int SnapshotRunLength(Array* strings, int i, int match);
};

// Forwards every driver operation to its target; SetProxy makes the target's
// events name the proxy as their source.
class TProxyGadget : public TGadget {
    KV_CLASS(TProxyGadget, TGadget)
public:
    Ref<TGadget> target;

    TProxyGadget();
    virtual void SetProxy(TGadget* target);

    uintptr_t Query(int kind) override;
    void Free() override;
    void Rethink() override;
    int ClientWidth() override;
    int ClientHeight() override;
    int Activate(int command) override;
    int State() override;
    void SetText(String* text) override;
    String* GetText() override;
    void SetFont(TGuiFont* font) override;
    void SetColor(int r, int g, int b) override;
    void SetAlpha(float alpha) override;
    void SetTextColor(int r, int g, int b) override;
    void SetIconStrip(TIconStrip* strip) override;
    void SetShow(int show) override;
    void SetEnabled(int enabled) override;
    void SetSelected(int selected) override;
    void SetHotKey(int key, int mods) override;
    void SetStatusText(String* text) override;
    TGadget* WindowMenu() override;
    void PopupMenu(TGadget* menu, Object* extra) override;
    void UpdateWindowMenu() override;
    void SetMinimumSize(int w, int h) override;
    void NativeClearItems() override;
    void NativeInsertItem(int index, String* text, String* tip, int icon, Object* extra) override;
    void NativeModifyItem(int index, String* text, String* tip, int icon, Object* extra) override;
    void NativeRemoveItem(int index) override;
    void NativeSetItemState(int index, int state) override;
    int NativeItemState(int index) override;
    TGadget* RootNode() override;
    TGadget* InsertNode(int index, String* text, int icon) override;
    void ModifyNode(String* text, int icon) override;
    TGadget* SelectedNode() override;
    int CountKids() override;
    void SetAreaText(String* text, int pos, int length, int units) override;
    void AddAreaText(String* text) override;
    String* AreaText(int pos, int length, int units) override;
    int AreaLen(int units) override;
    void LockText() override;
    void UnlockText() override;
    void SetTabs(int width) override;
    int GetCursorPos(int units) override;
    int GetSelectionLength(int units) override;
    void SetStyle(int r, int g, int b, int flags, int pos, int length, int units) override;
    void SetSelection(int pos, int length, int units) override;
    int CharAt(int line) override;
    int LineAt(int index) override;
    void SetProgress(float value) override;
    void SetRange(int visible, int total) override;
    void SetValue(int value) override;
    int GetValue() override;
    void SetPixmap(TPixmap* pixmap, int flags) override;
    void AttachGraphics(int flags) override;
    TGraphics* CanvasGraphics() override;
    String* RunScript(String* script) override;
};

// One boxed int (a gadget's native pointer), the key of the handle maps; two
// wrappers compare by the difference of their values.
class TIntWrapper : public Object {
    KV_CLASS(TIntWrapper, Object)
public:
    int value = 0;
    static TIntWrapper* Create(int value);
    int Compare(Object* other) override;
};

// Raises a gadget event: the source's link, when it has one, stands in for
// it; the event runs the emit hooks and then goes into the queue.
void PostGadgetEvent(int id, TGadget* source, int data, int mods, int x, int y, Object* extra);

// Asks the gadget's key filter about a key press (KeyDown, data the virtual
// key) or a typed character (KeyChar, data the character): 0 drops it.
// Gadgets without a filter of their own pass every key.
int FilterKey(TGadget* gadget, int id, int data, int mods);

void StartGadgetModule();
