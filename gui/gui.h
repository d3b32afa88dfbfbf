// The GUI module's public functions and the driver behind them. Application
// code calls only these: each calls one driver operation or one gadget
// operation (or a fixed short sequence of them). One driver object exists;
// the platform part installs it when it starts.
#pragma once
#include <cstdint>

#include "gui/gadget.h"
#include "gui/hotkey.h"

class TVantaGUIDriver : public Object {
    KV_CLASS(TVantaGUIDriver, Object)
public:
    virtual TGuiFont* LoadFont(String* name, int size, int style) = 0;
    virtual TGadget* CreateGadget(int gadgetClass, String* text, int x, int y, int w, int h, TGadget* group,
                                  int style) = 0;
    virtual TGadget* ActiveGadget() = 0;
    // 1 when the user chose a colour; the driver then stores it with
    // SetRequestedColor.
    virtual int RequestColor(int r, int g, int b) = 0;
    virtual TGuiFont* RequestFont(TGuiFont* font) = 0;
    virtual void SetPointer(int shape) = 0;
    virtual TIconStrip* LoadIconStrip(Object* source) = 0;
};

// The one driver; raises a runtime error while none is installed.
TVantaGUIDriver* GUIDriver();
void SetGUIDriver(TVantaGUIDriver* driver);

// ---- gadgets ----
TGadget* Desktop();
TGadget* CreateWindow(String* title, int x, int y, int w, int h, TGadget* group, int style);
TGadget* CreateButton(String* text, int x, int y, int w, int h, TGadget* group, int style);
TGadget* CreatePanel(int x, int y, int w, int h, TGadget* group, int style, String* title);
TGadget* CreateTextField(int x, int y, int w, int h, TGadget* group, int style);
TGadget* CreateTextArea(int x, int y, int w, int h, TGadget* group, int style);
TGadget* CreateComboBox(int x, int y, int w, int h, TGadget* group, int style);
TGadget* CreateListBox(int x, int y, int w, int h, TGadget* group, int style);
TGadget* CreateTabber(int x, int y, int w, int h, TGadget* group, int style);
TGadget* CreateTreeView(int x, int y, int w, int h, TGadget* group, int style);
TGadget* CreateHtmlView(int x, int y, int w, int h, TGadget* group, int style);
TGadget* CreateSlider(int x, int y, int w, int h, TGadget* group, int style);
TGadget* CreateProgBar(int x, int y, int w, int h, TGadget* group, int style);
TGadget* CreateLabel(String* text, int x, int y, int w, int h, TGadget* group, int style);
// A tool bar with one item per icon of the strip loaded from `source`.
TGadget* CreateToolBar(Object* source, int x, int y, int w, int h, TGadget* group, int style);
// A canvas with its graphics context made with the graphics default flags.
TGadget* CreateCanvas(int x, int y, int w, int h, TGadget* group, int style);
TGadget* CreateMenu(String* text, int tag, TGadget* parent, int hotKey = 0, int mods = 0);
void FreeGadget(TGadget* gadget);
void FreeMenu(TGadget* menu);
void FreeTreeViewNode(TGadget* node);

int GadgetX(TGadget* gadget);
int GadgetY(TGadget* gadget);
int GadgetWidth(TGadget* gadget);
int GadgetHeight(TGadget* gadget);
TGadget* GadgetGroup(TGadget* gadget);
int ClientWidth(TGadget* gadget);
int ClientHeight(TGadget* gadget);
void SetGadgetShape(TGadget* gadget, int x, int y, int w, int h);
void SetGadgetLayout(TGadget* gadget, int left, int right, int top, int bottom);
void SetGadgetFilter(TGadget* gadget, GadgetFilter filter, Object* context);
void ShowGadget(TGadget* gadget);
void HideGadget(TGadget* gadget);
void EnableGadget(TGadget* gadget);
void DisableGadget(TGadget* gadget);
int GadgetHidden(TGadget* gadget);
int GadgetDisabled(TGadget* gadget);
void ActivateGadget(TGadget* gadget);
void GadgetCut(TGadget* gadget);
void GadgetCopy(TGadget* gadget);
void GadgetPaste(TGadget* gadget);
void GadgetPrint(TGadget* gadget);
void RedrawGadget(TGadget* gadget);
TGadget* ActiveGadget();
void SetGadgetText(TGadget* gadget, String* text);
String* GadgetText(TGadget* gadget);
void SetGadgetFont(TGadget* gadget, TGuiFont* font);
// The background colour when `background` is not 0, else the text colour.
void SetGadgetColor(TGadget* gadget, int r, int g, int b, int background = 1);
void SetGadgetTextColor(TGadget* gadget, int r, int g, int b);
void SetGadgetAlpha(TGadget* gadget, float alpha);
void SetGadgetIconStrip(TGadget* gadget, TIconStrip* strip);
void SetGadgetHotKey(TGadget* gadget, int key, int mods);
uintptr_t QueryGadget(TGadget* gadget, int kind);

// ---- menus and windows ----
void SetMenuText(TGadget* menu, String* text);
String* MenuText(TGadget* menu);
void CheckMenu(TGadget* menu);
void UncheckMenu(TGadget* menu);
void EnableMenu(TGadget* menu);
void DisableMenu(TGadget* menu);
int MenuChecked(TGadget* menu);
int MenuEnabled(TGadget* menu);
TGadget* WindowMenu(TGadget* window);
void UpdateWindowMenu(TGadget* window);
void PopupWindowMenu(TGadget* window, TGadget* menu, Object* extra);
void ActivateWindow(TGadget* window);
void MinimizeWindow(TGadget* window);
void MaximizeWindow(TGadget* window);
void RestoreWindow(TGadget* window);
int WindowMinimized(TGadget* window);
int WindowMaximized(TGadget* window);
void SetStatusText(TGadget* window, String* text);
void SetMinWindowSize(TGadget* window, int w, int h);

// ---- buttons, panels, text fields ----
void SetButtonState(TGadget* button, int checked);
int ButtonState(TGadget* button);
void SetPanelColor(TGadget* panel, int r, int g, int b);
void SetPanelPixmap(TGadget* panel, TPixmap* pixmap, int flags);
String* TextFieldText(TGadget* field);

// ---- items ----
void ClearGadgetItems(TGadget* gadget);
void AddGadgetItem(TGadget* gadget, String* text, int flags = 0, int icon = -1, String* tip = EmptyString(),
                   Object* extra = NullObject());
void InsertGadgetItem(TGadget* gadget, int index, String* text, int flags = 0, int icon = -1,
                      String* tip = EmptyString(), Object* extra = NullObject());
void ModifyGadgetItem(TGadget* gadget, int index, String* text, int flags = 0, int icon = -1,
                      String* tip = EmptyString(), Object* extra = NullObject());
void RemoveGadgetItem(TGadget* gadget, int index);
int CountGadgetItems(TGadget* gadget);
String* GadgetItemText(TGadget* gadget, int index);
int GadgetItemIcon(TGadget* gadget, int index);
Object* GadgetItemExtra(TGadget* gadget, int index);
int GadgetItemFlags(TGadget* gadget, int index);
void EnableGadgetItem(TGadget* gadget, int index);
void DisableGadgetItem(TGadget* gadget, int index);
void SelectGadgetItem(TGadget* gadget, int index);
void DeselectGadgetItem(TGadget* gadget, int index);
void ToggleGadgetItem(TGadget* gadget, int index);
int SelectedGadgetItem(TGadget* gadget);
Array* SelectedGadgetItems(TGadget* gadget);
// Gives the tool bar's items the tips in order, one per entry that is not
// the null object, starting with item 0.
void SetToolBarTips(TGadget* toolBar, Array* tips);

// ---- tree views ----
TGadget* TreeViewRoot(TGadget* tree);
TGadget* AddTreeViewNode(String* text, TGadget* parent, int icon = -1);
TGadget* InsertTreeViewNode(int index, String* text, TGadget* parent, int icon = -1);
void ModifyTreeViewNode(TGadget* node, String* text, int icon);
TGadget* SelectedTreeViewNode(TGadget* tree);
int CountTreeViewNodes(TGadget* node);
void ExpandTreeViewNode(TGadget* node);
void CollapseTreeViewNode(TGadget* node);
void SelectTreeViewNode(TGadget* node);

// ---- HTML views, sliders, progress bars, canvases ----
void HtmlViewNavigate(TGadget* view, String* url);
String* HtmlViewCurrentURL(TGadget* view);
void HtmlViewBack(TGadget* view);
void HtmlViewForward(TGadget* view);
int HtmlViewStatus(TGadget* view);
String* HtmlViewRunScript(TGadget* view, String* script);
void SetSliderRange(TGadget* slider, int visible, int total);
void SetSliderValue(TGadget* slider, int value);
int SliderValue(TGadget* slider);
void SetProgBarValue(TGadget* bar, float value);
TGraphics* CanvasGraphics(TGadget* canvas);

// ---- text areas ----
void SetTextAreaText(TGadget* area, String* text, int pos = 0, int length = -1, int units = 1);
void AddTextAreaText(TGadget* area, String* text);
String* TextAreaText(TGadget* area, int pos = 0, int length = -1, int units = 1);
int TextAreaLen(TGadget* area, int units = 1);
void LockTextArea(TGadget* area);
void UnlockTextArea(TGadget* area);
void SetTextAreaTabs(TGadget* area, int width);
int TextAreaCursor(TGadget* area, int units = 1);
int TextAreaSelLen(TGadget* area, int units = 1);
void FormatTextAreaText(TGadget* area, int r, int g, int b, int flags, int pos = 0, int length = -1,
                        int units = 1);
void SelectTextAreaText(TGadget* area, int pos = 0, int length = -1, int units = 1);
int TextAreaChar(TGadget* area, int line);
int TextAreaLine(TGadget* area, int pos);
void SetTextAreaFont(TGadget* area, TGuiFont* font);
void SetTextAreaColor(TGadget* area, int r, int g, int b, int background = 0);

// ---- fonts, colours, pointer, icon strips ----
TGuiFont* LoadGuiFont(String* name, int size, int bold = 0, int italic = 0, int underline = 0);
String* FontName(TGuiFont* font);
int FontSize(TGuiFont* font);
int FontStyle(TGuiFont* font);
TGuiFont* RequestFont(TGuiFont* font);
void SetPointer(int shape);
TIconStrip* LoadIconStrip(Object* source);
int RequestColor(int r, int g, int b);
void SetRequestedColor(int rgb);  // the driver's way of storing the chosen colour
int RequestedRed();
int RequestedGreen();
int RequestedBlue();

void StartGuiModule();
