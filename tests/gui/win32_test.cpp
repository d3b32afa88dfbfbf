// The Win32 driver on real windows of the Xvfb display: windows and their
// styles, client coordinates, the window events, panels laid out inside a
// resized window, canvases with a graphics context, the handle map and
// the pointer shapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "graphics/glgraphics.h"
#include "graphics/graphics.h"
#include "graphics/pixmap.h"
#include "gui/gui.h"
#include "gui/win32/win32hwnd.h"
#include "gui/win32/win32window.h"
#include "gui/win32guidriver.h"
#include "runtime/exception.h"
#include "system/event.h"
#include "system/system.h"
#include "tests/gui/win32_driver_install.h"

namespace {

class Win32Gui : public ::testing::Test {
protected:
    void SetUp() override {
        InstallWin32Driver();
        Drain();
    }
    void TearDown() override {
        for (TGadget* gadget : made) FreeGadget(gadget);
        made.clear();
        Drain();
    }

    TGadget* Window(int x, int y, int w, int h, int style) {
        TGadget* window = CreateWindow(u"test window"_s, x, y, w, h, NullOf<TGadget>(), style);
        made.push_back(window);
        return window;
    }

    static HWND Frame(TGadget* gadget) { return reinterpret_cast<HWND>(QueryGadget(gadget, QUERY_HWND)); }

    // Pumps the messages for a while, keeping the events of `id` from `source`.
    static int CountEvents(int id, Object* source, int milliseconds, TEvent** last = nullptr) {
        int count = 0;
        DWORD start = GetTickCount();
        while (GetTickCount() - start < static_cast<DWORD>(milliseconds)) {
            while (PollEvent() != 0) {
                if (EventID() == id && EventSource() == source) {
                    ++count;
                    if (last) *last = CurrentEvent();
                }
            }
            Sleep(5);
        }
        return count;
    }

    static void Drain() {
        for (int i = 0; i < 20; ++i) {
            while (PollEvent() != 0) {
            }
            Sleep(2);
        }
    }

    std::vector<TGadget*> made;
};

}  // namespace

TEST_F(Win32Gui, DesktopIsTheVirtualScreenAndOneGadget) {
    TGadget* desktop = Desktop();
    EXPECT_EQ(Desktop(), desktop);
    EXPECT_EQ(GadgetWidth(desktop), GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(GadgetHeight(desktop), GetSystemMetrics(SM_CYVIRTUALSCREEN));
    EXPECT_EQ(ClientWidth(desktop), 1024);  // the harness's display
    EXPECT_EQ(reinterpret_cast<HWND>(QueryGadget(desktop, QUERY_HWND)), GetDesktopWindow());
    EXPECT_EQ(QueryGadget(desktop, 3), 0u);  // no other kind of handle
}

// A gadget that holds another's native object (Attach) keeps it beyond its
// group's end: the group lets it go and says so; nothing dangles after.
TEST_F(Win32Gui, AttachedKidsOutliveTheirGroupAndTheProgramHearsOfIt) {
    TGadget* window = CreateWindow(u"w"_s, 0, 0, 200, 100, NullOf<TGadget>(), 0);
    TGadget* panel = CreatePanel(0, 0, 100, 50, window, 0, u""_s);
    TGadget* holder = Window(0, 0, 50, 50, 0);
    holder->Attach(panel, 0);
    try {
        FreeGadget(window);
        ADD_FAILURE() << "the kept kid went unnoticed";
    } catch (ThrownObject& thrown) {
        EXPECT_TRUE(Equals(thrown.object()->ToString(), u"Error removing child gadget"_s));
    }
    EXPECT_EQ(QueryGadget(window, QUERY_HWND), 0u);
    FreeGadget(holder);  // the kid goes with it, without its group
    made.clear();
}

TEST_F(Win32Gui, SlidersOfKindThreeAndAboveHaveNoControl) {
    TGadget* window = Window(0, 0, 100, 100, 0);
    TGadget* slider = CreateSlider(0, 0, 50, 20, window, 12);
    ASSERT_FALSE(IsNull(slider));
    EXPECT_EQ(QueryGadget(slider, QUERY_HWND), 0u);
    SetSliderValue(slider, 3);
    EXPECT_EQ(SliderValue(slider), 0);
}

TEST_F(Win32Gui, HiddenWindowKeepsItsShapeUntilShown) {
    TGadget* window = Window(50, 60, 300, 200, WINDOW_TITLEBAR | WINDOW_HIDDEN);
    HWND frame = Frame(window);
    ASSERT_TRUE(IsWindow(frame));
    EXPECT_FALSE(IsWindowVisible(frame));
    EXPECT_EQ(GadgetHidden(window), 1);
    RECT r;
    GetWindowRect(frame, &r);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(GadgetWidth(window), 300);
    ShowGadget(window);
    EXPECT_TRUE(IsWindowVisible(frame));
    EXPECT_EQ(GadgetHidden(window), 0);
    char title[64];
    GetWindowTextA(frame, title, sizeof title);
    EXPECT_STREQ(title, "test window");
    EXPECT_TRUE(Equals(GadgetText(window), u"test window"_s));
}

TEST_F(Win32Gui, ClientCoordinatesGiveAnExactClientAreaAndWindowSizeReportsIt) {
    TGadget* window = Window(100, 100, 200, 150, WINDOW_TITLEBAR | WINDOW_RESIZABLE | WINDOW_CLIENTCOORDS);
    Drain();
    SetGadgetShape(window, 120, 110, 400, 300);
    RECT client;
    GetClientRect(Frame(window), &client);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 300);
    EXPECT_EQ(ClientWidth(window), 400);
    EXPECT_EQ(ClientHeight(window), 300);
    POINT origin{0, 0};
    ClientToScreen(Frame(window), &origin);
    EXPECT_EQ(origin.x, 120);
    EXPECT_EQ(origin.y, 110);

    // A resize by the window manager's way: the frame grows, the event tells the new client size.
    RECT frame;
    GetWindowRect(Frame(window), &frame);
    MoveWindow(Frame(window), frame.left, frame.top, frame.right - frame.left + 40, frame.bottom - frame.top + 20,
               TRUE);
    TEvent* size = nullptr;
    EXPECT_GE(CountEvents(EVENT_WINDOWSIZE, window, 200, &size), 1);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->x, 440);
    EXPECT_EQ(size->y, 320);
    EXPECT_EQ(GadgetWidth(window), 440);
}

TEST_F(Win32Gui, CloseRaisesWindowCloseAndLeavesTheWindowOpen) {
    TGadget* window = Window(10, 10, 200, 100, WINDOW_TITLEBAR);
    Drain();
    SendMessageW(Frame(window), WM_CLOSE, 0, 0);
    EXPECT_EQ(CountEvents(EVENT_WINDOWCLOSE, window, 100), 1);
    EXPECT_TRUE(IsWindow(Frame(window)));
}

TEST_F(Win32Gui, MenuCommandsAboveOneHundredBecomeMenuActions) {
    TGadget* window = Window(10, 10, 200, 100, WINDOW_TITLEBAR);
    Drain();
    SendMessageW(Frame(window), WM_COMMAND, 100, 0);
    SendMessageW(Frame(window), WM_COMMAND, 57, 0);
    EXPECT_EQ(CountEvents(EVENT_MENUACTION, NullObject(), 100), 0);
    // A command of no menu: no source, tag 0.
    SendMessageW(Frame(window), WM_COMMAND, 99999, 0);
    TEvent* action = nullptr;
    EXPECT_EQ(CountEvents(EVENT_MENUACTION, NullObject(), 100, &action), 1);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->data, 0);
}

TEST_F(Win32Gui, MovingAMinimisedWindowRaisesNoMove) {
    TGadget* window = Window(10, 10, 200, 100, WINDOW_TITLEBAR | WINDOW_RESIZABLE);
    Drain();
    SetWindowPos(Frame(window), nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_GE(CountEvents(EVENT_WINDOWMOVE, window, 150), 1);
    EXPECT_EQ(GadgetX(window), 30);
    MinimizeWindow(window);
    EXPECT_EQ(WindowMinimized(window), 1);
    Drain();
    SendMessageW(Frame(window), WM_MOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(CountEvents(EVENT_WINDOWMOVE, window, 100), 0);
    RestoreWindow(window);
    EXPECT_EQ(WindowMinimized(window), 0);
}

TEST_F(Win32Gui, PanelsFollowTheirLocksWhenTheWindowGrows) {
    TGadget* window = Window(10, 10, 300, 200, WINDOW_TITLEBAR | WINDOW_RESIZABLE | WINDOW_CLIENTCOORDS);
    TGadget* stretched = CreatePanel(10, 10, 280, 150, window, PANEL_SUNKEN, u""_s);
    SetGadgetLayout(stretched, EDGE_ALIGNED, EDGE_ALIGNED, EDGE_ALIGNED, EDGE_ALIGNED);
    TGadget* corner = CreatePanel(240, 170, 50, 20, window, 0, u""_s);
    SetGadgetLayout(corner, EDGE_CENTERED, EDGE_ALIGNED, EDGE_CENTERED, EDGE_ALIGNED);
    SetGadgetShape(window, 10, 10, 400, 260);
    EXPECT_EQ(GadgetWidth(stretched), 380);
    EXPECT_EQ(GadgetHeight(stretched), 210);
    EXPECT_EQ(GadgetX(corner), 340);
    EXPECT_EQ(GadgetY(corner), 230);
    RECT r;
    GetWindowRect(reinterpret_cast<HWND>(QueryGadget(stretched, QUERY_HWND)), &r);
    EXPECT_EQ(r.right - r.left, 380);
    EXPECT_EQ(GadgetGroup(corner), window);
}

// A 20x10 pixmap, red on the left half and green on the right, over a blue
// panel of 160x100 in each mode; GetPixel reads the painted panel.
TEST_F(Win32Gui, PanelPixmapsTileCentreFitAndStretch) {
    TGadget* window = Window(10, 10, 160, 100, WINDOW_CLIENTCOORDS);
    TGadget* panel = CreatePanel(0, 0, 160, 100, window, 0, u""_s);
    SetPanelColor(panel, 0, 0, 255);
    TPixmap* picture = CreatePixmap(20, 10, PF_RGB888);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 20; ++x) picture->WritePixel(x, y, x < 10 ? 0xFF0000 : 0x00FF00);
    }
    HWND area = Frame(panel);
    auto colourAt = [&](int x, int y) {
        HDC dc = GetDC(area);
        COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(area, dc);
        return static_cast<int>((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
    };
    const int red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF;
    struct Point { int x, y, colour; };
    const std::vector<std::vector<Point>> expected = {
        {{5, 5, red}, {15, 5, green}, {25, 5, red}, {5, 15, red}, {155, 95, green}},  // tile
        {{75, 50, red}, {85, 50, green}, {5, 5, blue}, {150, 95, blue}},             // centre
        {{40, 50, red}, {120, 50, green}, {80, 4, blue}, {80, 96, blue}},            // fit: 160x80 at 0,10
        {{40, 2, red}, {120, 97, green}, {40, 50, red}, {120, 50, green}},           // stretch
    };
    for (int mode = PANELPIXMAP_TILE; mode <= PANELPIXMAP_STRETCH; ++mode) {
        SetPanelPixmap(panel, picture, mode);
        RedrawWindow(area, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        for (const Point& p : expected[mode]) {
            EXPECT_EQ(colourAt(p.x, p.y), p.colour) << "mode " << mode << " at " << p.x << "," << p.y;
        }
    }
    SetPanelPixmap(panel, NullOf<TPixmap>(), PANELPIXMAP_TILE);
    RedrawWindow(area, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_EQ(colourAt(5, 5), blue);
}

TEST_F(Win32Gui, CanvasHasAGraphicsContextAndPaintsByEvent) {
    SetGraphicsDriver(GLGraphicsDriver(), GRAPHICS_BACKBUFFER);
    TGadget* window = Window(10, 10, 160, 120, WINDOW_CLIENTCOORDS);
    TGadget* canvas = CreateCanvas(0, 0, 160, 120, window, 0);
    ASSERT_FALSE(IsNull(CanvasGraphics(canvas))) << "no OpenGL context for the canvas";
    SetGraphics(CanvasGraphics(canvas));
    Drain();
    RedrawGadget(canvas);
    EXPECT_GE(CountEvents(EVENT_GADGETPAINT, canvas, 200), 1);
    FreeGadget(canvas);
    EXPECT_TRUE(IsNull(CanvasGraphics(canvas)));
    EXPECT_EQ(QueryGadget(canvas, QUERY_HWND), 0u);
}

TEST_F(Win32Gui, FreeingAWindowFreesItsChildrenAndTheirWindows) {
    TGadget* window = CreateWindow(u"w"_s, 0, 0, 200, 100, NullOf<TGadget>(), 0);
    TGadget* panel = CreatePanel(0, 0, 100, 50, window, 0, u""_s);
    HWND panelWindow = reinterpret_cast<HWND>(QueryGadget(panel, QUERY_HWND));
    HWND frame = Frame(window);
    ASSERT_TRUE(IsWindow(panelWindow));
    FreeGadget(window);
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_FALSE(IsWindow(panelWindow));
    EXPECT_EQ(QueryGadget(panel, QUERY_HWND), 0u);
    EXPECT_TRUE(IsNull(GadgetGroup(panel)));
    EXPECT_EQ(window->kids->Count(), 0);
}

TEST_F(Win32Gui, OneNativeGadgetCannotBeWrappedTwice) {
    TGadget* window = Window(0, 0, 50, 50, 0);
    KVGadget* native = Downcast<TWin32Gadget>(window)->native;
    try {
        TWin32Gadget::Wrap(GADGET_WINDOW, native, NullOf<TGadget>());
        ADD_FAILURE() << "a second wrapper was made";
    } catch (ThrownObject& thrown) {
        EXPECT_TRUE(Equals(thrown.object()->ToString(), u"Gadget handle already in map!"_s));
    }
    EXPECT_EQ(GadgetFromNative(native), window);
}

TEST_F(Win32Gui, TreeNodesAreMadeOnlyByInsertingThem) {
    try {
        GUIDriver()->CreateGadget(GADGET_TREENODE, u""_s, 0, 0, 1, 1, NullOf<TGadget>(), 0);
        ADD_FAILURE() << "a tree node was made";
    } catch (ThrownObject& thrown) {
        EXPECT_TRUE(Equals(thrown.object()->ToString(), u"chunks"_s));
    }
    TGadget* panel = CreatePanel(0, 0, 10, 10, NullOf<TGadget>(), 0, u""_s);
    EXPECT_THROW(CreateMenu(u"m"_s, 1, panel), ThrownObject);  // menus hang from windows, menus or the desktop
    FreeGadget(panel);
}

TEST_F(Win32Gui, PointerShapesComeFromTheStandardCursors) {
    TGadget* window = Window(0, 0, 100, 100, WINDOW_TITLEBAR);
    SetPointer(2);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_IBEAM)));
    SetPointer(15);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
    (void)window;
}

// Every class's functions on gadgets of the wrong class, on freed gadgets,
// with indices, nodes and ranges far out, and with huge texts: each answers
// (a null object, 0, -1, an empty text or a runtime error) and no native
// window stays behind.
TEST_F(Win32Gui, WrongClassesFreedGadgetsAndWildArgumentsDoNoHarm) {
    TGadget* window = CreateWindow(u"w"_s, 0, 0, 300, 200, NullOf<TGadget>(), 0);
    TGadget* button = CreateButton(u"b"_s, 0, 0, 50, 20, window, 0);
    TGadget* tree = CreateTreeView(0, 30, 100, 100, window, 0);
    TGadget* node = AddTreeViewNode(u"n"_s, tree);
    TGadget* area = CreateTextArea(110, 30, 100, 100, window, 0);
    TGadget* tabber = CreateTabber(0, 0, 100, 100, window, 0);
    TGadget* tools = CreateToolBar(CreatePixmap(32, 16, PF_RGB888), 0, 0, 0, 0, window, 0);
    std::vector<HWND> made;
    for (TGadget* g : {window, button, tree, area, tabber, tools}) made.push_back(Frame(g));

    String* huge = NewString(1 << 20);
    std::fill_n(huge->Text(), 1 << 20, u'x');
    SetTextAreaText(area, huge);
    EXPECT_EQ(TextAreaLen(area), 1 << 20);
    EXPECT_EQ(TextAreaText(area, 2147483647, 5)->length, 0);
    EXPECT_EQ(TextAreaText(area, -2147483647 - 1, -1)->length, 1 << 20);
    EXPECT_EQ(TextAreaChar(area, 2147483647), 1 << 20);
    EXPECT_EQ(TextAreaLine(area, -2147483647 - 1), 0);
    FormatTextAreaText(area, 1, 2, 3, 15, 2147483647, 2147483647, 2);
    SelectTextAreaText(area, -5, 2147483647, 2);
    EXPECT_EQ(TextAreaSelLen(area), 1 << 20);

    auto attempt = [](auto call) {
        try {
            call();
        } catch (ThrownObject&) {
            // A runtime error is an answer too.
        }
    };
    FreeTreeViewNode(node);
    FreeGadget(area);
    for (TGadget* g : {button, node, area, tabber, tools}) {
        attempt([&] { AddGadgetItem(g, u"i"_s); });
        attempt([&] { ModifyGadgetItem(g, 99, u"i"_s); });
        attempt([&] { RemoveGadgetItem(g, -3); });
        attempt([&] { SelectGadgetItem(g, 1 << 30); });
        attempt([&] { SetToolBarTips(g, NewArray("$", 2)); });
        EXPECT_TRUE(IsNull(TreeViewRoot(g)) || g == tree);
        attempt([&] { AddTreeViewNode(u"n"_s, g); });
        EXPECT_TRUE(IsNull(SelectedTreeViewNode(g)));
        EXPECT_EQ(CountTreeViewNodes(g), 0);
        attempt([&] { ModifyTreeViewNode(g, u"n"_s, 3); });
        EXPECT_EQ(TextAreaText(g)->length, 0);
        EXPECT_EQ(TextAreaLen(g, 2), 0);
        attempt([&] { SetTextAreaText(g, huge); });
        SetPanelPixmap(g, CreatePixmap(4, 4, PF_RGB888), PANELPIXMAP_FIT);
        attempt([&] { GadgetText(g); });
    }
    FreeGadget(window);
    for (HWND h : made) EXPECT_FALSE(IsWindow(h));
}
