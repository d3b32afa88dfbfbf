#include "app/radio.h"

#include <cstring>
#include <string>

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

#ifndef NEONARA_STATION_URL
#define NEONARA_STATION_URL "http://127.0.0.1:80/stream/1040"
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
    static const char* const url = NEONARA_STATION_URL;
    return String::FromCString(url);
}

bool IsStationURL(String* url) {
    constexpr int kLongest = 2048;
    int host = 0;  // where the host begins, after the scheme
    if (url->length > 7 && Equals(Slice(url, 0, 7)->ToLower(), u"http://"_s)) host = 7;
    if (url->length > 8 && Equals(Slice(url, 0, 8)->ToLower(), u"https://"_s)) host = 8;
    if (host == 0 || url->length <= host || url->length > kLongest) return false;
    if (url->Text()[host] == u'/' || url->Text()[host] == u':') return false;  // no host
    for (int i = 0; i < url->length; ++i) {
        char16_t c = url->Text()[i];
        if (c <= 32 || c >= 127) return false;
    }
    return true;
}

String* StationURL() {
    wchar_t text[2050] = L"";
    DWORD bytes = sizeof text - sizeof text[0];  // room for a terminator the value may lack
    DWORD type = 0;
    HKEY key = nullptr;
    bool read = RegOpenKeyExW(HKEY_CURRENT_USER, kStationKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS &&
                RegQueryValueExW(key, kStationValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) ==
                    ERROR_SUCCESS &&
                type == REG_SZ;
    if (key) RegCloseKey(key);
    if (read) {
        text[bytes / sizeof text[0]] = 0;
        String* chosen = String::FromWString(reinterpret_cast<const char16_t*>(text));
        if (IsStationURL(chosen)) return chosen;
    }
    return DefaultStreamURL();
}

String* StandbyTitle() { return u"...standby for artist/song info..."_s; }

namespace {

// The length of the UTF-8 sequence at bytes[i] with its code point in *code;
// 0 when the bytes there are not a valid shortest-form sequence of a scalar
// value, -1 when they start one that the end of the text cuts short.
int Utf8Sequence(const char16_t* bytes, int i, int length, uint32_t* code) {
    unsigned lead = bytes[i];
    if (lead < 0x80) return *code = lead, 1;
    int extra = lead >= 0xc2 && lead <= 0xdf ? 1 : lead >= 0xe0 && lead <= 0xef ? 2 : lead >= 0xf0 && lead <= 0xf4 ? 3 : 0;
    if (extra == 0) return 0;
    uint32_t value = lead & (0x3f >> extra);
    for (int k = 1; k <= extra; ++k) {
        if (i + k >= length) return -1;
        if ((bytes[i + k] & 0xc0) != 0x80) return 0;
        value = (value << 6) | (bytes[i + k] & 0x3f);
    }
    static const uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[extra] || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) return 0;
    *code = value;
    return 1 + extra;
}

void AppendCode(std::u16string& out, uint32_t code) {
    if (code >= 0x10000) {
        out += static_cast<char16_t>(0xd800 + ((code - 0x10000) >> 10));
        out += static_cast<char16_t>(0xdc00 + ((code - 0x10000) & 0x3ff));
    } else {
        out += static_cast<char16_t>(code);
    }
}

// Titles as stations send them: bytes (one character each) that are valid
// UTF-8 with at least one multi-byte sequence are read as UTF-8 (a sequence
// that the 201-byte limit cut short at the end is dropped); anything else
// stays one character per byte, so ASCII and Latin-1 titles are unchanged.
String* FromUtf8IfItIs(String* bytes) {
    std::u16string out;
    bool multiByte = false;
    for (int i = 0; i < bytes->length;) {
        uint32_t code = 0;
        int n = Utf8Sequence(bytes->Text(), i, bytes->length, &code);
        if (n == 0) return bytes;
        if (n < 0) break;
        multiByte = multiByte || n > 1;
        AppendCode(out, code);
        i += n;
    }
    if (!multiByte) return bytes;
    return String::FromShorts(out.data(), static_cast<int>(out.size()));
}

// Numeric character references (&#1046; and &#x416;), which Icecast writes
// for characters outside its charset, become their characters; anything that
// is not a complete reference to a scalar value stays as it is.
String* ResolveCharacterReferences(String* title) {
    if (title->Find(u"&#"_s) < 0) return title;
    const char16_t* t = title->Text();
    std::u16string out;
    for (int i = 0; i < title->length;) {
        int k = i + 2;
        bool hex = k < title->length && (t[k] == u'x' || t[k] == u'X');
        k += hex ? 1 : 0;
        uint32_t value = 0;
        int digits = 0;
        for (; k < title->length && digits < 7; ++k, ++digits) {
            char16_t c = t[k];
            int d = c >= u'0' && c <= u'9' ? c - u'0' : hex && c >= u'a' && c <= u'f' ? c - u'a' + 10
                                                      : hex && c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
            if (d < 0) break;
            value = value * (hex ? 16 : 10) + static_cast<uint32_t>(d);
        }
        bool reference = t[i] == u'&' && i + 1 < title->length && t[i + 1] == u'#' && digits > 0 &&
                         k < title->length && t[k] == u';' && value > 0 && value <= 0x10ffff &&
                         !(value >= 0xd800 && value <= 0xdfff);
        if (reference) {
            AppendCode(out, value);
            i = k + 1;
        } else {
            out += t[i++];
        }
    }
    return String::FromShorts(out.data(), static_cast<int>(out.size()));
}

String* DecodeTitle(String* bytes) { return ResolveCharacterReferences(FromUtf8IfItIs(bytes)); }

}  // namespace

String* TitleFromMetadata(const char* tags) {
    int length = static_cast<int>(strnlen(tags, kMetadataLimit));
    String* s = String::FromBytes(tags, length);
    int start = s->Find(u"StreamTitle='"_s);
    int stop = s->Find(u"Url"_s, start < 0 ? 0 : start);
    if (stop >= 0 || start < 0) {
        // The 8 characters before "Url" are "';Stream".
        return DecodeTitle(Slice(s, start + 13, stop - 8));
    }
    // Icecast writes only StreamTitle='X'; the title ends at "';".
    int from = start + 13;
    int end = s->Find(u"';"_s, from);
    return DecodeTitle(Slice(s, from, end < 0 ? s->length : end));
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
