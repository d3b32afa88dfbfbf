// bass.dll against the test station: Icecast2 on 127.0.0.1:80 fed by
// ezstream with songs tagged "Neonara Test - <song>" (a 440 Hz tone, a
// bass beat, silence), as the screensaver uses it.
#include <atomic>
#include <cstring>
#include <set>
#include <thread>

#include "tests/audio/bass_test_support.h"

using namespace bass_test;

namespace {

class Station : public BassTest {
protected:
    void SetUp() override {
        BassTest::SetUp();
        ASSERT_TRUE(Bass().Init(0, 44100, 0, nullptr, nullptr));
    }
};

TEST_F(Station, PlaysTheWayTheSaverDoes) {
    Bass().SetConfig(15, 0);
    std::string failure;
    DWORD h = PlayLikeTheSaver(kStationUrl, &failure);
    ASSERT_NE(h, 0u) << failure << " (is the station up? run through tests/audio/run_audio_tests.sh)";
    EXPECT_NE(Bass().ChannelIsActive(h), 0u);
    // Titles come as StreamTitle='Neonara Test - <song>'; and change with the songs.
    // The longest song (the silence) lasts 24 s: two titles come within 60 s.
    Heard heard = ListenToStation(h, 60000);
    const std::set<std::string>& titles = heard.titles;
    ASSERT_FALSE(titles.empty()) << "no metadata arrived";
    for (const std::string& t : titles) {
        EXPECT_EQ(t.rfind("StreamTitle='Neonara Test - ", 0), 0u) << t;
        EXPECT_EQ(t.substr(t.size() - 2), "';") << t;
    }
    EXPECT_GE(titles.size(), 2u);
    EXPECT_TRUE(heard.sound) << "the spectrum stayed silent";
    // Playing: the position moves on (how far in a given time depends on the
    // machine's load, so only that it moves is checked).
    double at = Seconds(Bass().ChannelGetPosition(h));
    EXPECT_GT(at, 0.0);
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Seconds(Bass().ChannelGetPosition(h)) > at + 0.25; }))
        << "playback stopped at " << at << " s";
}

TEST_F(Station, ResponseHeadersAreTheIcyTags) {
    Bass().SetConfig(15, 0);
    DWORD h = Bass().StreamCreateURL(kStationUrl, 0, kMetaAndStatus, nullptr, 0);
    ASSERT_NE(h, 0u) << Bass().ErrorGetCode();
    const char* tags = Bass().ChannelGetTags(h, 4);
    ASSERT_NE(tags, nullptr);
    std::set<std::string> lines;
    for (const char* p = tags; *p; p += strlen(p) + 1) lines.insert(p);
    EXPECT_TRUE(lines.count("icy-metaint:16000")) << "headers: " << lines.size();
    EXPECT_TRUE(lines.count("Content-Type: audio/mpeg"));
    // Icecast answers "HTTP/1.0 200 OK": the same list is the HTTP tag too.
    EXPECT_STREQ(Bass().ChannelGetTags(h, 3), tags);
    EXPECT_EQ(Bass().ChannelGetTags(h, 9), nullptr);
    EXPECT_EQ(Bass().ErrorGetCode(), 37);
}

TEST_F(Station, PrebufferShareIsFilledBeforeCreationReturns) {
    Bass().SetConfig(15, 100);
    DWORD h = Bass().StreamCreateURL(kStationUrl, 0, kMetaAndStatus, nullptr, 0);
    ASSERT_NE(h, 0u) << Bass().ErrorGetCode();
    DWORD total = Bass().StreamGetFilePosition(h, 2);
    DWORD downloaded = Bass().StreamGetFilePosition(h, 1);
    EXPECT_EQ(total, 80000u);  // 5 s at the station's 128 kbit/s
    // The whole buffer came before the call returned; the decoder has since
    // read the stream's first frames from it while the download tops it up.
    EXPECT_GE(downloaded, total);
    EXPECT_LE(downloaded - Bass().StreamGetFilePosition(h, 0), total);
    // A live station has no length and cannot seek.
    EXPECT_EQ(Bass().StreamGetLength(h), ~0ull);
    EXPECT_EQ(Bass().ErrorGetCode(), 37);
    EXPECT_FALSE(Bass().ChannelSetPosition(h, 0));
    EXPECT_EQ(Bass().ErrorGetCode(), 27);
}

struct Downloads {
    std::atomic<int> headers{0};
    std::atomic<unsigned> bytes{0};
    std::atomic<int> ends{0};
};

void CALLBACK CountDownload(const void* buffer, DWORD length, DWORD user) {
    auto* d = reinterpret_cast<Downloads*>(static_cast<uintptr_t>(user));
    if (!buffer) {
        ++d->ends;
    } else if (length == 0) {
        // The response headers: a list of NUL-ended lines, then a NUL.
        for (const char* p = static_cast<const char*>(buffer); *p; p += strlen(p) + 1) {
            if (strncmp(p, "icy-metaint", 11) == 0) ++d->headers;
        }
    } else {
        d->bytes += length;
    }
}

TEST_F(Station, DownloadCallbackSeesHeadersAudioAndTheEnd) {
    Bass().SetConfig(15, 0);
    Downloads d;
    DWORD h = Bass().StreamCreateURL(kStationUrl, 0, kMetaAndStatus, CountDownload,
                                     static_cast<DWORD>(reinterpret_cast<uintptr_t>(&d)));
    ASSERT_NE(h, 0u) << Bass().ErrorGetCode();
    ASSERT_TRUE(WaitFor(kWaitLimitMs, [&] { return d.bytes > 20000; }));
    DWORD downloaded = Bass().StreamGetFilePosition(h, 1);
    ASSERT_TRUE(Bass().StreamFree(h));
    EXPECT_EQ(d.headers, 1);
    EXPECT_GE(d.bytes, downloaded);
    EXPECT_EQ(d.ends, 1);  // before StreamFree returned
}

TEST_F(Station, ListenersOnSeveralThreadsComeAndGoWithoutLeftovers) {
    Bass().SetConfig(15, 0);
    DWORD warm = Bass().StreamCreateURL(kStationUrl, 0, kMetaAndStatus, nullptr, 0);
    ASSERT_NE(warm, 0u);
    Bass().StreamFree(warm);
    const int baseline = ThreadCount();
    std::vector<std::thread> listeners;
    std::atomic<int> opened{0};
    for (int i = 0; i < 4; ++i) {
        listeners.emplace_back([&opened, i] {
            for (int round = 0; round < 3; ++round) {
                DWORD h = Bass().StreamCreateURL(kStationUrl, 0, kMetaAndStatus, nullptr, 0);
                if (!h) continue;
                ++opened;
                Bass().ChannelPlay(h, FALSE);
                Sleep(50 * (i + round));
                Bass().StreamFree(h);
            }
        });
    }
    for (auto& t : listeners) t.join();
    EXPECT_EQ(opened, 12);
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return ThreadCount() <= baseline; })) << ThreadCount() << " > " << baseline;
}

}  // namespace
