// bass.dll on a real output device: Wine's waveOut into PulseAudio's null
// sink. The recording check (DeviceRecording) and the no-device case
// (NoDevice) need the test script's set-up around them: it records the sink
// while the first runs, and hides PulseAudio from the second.
#include <cstdio>
#include <cstdlib>

#include "tests/audio/bass_test_support.h"

using namespace bass_test;

namespace {

bool EnvIs(const char* name, const char* value) {
    const char* v = std::getenv(name);
    return v && std::string(v) == value;
}

class Device : public BassTest {
protected:
    void SetUp() override {
        BassTest::SetUp();
        ASSERT_TRUE(EnvIs("NEONARA_AUDIO_PULSE", "1"))
            << "PulseAudio must be running: run through tests/audio/run_audio_tests.sh";
        ASSERT_TRUE(Bass().Init(1, 44100, 0, nullptr, nullptr)) << "error " << Bass().ErrorGetCode();
    }
};

TEST_F(Device, FilePlaysAtTheDevicesPace) {
    DWORD h = Bass().StreamCreateFile(FALSE, Media("tone.mp3").c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u) << Bass().ErrorGetCode();
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > 1.0; }));
    std::vector<float> bins = Fft(h);
    EXPECT_EQ(Loudest(bins), 10);
    EXPECT_NEAR(bins[10], 0.5, 0.05);
    ASSERT_TRUE(Bass().ChannelPause(h));
    QWORD held = Bass().ChannelGetPosition(h);
    Sleep(300);
    EXPECT_EQ(Bass().ChannelGetPosition(h), held);
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Bass().ChannelIsActive(h) == 0; }));
    EXPECT_NEAR(Seconds(Bass().ChannelGetPosition(h)), 4.0, 0.05);
}

TEST_F(Device, StationPlaysLikeInTheSaver) {
    Bass().SetConfig(15, 0);
    std::string failure;
    DWORD h = PlayLikeTheSaver(kStationUrl, &failure);
    ASSERT_NE(h, 0u) << failure;
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > 1.0; }));
    EXPECT_EQ(Bass().ChannelIsActive(h), 1u);
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return !Tags(h).empty(); }));
    EXPECT_TRUE(Bass().Free());
    EXPECT_EQ(Bass().ChannelIsActive(h), 0u);
}

// Plays rec1k.mp3 (1 kHz at half scale, 3 s) to the end; the script records
// the sink meanwhile and checks frequency and level of what arrived.
TEST(DeviceRecording, PlaysTheToneForTheRecorder) {
    ASSERT_EQ(Bass().missing, 0);
    ASSERT_TRUE(EnvIs("NEONARA_AUDIO_RECORDING", "1"))
        << "the script records the sink while this runs: run through tests/audio/run_audio_tests.sh";
    ASSERT_TRUE(Bass().Init(1, 44100, 0, nullptr, nullptr)) << "error " << Bass().ErrorGetCode();
    // The script names a stream with the same tone, or the MP3 file plays.
    const char* url = std::getenv("NEONARA_AUDIO_RECORDING_URL");
    DWORD h = url && *url ? Bass().StreamCreateURL(url, 0, kMetaAndStatus, nullptr, 0)
                          : Bass().StreamCreateFile(FALSE, Media("rec1k.mp3").c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u) << Bass().ErrorGetCode();
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Bass().ChannelIsActive(h) == 0; }));
    Bass().Free();
}

TEST(NoDevice, InitOfTheFirstDeviceFailsWithACode) {
    ASSERT_EQ(Bass().missing, 0);
    ASSERT_TRUE(EnvIs("NEONARA_AUDIO_EXPECT_NO_DEVICE", "1"))
        << "PulseAudio must be out of reach: run through tests/audio/run_audio_tests.sh";
    Bass().Free();
    EXPECT_FALSE(Bass().Init(1, 44100, 0, nullptr, nullptr));
    int code = Bass().ErrorGetCode();
    EXPECT_TRUE(code == 23 || code == 3) << "error " << code;
    std::printf("no device: BASS_Init(1, ...) failed with error %d\n", code);
    // The saver then runs silently: the station is refused for want of Init.
    EXPECT_EQ(Bass().StreamCreateURL(kStationUrl, 0, kMetaAndStatus, nullptr, 0), 0u);
    EXPECT_EQ(Bass().ErrorGetCode(), 8);
    // The "no sound" device still works.
    EXPECT_TRUE(Bass().Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_TRUE(Bass().Free());
}

}  // namespace
