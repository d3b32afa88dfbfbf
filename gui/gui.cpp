#include "gui/gui.h"

#include "graphics/graphics.h"
#include "runtime/exception.h"
#include "runtime/map.h"
#include "runtime/startup.h"

KV_DEFINE_CLASS(TVantaGUIDriver, Object);

namespace {

Ref<Object> driver;      // the one TVantaGUIDriver, or the null object
int requestedColor = 0;  // red in bits 16-23, green 8-15, blue 0-7

TGadget* G(TGadget* gadget) { return Checked(gadget); }

int StateBit(TGadget* gadget, int bit) { return (G(gadget)->State() & bit) != 0 ? 1 : 0; }

TGadget* CreateClassGadget(int gadgetClass, String* text, int x, int y, int w, int h, TGadget* group,
                           int style) {
    return GUIDriver()->CreateGadget(gadgetClass, text, x, y, w, h, group, style);
}

}  // namespace

TVantaGUIDriver* GUIDriver() {
    if (IsNull(driver.get())) RuntimeError("No GUI driver is installed");
    return static_cast<TVantaGUIDriver*>(driver.get());
}

void SetGUIDriver(TVantaGUIDriver* newDriver) { driver = newDriver; }

// ---- gadgets ----

// The driver keeps the one desktop gadget and hands it out for class 0.
TGadget* Desktop() { return CreateClassGadget(GADGET_DESKTOP, EmptyString(), 0, 0, 0, 0, NullOf<TGadget>(), 0); }

TGadget* CreateWindow(String* title, int x, int y, int w, int h, TGadget* group, int style) {
    return CreateClassGadget(GADGET_WINDOW, title, x, y, w, h, group, style);
}
TGadget* CreateButton(String* text, int x, int y, int w, int h, TGadget* group, int style) {
    return CreateClassGadget(GADGET_BUTTON, text, x, y, w, h, group, style);
}
TGadget* CreatePanel(int x, int y, int w, int h, TGadget* group, int style, String* title) {
    return CreateClassGadget(GADGET_PANEL, title, x, y, w, h, group, style);
}
TGadget* CreateTextField(int x, int y, int w, int h, TGadget* group, int style) {
    return CreateClassGadget(GADGET_TEXTFIELD, EmptyString(), x, y, w, h, group, style);
}
TGadget* CreateTextArea(int x, int y, int w, int h, TGadget* group, int style) {
    return CreateClassGadget(GADGET_TEXTAREA, EmptyString(), x, y, w, h, group, style);
}
TGadget* CreateComboBox(int x, int y, int w, int h, TGadget* group, int style) {
    return CreateClassGadget(GADGET_COMBOBOX, EmptyString(), x, y, w, h, group, style);
}
TGadget* CreateListBox(int x, int y, int w, int h, TGadget* group, int style) {
    return CreateClassGadget(GADGET_LISTBOX, EmptyString(), x, y, w, h, group, style);
}
TGadget* CreateTabber(int x, int y, int w, int h, TGadget* group, int style) {
    return CreateClassGadget(GADGET_TABBER, EmptyString(), x, y, w, h, group, style);
}
TGadget* CreateTreeView(int x, int y, int w, int h, TGadget* group, int style) {
    return CreateClassGadget(GADGET_TREEVIEW, EmptyString(), x, y, w, h, group, style);
}
TGadget* CreateHtmlView(int x, int y, int w, int h, TGadget* group, int style) {
    return CreateClassGadget(GADGET_HTMLVIEW, EmptyString(), x, y, w, h, group, style);
}
TGadget* CreateSlider(int x, int y, int w, int h, TGadget* group, int style) {
    return CreateClassGadget(GADGET_SLIDER, EmptyString(), x, y, w, h, group, style);
}
TGadget* CreateProgBar(int x, int y, int w, int h, TGadget* group, int style) {
    return CreateClassGadget(GADGET_PROGBAR, EmptyString(), x, y, w, h, group, style);
}
TGadget* CreateLabel(String* text, int x, int y, int w, int h, TGadget* group, int style) {
    return CreateClassGadget(GADGET_LABEL, text, x, y, w, h, group, style);
}

TGadget* CreateToolBar(Object* source, int x, int y, int w, int h, TGadget* group, int style) {
    TGadget* toolBar = CreateClassGadget(GADGET_TOOLBAR, EmptyString(), x, y, w, h, group, style);
    TIconStrip* strip = LoadIconStrip(source);
    if (IsNull(strip) || IsNull(toolBar)) return toolBar;
    toolBar->SetIconStrip(strip);
    for (int icon = 0; icon < strip->count; ++icon) AddGadgetItem(toolBar, EmptyString(), 0, icon);
    return toolBar;
}

TGadget* CreateCanvas(int x, int y, int w, int h, TGadget* group, int style) {
    TGadget* canvas = CreateClassGadget(GADGET_CANVAS, EmptyString(), x, y, w, h, group, style);
    if (!IsNull(canvas)) canvas->AttachGraphics(DefaultGraphicsFlags());
    return canvas;
}

TGadget* CreateMenu(String* text, int tag, TGadget* parent, int hotKey, int mods) {
    TGadget* menu = CreateClassGadget(GADGET_MENU, text, 0, 0, 0, 0, parent, tag);
    if (!IsNull(menu) && hotKey != 0) menu->SetHotKey(hotKey, mods);
    return menu;
}

void FreeGadget(TGadget* gadget) { G(gadget)->Free(); }
void FreeMenu(TGadget* menu) { G(menu)->Free(); }
void FreeTreeViewNode(TGadget* node) { G(node)->Free(); }

int GadgetX(TGadget* gadget) { return G(gadget)->x; }
int GadgetY(TGadget* gadget) { return G(gadget)->y; }
int GadgetWidth(TGadget* gadget) { return G(gadget)->width; }
int GadgetHeight(TGadget* gadget) { return G(gadget)->height; }
TGadget* GadgetGroup(TGadget* gadget) { return G(gadget)->parent; }
int ClientWidth(TGadget* gadget) { return G(gadget)->ClientWidth(); }
int ClientHeight(TGadget* gadget) { return G(gadget)->ClientHeight(); }
void SetGadgetShape(TGadget* gadget, int x, int y, int w, int h) { G(gadget)->SetShape(x, y, w, h); }
void SetGadgetLayout(TGadget* gadget, int left, int right, int top, int bottom) {
    G(gadget)->SetLayout(left, right, top, bottom);
}
void SetGadgetFilter(TGadget* gadget, GadgetFilter filter, Object* context) {
    G(gadget)->SetFilter(filter, context);
}
void ShowGadget(TGadget* gadget) { G(gadget)->SetShow(1); }
void HideGadget(TGadget* gadget) { G(gadget)->SetShow(0); }
void EnableGadget(TGadget* gadget) { G(gadget)->SetEnabled(1); }
void DisableGadget(TGadget* gadget) { G(gadget)->SetEnabled(0); }
int GadgetHidden(TGadget* gadget) { return StateBit(gadget, STATE_HIDDEN); }
int GadgetDisabled(TGadget* gadget) { return StateBit(gadget, STATE_DISABLED); }
void ActivateGadget(TGadget* gadget) { G(gadget)->Activate(ACTIVATE_FOCUS); }
void GadgetCut(TGadget* gadget) { G(gadget)->Activate(ACTIVATE_CUT); }
void GadgetCopy(TGadget* gadget) { G(gadget)->Activate(ACTIVATE_COPY); }
void GadgetPaste(TGadget* gadget) { G(gadget)->Activate(ACTIVATE_PASTE); }
void GadgetPrint(TGadget* gadget) { G(gadget)->Activate(ACTIVATE_PRINT); }
void RedrawGadget(TGadget* gadget) { G(gadget)->Activate(ACTIVATE_REDRAW); }
TGadget* ActiveGadget() { return GUIDriver()->ActiveGadget(); }
void SetGadgetText(TGadget* gadget, String* text) { G(gadget)->SetText(text); }
String* GadgetText(TGadget* gadget) { return G(gadget)->GetText(); }
void SetGadgetFont(TGadget* gadget, TGuiFont* font) { G(gadget)->SetFont(font); }
void SetGadgetColor(TGadget* gadget, int r, int g, int b, int background) {
    if (background != 0) {
        G(gadget)->SetColor(r, g, b);
    } else {
        G(gadget)->SetTextColor(r, g, b);
    }
}
void SetGadgetTextColor(TGadget* gadget, int r, int g, int b) { G(gadget)->SetTextColor(r, g, b); }
void SetGadgetAlpha(TGadget* gadget, float alpha) { G(gadget)->SetAlpha(alpha); }
void SetGadgetIconStrip(TGadget* gadget, TIconStrip* strip) { G(gadget)->SetIconStrip(strip); }
void SetGadgetHotKey(TGadget* gadget, int key, int mods) { G(gadget)->SetHotKey(key, mods); }
uintptr_t QueryGadget(TGadget* gadget, int kind) { return G(gadget)->Query(kind); }

// ---- menus and windows ----

void SetMenuText(TGadget* menu, String* text) { G(menu)->SetText(text); }
String* MenuText(TGadget* menu) { return G(menu)->GetText(); }
void CheckMenu(TGadget* menu) { G(menu)->SetSelected(1); }
void UncheckMenu(TGadget* menu) { G(menu)->SetSelected(0); }
void EnableMenu(TGadget* menu) { G(menu)->SetEnabled(1); }
void DisableMenu(TGadget* menu) { G(menu)->SetEnabled(0); }
int MenuChecked(TGadget* menu) { return StateBit(menu, STATE_SELECTED); }
int MenuEnabled(TGadget* menu) { return 1 - StateBit(menu, STATE_DISABLED); }
TGadget* WindowMenu(TGadget* window) { return G(window)->WindowMenu(); }
void UpdateWindowMenu(TGadget* window) { G(window)->UpdateWindowMenu(); }
void PopupWindowMenu(TGadget* window, TGadget* menu, Object* extra) { G(window)->PopupMenu(menu, extra); }
void ActivateWindow(TGadget* window) { G(window)->Activate(ACTIVATE_FOCUS); }
void MinimizeWindow(TGadget* window) { G(window)->Activate(ACTIVATE_MINIMIZE); }
void MaximizeWindow(TGadget* window) { G(window)->Activate(ACTIVATE_MAXIMIZE); }
void RestoreWindow(TGadget* window) { G(window)->Activate(ACTIVATE_RESTORE); }
int WindowMinimized(TGadget* window) { return StateBit(window, STATE_MINIMIZED); }
int WindowMaximized(TGadget* window) { return StateBit(window, STATE_MAXIMIZED); }
void SetStatusText(TGadget* window, String* text) { G(window)->SetStatusText(text); }
void SetMinWindowSize(TGadget* window, int w, int h) { G(window)->SetMinimumSize(w, h); }

// ---- buttons, panels, text fields ----

void SetButtonState(TGadget* button, int checked) { G(button)->SetSelected(checked); }
int ButtonState(TGadget* button) { return StateBit(button, STATE_SELECTED); }
void SetPanelColor(TGadget* panel, int r, int g, int b) { G(panel)->SetColor(r, g, b); }
void SetPanelPixmap(TGadget* panel, TPixmap* pixmap, int flags) { G(panel)->SetPixmap(pixmap, flags); }
String* TextFieldText(TGadget* field) { return G(field)->GetText(); }

// ---- items ----

void ClearGadgetItems(TGadget* gadget) { G(gadget)->ClearItems(); }
void AddGadgetItem(TGadget* gadget, String* text, int flags, int icon, String* tip, Object* extra) {
    G(gadget)->InsertItem(gadget->CountItems(), text, tip, icon, extra, flags);
}
void InsertGadgetItem(TGadget* gadget, int index, String* text, int flags, int icon, String* tip, Object* extra) {
    G(gadget)->InsertItem(index, text, tip, icon, extra, flags);
}
void ModifyGadgetItem(TGadget* gadget, int index, String* text, int flags, int icon, String* tip, Object* extra) {
    G(gadget)->ModifyItem(index, text, tip, icon, extra, flags);
}
void RemoveGadgetItem(TGadget* gadget, int index) { G(gadget)->RemoveItem(index); }
int CountGadgetItems(TGadget* gadget) { return G(gadget)->CountItems(); }
String* GadgetItemText(TGadget* gadget, int index) { return G(gadget)->ItemText(index); }
int GadgetItemIcon(TGadget* gadget, int index) { return G(gadget)->ItemIcon(index); }
Object* GadgetItemExtra(TGadget* gadget, int index) { return G(gadget)->ItemExtra(index); }
int GadgetItemFlags(TGadget* gadget, int index) { return G(gadget)->ItemFlags(index); }
void EnableGadgetItem(TGadget* gadget, int index) {
    G(gadget)->SetItemState(index, gadget->ItemState(index) & ~STATE_DISABLED);
}
void DisableGadgetItem(TGadget* gadget, int index) {
    G(gadget)->SetItemState(index, gadget->ItemState(index) | STATE_DISABLED);
}
void SelectGadgetItem(TGadget* gadget, int index) { G(gadget)->SelectItem(index, 1); }
void DeselectGadgetItem(TGadget* gadget, int index) { G(gadget)->SelectItem(index, 0); }
void ToggleGadgetItem(TGadget* gadget, int index) { G(gadget)->SelectItem(index, 2); }
int SelectedGadgetItem(TGadget* gadget) { return G(gadget)->SelectedItem(); }
Array* SelectedGadgetItems(TGadget* gadget) { return G(gadget)->SelectedItems(); }

void SetToolBarTips(TGadget* toolBar, Array* tips) {
    G(toolBar);
    if (!Checked(tips)->HoldsReferences()) return;
    int item = 0;
    for (int i = 0; i < tips->Length() && item < toolBar->CountItems(); ++i) {
        Object* tip = tips->ObjectAt(i);
        if (IsNull(tip)) continue;
        toolBar->ModifyItem(item, toolBar->ItemText(item), tip->ToString(), toolBar->ItemIcon(item),
                            toolBar->ItemExtra(item), toolBar->ItemFlags(item));
        ++item;
    }
}

// ---- tree views ----

TGadget* TreeViewRoot(TGadget* tree) { return G(tree)->RootNode(); }
TGadget* AddTreeViewNode(String* text, TGadget* parent, int icon) { return G(parent)->InsertNode(-1, text, icon); }
TGadget* InsertTreeViewNode(int index, String* text, TGadget* parent, int icon) {
    return G(parent)->InsertNode(index, text, icon);
}
void ModifyTreeViewNode(TGadget* node, String* text, int icon) { G(node)->ModifyNode(text, icon); }
TGadget* SelectedTreeViewNode(TGadget* tree) { return G(tree)->SelectedNode(); }
int CountTreeViewNodes(TGadget* node) { return G(node)->CountKids(); }
void ExpandTreeViewNode(TGadget* node) { G(node)->Activate(ACTIVATE_EXPAND); }
void CollapseTreeViewNode(TGadget* node) { G(node)->Activate(ACTIVATE_COLLAPSE); }
void SelectTreeViewNode(TGadget* node) { G(node)->Activate(ACTIVATE_SELECT); }

// ---- HTML views, sliders, progress bars, canvases ----

void HtmlViewNavigate(TGadget* view, String* url) { G(view)->SetText(url); }
String* HtmlViewCurrentURL(TGadget* view) { return G(view)->GetText(); }
void HtmlViewBack(TGadget* view) { G(view)->Activate(ACTIVATE_BACK); }
void HtmlViewForward(TGadget* view) { G(view)->Activate(ACTIVATE_FORWARD); }
int HtmlViewStatus(TGadget* view) { return G(view)->State(); }
String* HtmlViewRunScript(TGadget* view, String* script) { return G(view)->RunScript(script); }
void SetSliderRange(TGadget* slider, int visible, int total) { G(slider)->SetRange(visible, total); }
void SetSliderValue(TGadget* slider, int value) { G(slider)->SetValue(value); }
int SliderValue(TGadget* slider) { return G(slider)->GetValue(); }
void SetProgBarValue(TGadget* bar, float value) { G(bar)->SetProgress(value); }
TGraphics* CanvasGraphics(TGadget* canvas) { return G(canvas)->CanvasGraphics(); }

// ---- text areas ----

void SetTextAreaText(TGadget* area, String* text, int pos, int length, int units) {
    G(area)->SetAreaText(text, pos, length, units);
}
void AddTextAreaText(TGadget* area, String* text) { G(area)->AddAreaText(text); }
String* TextAreaText(TGadget* area, int pos, int length, int units) { return G(area)->AreaText(pos, length, units); }
int TextAreaLen(TGadget* area, int units) { return G(area)->AreaLen(units); }
void LockTextArea(TGadget* area) { G(area)->LockText(); }
void UnlockTextArea(TGadget* area) { G(area)->UnlockText(); }
void SetTextAreaTabs(TGadget* area, int width) { G(area)->SetTabs(width); }
int TextAreaCursor(TGadget* area, int units) { return G(area)->GetCursorPos(units); }
int TextAreaSelLen(TGadget* area, int units) { return G(area)->GetSelectionLength(units); }
void FormatTextAreaText(TGadget* area, int r, int g, int b, int flags, int pos, int length, int units) {
    G(area)->SetStyle(r, g, b, flags, pos, length, units);
}
void SelectTextAreaText(TGadget* area, int pos, int length, int units) { G(area)->SetSelection(pos, length, units); }
int TextAreaChar(TGadget* area, int line) { return G(area)->CharAt(line); }
int TextAreaLine(TGadget* area, int pos) { return G(area)->LineAt(pos); }
void SetTextAreaFont(TGadget* area, TGuiFont* font) { G(area)->SetFont(font); }
void SetTextAreaColor(TGadget* area, int r, int g, int b, int background) {
    SetGadgetColor(area, r, g, b, background);
}

// ---- fonts, colours, pointer, icon strips ----

TGuiFont* LoadGuiFont(String* name, int size, int bold, int italic, int underline) {
    int style = (bold ? 1 : 0) | (italic ? 2 : 0) | (underline ? 4 : 0);
    return GUIDriver()->LoadFont(name, size, style);
}
String* FontName(TGuiFont* font) { return Checked(font)->name; }
int FontSize(TGuiFont* font) { return Checked(font)->size; }
int FontStyle(TGuiFont* font) { return Checked(font)->style; }
TGuiFont* RequestFont(TGuiFont* font) { return GUIDriver()->RequestFont(font); }
void SetPointer(int shape) { GUIDriver()->SetPointer(shape); }
TIconStrip* LoadIconStrip(Object* source) { return GUIDriver()->LoadIconStrip(source); }
int RequestColor(int r, int g, int b) { return GUIDriver()->RequestColor(r, g, b); }
void SetRequestedColor(int rgb) { requestedColor = rgb; }
int RequestedRed() { return (requestedColor >> 16) & 255; }
int RequestedGreen() { return (requestedColor >> 8) & 255; }
int RequestedBlue() { return requestedColor & 255; }

void StartGuiModule() {
    KV_START_ONCE();
    StartGadgetModule();
    StartHotKeyModule();
    StartMapModule();
    StartGraphicsModule();
    RegisterClass(&TVantaGUIDriver::classRecord);
}
