#include "graphics/graphics.h"

#include <cstdlib>

#include "runtime/exception.h"
#include "runtime/startup.h"
#include "runtime/win32.h"
#include "system/event.h"
#include "system/polledinput.h"
#include "system/system.h"

KV_DEFINE_CLASS(TGraphicsMode, Object);
KV_DEFINE_CLASS(TGraphics, Object);
KV_DEFINE_CLASS(TGraphicsDriver, TDataType);

int32_t GraphicsSeq = 1;
int FlipHook = -1;

namespace {

Ref<TGraphicsDriver> currentDriver;
int defaultFlags = 0;
Ref<Array> modeCache;
Ref<TGraphics> currentGraphics;
Ref<TGraphics> defaultGraphics;
int currentWidth = 0, currentHeight = 0, currentDepth = 0, currentHertz = 0, currentFlags = 0;

// The soft frame limiter: period ms per frame, with the remainder of 1000 /
// hertz spread over the second one millisecond at a time.
bool softSync = false;
int syncHertz = 0;
int syncPeriod = 0;
int syncRemainder = 0;
int syncAccumulated = 0;
uint32_t nextFlipTime = 0;
int retraceProbeMillis = 0;
bool exitRegistered = false;

void ClearCurrentValues() {
    currentWidth = currentHeight = currentDepth = currentHertz = currentFlags = 0;
}

void DropCurrentContext() {
    if (!IsNull(currentDriver) && !IsNull(currentGraphics)) currentDriver->SetGraphics(NullOf<TGraphics>());
    currentGraphics = NullOf<TGraphics>();
    ClearCurrentValues();
}

// Times driver flips with retrace wait; three frames in a row lasting the
// period (within a millisecond) show that the display syncs by itself.
bool RetraceSyncs(int hertz) {
    int good = 0;
    uint32_t start = timeGetTime();
    while (timeGetTime() - start < 1000) {
        uint32_t before = timeGetTime();
        currentDriver->Flip(1);
        int duration = static_cast<int>(timeGetTime() - before) - 1000 / hertz;
        if (duration >= -1 && duration <= 1) {
            if (++good == 3) return true;
        } else {
            good = 0;
        }
    }
    return false;
}

void EndGraphicsAtExit() {
    try {
        EndGraphics();
    } catch (...) {
    }
}

}  // namespace

String* TGraphicsMode::ToString() {
    String* text = Concat(String::FromInt(width), u","_s, String::FromInt(height), u","_s);
    return Concat(text, String::FromInt(depth), u" "_s, Concat(String::FromInt(hertz), u"Hz"_s));
}

TGraphicsMode* TGraphicsMode::Create(int width, int height, int depth, int hertz) {
    TGraphicsMode* mode = new TGraphicsMode;
    mode->width = width;
    mode->height = height;
    mode->depth = depth;
    mode->hertz = hertz;
    return mode;
}

void AdvanceGraphicsSeq() {
    ++GraphicsSeq;
    if (GraphicsSeq == 0) GraphicsSeq = 1;
}

void SetGraphicsDriver(TGraphicsDriver* driver, int flags) {
    if (driver != currentDriver.get()) {
        if (!IsNull(currentDriver) && !IsNull(currentGraphics)) currentDriver->SetGraphics(NullOf<TGraphics>());
        modeCache = EmptyArray();
        currentDriver = driver;
    }
    defaultFlags = flags;
    currentGraphics = NullOf<TGraphics>();
    ClearCurrentValues();
}

TGraphicsDriver* GetGraphicsDriver() { return currentDriver; }
int DefaultGraphicsFlags() { return defaultFlags; }

Array* GraphicsModes() {
    if (modeCache->Length() == 0 && !IsNull(currentDriver)) modeCache = currentDriver->GraphicsModes();
    Array* cache = modeCache;
    if (cache->Length() == 0) return EmptyArray();
    return SliceArray(cache->type, cache, 0, cache->Length());
}

int CountGraphicsModes() { return GraphicsModes()->Length(); }

void GetGraphicsMode(int index, int& width, int& height, int& depth, int& hertz) {
    Array* modes = GraphicsModes();
    auto* mode = static_cast<TGraphicsMode*>(Checked(modes->ObjectAt(modes->CheckIndex(index))));
    width = mode->width;
    height = mode->height;
    depth = mode->depth;
    hertz = mode->hertz;
}

bool GraphicsModeExists(int width, int height, int depth, int hertz) {
    Array* modes = GraphicsModes();
    for (int i = 0; i < modes->Length(); ++i) {
        Object* entry = modes->ObjectAt(i);
        if (IsNull(entry)) continue;
        auto* mode = static_cast<TGraphicsMode*>(entry);
        if ((width == 0 || mode->width == width) && (height == 0 || mode->height == height) &&
            (depth == 0 || mode->depth == depth) && (hertz == 0 || mode->hertz == hertz)) {
            return true;
        }
    }
    return false;
}

TGraphics* CreateGraphics(int width, int height, int depth, int hertz, int flags) {
    try {
        return Checked(currentDriver.get())->CreateGraphics(width, height, depth, hertz, flags | defaultFlags);
    } catch (ThrownObject&) {
        return NullOf<TGraphics>();
    }
}

TGraphics* AttachGraphics(intptr_t widget, int flags) {
    try {
        return Checked(currentDriver.get())->AttachGraphics(widget, flags | defaultFlags);
    } catch (ThrownObject&) {
        return NullOf<TGraphics>();
    }
}

void SetGraphics(TGraphics* graphics) {
    if (IsNull(graphics)) {
        DropCurrentContext();
        return;
    }
    TGraphicsDriver* driver = graphics->Driver();
    if (driver != currentDriver.get()) {
        if (!IsNull(currentDriver) && !IsNull(currentGraphics)) currentDriver->SetGraphics(NullOf<TGraphics>());
        modeCache = EmptyArray();
        currentDriver = driver;
    }
    graphics->GetSettings(currentWidth, currentHeight, currentDepth, currentHertz, currentFlags);
    driver->SetGraphics(graphics);
    currentGraphics = graphics;
}

void CloseGraphics(TGraphics* graphics) {
    Checked(graphics);
    if (graphics == defaultGraphics.get()) defaultGraphics = NullOf<TGraphics>();
    if (graphics == currentGraphics.get()) SetGraphics(NullOf<TGraphics>());
    graphics->Close();
}

TGraphics* CurrentGraphics() { return currentGraphics; }
int GraphicsWidth() { return currentWidth; }
int GraphicsHeight() { return currentHeight; }
int GraphicsDepth() { return currentDepth; }
int GraphicsHertz() { return currentHertz; }
int GraphicsFlags() { return currentFlags; }
bool SoftSyncEnabled() { return softSync; }
int RetraceProbeMillis() { return retraceProbeMillis; }

TGraphics* Graphics(int width, int height, int depth, int hertz, int flags) {
    EndGraphics();
    TGraphics* graphics = CreateGraphics(width, height, depth, hertz, flags | defaultFlags);
    if (IsNull(graphics)) return graphics;
    AdvanceGraphicsSeq();
    SetGraphics(graphics);

    softSync = hertz != 0;
    uint32_t probeStart = timeGetTime();
    if (softSync && depth != 0 && RetraceSyncs(hertz)) softSync = false;
    retraceProbeMillis = static_cast<int>(timeGetTime() - probeStart);

    syncHertz = hertz;
    syncPeriod = hertz != 0 ? 1000 / hertz : 0;
    syncRemainder = 1000 - syncPeriod * hertz;
    syncAccumulated = 0;
    nextFlipTime = timeGetTime();

    defaultGraphics = graphics;
    if (depth != 0) MoveMouse(width / 2, height / 2);
    EnablePolledInput(NullObject());
    if (!exitRegistered) {
        exitRegistered = true;
        std::atexit(EndGraphicsAtExit);
    }
    return graphics;
}

void EndGraphics() {
    if (IsNull(defaultGraphics)) return;
    AdvanceGraphicsSeq();
    DisablePolledInput();
    CloseGraphics(defaultGraphics);
}

void Flip(int sync) {
    RunHooks(FlipHook, NullObject());
    TGraphicsDriver* driver = Checked(currentDriver.get());
    if (sync != -1) {
        driver->Flip(sync);
        return;
    }
    if (currentGraphics.get() != defaultGraphics.get() || !softSync) {
        driver->Flip(currentDepth != 0);
        return;
    }
    nextFlipTime += syncPeriod;
    syncAccumulated += syncRemainder;
    if (syncAccumulated >= syncHertz) {
        syncAccumulated -= syncHertz;
        nextFlipTime += 1;
    }
    uint32_t now = timeGetTime();
    int wait = static_cast<int>(nextFlipTime - now);
    if (wait <= 0) {
        nextFlipTime = now;
    } else {
        Sleep(wait);
    }
    driver->Flip(0);
}

String* TGraphicsDriver::TypeName() { return u"KYN.Graphics.TGraphics"_s; }

Object* TGraphicsDriver::ReadObject(TStream* stream) {
    int width = Checked(stream)->ReadInt();
    int height = stream->ReadInt();
    int depth = stream->ReadInt();
    int hertz = stream->ReadInt();
    return Graphics(width, height, depth, hertz, 0);
}

void TGraphicsDriver::WriteObject(Object* object, TStream* stream) {
    int width, height, depth, hertz, flags;
    Checked(Downcast<TGraphics>(object))->GetSettings(width, height, depth, hertz, flags);
    Checked(stream)->WriteInt(width);
    stream->WriteInt(height);
    stream->WriteInt(depth);
    stream->WriteInt(hertz);
}

void StartGraphicsModule() {
    KV_START_ONCE();
    StartDataTypeModule();
    StartEventModule();
    StartPolledInputModule();
    StartSystemModule();
    FlipHook = AllocHookId();
}
