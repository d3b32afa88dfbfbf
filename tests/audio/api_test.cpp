// bass.dll through its exports: the engine's life cycle, configuration,
// error codes, and local MP3 streams played on the "no sound" device.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/audio/bass_test_support.h"

using namespace bass_test;

namespace {

TEST(Exports, AllNamesResolveAndTheVersionIsTwoPointTwo) {
    ASSERT_NE(Bass().module, nullptr) << "LoadLibraryA(\"bass.dll\") failed";
    EXPECT_EQ(Bass().missing, 0);
    ASSERT_NE(Bass().GetVersion, nullptr);
    EXPECT_EQ(Bass().GetVersion(), 0x00020002u);
}

class Engine : public BassTest {};

TEST_F(Engine, FreeWithoutInitFails) {
    EXPECT_FALSE(Bass().Free());
    EXPECT_EQ(Bass().ErrorGetCode(), 8);
}

TEST_F(Engine, SecondInitIsRefusedUntilFree) {
    ASSERT_TRUE(Bass().Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(Bass().ErrorGetCode(), 0);
    EXPECT_FALSE(Bass().Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(Bass().ErrorGetCode(), 14);
    EXPECT_TRUE(Bass().Free());
    EXPECT_TRUE(Bass().Init(0, 44100, 0, nullptr, nullptr));
}

TEST_F(Engine, UnknownDevicesAndRatesAreRefused) {
    EXPECT_FALSE(Bass().Init(99, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(Bass().ErrorGetCode(), 23);
    EXPECT_FALSE(Bass().Init(-2, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(Bass().ErrorGetCode(), 23);
    EXPECT_FALSE(Bass().Init(0, 500000, 0, nullptr, nullptr));
    EXPECT_EQ(Bass().ErrorGetCode(), 25);
}

TEST_F(Engine, StreamsNeedInit) {
    EXPECT_EQ(Bass().StreamCreateURL(kStationUrl, 0, kMetaAndStatus, nullptr, 0), 0u);
    EXPECT_EQ(Bass().ErrorGetCode(), 8);
    EXPECT_EQ(Bass().StreamCreateFile(FALSE, "x.mp3", 0, 0, 0), 0u);
    EXPECT_EQ(Bass().ErrorGetCode(), 8);
    EXPECT_EQ(Bass().MusicLoad(FALSE, "x.mod", 0, 0, 0, 44100), 0u);
    EXPECT_EQ(Bass().ErrorGetCode(), 8);
    EXPECT_FALSE(Bass().ChannelPlay(0x10001, FALSE));
    EXPECT_EQ(Bass().ErrorGetCode(), 8);
}

TEST_F(Engine, ConfigurationOptionsAndTheirRanges) {
    EXPECT_EQ(Bass().SetConfig(15, 0), 0u);
    EXPECT_EQ(Bass().ErrorGetCode(), 0);
    EXPECT_EQ(Bass().SetConfig(15, 100), 100u);
    EXPECT_EQ(Bass().SetConfig(15, 101), 0xFFFFFFFFu);
    EXPECT_EQ(Bass().ErrorGetCode(), 20);
    EXPECT_EQ(Bass().SetConfig(11, 50), 0xFFFFFFFFu);  // a time-out below 100 ms
    EXPECT_EQ(Bass().ErrorGetCode(), 20);
    EXPECT_EQ(Bass().SetConfig(12, 2000), 2000u);
    EXPECT_EQ(Bass().SetConfig(0, 300), 300u);
    EXPECT_EQ(Bass().SetConfig(99, 1), 0xFFFFFFFFu);
    EXPECT_EQ(Bass().ErrorGetCode(), 20);
}

TEST_F(Engine, UnknownHandlesAnswerWithErrorFive) {
    ASSERT_TRUE(Bass().Init(0, 44100, 0, nullptr, nullptr));
    const DWORD bogus = 12345;
    EXPECT_FALSE(Bass().ChannelPlay(bogus, FALSE));
    EXPECT_EQ(Bass().ErrorGetCode(), 5);
    EXPECT_EQ(Bass().ChannelIsActive(bogus), 0u);
    EXPECT_EQ(Bass().ChannelGetTags(bogus, 5), nullptr);
    EXPECT_EQ(Bass().ErrorGetCode(), 5);
    float bins[512] = {};
    EXPECT_EQ(Bass().ChannelGetData(bogus, bins, kFft512), 0xFFFFFFFFu);
    EXPECT_EQ(Bass().StreamGetFilePosition(bogus, 2), 0xFFFFFFFFu);
    EXPECT_EQ(Bass().ErrorGetCode(), 5);
    // The saver frees stream 0 before its first stream: a harmless failure.
    EXPECT_FALSE(Bass().StreamFree(0));
    EXPECT_EQ(Bass().ErrorGetCode(), 5);
    for (float b : bins) EXPECT_EQ(b, 0.0f);
}

TEST_F(Engine, TrackerModulesAreNotAvailable) {
    ASSERT_TRUE(Bass().Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(Bass().MusicLoad(FALSE, Media("tone.mp3").c_str(), 0, 0, 0, 44100), 0u);
    EXPECT_EQ(Bass().ErrorGetCode(), 37);
}

class FileStream : public BassTest {
protected:
    void SetUp() override {
        BassTest::SetUp();
        ASSERT_TRUE(Bass().Init(0, 44100, 0, nullptr, nullptr));
    }
    DWORD Open(const char* name) {
        DWORD h = Bass().StreamCreateFile(FALSE, Media(name).c_str(), 0, 0, 0);
        EXPECT_NE(h, 0u) << name << ": error " << Bass().ErrorGetCode();
        return h;
    }
    static void LevelOf(DWORD h, int* left, int* right) {
        DWORD level = Bass().ChannelGetLevel(h);
        *left = static_cast<int>(level & 0xFFFF);
        *right = static_cast<int>(level >> 16);
    }
};

TEST_F(FileStream, MissingAndForeignFilesFail) {
    EXPECT_EQ(Bass().StreamCreateFile(FALSE, Media("no-such-file.mp3").c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(Bass().ErrorGetCode(), 2);
    EXPECT_EQ(Bass().StreamCreateFile(FALSE, Media("not-audio.txt").c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(Bass().ErrorGetCode(), 41);
    EXPECT_EQ(Bass().StreamCreateFile(FALSE, nullptr, 0, 0, 0), 0u);
    EXPECT_EQ(Bass().ErrorGetCode(), 20);
    EXPECT_EQ(Bass().StreamCreateFile(FALSE, Media("tone.mp3").c_str(), 0, 0, 0x200000), 0u);
    EXPECT_EQ(Bass().ErrorGetCode(), 20);
}

TEST_F(FileStream, LengthRateAndFilePositions) {
    DWORD h = Open("tone.mp3");
    ASSERT_NE(h, 0u);
    // Four seconds of 44.1 kHz stereo, give or take a frame of the encoder.
    EXPECT_NEAR(Seconds(Bass().StreamGetLength(h)), 4.0, 0.03);
    DWORD freq = 0, volume = 0;
    int pan = 7;
    ASSERT_TRUE(Bass().ChannelGetAttributes(h, &freq, &volume, &pan));
    EXPECT_EQ(freq, 44100u);
    EXPECT_EQ(volume, 100u);
    EXPECT_EQ(pan, 0);
    std::ifstream file(Media("tone.mp3"), std::ios::binary | std::ios::ate);
    EXPECT_EQ(Bass().StreamGetFilePosition(h, 2), static_cast<DWORD>(file.tellg()));
    EXPECT_EQ(Bass().StreamGetFilePosition(h, 1), static_cast<DWORD>(file.tellg()));
    EXPECT_LT(Bass().StreamGetFilePosition(h, 0), static_cast<DWORD>(file.tellg()));
    EXPECT_EQ(Bass().StreamGetFilePosition(h, 7), 0xFFFFFFFFu);
    EXPECT_EQ(Bass().ErrorGetCode(), 20);
    EXPECT_EQ(Bass().ChannelGetTags(h, 5), nullptr);
    EXPECT_EQ(Bass().ErrorGetCode(), 37);
    EXPECT_EQ(Bass().ChannelIsActive(h), 0u);
    EXPECT_TRUE(Bass().StreamFree(h));
    EXPECT_FALSE(Bass().StreamFree(h));
    EXPECT_EQ(Bass().ErrorGetCode(), 5);
}

TEST_F(FileStream, PlaysWithSpectrumAndLevelOfWhatIsPlaying) {
    DWORD h = Open("tone.mp3");
    ASSERT_NE(h, 0u);
    // Nothing played yet: the spectrum is silent.
    std::vector<float> before = Fft(h);
    for (int k = 0; k < 256; ++k) EXPECT_EQ(before[k], 0.0f) << k;
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    EXPECT_EQ(Bass().ChannelIsActive(h), 1u);
    ASSERT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > 0.5; }));
    // The tone sits at the centre of bin 10 with amplitude 0.5.
    std::vector<float> bins = Fft(h);
    EXPECT_EQ(Loudest(bins), 10);
    EXPECT_NEAR(bins[10], 0.5, 0.05);
    EXPECT_LT(bins[40], 0.01);
    for (int k = 256; k < 512; ++k) EXPECT_EQ(bins[k], 0.0f) << "element " << k << " must stay as it was";
    int left = 0, right = 0;
    LevelOf(h, &left, &right);
    EXPECT_NEAR(left, 16384, 1500);
    EXPECT_NEAR(right, 16384, 1500);
    short pcm[2048];
    EXPECT_EQ(Bass().ChannelGetData(h, pcm, sizeof pcm), static_cast<DWORD>(sizeof pcm));
    int peak = 0;
    for (short s : pcm) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_GT(peak, 12000);
    EXPECT_EQ(Bass().ChannelGetData(h, pcm, 0x80000001), 0xFFFFFFFFu);  // other FFT sizes: not offered
    EXPECT_EQ(Bass().ErrorGetCode(), 20);
}

TEST_F(FileStream, PauseHoldsThePositionAndPlayResumes) {
    DWORD h = Open("tone.mp3");
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > 0.3; }));
    ASSERT_TRUE(Bass().ChannelPause(h));
    EXPECT_EQ(Bass().ChannelIsActive(h), 3u);
    QWORD held = Bass().ChannelGetPosition(h);
    Sleep(300);
    EXPECT_EQ(Bass().ChannelGetPosition(h), held);
    EXPECT_EQ(Bass().ChannelGetLevel(h), 0xFFFFFFFFu);
    EXPECT_EQ(Bass().ErrorGetCode(), 24);
    EXPECT_FALSE(Bass().ChannelPause(h));
    EXPECT_EQ(Bass().ErrorGetCode(), 24);
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Bass().ChannelGetPosition(h) > held; }));
    ASSERT_TRUE(Bass().ChannelStop(h));
    EXPECT_EQ(Bass().ChannelIsActive(h), 0u);
}

TEST_F(FileStream, VolumeAndPanScaleTheOutput) {
    DWORD h = Open("tone.mp3");
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(Bass().ChannelSetAttributes(h, -1, 50, -101));
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > 0.3; }));
    int left = 0, right = 0;
    LevelOf(h, &left, &right);
    EXPECT_NEAR(left, 8192, 1000);
    EXPECT_NEAR(right, 8192, 1000);
    DWORD volume = 0;
    int pan = 0;
    ASSERT_TRUE(Bass().ChannelGetAttributes(h, nullptr, &volume, &pan));
    EXPECT_EQ(volume, 50u);
    // Fully right: the left channel falls silent once the queued audio played.
    ASSERT_TRUE(Bass().ChannelSetAttributes(h, 0, 100, 100));
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] {
        LevelOf(h, &left, &right);
        return left == 0 && right > 12000;
    })) << left << " " << right;
    EXPECT_FALSE(Bass().ChannelSetAttributes(h, -1, 101, -101));
    EXPECT_EQ(Bass().ErrorGetCode(), 20);
    EXPECT_FALSE(Bass().ChannelSetAttributes(h, -1, -1, 101));
    EXPECT_EQ(Bass().ErrorGetCode(), 20);
    EXPECT_FALSE(Bass().ChannelSetAttributes(h, 12345, -1, -101));
    EXPECT_EQ(Bass().ErrorGetCode(), 37);
    ASSERT_TRUE(Bass().ChannelGetAttributes(h, nullptr, &volume, &pan));
    EXPECT_EQ(volume, 100u);  // refused calls changed nothing
    EXPECT_EQ(pan, 100);
}

TEST_F(FileStream, SeeksWithinTheFileOnly) {
    DWORD h = Open("tone.mp3");
    ASSERT_NE(h, 0u);
    QWORD length = Bass().StreamGetLength(h);
    ASSERT_TRUE(Bass().ChannelSetPosition(h, 2 * 176400));
    EXPECT_NEAR(Seconds(Bass().ChannelGetPosition(h)), 2.0, 0.01);
    EXPECT_FALSE(Bass().ChannelSetPosition(h, length + 4 * 44100));
    EXPECT_EQ(Bass().ErrorGetCode(), 20);
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > 2.2; }));
    ASSERT_TRUE(Bass().ChannelPlay(h, TRUE));  // restart: from the beginning
    EXPECT_LT(Seconds(Bass().ChannelGetPosition(h)), 1.0);
}

TEST_F(FileStream, EndsThenPlaysAgainFromTheStart) {
    DWORD h = Open("tone.mp3");
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(Bass().ChannelSetPosition(h, Bass().StreamGetLength(h) - 176400 / 4));
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitFor(kWaitLimitMs, [&] { return Bass().ChannelIsActive(h) == 0; }));
    EXPECT_NEAR(Seconds(Bass().ChannelGetPosition(h)), 4.0, 0.05);
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    EXPECT_EQ(Bass().ChannelIsActive(h), 1u);
    EXPECT_LT(Seconds(Bass().ChannelGetPosition(h)), 1.0);
}

TEST_F(FileStream, MemoryStreamsCopyTheirBytes) {
    std::ifstream file(Media("tone.mp3"), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 1000u);
    DWORD h = Bass().StreamCreateFile(TRUE, bytes.data(), 0, static_cast<DWORD>(bytes.size()), 0);
    ASSERT_NE(h, 0u) << Bass().ErrorGetCode();
    // The caller's memory is gone: the stream must not depend on it.
    std::fill(bytes.begin(), bytes.end(), 0);
    bytes.clear();
    bytes.shrink_to_fit();
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > 0.3; }));
    EXPECT_EQ(Loudest(Fft(h)), 10);
    EXPECT_EQ(Bass().StreamCreateFile(TRUE, nullptr, 0, 100, 0), 0u);
    EXPECT_EQ(Bass().ErrorGetCode(), 20);
}

TEST_F(FileStream, MonoIsPlayedOnBothChannelsAtItsOwnRate) {
    DWORD h = Open("mono22k.mp3");
    ASSERT_NE(h, 0u);
    DWORD freq = 0;
    ASSERT_TRUE(Bass().ChannelGetAttributes(h, &freq, nullptr, nullptr));
    EXPECT_EQ(freq, 22050u);
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitFor(kWaitLimitMs, [&] { return Bass().ChannelGetPosition(h) > 22050 * 4 / 4; }));
    int left = 0, right = 0;
    LevelOf(h, &left, &right);
    EXPECT_GT(left, 10000);
    EXPECT_EQ(left, right);
}

TEST_F(FileStream, FreeingStreamsLeavesNoThreadBehind) {
    // Warm up once: the first stream may start lasting threads of the system.
    DWORD warm = Open("tone.mp3");
    Bass().ChannelPlay(warm, FALSE);
    Sleep(100);
    Bass().StreamFree(warm);
    const int baseline = ThreadCount();
    std::vector<DWORD> streams;
    for (int i = 0; i < 5; ++i) {
        DWORD h = Open("tone.mp3");
        Bass().ChannelPlay(h, FALSE);
        streams.push_back(h);
    }
    EXPECT_GE(ThreadCount(), baseline + 5);
    Sleep(100);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Bass().StreamFree(streams[i]));
    // BASS_Free ends the rest.
    EXPECT_TRUE(Bass().Free());
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return ThreadCount() <= baseline; })) << ThreadCount() << " > " << baseline;
    EXPECT_EQ(Bass().ChannelIsActive(streams[4]), 0u);
}

}  // namespace
