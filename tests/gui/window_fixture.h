// A test with one real window of the Win32 driver on the Xvfb display, and
// the helpers the control tests share: the native handle of a gadget, a real
// click in its middle, and the events one gadget raised.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/gui.h"
#include "tests/gui/win32_driver_install.h"
#include "tests/system/system_test_support.h"

class WindowFixture : public ::testing::Test {
protected:
    TGadget* window = nullptr;

    // Opens the window at (100, 100) with a client area of w x h; `front`
    // makes it the one the keyboard talks to.
    void OpenWindow(String* title, int w, int h, int style, bool front) {
        InstallWin32Driver();
        window = CreateWindow(title, 100, 100, w, h, NullOf<TGadget>(), style | WINDOW_CLIENTCOORDS);
        if (front) {
            ActivateWindow(window);
            SetForegroundWindow(Frame(window));
            HWND frame = Frame(window);
            ASSERT_TRUE(PumpUntil([frame] { return GetForegroundWindow() == frame; }))
                << "the window never came to the front";
        }
        DiscardQueuedEvents();
    }
    void TearDown() override {
        if (window) FreeGadget(window);
        PumpUntil([] { return false; }, 100);
        DiscardQueuedEvents();
    }

    static HWND Frame(TGadget* gadget) { return reinterpret_cast<HWND>(QueryGadget(gadget, QUERY_HWND)); }

    // Clicks the middle of a gadget with the real pointer.
    static void Click(TGadget* gadget) {
        RECT r;
        GetWindowRect(Frame(gadget), &r);
        ASSERT_EQ(Xdo("mousemove " + std::to_string((r.left + r.right) / 2) + " " +
                      std::to_string((r.top + r.bottom) / 2) + " click 1"),
                  0);
    }

    // The events of `id` from `source` that arrive within a short while.
    static std::vector<EventRecord> EventsOf(int id, Object* source) {
        std::vector<EventRecord> matching;
        for (const EventRecord& record : DrainEvents()) {
            if (record.id == id && record.From(source)) matching.push_back(record);
        }
        return matching;
    }
};
