// The configuration dialog ("/c", or no argument): a fixed window in the
// middle of the desktop showing the page kept beside the program, and an
// OK button. The saver has no settings; links clicked in the page are
// printed and opened in the system's web browser, and the page stays.
#include "app/screensaver.h"
#include "gui/gui.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "stream/standardio.h"
#include "system/event.h"
#include "system/system.h"

#include <cstdlib>

namespace {

constexpr int kWidth = 410;   // the client area
constexpr int kHeight = 420;
constexpr int kWindowStyle = WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS;
constexpr int kPushButton = 1;

// Kept for the life of the dialog.
Ref<TGadget> configWindow;
Ref<TGadget> configView;
Ref<TGadget> configButton;

void BuildDialog() {
    TGadget* desktop = Desktop();
    configWindow = CreateWindow(u"Neonara Screensaver"_s, (GadgetWidth(desktop) - kWidth) / 2,
                                (GadgetHeight(desktop) - kHeight) / 2, kWidth, kHeight, NullOf<TGadget>(),
                                kWindowStyle);
    configView = CreateHtmlView(8, 8, 394, 355, configWindow, HTMLVIEW_NAVIGATIONEVENTS);
    SetGadgetLayout(configView, EDGE_ALIGNED, EDGE_ALIGNED, EDGE_ALIGNED, EDGE_ALIGNED);
    HtmlViewNavigate(configView, Concat(AppDir, u"/neonara.html"_s));
    configButton = CreateButton(u"OK"_s, 168, 375, 64, 24, configWindow, kPushButton);
    SetGadgetLayout(configButton, EDGE_ALIGNED, EDGE_CENTERED, EDGE_ALIGNED, EDGE_CENTERED);
}

}  // namespace

// OK ends the process at once with exit code 0; the close box returns, and
// Run then frees the radio library as after every mode.
int TScreenSaver::RunConfig() {
    BuildDialog();
    for (;;) {
        switch (WaitEvent()) {
        case EVENT_GADGETACTION:
            if (EventSource() == configButton.get()) std::exit(0);
            if (EventSource() == configView.get()) {
                Print(EventText());
                OpenURL(EventText());
            }
            break;
        case EVENT_APPTERMINATE:
        case EVENT_WINDOWCLOSE: return 0;
        default: break;
        }
    }
}
