// The radio's program side against a scripted stand-in of the library
// (tests/app/fakebass), loaded by path the way the program loads bass.dll.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <functional>
#include <string>

#include "app/bassbinding.h"
#include "app/globals.h"
#include "app/images.h"
#include "app/radio.h"
#include "app/scene.h"
#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/random.h"
#include "runtime/string.h"
#include "runtime/time.h"
#include "runtime/win32.h"
#include "stream/standardio.h"
#include "tests/app/output_capture.h"

namespace {

// Table positions of the functions the checks look at.
enum {
    kInit = 0, kPlay = 3, kFree = 4, kError = 5, kSetConfig = 15, kStreamFree = 16,
    kCreateURL = 17, kFilePos = 18, kVersion = 19, kTags = 20, kGetData = 21,
};

std::string ProgramFolder() {
    char path[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

std::string Utf8(String* s) {
    char* text = s->ToUtf8();
    std::string out(text);
    MemFreeBlock(text);
    return out;
}

// The stand-in's controls.
struct FakeBass {
    HMODULE module = nullptr;
    void(WINAPI* Reset)() = nullptr;
    void(WINAPI* SetAnswers)(DWORD version, DWORD init, DWORD stream, int error) = nullptr;
    void(WINAPI* QueueFilePosition)(DWORD value) = nullptr;
    void(WINAPI* SetTags)(const char* text) = nullptr;
    void(WINAPI* SetSpectrum)(const float* values, int count) = nullptr;
    int(WINAPI* Calls)(int index) = nullptr;
    DWORD(WINAPI* LastArg)(int index, int arg) = nullptr;
    const char*(WINAPI* LastURL)() = nullptr;

    template <class F>
    void Get(F& slot, const char* name) {
        slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
        ASSERT_NE(slot, nullptr) << name;
    }

    // Binds the program to the stand-in in `folder`; returns the names found.
    int Load(const char* folder) {
        std::string path = ProgramFolder() + folder + "\\bass.dll";
        int found = LoadRadioLibrary(path.c_str());
        module = GetModuleHandleA(path.c_str());
        if (!module) return found;
        Get(Reset, "FakeBass_Reset");
        Get(SetAnswers, "FakeBass_SetAnswers");
        Get(QueueFilePosition, "FakeBass_QueueFilePosition");
        Get(SetTags, "FakeBass_SetTags");
        Get(SetSpectrum, "FakeBass_SetSpectrum");
        Get(Calls, "FakeBass_Calls");
        Get(LastArg, "FakeBass_LastArg");
        Get(LastURL, "FakeBass_LastURL");
        Reset();
        return found;
    }

    void QueueReading(DWORD total, DWORD downloaded, DWORD consumed) {
        QueueFilePosition(total);
        QueueFilePosition(downloaded);
        QueueFilePosition(consumed);
    }
};

class Radio : public ::testing::Test {
protected:
    // The radio bar is an image effect: the effects' state starts first.
    void SetUp() override {
        StartImagesModule();
        ASSERT_EQ(fake.Load("fakebass"), kBassFunctionCount);
    }
    // The radio bars made here leave the shared effect list as it was.
    void TearDown() override {
        BufferingTimeLimit = savedLimit;
        ImageList->Clear();
    }

    // A radio with a stream handle of 7 that the stand-in knows.
    TBass* Playing(const char* tags) {
        TBass* bass = TBass::Create();
        bass->stream = 7;
        fake.SetTags(tags);
        return bass;
    }

    FakeBass fake;
    int savedLimit = BufferingTimeLimit;
};

}  // namespace

// ---- the binding ----

TEST(BassBinding, NamesFollowTheLibraryTable) {
    EXPECT_STREQ(BassFunctionName(0), "BASS_Init");
    EXPECT_STREQ(BassFunctionName(4), "BASS_Free");
    EXPECT_STREQ(BassFunctionName(17), "BASS_StreamCreateURL");
    EXPECT_STREQ(BassFunctionName(21), "BASS_ChannelGetData");
    EXPECT_STREQ(BassFunctionName(22), "");
}

TEST_F(Radio, BoundSlotsCallTheLibrary) {
    fake.SetAnswers(0x00020002, 1, 0, 41);
    EXPECT_EQ(BASS_GetVersion(), 0x00020002u);
    EXPECT_EQ(BASS_ErrorGetCode(), 41);
    BASS_Free();
    EXPECT_EQ(fake.Calls(kFree), 1);
}

TEST_F(Radio, StartUpMakesRunFreeTheLibrary) {
    StartBassBindingModule();  // loads the program folder's bass.dll, if any
    fake.Load("fakebass");     // then binds the stand-in again
    ReleaseRadioLibrary();
    EXPECT_EQ(fake.Calls(kFree), 1);
}

// A missing library answers like one that reports failure, and nothing
// calls through a null pointer.
TEST(BassBindingMissing, MissingLibraryReportsFailure) {
    StartImagesModule();
    EXPECT_EQ(LoadRadioLibrary("no-such-folder\\bass.dll"), 0);
    EXPECT_EQ(BASS_GetVersion(), 0u);
    EXPECT_EQ(BASS_Init(1, 44100, 0, nullptr, nullptr), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), -1);
    EXPECT_EQ(BASS_ChannelGetTags(0, 5), nullptr);
    EXPECT_EQ(BASS_StreamGetFilePosition(0, 2), 0xFFFFFFFFu);

    TBass* bass = TBass::Create();
    EXPECT_EQ(bass->initialised, 0);
    std::string out = CaptureOutput([&] { EXPECT_EQ(bass->PlayURL(DefaultStreamURL()), 0); });
    EXPECT_EQ(out, "No Channel - -1\r\n");
    Array* fft = bass->GetFFT();
    ASSERT_EQ(fft->Length(), 512);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(fft->DataAs<float>()[i], 0.0f);
    out = CaptureOutput([&] { bass->UpdateTitle(); });
    EXPECT_EQ(out, "Icy = null - -1\r\n");
    ReleaseRadioLibrary();  // must not crash whichever routine is installed
    ImageList->Clear();
}

TEST(BassBindingMissing, MissingNamesReportFailure) {
    std::string path = ProgramFolder() + "fakebass-partial\\bass.dll";
    EXPECT_EQ(LoadRadioLibrary(path.c_str()), kBassFunctionCount - 2);
    EXPECT_NE(BASS_Init(1, 44100, 0, nullptr, nullptr), 0);  // present: the stand-in answers 1
    TBass* bass = new TBass();
    std::string out = CaptureOutput([&] { EXPECT_EQ(bass->PlayURL(DefaultStreamURL()), 0); });
    EXPECT_EQ(out, "No Channel - -1\r\n");
}

// ---- TBass ----

TEST_F(Radio, CreateStartsTheOutputAndTurnsOffPrebuffering) {
    TBass* bass = TBass::Create();
    EXPECT_EQ(bass->initialised, 1);
    EXPECT_EQ(bass->stream, 0);
    EXPECT_EQ(Utf8(bass->title), "");
    EXPECT_EQ(fake.LastArg(kInit, 0), 1u);
    EXPECT_EQ(fake.LastArg(kInit, 1), 44100u);
    EXPECT_EQ(fake.LastArg(kInit, 2), 0u);
    EXPECT_EQ(fake.Calls(kSetConfig), 1);
    EXPECT_EQ(fake.LastArg(kSetConfig, 0), 15u);
    EXPECT_EQ(fake.LastArg(kSetConfig, 1), 0u);
}

TEST_F(Radio, FailedInitSkipsTheConfiguration) {
    fake.SetAnswers(0x00020002, 0, 0, 8);
    TBass* bass = TBass::Create();
    EXPECT_EQ(bass->initialised, 0);
    EXPECT_EQ(fake.Calls(kSetConfig), 0);
}

TEST_F(Radio, VersionLine) {
    fake.SetAnswers(0x00020003, 1, 0, 0);
    // The version line comes first, then the radio bar's file line.
    EXPECT_EQ(CaptureOutput([] { TBass::Create(); }),
              "BASS version 2.2 was not loaded\r\nszfile=incbin::radiobar.png\r\n");
    fake.SetAnswers(0x00020002, 1, 0, 0);
    EXPECT_EQ(CaptureOutput([] { TBass::Create(); }), "szfile=incbin::radiobar.png\r\n");
}

TEST_F(Radio, DefaultStreamURLIsTheStationOnPort80) {
    std::string url = Utf8(DefaultStreamURL());
    EXPECT_EQ(url.rfind("http://", 0), 0u);
    EXPECT_NE(url.find(":80/stream/1040"), std::string::npos);
    EXPECT_EQ(url.substr(url.size() - 12), "/stream/1040");
}

TEST_F(Radio, NoChannelPrintsTheErrorCode) {
    fake.SetAnswers(0x00020002, 1, 0, 32);
    TBass* bass = TBass::Create();
    std::string out = CaptureOutput([&] { EXPECT_EQ(bass->PlayURL(u"http://x/stream/1040"_s), 0); });
    EXPECT_EQ(out, "No Channel - 32\r\n");
    EXPECT_EQ(fake.Calls(kStreamFree), 1);
    EXPECT_EQ(fake.LastArg(kStreamFree, 0), 0u);
    EXPECT_STREQ(fake.LastURL(), "http://x/stream/1040");
    EXPECT_EQ(fake.LastArg(kCreateURL, 1), 0u);
    EXPECT_EQ(fake.LastArg(kCreateURL, 2), 0xC00000u);
    EXPECT_EQ(fake.Calls(kPlay), 0);
}

TEST_F(Radio, SeventySixPercentEndsTheWaitAndPlays) {
    fake.SetAnswers(0x00020002, 1, 9, 0);
    fake.QueueReading(65536, 50000, 0);
    fake.SetTags("StreamTitle='A - B';StreamUrl='';");
    TBass* bass = TBass::Create();
    EXPECT_EQ(CaptureOutput([&] { EXPECT_EQ(bass->PlayURL(DefaultStreamURL()), 1); }), "");
    EXPECT_EQ(fake.Calls(kFilePos), 3);
    EXPECT_EQ(fake.LastArg(kFilePos, 1), 0u);  // the last reading is the decoding position
    EXPECT_EQ(bass->stream, 9);
    EXPECT_EQ(Utf8(bass->title), "A - B");
    EXPECT_EQ(bass->titleX, 1024);
    EXPECT_EQ(fake.Calls(kPlay), 1);
    EXPECT_EQ(fake.LastArg(kPlay, 0), 9u);
    EXPECT_EQ(fake.LastArg(kPlay, 1), 0u);
}

TEST_F(Radio, SeventyFivePercentWaitsForAnotherReading) {
    fake.SetAnswers(0x00020002, 1, 9, 0);
    fake.QueueReading(65536, 49152, 0);
    fake.QueueReading(65536, 50000, 0);
    TBass* bass = TBass::Create();
    EXPECT_EQ(bass->PlayURL(DefaultStreamURL()), 1);
    EXPECT_EQ(fake.Calls(kFilePos), 6);
    EXPECT_EQ(fake.Calls(kPlay), 1);
}

TEST_F(Radio, ConsumedBytesCountAgainstTheBuffer) {
    fake.SetAnswers(0x00020002, 1, 9, 0);
    fake.QueueReading(1000, 900, 200);  // 70 %
    fake.QueueReading(1000, 1000, 230);  // 77 %
    EXPECT_EQ(TBass::Create()->PlayURL(DefaultStreamURL()), 1);
    EXPECT_EQ(fake.Calls(kFilePos), 6);
}

TEST_F(Radio, TotalOfMinusOneGivesUp) {
    fake.SetAnswers(0x00020002, 1, 9, 0);
    fake.QueueReading(0xFFFFFFFFu, 0, 0);
    TBass* bass = TBass::Create();
    std::string out = CaptureOutput([&] { EXPECT_EQ(bass->PlayURL(DefaultStreamURL()), 0); });
    EXPECT_EQ(out, "Lenn == -1\r\n");
    EXPECT_EQ(fake.Calls(kPlay), 0);
}

// A stalled station (nothing arrives, or a total of 0) ends the wait at the
// time limit instead of freezing the saver; the stream then plays.
TEST_F(Radio, StalledStationEndsAtTheTimeLimit) {
    // Long enough to ask more than once (every 50 ms) however slowly a loaded
    // machine gets through one round.
    BufferingTimeLimit = 2000;
    fake.SetAnswers(0x00020002, 1, 9, 0);
    fake.QueueReading(0, 0, 0);  // repeats: a total of 0 must not divide
    TBass* bass = TBass::Create();
    int start = MilliSecs();
    EXPECT_EQ(bass->PlayURL(DefaultStreamURL()), 1);
    EXPECT_GE(MilliSecs() - start, BufferingTimeLimit);
    EXPECT_GE(fake.Calls(kFilePos), 6);
    EXPECT_EQ(fake.Calls(kPlay), 1);
}

TEST_F(Radio, SecondStreamFreesTheFirst) {
    fake.SetAnswers(0x00020002, 1, 9, 0);
    fake.QueueReading(100, 100, 0);
    TBass* bass = TBass::Create();
    bass->PlayURL(DefaultStreamURL());
    fake.SetAnswers(0x00020002, 1, 0, 2);
    CaptureOutput([&] { bass->PlayURL(DefaultStreamURL()); });
    EXPECT_EQ(fake.Calls(kStreamFree), 2);
    EXPECT_EQ(fake.LastArg(kStreamFree, 0), 9u);
}

TEST_F(Radio, GetFFTCopiesTheSpectrumAndLeavesTheRest) {
    float values[256];
    for (int i = 0; i < 256; ++i) values[i] = 0.5f + i;
    fake.SetSpectrum(values, 256);
    TBass* bass = Playing(nullptr);
    Array* fft = bass->GetFFT();
    ASSERT_EQ(fft->Length(), 512);
    EXPECT_STREQ(fft->type, "f");
    EXPECT_EQ(fake.LastArg(kGetData, 0), 7u);
    EXPECT_EQ(fake.LastArg(kGetData, 2), 0x80000000u);
    EXPECT_EQ(fft->DataAs<float>()[0], 0.5f);
    EXPECT_EQ(fft->DataAs<float>()[255], 255.5f);
    EXPECT_EQ(fft->DataAs<float>()[256], 0.0f);
    EXPECT_EQ(fft->DataAs<float>()[511], 0.0f);
}

// ---- the title ----

TEST(TitleSlicing, StreamUrlFollowsTheTitle) {
    EXPECT_EQ(Utf8(TitleFromMetadata("StreamTitle='Artist - Song';StreamUrl='';")), "Artist - Song");
    EXPECT_EQ(Utf8(TitleFromMetadata("StreamTitle='X';StreamUrl='http://a/';")), "X");
}

TEST(TitleSlicing, IcecastTitleWithoutUrl) {
    EXPECT_EQ(Utf8(TitleFromMetadata("StreamTitle='Artist - Song';")), "Artist - Song");
    EXPECT_EQ(Utf8(TitleFromMetadata("StreamTitle='A';B';")), "A");  // up to the first closing
    EXPECT_EQ(Utf8(TitleFromMetadata("StreamTitle='cut off")), "cut off");
    EXPECT_EQ(Utf8(TitleFromMetadata("StreamTitle='';")), "");
}

TEST(TitleSlicing, NoStreamTitleGivesNothing) {
    EXPECT_EQ(Utf8(TitleFromMetadata("")), "");
    EXPECT_EQ(Utf8(TitleFromMetadata("Something='else';")), "");
}

TEST(TitleSlicing, OnlyTheFirst201BytesCount) {
    std::string longTitle(250, 'a');
    std::string tags = "StreamTitle='" + longTitle + "';StreamUrl='';";
    // "Url" lies beyond the 201 bytes: the Icecast rule takes all that is left.
    EXPECT_EQ(Utf8(TitleFromMetadata(tags.c_str())), std::string(201 - 13, 'a'));
    // A title ending just inside the limit keeps its StreamUrl slicing.
    std::string fits = "StreamTitle='" + std::string(170, 'b') + "';StreamUrl='';" + std::string(100, 'z');
    EXPECT_EQ(Utf8(TitleFromMetadata(fits.c_str())), std::string(170, 'b'));
}

TEST(TitleSlicing, BytesBecomeCharactersOneToOne) {
    String* title = TitleFromMetadata("StreamTitle='Caf\xE9';");
    ASSERT_EQ(title->length, 4);
    EXPECT_EQ(title->Text()[3], 0xE9);
}

TEST(TitleSlicing, Utf8TitlesAreReadAsUtf8AndOthersStayByteForByte) {
    EXPECT_EQ(Utf8(TitleFromMetadata("StreamTitle='Caf\xC3\xA9 Noir - \xC3\x89t\xC3\xA9 (\xD0\x96\xD0\xB8\xD0\xB2"
                                     "\xD0\xBE\xD0\xB9 \xD0\xB7\xD0\xB2\xD1\x83\xD0\xBA)';")),
              "Caf\u00e9 Noir - \u00c9t\u00e9 (\u0416\u0438\u0432\u043e\u0439 \u0437\u0432\u0443\u043a)");
    EXPECT_EQ(Utf8(TitleFromMetadata("StreamTitle='\xF0\x9F\x8E\xB5 Song';")), "\U0001F3B5 Song");
    // Not UTF-8 (a lone continuation byte, an overlong form, a surrogate): one character a byte.
    EXPECT_EQ(TitleFromMetadata("StreamTitle='\xC3\xA9\xA9';")->length, 3);
    EXPECT_EQ(TitleFromMetadata("StreamTitle='\xC0\xAF';")->length, 2);
    EXPECT_EQ(TitleFromMetadata("StreamTitle='\xED\xA0\x80';")->length, 3);
    // The slicing still counts bytes; a sequence the limit cuts short goes
    // when the rest is UTF-8, and a title with no whole sequence stays bytes.
    std::string cut = "StreamTitle='" + std::string(187, 'a') + "\xD0\x96";
    EXPECT_EQ(Utf8(TitleFromMetadata(cut.c_str())), std::string(187, 'a') + "\u00d0");
    cut = "StreamTitle='\xD0\x96" + std::string(185, 'a') + "\xD0\x96";
    EXPECT_EQ(Utf8(TitleFromMetadata(cut.c_str())), "\u0416" + std::string(185, 'a'));
}

TEST(TitleSlicing, NumericCharacterReferencesBecomeCharacters) {
    EXPECT_EQ(Utf8(TitleFromMetadata("StreamTitle='&#1046;&#1080;&#x432;&#X43E;&#1081; - A&amp;B';")),
              "\u0416\u0438\u0432\u043e\u0439 - A&amp;B");
    // Incomplete or out of range: kept as they are.
    EXPECT_EQ(Utf8(TitleFromMetadata("StreamTitle='&#; &#12 &#x; &#55296; &#99999999; &#0;';")),
              "&#; &#12 &#x; &#55296; &#99999999; &#0;");
}

TEST(Station, TheUsersChoiceWhenValidElseTheBuilds) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kStationKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    auto choose = [&](const wchar_t* url) {
        RegSetValueExW(key, kStationValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(url),
                       static_cast<DWORD>((wcslen(url) + 1) * sizeof(wchar_t)));
    };
    choose(L"HTTP://radio.example:8000/live?x=1");
    EXPECT_EQ(Utf8(StationURL()), "HTTP://radio.example:8000/live?x=1");
    choose(L"https://radio.example/ogg");
    EXPECT_EQ(Utf8(StationURL()), "https://radio.example/ogg");
    for (const wchar_t* bad : {L"ftp://radio.example/", L"http://", L"https://", L"http:///path", L"https://:1/",
                               L"http://a b/", L"radio.example"}) {
        choose(bad);
        EXPECT_TRUE(Equals(StationURL(), DefaultStreamURL())) << Utf8(String::FromWString(
            reinterpret_cast<const char16_t*>(bad)));
    }
    RegDeleteValueW(key, kStationValue);
    RegCloseKey(key);
    EXPECT_TRUE(Equals(StationURL(), DefaultStreamURL()));
    EXPECT_EQ(Utf8(DefaultStreamURL()).rfind("http://", 0), 0u);
}

TEST_F(Radio, NewTitleRestartsTheScrollAndDrawsASpriteIndex) {
    TBass* bass = Playing("StreamTitle='One';StreamUrl='';");
    bass->titleX = 12;
    SeedRnd(1234);
    int expected = Rand(1, 7);
    SeedRnd(1234);
    SpriteIndex = 0;
    bass->UpdateTitle();
    EXPECT_EQ(Utf8(bass->title), "One");
    EXPECT_EQ(bass->titleX, 1024);
    EXPECT_EQ(SpriteIndex, expected);
    EXPECT_EQ(fake.LastArg(kTags, 0), 7u);
    EXPECT_EQ(fake.LastArg(kTags, 1), 5u);
}

TEST_F(Radio, CreateMakesTheTintedBarThatFadesInLater) {
    int before = MilliSecs();
    TBass* bass = TBass::Create();
    TSplash* bar = bass->radioBar;
    ASSERT_FALSE(IsNull(bar));
    EXPECT_TRUE(ImageList->Contains(bar));
    EXPECT_FALSE(IsNull(bar->image));
    EXPECT_EQ(bar->x, 512.0f);
    EXPECT_EQ(bar->y, 708.0f);
    EXPECT_EQ(bar->alpha, 0.0f);
    EXPECT_EQ(bar->scaleX, 20.0f);
    EXPECT_EQ(bar->scaleY, 1.0f);
    EXPECT_EQ(bar->blend, 3);
    EXPECT_EQ(bar->fading, 1);
    EXPECT_EQ(bar->fadeFlag, 0);
    EXPECT_GE(bar->fadeTime, before + 5000);
    EXPECT_LE(bar->fadeTime, MilliSecs() + 5000);
    EXPECT_EQ(bar->red, TintRed);
    EXPECT_EQ(bar->green, TintGreen);
    EXPECT_EQ(bar->blue, TintBlue);
}

TEST_F(Radio, NewTitleRestartsTheBarsFadeButTheSameTitleDoesNot) {
    TBass* bass = Playing("StreamTitle='One';StreamUrl='';");
    TSplash* bar = bass->radioBar;
    bar->fading = 0;
    bar->alpha = 0.5f;
    bass->UpdateTitle();
    EXPECT_EQ(bar->fading, 1);
    EXPECT_EQ(bar->alpha, 0.0f);
    EXPECT_EQ(bar->fadeFlag, 0);
    EXPECT_EQ(bar->hold, 22);
    EXPECT_LE(bar->fadeTime, MilliSecs());
    bar->alpha = 0.5f;
    bass->UpdateTitle();  // the same title again
    EXPECT_EQ(bar->alpha, 0.5f);
}

TEST_F(Radio, DrawPollsTheTitleOnOddFramesAndStopsTheScrollAt12) {
    TBass* bass = Playing("StreamTitle='One';StreamUrl='';");
    OddFrame = 0;
    bass->Draw();
    EXPECT_EQ(Utf8(bass->title), "");  // even frame: no poll
    EXPECT_EQ(bass->titleX, 12);       // 0 - 4 is below the stop
    OddFrame = 1;
    bass->Draw();
    EXPECT_EQ(Utf8(bass->title), "One");
    EXPECT_EQ(bass->titleX, 1020);  // restarted at 1024, then one step
    EXPECT_EQ(bass->phase, 1.0f);   // the odd frame only
    OddFrame = 0;
}

TEST_F(Radio, SameTitleChangesNothing) {
    TBass* bass = Playing("StreamTitle='One';");
    bass->UpdateTitle();
    bass->titleX = 40;
    SpriteIndex = 99;
    int seed = RndSeed();
    bass->UpdateTitle();
    EXPECT_EQ(bass->titleX, 40);
    EXPECT_EQ(SpriteIndex, 99);
    EXPECT_EQ(RndSeed(), seed);  // no draw
}

TEST_F(Radio, EmptyCandidateReplacesAShownTitleOnce) {
    TBass* bass = Playing("StreamTitle='One';");
    bass->UpdateTitle();
    fake.SetTags("Something='else';");
    bass->titleX = 40;
    bass->UpdateTitle();
    EXPECT_EQ(Utf8(bass->title), "");
    EXPECT_EQ(bass->titleX, 1024);
    bass->titleX = 40;
    bass->UpdateTitle();
    EXPECT_EQ(bass->titleX, 40);
}

TEST_F(Radio, MissingMetadataKeepsTheTitleAndPrintsTheCode) {
    TBass* bass = Playing("StreamTitle='One';");
    bass->UpdateTitle();
    fake.SetTags(nullptr);
    fake.SetAnswers(0x00020002, 1, 0, 37);
    bass->titleX = 40;
    std::string out = CaptureOutput([&] { bass->UpdateTitle(); bass->UpdateTitle(); });
    EXPECT_EQ(out, "Icy = null - 37\r\nIcy = null - 37\r\n");
    EXPECT_EQ(Utf8(bass->title), "One");
    EXPECT_EQ(bass->titleX, 40);
}

TEST_F(Radio, StandbyTextNeverBecomesTheTitle) {
    TBass* bass = Playing("StreamTitle='...standby for artist/song info...';");
    bass->UpdateTitle();
    EXPECT_EQ(Utf8(bass->title), "");
}

TEST_F(Radio, PhaseAdvancesPerPollAndWraps) {
    TBass* bass = Playing("StreamTitle='One';");
    bass->UpdateTitle();
    EXPECT_EQ(bass->phase, 1.0f);
    bass->phase = 360.0f;
    bass->UpdateTitle();
    EXPECT_EQ(bass->phase, 1.0f);
    bass->phase = 359.0f;
    bass->UpdateTitle();
    EXPECT_EQ(bass->phase, 360.0f);
}

TEST_F(Radio, TitleSurvivesCollections) {
    TBass* bass = Playing("StreamTitle='Kept';");
    RetainObject(bass);
    bass->UpdateTitle();
    CollectMemory();
    EXPECT_EQ(Utf8(bass->title), "Kept");
    ReleaseObject(bass);
}
