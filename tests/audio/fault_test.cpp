// bass.dll against servers that misbehave (tests/audio/fault_server.py) and
// addresses where nothing answers: every case ends in its documented result
// and error code, no thread stays behind, and the API keeps answering.
#include <winsock2.h>

#include <atomic>
#include <sstream>
#include <thread>
#include <vector>

#include "audio/socket.h"

#include "tests/audio/bass_test_support.h"

using namespace bass_test;

namespace {

class Faults : public QuickNetTest {
protected:
    static DWORD Open(const std::string& url) {
        DWORD h = Bass().StreamCreateURL(url.c_str(), 0, kMetaAndStatus, nullptr, 0);
        EXPECT_NE(h, 0u) << url << ": error " << Bass().ErrorGetCode();
        return h;
    }
    // The flaky station's stall after its first 2.5 s of audio.
    static bool DroppedAfterPlaying(DWORD h) {
        return Seconds(Bass().ChannelGetPosition(h)) > 2.0 && Bass().ChannelIsActive(h) == 2;
    }
};

// A port on 127.0.0.1 where nobody listens (bound once, then released).
int ClosedPort() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    closesocket(s);
    return ntohs(a.sin_port);
}

TEST_F(Faults, StationDownIsRefused) {
    ExpectRefused("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/stream/1040", 2);
}

TEST_F(Faults, UnknownHostHasNoNetwork) {
    ASSERT_TRUE(LoopbackResolverOnly())
        << "host name look-ups may only go to a loopback resolver: run through tests/audio/run_audio_tests.sh";
    ExpectRefused("http://neonara-no-such-station.invalid/stream/1040", 32);
}

TEST_F(Faults, BadUrlsCannotBeOpened) {
    ExpectRefused("ftp://127.0.0.1/stream/1040", 2);
    ExpectRefused("not a url", 2);
    EXPECT_EQ(Bass().StreamCreateURL(nullptr, 0, 0, nullptr, 0), 0u);
    EXPECT_EQ(Bass().ErrorGetCode(), 20);
}

TEST_F(Faults, HttpErrorsAndEndlessRedirects) {
    ExpectRefused(FaultUrl("/404"), 2);
    ExpectRefused(FaultUrl("/redirect/9"), 2);
    ExpectRefused(FaultUrl("/redirect-loop"), 2);
}

TEST_F(Faults, ServersThatSayNothingTimeOut) {
    ExpectRefused(FaultUrl("/silent"), 40);
    ExpectRefused(FaultUrl("/slow-head"), 40);
}

TEST_F(Faults, WhatIsNotAStreamIsRefused) {
    ExpectRefused(FaultUrl("/html"), 41);
    ExpectRefused(FaultUrl("/chunked"), 41);
    ExpectRefused(FaultUrl("/huge-head"), 41);
    ExpectRefused(FaultUrl("/absurd-metaint"), 41);
}

TEST_F(Faults, RedirectsAreFollowed) {
    Bass().SetConfig(15, 0);
    for (const char* path : {"/redirect/3", "/redirect-relative"}) {
        DWORD h = Open(FaultUrl(path));
        ASSERT_NE(h, 0u);
        EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Tags(h) == "StreamTitle='Fault Server - Ok';StreamUrl='';"; }))
            << path << ": " << Tags(h);
        Bass().StreamFree(h);
    }
}

TEST_F(Faults, LineFeedOnlyHeadsAreRead) {
    Bass().SetConfig(15, 0);
    DWORD h = Open(FaultUrl("/ok-lf"));
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Tags(h) == "StreamTitle='Line Feeds - Only';"; })) << Tags(h);
}

TEST_F(Faults, StallAfterTheHeadEndsTheSaversWaitWithMinusOne) {
    Bass().SetConfig(15, 0);
    std::string failure;
    DWORD h = PlayLikeTheSaver(FaultUrl("/stall"), &failure);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(failure, "Lenn == -1 (error 40)");
    // With the default pre-buffering the creation itself reports the time-out.
    Bass().SetConfig(15, 75);
    ExpectRefused(FaultUrl("/stall"), 40);
}

// A path of the fault server that no earlier run has asked for, so that its
// connections count from the first.
std::string FreshPath(const char* path) {
    static int run = 0;
    return std::string(path) + "?run=" + std::to_string(GetTickCount()) + "-" + std::to_string(++run);
}

// The seconds, from the first, at which the fault server was asked for path.
std::vector<double> Connections(const std::string& path) {
    std::string base = FaultUrl("");
    audio::Socket s;
    std::string text;
    if (s.Connect("127.0.0.1", std::stoi(base.substr(base.rfind(':') + 1)), 10000) == 0 &&
        s.SendAll("GET /log" + path + " HTTP/1.0\r\n\r\n", 10000)) {
        char buffer[4096];
        for (int n; (n = s.Recv(buffer, sizeof buffer, 10000)) > 0;) text.append(buffer, n);
    }
    std::vector<double> times;
    size_t body = text.find("\r\n\r\n");
    std::istringstream in(body == std::string::npos ? "" : text.substr(body + 4));
    for (double t; in >> t;) times.push_back(t);
    return times;
}

TEST_F(Faults, AStallInMidStreamIsFollowedByANewConnection) {
    Bass().SetConfig(15, 0);
    std::string path = FreshPath("/stall-after-data");
    std::string failure;
    DWORD h = PlayLikeTheSaver(FaultUrl(path), &failure);
    ASSERT_NE(h, 0u) << failure;
    // Each connection brings 40000 bytes (2.5 s) and then nothing: after the
    // network time-out the station is asked again, and its audio plays on.
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > 3.5; }))
        << Seconds(Bass().ChannelGetPosition(h));
    EXPECT_GE(Connections(path).size(), 2u);
    EXPECT_NE(Bass().ChannelIsActive(h), 0u);
    EXPECT_EQ(Bass().StreamGetFilePosition(h, 2), 80000u);  // a live station: the buffer's length
}

TEST_F(Faults, ADroppedLiveStationIsConnectedAgainAndKeepsItsTitle) {
    Bass().SetConfig(15, 0);
    std::string failure;
    DWORD h = PlayLikeTheSaver(FaultUrl(FreshPath("/disconnect")), &failure);
    ASSERT_NE(h, 0u) << failure;
    // Each connection closes after 100000 bytes (6.25 s).
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > 7.0; }))
        << Seconds(Bass().ChannelGetPosition(h));
    EXPECT_GT(Bass().StreamGetFilePosition(h, 1), 100000u);
    EXPECT_NE(Bass().ChannelIsActive(h), 0u);
    EXPECT_EQ(Tags(h), "StreamTitle='Fault Server - Ok';StreamUrl='';");
}

TEST_F(Faults, AFlakyStationIsRetriedWithGrowingWaitsWhileTheStreamStalls) {
    Bass().SetConfig(15, 0);
    std::string path = FreshPath("/flaky");
    DWORD h = Open(FaultUrl(path));
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    // Dropped after 2.5 s of audio, refused once, stalled once, then back.
    // (Without pre-buffering it is stalled at its very start too, before any
    // audio came.)
    ASSERT_TRUE(WaitFor(kWaitLimitMs, [&] { return Tags(h) == "StreamTitle='Fault Server - Ok';StreamUrl='';"; }));
    ASSERT_TRUE(WaitFor(kWaitLimitMs, [&] { return DroppedAfterPlaying(h); }));
    EXPECT_EQ(Tags(h), "StreamTitle='Fault Server - Ok';StreamUrl='';");  // the last title stays
    EXPECT_TRUE(WaitFor(2 * kWaitLimitMs, [&] { return Tags(h) == "StreamTitle='Fault Server - Back';StreamUrl='';"; }));
    double resumed = Seconds(Bass().ChannelGetPosition(h));
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > resumed + 1.0; }));
    EXPECT_EQ(Bass().ChannelIsActive(h), 1u);
    // The waits between the attempts double from one second (the stalled
    // one also waited out the network time-out of 1.5 s).
    std::vector<double> at = Connections(path);
    ASSERT_EQ(at.size(), 4u);
    EXPECT_GE(at[2] - at[1], 1.9);
    EXPECT_GE(at[3] - at[2], 1.5 + 3.9);
    EXPECT_TRUE(Bass().StreamFree(h));
}

TEST_F(Faults, AStationThatSendsItsLengthEndsAsBefore) {
    Bass().SetConfig(15, 0);
    std::string failure;
    DWORD h = PlayLikeTheSaver(FaultUrl("/once"), &failure);
    ASSERT_NE(h, 0u) << failure;
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Bass().ChannelIsActive(h) == 0; }));
    EXPECT_GT(Seconds(Bass().ChannelGetPosition(h)), 3.5);  // the 4 s tone, once
    EXPECT_FALSE(Bass().ChannelPlay(h, FALSE));
    EXPECT_EQ(Bass().ErrorGetCode(), 45);
}

TEST_F(Faults, HtmlServedAsAudioEndsTheStream) {
    Bass().SetConfig(15, 0);
    DWORD h = Open(FaultUrl("/html-as-audio"));
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Bass().ChannelIsActive(h) == 0; }));
    EXPECT_EQ(Bass().ChannelGetPosition(h), 0u);
}

TEST_F(Faults, NoMetadataIntervalMeansNoTitleButSound) {
    Bass().SetConfig(15, 0);
    std::string failure;
    DWORD h = PlayLikeTheSaver(FaultUrl("/no-metaint"), &failure);
    ASSERT_NE(h, 0u) << failure;
    ASSERT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > 0.5; }));
    EXPECT_EQ(Bass().ChannelGetTags(h, 5), nullptr);
    EXPECT_EQ(Bass().ErrorGetCode(), 37);
    EXPECT_EQ(Loudest(Fft(h)), 10);
}

TEST_F(Faults, GarbageMetadataNeitherCrashesNorReachesTheAudio) {
    Bass().SetConfig(15, 0);
    std::string failure;
    DWORD h = PlayLikeTheSaver(FaultUrl("/meta-garbage"), &failure);
    ASSERT_NE(h, 0u) << failure;
    bool sawLongest = false, sawUrlOnly = false, sawTitle = false;
    WaitFor(kWaitLimitMs, [&] {
        std::string t = Tags(h);
        sawLongest = sawLongest || t.size() == 4080;
        sawUrlOnly = sawUrlOnly || t == "StreamUrl='http://neonara.invalid/';";
        sawTitle = sawTitle || t == "StreamTitle='Garbage - Survived';";
        return sawLongest && sawUrlOnly && sawTitle;
    });
    EXPECT_TRUE(sawLongest);
    EXPECT_TRUE(sawUrlOnly);
    EXPECT_TRUE(sawTitle);
    // The metadata was taken out: the tone decodes cleanly.
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > 1.0; }));
    std::vector<float> bins = Fft(h);
    EXPECT_EQ(Loudest(bins), 10);
    EXPECT_NEAR(bins[10], 0.5, 0.1);
}

TEST_F(Faults, MetadataWithoutATitleIsPassedOnAsItIs) {
    Bass().SetConfig(15, 0);
    DWORD h = Open(FaultUrl("/meta-no-title"));
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Tags(h) == "StreamUrl='http://neonara.invalid/';"; })) << Tags(h);
}

TEST_F(Faults, CorruptFramesAreSkipped) {
    Bass().SetConfig(15, 0);
    std::string failure;
    DWORD h = PlayLikeTheSaver(FaultUrl("/corrupt"), &failure);
    ASSERT_NE(h, 0u) << failure;
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > 2.0; }));
    EXPECT_NE(Bass().ChannelIsActive(h), 0u);
    EXPECT_EQ(Tags(h), "StreamTitle='Corrupt - Frames';");
}

TEST_F(Faults, ApiAnswersWhileAnotherThreadWaitsForAServer) {
    std::atomic<bool> done{false};
    std::thread waiting([&] {
        Bass().StreamCreateURL(FaultUrl("/silent").c_str(), 0, kMetaAndStatus, nullptr, 0);
        done = true;
    });
    Sleep(200);
    EXPECT_EQ(Bass().GetVersion(), 0x00020002u);
    EXPECT_EQ(Bass().SetConfig(15, 0), 0u);
    EXPECT_EQ(Bass().ChannelIsActive(999), 0u);
    DWORD h = Bass().StreamCreateFile(FALSE, Media("tone.mp3").c_str(), 0, 0, 0);
    EXPECT_NE(h, 0u);
    EXPECT_TRUE(Bass().StreamFree(h));
    EXPECT_FALSE(done) << "the silent server's time-out passed before the other calls finished";
    waiting.join();
    EXPECT_TRUE(done);
}

struct SelfFree {
    std::atomic<DWORD> handle{0};
    std::atomic<int> streamFree{-1}, streamFreeError{-1}, engineFree{-1}, engineFreeError{-1};
};

void CALLBACK FreeFromTheCallback(const void* buffer, DWORD length, DWORD user) {
    auto* s = reinterpret_cast<SelfFree*>(static_cast<uintptr_t>(user));
    if (!buffer || length == 0 || s->handle == 0 || s->streamFree != -1) return;
    s->streamFree = Bass().StreamFree(s->handle);
    s->streamFreeError = Bass().ErrorGetCode();
    s->engineFree = Bass().Free();
    s->engineFreeError = Bass().ErrorGetCode();
}

TEST_F(Faults, DownloadCallbackCannotFreeItsOwnStream) {
    Bass().SetConfig(15, 0);
    SelfFree s;
    DWORD h = Bass().StreamCreateURL(FaultUrl("/ok").c_str(), 0, 0, FreeFromTheCallback,
                                     static_cast<DWORD>(reinterpret_cast<uintptr_t>(&s)));
    ASSERT_NE(h, 0u) << Bass().ErrorGetCode();
    s.handle = h;
    ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));  // consumption makes room: more pieces arrive
    ASSERT_TRUE(WaitFor(kWaitLimitMs, [&] { return s.engineFree != -1; }));
    EXPECT_EQ(s.streamFree, FALSE);
    EXPECT_EQ(s.streamFreeError, 20);
    EXPECT_EQ(s.engineFree, FALSE);
    EXPECT_EQ(s.engineFreeError, 20);
    EXPECT_NE(Bass().ChannelIsActive(h), 0u);
    EXPECT_TRUE(Bass().StreamFree(h));
}

TEST_F(Faults, NoThreadOutlivesItsStream) {
    Bass().SetConfig(15, 0);
    DWORD warm = Open(FaultUrl("/ok"));
    Bass().ChannelPlay(warm, FALSE);
    Sleep(100);
    Bass().StreamFree(warm);
    const int baseline = ThreadCount();
    for (const char* path : {"/ok", "/corrupt", "/meta-garbage", "/stall", "/disconnect", "/html-as-audio"}) {
        DWORD h = Open(FaultUrl(path));
        if (h) {
            Bass().ChannelPlay(h, FALSE);
            Sleep(100);
            EXPECT_TRUE(Bass().StreamFree(h)) << path;
        }
    }
    // Freed while it waits to connect again: the waiting thread ends too.
    DWORD flaky = Open(FaultUrl(FreshPath("/flaky")));
    if (flaky) {
        Bass().ChannelPlay(flaky, FALSE);
        EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return DroppedAfterPlaying(flaky); }));
        EXPECT_TRUE(Bass().StreamFree(flaky));
    }
    for (const char* path : {"/404", "/silent", "/html"}) {
        Bass().StreamCreateURL(FaultUrl(path).c_str(), 0, kMetaAndStatus, nullptr, 0);
    }
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return ThreadCount() <= baseline; })) << ThreadCount() << " > " << baseline;
}

}  // namespace
