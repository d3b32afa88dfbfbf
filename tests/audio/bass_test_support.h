// The fixture every bass.dll test uses: the library loaded, the engine
// freed before and after, the configuration back at its defaults.
#pragma once
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/audio/bass_library.h"

namespace bass_test {

constexpr double kBytesPerSecond = 44100.0 * 4;
constexpr DWORD kFft512 = 0x80000000;
constexpr DWORD kMetaAndStatus = 0xC00000;

class BassTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Bass().missing, 0) << "bass.dll or some of its 22 names could not be found";
        Bass().Free();
        Bass().SetConfig(0, 500);
        Bass().SetConfig(11, 5000);
        Bass().SetConfig(12, 5000);
        Bass().SetConfig(15, 75);
    }
    void TearDown() override {
        if (Bass().Free) Bass().Free();
    }

    static std::vector<float> Fft(DWORD handle) {
        std::vector<float> bins(512, 0.0f);
        Bass().ChannelGetData(handle, bins.data(), kFft512);
        return bins;
    }
    static int Loudest(const std::vector<float>& bins) {
        int best = 1;
        for (int k = 1; k < 256; ++k) {
            if (bins[k] > bins[best]) best = k;
        }
        return best;
    }
    static double Seconds(QWORD bytes) { return static_cast<double>(bytes) / kBytesPerSecond; }
};

// Streams from servers that misbehave: no sound device, and a short network
// time-out that keeps the failures quick.
class QuickNetTest : public BassTest {
protected:
    void SetUp() override {
        BassTest::SetUp();
        ASSERT_TRUE(Bass().Init(0, 44100, 0, nullptr, nullptr));
        Bass().SetConfig(11, 1500);
    }
    // Creation must fail with `error`.
    static void ExpectRefused(const std::string& url, int error) {
        EXPECT_EQ(Bass().StreamCreateURL(url.c_str(), 0, kMetaAndStatus, nullptr, 0), 0u) << url;
        EXPECT_EQ(Bass().ErrorGetCode(), error) << url;
    }
};

}  // namespace bass_test

namespace bass_test {

// The screensaver's PlayURL, call for call: free the old stream, open the
// station, wait until more than 75 % of the buffer is filled (in its 32-bit
// arithmetic), play. Returns the stream or 0 with *failure saying what the
// saver would print. The wait is cut off after `maxPolls` rounds of 50 ms.
inline DWORD PlayLikeTheSaver(const std::string& url, std::string* failure, int maxPolls = 400) {
    Bass().StreamFree(0);
    DWORD stream = Bass().StreamCreateURL(url.c_str(), 0, kMetaAndStatus, nullptr, 0);
    if (stream == 0) {
        *failure = "No Channel - " + std::to_string(Bass().ErrorGetCode());
        return 0;
    }
    for (int poll = 0;; ++poll) {
        int total = static_cast<int>(Bass().StreamGetFilePosition(stream, 2));
        if (total == -1) {
            *failure = "Lenn == -1 (error " + std::to_string(Bass().ErrorGetCode()) + ")";
            return 0;
        }
        int downloaded = static_cast<int>(Bass().StreamGetFilePosition(stream, 1));
        int consumed = static_cast<int>(Bass().StreamGetFilePosition(stream, 0));
        if (total != 0 && (downloaded - consumed) * 100 / total > 75) break;
        if (poll == maxPolls) {
            *failure = "still buffering after " + std::to_string(maxPolls) + " polls";
            return 0;
        }
        Sleep(50);
    }
    Bass().ChannelPlay(stream, FALSE);
    return stream;
}

inline std::string Tags(DWORD stream) {
    const char* t = Bass().ChannelGetTags(stream, 5);
    return t ? t : "";
}

// What a playing station showed within `ms`: its titles (tag 5), and
// whether the spectrum was ever loud. Returns once two titles and sound came.
struct Heard {
    std::set<std::string> titles;
    bool sound = false;
};
inline Heard ListenToStation(DWORD stream, int ms) {
    Heard heard;
    WaitFor(ms, [&] {
        std::string t = Tags(stream);
        if (!t.empty()) heard.titles.insert(t);
        std::vector<float> bins(512, 0.0f);
        Bass().ChannelGetData(stream, bins.data(), kFft512);
        for (int k = 0; k < 256; ++k) heard.sound = heard.sound || bins[k] > 0.05f;
        return heard.titles.size() >= 2 && heard.sound;
    });
    return heard;
}

}  // namespace bass_test
