// The saver loop's exit rules: which events end it, the line each prints,
// and the mouse rule measured from one move event to the next.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <functional>
#include <string>

#include "app/screensaver.h"
#include "runtime/object.h"
#include "runtime/win32.h"
#include "stream/standardio.h"
#include "tests/app/output_capture.h"
#include "system/event.h"
#include "system/system.h"

namespace {


class SaverLoop : public ::testing::Test {
protected:
    void SetUp() override {
        StartStandardIOModule();
        StartSystemModule();
        ForgetLastMouse();
        saver = new TScreenSaver();
        saver->FlushEvents();
    }

    // Posts one event, takes it as the loop does and applies the exit rules.
    int Feed(int id, int x = 0, int y = 0) {
        PostEvent(CreateEvent(id, NullObject(), 0, 0, x, y), 0);
        int taken = PollEvent();
        EXPECT_EQ(taken, id);
        return saver->SaverEventEnds(taken);
    }

    Ref<TScreenSaver> saver;  // the fixture lives on the heap: a counted reference keeps it
};

}  // namespace

TEST_F(SaverLoop, KeyAndButtonEndWithTheSameLine) {
    std::string out = CaptureOutput([&] { EXPECT_EQ(Feed(EVENT_KEYDOWN), 1); });
    EXPECT_EQ(out, "EVENT_MOUSEDOWN, EVENT_KEYDOWN\r\n");
    out = CaptureOutput([&] { EXPECT_EQ(Feed(EVENT_MOUSEDOWN), 1); });
    EXPECT_EQ(out, "EVENT_MOUSEDOWN, EVENT_KEYDOWN\r\n");
}

TEST_F(SaverLoop, TerminationCloseAndSuspendEndTheSaver) {
    for (int id : {EVENT_APPTERMINATE, EVENT_WINDOWCLOSE, EVENT_APPSUSPEND}) {
        std::string out = CaptureOutput([&] { EXPECT_EQ(Feed(id), 1) << id; });
        EXPECT_EQ(out, "EVENT_APPTERMINATE, EVENT_WINDOWCLOSE\r\n") << id;
    }
}

TEST_F(SaverLoop, OtherEventsAndNoEventKeepItRunning) {
    std::string out = CaptureOutput([&] {
        EXPECT_EQ(saver->SaverEventEnds(0), 0);
        EXPECT_EQ(Feed(EVENT_APPRESUME), 0);
        EXPECT_EQ(Feed(EVENT_KEYDOWN + 1), 0);  // a key release
    });
    EXPECT_EQ(out, "");
}

TEST_F(SaverLoop, OnePixelStepsKeepItRunningATwoPixelJumpEndsIt) {
    std::string out = CaptureOutput([&] {
        EXPECT_EQ(Feed(EVENT_MOUSEMOVE, 100, 100), 0);  // the first move only sets the position
        EXPECT_EQ(Feed(EVENT_MOUSEMOVE, 101, 100), 0);
        EXPECT_EQ(Feed(EVENT_MOUSEMOVE, 102, 101), 0);
    });
    EXPECT_EQ(out, "");
    out = CaptureOutput([&] { EXPECT_EQ(Feed(EVENT_MOUSEMOVE, 104, 101), 1); });
    EXPECT_EQ(out, "EVENT_MOUSEMOVE\r\n");
}

TEST_F(SaverLoop, TheFirstMoveNeverEndsItWhereverItIs) {
    EXPECT_EQ(Feed(EVENT_MOUSEMOVE, 900, 5), 0);
    EXPECT_EQ(Feed(EVENT_MOUSEMOVE, 900, 4), 0);
    EXPECT_EQ(Feed(EVENT_MOUSEMOVE, 900, 6), 1);  // two pixels down on y alone
}

TEST_F(SaverLoop, AJitterOfOnePixelNeverAddsUp) {
    int n = 300;
    for (int i = 0; i < n; ++i) ASSERT_EQ(Feed(EVENT_MOUSEMOVE, 200 + i, 300 - i), 0) << i;
}

TEST_F(SaverLoop, FlushEventsEmptiesTheQueue) {
    for (int i = 0; i < 5; ++i) PostEvent(CreateEvent(EVENT_KEYDOWN, NullObject()), 0);
    EXPECT_EQ(saver->FlushEvents(), 0);
    // The frame timer keeps ticking, so a new tick may already be queued;
    // none of the posted keys may be.
    TEvent* next = PeekEvent();
    EXPECT_TRUE(IsNull(next) || next->id != EVENT_KEYDOWN) << next->id;
}
