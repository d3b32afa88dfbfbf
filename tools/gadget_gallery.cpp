// gadget_gallery.exe: one window holding a gadget of every class of the GUI
// toolkit, the toolkit's demonstration and the stage of its end-to-end test.
//
// A menu bar, a tool bar with tips, a tabber whose three tabs hold a tree
// view, a list box with tips and icons, and a text area with coloured
// ranges; beside it a panel with a background pixmap, sliders of each kind,
// a progress bar, a button, a check box, a label, a text field, a combo box
// an OpenGL canvas and an HTML view. Escape (or File > Quit) ends it.
//
// Lines on standard output, one each:
//   gadget NAME class=C screen=X,Y,W,H     every gadget, once shown
//   target NAME X,Y                        a screen point to click for NAME
//   ready
//   event EVENT source=NAME data=D extra=TEXT    every gadget event
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "graphics/font.h"
#include "graphics/glvanta2d.h"
#include "graphics/graphics.h"
#include "graphics/pixmap.h"
#include "graphics/vanta2d.h"
#include "gui/gui.h"
#include "gui/win32guidriver.h"
#include "runtime/memory.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/win32.h"
#include "stream/standardio.h"
#include "system/event.h"

#include <commctrl.h>

namespace {

std::vector<std::pair<Ref<TGadget>, std::string>> names;  // counted references

std::string Utf8Text(String* text) {
    char* utf8 = text->ToUtf8();
    std::string out(utf8);
    MemFreeBlock(utf8);
    return out;
}
Ref<TGadget> panes[3];

TGadget* Named(TGadget* gadget, const char* name) {
    names.emplace_back(Ref<TGadget>(gadget), name);
    return gadget;
}

std::string NameOf(Object* source) {
    for (auto& [gadget, name] : names) {
        if (gadget.get() == source) return name;
    }
    TGadget* node = Downcast<TGadget>(source);
    return IsNull(node) ? "none" : "node:" + Utf8Text(GadgetText(node));
}

void Say(const std::string& line) { Print(String::FromCString(line.c_str())); }

// Icons of 16 pixels: red, green, a blank (white) one, blue.
TPixmap* IconStrip() {
    const int colours[] = {0xE04040, 0x40C040, 0xFFFFFF, 0x4060E0};
    TPixmap* strip = CreatePixmap(64, 16, PF_RGB888);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 64; ++x) {
            bool border = x % 16 == 0 || x % 16 == 15 || y == 0 || y == 15;
            strip->WritePixel(x, y, border && colours[x / 16] != 0xFFFFFF ? 0x202020 : colours[x / 16]);
        }
    }
    return strip;
}

TPixmap* Checkerboard() {
    TPixmap* picture = CreatePixmap(16, 16, PF_RGB888);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) picture->WritePixel(x, y, ((x / 4 + y / 4) % 2) ? 0x3080C0 : 0xF0D040);
    }
    return picture;
}

void SayPoint(const char* name, HWND window, int x, int y) {
    POINT at{x, y};
    ClientToScreen(window, &at);
    Say("target " + std::string(name) + " " + std::to_string(at.x) + "," + std::to_string(at.y));
}

HWND HandleOf(TGadget* gadget) { return reinterpret_cast<HWND>(QueryGadget(gadget, QUERY_HWND)); }

// Menus and tree nodes have no window of their own: "screen=none".
void SayGadgets() {
    for (auto& [gadget, name] : names) {
        HWND window = HandleOf(gadget);
        RECT r{};
        bool shown = window && IsWindow(window) && GetWindowRect(window, &r);
        std::string screen = shown ? std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                                         std::to_string(r.right - r.left) + "," + std::to_string(r.bottom - r.top)
                                   : "none";
        Say("gadget " + name + " class=" + std::to_string(Downcast<TWin32Gadget>(gadget.get())->gadgetClass) +
            " screen=" + screen);
    }
}

struct Gallery {
    TGadget* window;
    TGadget* tools;
    TGadget* tabber;
    TGadget* tree;
    TGadget* fruit;
    TGadget* list;
    TGadget* area;
    TGadget* trackbar;
    TGadget* progress;
    TGadget* canvas;
};

// The canvas paints itself with OpenGL: a dark blue field with a line of text.
void PaintCanvas(TGadget* canvas) {
    TGraphics* graphics = CanvasGraphics(canvas);
    if (IsNull(graphics)) return;
    SetGraphics(graphics);
    SetClsColor(30, 30, 90);
    Cls();
    SetColor(255, 220, 120);
    DrawText(u"An OpenGL canvas"_s, 8, 12);
    Flip(0);
}

Gallery Build() {
    Gallery g{};
    Named(Desktop(), "desktop");
    g.window = Named(CreateWindow(u"Gadget gallery"_s, 40, 40, 640, 440, NullOf<TGadget>(),
                                  WINDOW_TITLEBAR | WINDOW_MENU | WINDOW_CLIENTCOORDS),
                     "window");
    TGadget* file = Named(CreateMenu(u"&File"_s, 1, WindowMenu(g.window)), "menu-file");
    Named(CreateMenu(u"&Quit"_s, 2, file, VK_ESCAPE, 0), "menu-quit");
    UpdateWindowMenu(g.window);

    g.tools = Named(CreateToolBar(IconStrip(), 0, 0, 0, 0, g.window, 0), "toolbar");
    Array* tips = NewArray("$", 3);
    tips->SetObject(0, u"Red"_s);
    tips->SetObject(1, u"Green"_s);
    tips->SetObject(2, u"Blue"_s);
    SetToolBarTips(g.tools, tips);
    int top = GadgetHeight(g.tools) + 6;

    g.tabber = Named(CreateTabber(8, top, 300, 296, g.window, 0), "tabber");
    TIconStrip* icons = LoadIconStrip(IconStrip());
    SetGadgetIconStrip(g.tabber, icons);
    AddGadgetItem(g.tabber, u"Tree"_s, 0, 0, u"A tree view"_s);
    AddGadgetItem(g.tabber, u"List"_s, 0, 1, u"A list box"_s);
    AddGadgetItem(g.tabber, u"Text"_s, 0, 3, u"A text area"_s);
    int w = ClientWidth(g.tabber), h = ClientHeight(g.tabber);
    g.tree = Named(CreateTreeView(4, 4, w - 8, h - 8, g.tabber, 0), "treeview");
    g.fruit = Named(AddTreeViewNode(u"Fruit"_s, g.tree), "node-fruit");
    AddTreeViewNode(u"Apple"_s, g.fruit);
    AddTreeViewNode(u"Pear"_s, g.fruit);
    AddTreeViewNode(u"Vegetables"_s, g.tree);
    ExpandTreeViewNode(g.fruit);
    g.list = Named(CreateListBox(4, 4, w - 8, h - 8, g.tabber, 0), "listbox");
    SetGadgetIconStrip(g.list, icons);
    AddGadgetItem(g.list, u"Red"_s, 0, 0, u"The first colour"_s);
    AddGadgetItem(g.list, u"Green"_s, 0, 1, u"The second colour"_s);
    AddGadgetItem(g.list, u"Blue"_s, 0, 3, u"The third colour"_s);
    g.area = Named(CreateTextArea(4, 4, w - 8, h - 8, g.tabber, TEXTAREA_WORDWRAP), "textarea");
    SetTextAreaText(g.area, u"Red text, green text and bold blue text.\nType here.\n"_s);
    FormatTextAreaText(g.area, 200, 0, 0, 0, 0, 8);
    FormatTextAreaText(g.area, 0, 150, 0, 0, 10, 10);
    FormatTextAreaText(g.area, 0, 0, 200, 1, 25, 14);
    panes[0] = g.tree;
    panes[1] = g.list;
    panes[2] = g.area;
    HideGadget(g.list);
    HideGadget(g.area);

    int x = 320;
    TGadget* panel = Named(CreatePanel(x, top, 300, 60, g.window, PANEL_SUNKEN, u""_s), "panel");
    SetPanelPixmap(panel, Checkerboard(), PANELPIXMAP_TILE);
    Named(CreateSlider(x, top + 70, 300, 18, g.window, 1), "scrollbar");
    g.trackbar = Named(CreateSlider(x, top + 94, 240, 30, g.window, 4 + 1), "trackbar");
    SetSliderRange(g.trackbar, 0, 10);
    Named(CreateSlider(x + 250, top + 94, 40, 30, g.window, 8 + 1), "updown");
    g.progress = Named(CreateProgBar(x, top + 130, 300, 18, g.window, 0), "progbar");
    SetProgBarValue(g.progress, 0.4f);
    Named(CreateButton(u"Button"_s, x, top + 156, 90, 26, g.window, 1), "button");
    Named(CreateButton(u"Check box"_s, x + 100, top + 156, 100, 26, g.window, 2), "checkbox");
    Named(CreateLabel(u"A label"_s, x + 210, top + 160, 90, 20, g.window, 0), "label");
    SetGadgetText(Named(CreateTextField(x, top + 190, 300, 24, g.window, 0), "textfield"), u"A text field"_s);
    TGadget* combo = Named(CreateComboBox(x, top + 222, 300, 24, g.window, 0), "combobox");
    AddGadgetItem(combo, u"One"_s);
    AddGadgetItem(combo, u"Two"_s, GADGETITEM_DEFAULT);
    g.canvas = Named(CreateCanvas(x, top + 254, 300, 40, g.window, 0), "canvas");
    // The system's web browser control (under Wine without an HTML engine it stays blank).
    TGadget* html = Named(CreateHtmlView(8, top + 306, 300, 60, g.window, 0), "htmlview");
    HtmlViewNavigate(html, u"about:blank"_s);
    return g;
}

void SayTargets(const Gallery& g) {
    HWND tabs = HandleOf(g.tabber);
    for (int i = 0; i < 3; ++i) {
        RECT tab{};
        SendMessageW(tabs, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&tab));
        SayPoint(("tab" + std::to_string(i)).c_str(), tabs, (tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
    }
    HWND tools = HandleOf(g.tools);
    RECT button{};
    SendMessageW(tools, TB_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&button));  // the blue one, after the separator
    SayPoint("tool3", tools, (button.left + button.right) / 2, (button.top + button.bottom) / 2);
    HWND tree = HandleOf(g.tree);
    RECT node{};
    HTREEITEM fruit = reinterpret_cast<HTREEITEM>(QueryGadget(g.fruit, QUERY_HWND));
    std::memcpy(&node, &fruit, sizeof fruit);  // TVM_GETITEMRECT takes the item in the rectangle
    SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&node));
    SayPoint("node-fruit", tree, (node.left + node.right) / 2, (node.top + node.bottom) / 2);
    HWND list = HandleOf(g.list);
    RECT item{};
    item.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item));
    SayPoint("item2", list, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
    RECT r;
    GetClientRect(HandleOf(g.trackbar), &r);
    SayPoint("trackbar-end", HandleOf(g.trackbar), r.right - 6, r.bottom / 2);
    GetClientRect(HandleOf(g.area), &r);
    SayPoint("textarea", HandleOf(g.area), r.right / 2, r.bottom - 10);
}

void ShowPane(int chosen) {
    for (int i = 0; i < 3; ++i) chosen == i ? ShowGadget(panes[i]) : HideGadget(panes[i]);
}

int Program() {
    StartGLVanta2DModule();
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
    StartWin32GuiModule();
    Gallery g = Build();
    ActivateWindow(g.window);
    SayGadgets();
    SayTargets(g);
    Say("ready");
    for (;;) {
        WaitEvent();
        int id = EventID();
        Object* source = EventSource();
        if (id == EVENT_WINDOWCLOSE || (id == EVENT_MENUACTION && EventData() == 2)) break;
        if (id == EVENT_GADGETACTION && source == g.tabber && EventData() >= 0) ShowPane(EventData());
        if (id == EVENT_GADGETACTION && source == g.trackbar) SetProgBarValue(g.progress, SliderValue(g.trackbar) / 10.0f);
        if (id == EVENT_GADGETPAINT && source == g.canvas) PaintCanvas(g.canvas);
        if (id < EVENT_GADGETACTION || id > EVENT_GADGETLOSTFOCUS) continue;
        Object* extra = EventExtra();
        std::string text = IsNull(extra) ? "" : Utf8Text(extra->ToString());
        if (!IsNull(Downcast<TGadget>(extra))) text = NameOf(extra);
        Say("event " + Utf8Text(EventIdText(id)) + " source=" + NameOf(source) + " data=" +
            std::to_string(EventData()) + " extra=" + text);
    }
    FreeGadget(g.window);
    Say("ended");
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, Program); }
