// Puts the Win32 driver back as the GUI driver: the model tests install a
// recording driver of their own, so a Win32 test cannot rely on the one the
// module installed when it started.
#pragma once
#include "gui/gui.h"
#include "gui/win32guidriver.h"

inline void InstallWin32Driver() {
    StartWin32GuiModule();
    static Ref<TVantaGUIDriver> driver = GUIDriver();  // the module's, taken the first time
    SetGUIDriver(driver);
}
