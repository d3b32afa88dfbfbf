// The fixture every bass.dll test uses: the library loaded, the engine
// freed before and after, the configuration back at its defaults.
#pragma once
#include <gtest/gtest.h>

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

}  // namespace bass_test
