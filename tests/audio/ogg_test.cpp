// Ogg Vorbis: the decoder on a chained file (two songs, the second at
// another rate and in mono), how a stream's format is recognised, and
// bass.dll playing Ogg from the fault server, broken streams included.
#include <fstream>
#include <iterator>
#include <map>

#include "audio/bass.h"
#include "audio/stream_format.h"
#include "audio/vorbis_decoder.h"

#include "tests/audio/bass_test_support.h"

using namespace bass_test;
using audio::FeedDecoder;
using audio::StreamFormat;

namespace {

std::string ReadMedia(const char* name) {
    std::ifstream f(Media(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

const char* const kChainTitles[] = {"StreamTitle='Neonara Chain - One';", "StreamTitle='Neonara Chain - Two';"};

TEST(VorbisDecoder, PlaysEveryLinkOfAChainWholeAndInOrder) {
    const std::string ogg = ReadMedia("chain.ogg");
    ASSERT_GT(ogg.size(), 1000u);
    audio::VorbisDecoder d;
    ASSERT_TRUE(d.OpenFeed());
    std::map<int, long> framesAtRate;
    std::vector<std::string> metas;
    bool monoDoubled = true;
    int16_t out[4096 * 2];
    size_t at = 0;
    for (int piece = 0;; ++piece) {
        int frames = 0;
        FeedDecoder::Result r = d.Decode(out, 4096, &frames);
        std::string meta;
        if (d.TakeMeta(&meta)) metas.push_back(meta);
        ASSERT_NE(r, FeedDecoder::Result::kError);
        if (r == FeedDecoder::Result::kData) {
            framesAtRate[d.Rate()] += frames;
            for (int i = 0; i < frames && d.Rate() == 22050; ++i) monoDoubled &= out[2 * i] == out[2 * i + 1];
            continue;
        }
        if (at == ogg.size()) break;
        size_t n = std::min<size_t>(ogg.size() - at, 1 + piece * 977 % 3000);  // pieces cut anywhere
        ASSERT_TRUE(d.Feed(reinterpret_cast<const uint8_t*>(ogg.data()) + at, n));
        at += n;
    }
    // Every sample of both songs, none more: no gap and no padding between them.
    EXPECT_EQ(framesAtRate[44100], 2 * 44100);
    EXPECT_EQ(framesAtRate[22050], 2 * 22050);
    EXPECT_EQ(framesAtRate.size(), 2u);
    EXPECT_TRUE(monoDoubled);
    EXPECT_EQ(metas, std::vector<std::string>(std::begin(kChainTitles), std::end(kChainTitles)));
}

TEST(VorbisDecoder, ProbeReadsTheHeadersOnlyAndRefusesAStreamWithoutThem) {
    const std::string ogg = ReadMedia("chain.ogg");
    audio::VorbisDecoder d;
    d.OpenFeed();
    d.Feed(reinterpret_cast<const uint8_t*>(ogg.data()), 200);
    EXPECT_EQ(d.Probe(), FeedDecoder::Result::kNeedMore);
    d.Feed(reinterpret_cast<const uint8_t*>(ogg.data()) + 200, ogg.size() - 200);
    ASSERT_EQ(d.Probe(), FeedDecoder::Result::kData);
    EXPECT_EQ(d.Rate(), 44100);
    std::string meta;
    EXPECT_TRUE(d.TakeMeta(&meta));
    EXPECT_EQ(meta, kChainTitles[0]);
    // Joined after its first page: no link can start.
    audio::VorbisDecoder late;
    late.OpenFeed();
    size_t second = ogg.find("OggS", 4);
    late.Feed(reinterpret_cast<const uint8_t*>(ogg.data()) + second, ogg.size() - second);
    EXPECT_EQ(late.Probe(), FeedDecoder::Result::kError);
    EXPECT_EQ(late.ProbeError(), BASS_ERROR_FILEFORM);
}

TEST(VorbisDecoder, CommentsBecomeOneTitleLine) {
    auto meta = [](std::vector<const char*> c) {
        return audio::VorbisDecoder::MetaFromComments(c.data(), static_cast<int>(c.size()));
    };
    EXPECT_EQ(meta({"title=Song", "ENCODER=x", "Artist=Band", "ARTIST=Second"}), "StreamTitle='Band - Song';");
    EXPECT_EQ(meta({"TITLE=Only"}), "StreamTitle='Only';");
    EXPECT_EQ(meta({"ARTIST=Alone"}), "StreamTitle='Alone';");
    EXPECT_EQ(meta({"TITLEX=no", "TITLE"}), "");
    EXPECT_EQ(meta({"TITLE=two\nlines"}), "StreamTitle='two lines';");
    std::string longTitle = "TITLE=" + std::string(999, 'a') + "\xC3\xA9\xC3\xA9";  // cut inside the é
    std::string cut = meta({longTitle.c_str()});
    EXPECT_EQ(cut, "StreamTitle='" + std::string(999, 'a') + "';");
}

TEST(StreamFormat, TheFirstBytesWinOverTheContentType) {
    auto from = [](const char* bytes, size_t n, StreamFormat declared) {
        return audio::ChooseFormat(declared, reinterpret_cast<const uint8_t*>(bytes), n);
    };
    EXPECT_EQ(from("OggS", 4, StreamFormat::kMp3), StreamFormat::kOggVorbis);
    EXPECT_EQ(from("ID3\4", 4, StreamFormat::kUnknown), StreamFormat::kMp3);
    EXPECT_EQ(from("\xFF\xFB\x90\x64", 4, StreamFormat::kUnknown), StreamFormat::kMp3);
    EXPECT_EQ(from("\xFF\xF1\x50\x80", 4, StreamFormat::kUnknown), StreamFormat::kOtherAudio);  // AAC (ADTS)
    EXPECT_EQ(from("fLaC", 4, StreamFormat::kUnknown), StreamFormat::kOtherAudio);
    EXPECT_EQ(from("\0\0\0\x20" "ftyp", 8, StreamFormat::kUnknown), StreamFormat::kOtherAudio);
    EXPECT_EQ(from("junk", 4, StreamFormat::kOggVorbis), StreamFormat::kOggVorbis);
    EXPECT_EQ(from("O", 1, StreamFormat::kUnknown), StreamFormat::kUnknown);
    EXPECT_EQ(audio::FormatFromContentType(" Audio/Ogg ; codecs=vorbis"), StreamFormat::kOggVorbis);
    EXPECT_EQ(audio::FormatFromContentType("audio/aacp"), StreamFormat::kOtherAudio);
    EXPECT_EQ(audio::FormatFromContentType("text/html"), StreamFormat::kNotAudio);
}

// With pre-buffering (the default), so that creation reads the Ogg headers;
// a one-second download buffer keeps the waits for stalled servers short.
class OggStreams : public QuickNetTest {
protected:
    void SetUp() override {
        QuickNetTest::SetUp();
        Bass().SetConfig(12, 1000);
    }
};

TEST_F(OggStreams, AChainPlaysToItsEndWithEachSongsTitle) {
    // Frames at least played: every one of both songs, or without the page
    // the fault server broke (the first of song one: 65088 of its 88200).
    const std::pair<const char*, QWORD> cases[] = {{"/ogg", 2 * 44100 + 2 * 22050},
                                                   {"/ogg-corrupt-audio", 88200 - 65088 + 2 * 22050}};
    for (const auto& [path, frames] : cases) {
        DWORD h = Bass().StreamCreateURL(FaultUrl(path).c_str(), 0, kMetaAndStatus, nullptr, 0);
        ASSERT_NE(h, 0u) << path << ": error " << Bass().ErrorGetCode();
        EXPECT_EQ(Tags(h), kChainTitles[0]) << path;  // read with the headers, before any playing
        ASSERT_TRUE(Bass().ChannelPlay(h, FALSE));
        EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Tags(h) == kChainTitles[1]; })) << path << ": " << Tags(h);
        EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Bass().ChannelIsActive(h) == 0; })) << path;
        // Each frame counted once at its own rate.
        EXPECT_GE(Bass().ChannelGetPosition(h), (frames - 1024) * 4) << path;
        Bass().StreamFree(h);
    }
}

TEST_F(OggStreams, BrokenOrForeignStreamsAreRefusedWithTheirCodes) {
    const int baseline = ThreadCount();
    const std::pair<const char*, int> cases[] = {
        {"/ogg-corrupt-header", BASS_ERROR_FILEFORM}, {"/ogg-headers-end", BASS_ERROR_FILEFORM},
        {"/ogg-headers-stall", BASS_ERROR_TIMEOUT},   {"/opus", BASS_ERROR_CODEC},
        {"/aac", BASS_ERROR_CODEC},                   {"/aac-unlabelled", BASS_ERROR_CODEC}};
    for (const auto& c : cases) ExpectRefused(FaultUrl(c.first), c.second);
    // Without pre-buffering the call returns with the head (the saver's
    // way): such a stream then ends without a sound.
    Bass().SetConfig(15, 0);
    for (const char* path : {"/opus", "/ogg-corrupt-header"}) {
        DWORD h = Bass().StreamCreateURL(FaultUrl(path).c_str(), 0, kMetaAndStatus, nullptr, 0);
        ASSERT_NE(h, 0u) << path;
        Bass().ChannelPlay(h, FALSE);
        EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return Bass().ChannelIsActive(h) == 0; })) << path;
        EXPECT_EQ(Bass().ChannelGetPosition(h), 0u) << path;
        Bass().StreamFree(h);
    }
    EXPECT_TRUE(WaitFor(kWaitLimitMs, [&] { return ThreadCount() <= baseline; })) << ThreadCount() << " > " << baseline;
}

}  // namespace
