#include "app/radio.h"

#include <cstring>

#include <GL/gl.h>

#include "app/bassbinding.h"
#include "app/globals.h"
#include "app/scene.h"
#include "graphics/font.h"
#include "graphics/vanta2d.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "runtime/time.h"
#include "stream/standardio.h"

#ifndef NEONARA_STATION_HOST
#define NEONARA_STATION_HOST "127.0.0.1"
#endif

KV_DEFINE_CLASS(TBass, TOrtho);

int BufferingTimeLimit = 5000;

namespace {

constexpr DWORD kConfigNetPrebuffer = 15;
constexpr DWORD kStreamFlags = 0xC00000;  // metadata and status requests
constexpr DWORD kFilePosDecode = 0;
constexpr DWORD kFilePosDownload = 1;
constexpr DWORD kFilePosEnd = 2;
constexpr DWORD kTagMeta = 5;
constexpr DWORD kDataFFT512 = 0x80000000u;
constexpr int kMetadataLimit = 201;
constexpr int kFFTLength = 512;
constexpr int kTitleStep = 4;   // the title slides left 4 units per frame
constexpr int kTitleStop = 12;  // and stops here

int FilePosition(int stream, DWORD mode) {
    return static_cast<int>(BASS_StreamGetFilePosition(static_cast<DWORD>(stream), mode));
}

// (downloaded - consumed) * 100 / total in 32-bit arithmetic that wraps
// instead of overflowing.
int BufferedPercent(int total, int downloaded, int consumed) {
    uint32_t share = (static_cast<uint32_t>(downloaded) - static_cast<uint32_t>(consumed)) * 100u;
    return static_cast<int>(share) / total;
}

// Waits until more than 75 % is buffered. 0 when the library reports -1 as
// the total; otherwise 1, also when the time limit ends the wait (the stream
// then plays whatever arrives). A total of 0 counts as not yet buffered.
int WaitForBuffer(int stream) {
    int start = MilliSecs();
    for (;;) {
        int total = FilePosition(stream, kFilePosEnd);
        if (total == -1) {
            Print(u"Lenn == -1"_s);
            return 0;
        }
        int downloaded = FilePosition(stream, kFilePosDownload);
        int consumed = FilePosition(stream, kFilePosDecode);
        if (total != 0 && BufferedPercent(total, downloaded, consumed) > 75) return 1;
        if (MilliSecs() - start >= BufferingTimeLimit) return 1;
        Sleep(50);
    }
}

void PrintWithErrorCode(String* text) { Print(Concat(text, String::FromInt(BASS_ErrorGetCode()))); }

}  // namespace

String* DefaultStreamURL() {
    static const char* const url = "http://" NEONARA_STATION_HOST ":80/stream/1040";
    return String::FromCString(url);
}

String* StandbyTitle() { return u"...standby for artist/song info..."_s; }

String* TitleFromMetadata(const char* tags) {
    int length = static_cast<int>(strnlen(tags, kMetadataLimit));
    String* s = String::FromBytes(tags, length);
    int start = s->Find(u"StreamTitle='"_s);
    int stop = s->Find(u"Url"_s, start < 0 ? 0 : start);
    if (stop >= 0 || start < 0) {
        // The 8 characters before "Url" are "';Stream".
        return Slice(s, start + 13, stop - 8);
    }
    // Icecast writes only StreamTitle='X'; the title ends at "';".
    int from = start + 13;
    int end = s->Find(u"';"_s, from);
    return Slice(s, from, end < 0 ? s->length : end);
}

TBass* TBass::Create() {
    if (BASS_GetVersion() == 0x00020003u) Print(u"BASS version 2.2 was not loaded"_s);
    TBass* bass = new TBass();
    bass->initialised = BASS_Init(1, 44100, 0, nullptr, nullptr);
    if (bass->initialised != 0) BASS_SetConfig(kConfigNetPrebuffer, 0);
    // The 64x64 bar image, 20 times as wide, covers 1280x64 around (512, 708).
    bass->radioBar = TSplash::Create(u"incbin::radiobar.png"_s, VirtualWidth / 2, VirtualHeight - 60, 0.0f,
                                     20.0f, 1.0f, BLEND_ALPHA, 1, 1, 0, 5);
    bass->radioBar->SetColor(TintRed, TintGreen, TintBlue);
    return bass;
}

int TBass::PlayURL(String* url) {
    BASS_StreamFree(static_cast<DWORD>(stream));
    char* text = url->ToCString();
    stream = static_cast<int>(BASS_StreamCreateURL(text, 0, kStreamFlags, nullptr, 0));
    MemFreeBlock(text);
    if (stream == 0) {
        PrintWithErrorCode(u"No Channel - "_s);
        return 0;
    }
    if (!WaitForBuffer(stream)) return 0;
    titleX = VirtualWidth;
    UpdateTitle();
    BASS_ChannelPlay(static_cast<DWORD>(stream), 0);
    return 1;
}

Array* TBass::GetFFT() {
    Array* fft = NewArray("f", kFFTLength);
    BASS_ChannelGetData(static_cast<DWORD>(stream), fft->Data(), kDataFFT512);
    return fft;
}

int TBass::UpdateTitle() {
    phase += 1;
    if (phase > 360) phase -= 360;
    const char* tags = BASS_ChannelGetTags(static_cast<DWORD>(stream), kTagMeta);
    String* candidate;
    if (!tags) {
        PrintWithErrorCode(u"Icy = null - "_s);
        candidate = StandbyTitle();
    } else {
        candidate = TitleFromMetadata(tags);
    }
    if (!Equals(candidate, title) && !Equals(candidate, StandbyTitle())) {
        titleX = VirtualWidth;
        title = candidate;
        radioBar->Fade(1, 0, 22);
        SpriteIndex = Rand(1, 7);
    }
    return 0;
}

int TBass::Draw() {
    if (OddFrame != 0) UpdateTitle();
    glColor3f(1, 0, 0);
    titleX -= kTitleStep;
    if (titleX <= kTitleStop) titleX = kTitleStop;
    if (radioBar->alpha > 0) {
        ::SetBlend(BLEND_ALPHA);
        ::SetColor(0, 0, 0);
        ::SetAlpha(radioBar->alpha);
        ::SetRotation(0);
        ::SetScale(1, 1);
        BeginOrtho();
        DrawText(title, static_cast<float>(titleX), VirtualHeight - 80);
        EndOrtho();
        ::SetBlend(BLEND_LIGHT);
    }
    return 0;
}
