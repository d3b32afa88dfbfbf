// The GUI module's Win32 driver: TWin32GUIDriver makes the native gadgets
// (gui/win32/) and wraps each in a TWin32Gadget, which turns the gadget
// operations into calls on its native gadget. A handle map from native
// pointers to gadgets lets native notifications find their gadget.
//
// Made here: every gadget class (tree nodes only through InsertNode).
#pragma once
#include "graphics/graphics.h"
#include "gui/gui.h"
#include "gui/hotkey.h"

class KVGadget;
class KVGroup;
class KVMenu;
class Win32IconStrip;

// An icon strip with its native image list.
class TWin32IconStrip : public TIconStrip {
    KV_CLASS(TWin32IconStrip, TIconStrip)
public:
    Win32IconStrip* native = nullptr;  // one reference
    ~TWin32IconStrip() override;
};

class TWin32Gadget : public TGadget {
    KV_CLASS(TWin32Gadget, TGadget)
public:
    int gadgetClass = 0;
    KVGadget* native = nullptr;  // holds one reference; null after Free
    KVMenu* menu = nullptr;      // a menu's native node instead (one reference)
    Ref<TGraphics> graphics;     // a canvas's context
    int disabled = 0;
    Ref<THotKey> hotKey;
    Ref<TPixmap> pixmap;
    Ref<TIconStrip> iconStrip;  // keeps the native strip alive while shown

    ~TWin32Gadget() override;

    void SetShape(int x, int y, int w, int h) override;
    void SetLayout(int left, int right, int top, int bottom) override;
    uintptr_t Query(int kind) override;
    void Free() override;
    void Attach(TGadget* other, int n) override;
    int ClientWidth() override;
    int ClientHeight() override;
    int Activate(int command) override;
    int State() override;
    void SetText(String* text) override;
    String* GetText() override;
    void SetFont(TGuiFont* font) override;
    void SetColor(int r, int g, int b) override;
    void SetTextColor(int r, int g, int b) override;
    void SetAlpha(float alpha) override;
    void SetShow(int show) override;
    void SetEnabled(int enabled) override;
    void SetSelected(int selected) override;
    void SetHotKey(int key, int mods) override;
    void SetStatusText(String* text) override;
    void SetMinimumSize(int w, int h) override;
    TGadget* WindowMenu() override;
    void PopupMenu(TGadget* menu, Object* extra) override;
    void UpdateWindowMenu() override;
    TGadget* RootNode() override;
    TGadget* InsertNode(int index, String* text, int icon) override;
    void ModifyNode(String* text, int icon) override;
    TGadget* SelectedNode() override;
    int CountKids() override;
    void NativeClearItems() override;
    void NativeInsertItem(int index, String* text, String* tip, int icon, Object* extra) override;
    void NativeModifyItem(int index, String* text, String* tip, int icon, Object* extra) override;
    void NativeRemoveItem(int index) override;
    void NativeSetItemState(int index, int state) override;
    int NativeItemState(int index) override;
    void AttachGraphics(int flags) override;
    TGraphics* CanvasGraphics() override;
    String* RunScript(String* script) override;
    void SetIconStrip(TIconStrip* strip) override;
    void SetRange(int visible, int total) override;
    void SetValue(int value) override;
    int GetValue() override;
    void SetProgress(float value) override;
    void SetPixmap(TPixmap* pixmap, int flags) override;
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

    static TWin32Gadget* Wrap(int gadgetClass, KVGadget* native, TGadget* group);
    // A menu gadget of class 15 over its native node, entered in the menu maps.
    static TWin32Gadget* WrapMenu(KVMenu* menu, TGadget* group, String* text, int tag);
    // The native frame handle of the window this gadget is in, or 0.
    virtual uintptr_t WindowHandle();
    // x, y, width and height from the native gadget, for this gadget and its children.
    virtual void SyncShape();
    virtual void SyncPosition();
    // The item side of a list box or combo box; raises "Invalid Gadget type" otherwise.
    class KVItems* Items();
    // The native group of a desktop, window, panel, canvas or tabber; null otherwise.
    KVGroup* NativeGroup();
    // The native text area; null for the other classes and after Free.
    class Win32TextArea* TextArea();
};

class TWin32GUIDriver : public TVantaGUIDriver {
    KV_CLASS(TWin32GUIDriver, TVantaGUIDriver)
public:
    Ref<TWin32Gadget> desktop;

    TGuiFont* LoadFont(String* name, int size, int style) override;
    TGadget* CreateGadget(int gadgetClass, String* text, int x, int y, int w, int h, TGadget* group,
                          int style) override;
    TGadget* ActiveGadget() override;
    int RequestColor(int r, int g, int b) override;
    TGuiFont* RequestFont(TGuiFont* font) override;
    void SetPointer(int shape) override;
    TIconStrip* LoadIconStrip(Object* source) override;

    TGadget* CreateMenuGadget(String* text, TWin32Gadget* parent, int tag);

    // Starts the native layer (OLE, the common controls, the default GUI
    // font, the desktop) and wraps the desktop.
    static TWin32GUIDriver* Create();
};

// The gadget wrapping a native gadget, or the null object.
TGadget* GadgetFromNative(KVGadget* native);

// Starts the GUI module with the Win32 driver as its one driver.
void StartWin32GuiModule();
