// Separating audio from ICY metadata blocks, however the bytes are cut
// into pieces by the network.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/icy_demuxer.h"

using audio::IcyDemuxer;

namespace {

// Builds interval-spaced audio with a metadata block after each interval.
std::string Station(uint32_t interval, const std::vector<std::string>& blocks, std::string* audioOut) {
    std::string wire;
    int counter = 0;
    for (const std::string& block : blocks) {
        std::string audio;
        for (uint32_t i = 0; i < interval; ++i) audio.push_back(static_cast<char>('a' + counter++ % 26));
        *audioOut += audio;
        wire += audio;
        size_t padded = (block.size() + 15) / 16 * 16;
        wire.push_back(static_cast<char>(padded / 16));
        wire += block;
        wire.append(padded - block.size(), '\0');
    }
    return wire;
}

struct Result {
    std::string audio;
    std::vector<std::string> metas;
};

Result Demux(IcyDemuxer& demuxer, const std::string& wire, size_t piece) {
    Result r;
    for (size_t at = 0; at < wire.size(); at += piece) {
        std::string chunk = wire.substr(at, piece);
        demuxer.Push(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size(), &r.audio, &r.metas);
    }
    return r;
}

TEST(IcyDemuxer, SeparatesAudioAndTitlesForEveryPieceSize) {
    std::string audio;
    std::string wire = Station(100, {"StreamTitle='A - B';", "", "StreamTitle='C - D';StreamUrl='';"}, &audio);
    for (size_t piece : {1u, 7u, 100u, 101u, 4096u}) {
        IcyDemuxer demuxer(100);
        Result r = Demux(demuxer, wire, piece);
        EXPECT_EQ(r.audio, audio) << "piece " << piece;
        ASSERT_EQ(r.metas.size(), 2u) << "piece " << piece;  // the empty block means "no change"
        EXPECT_EQ(r.metas[0], "StreamTitle='A - B';");
        EXPECT_EQ(r.metas[1], "StreamTitle='C - D';StreamUrl='';");
    }
}

TEST(IcyDemuxer, TextEndsAtTheFirstNul) {
    std::string audio;
    std::string block = std::string("StreamTitle='X';") + '\0' + "junk after the end";
    std::string wire = Station(16, {block}, &audio);
    IcyDemuxer demuxer(16);
    Result r = Demux(demuxer, wire, 5);
    ASSERT_EQ(r.metas.size(), 1u);
    EXPECT_EQ(r.metas[0], "StreamTitle='X';");
    EXPECT_EQ(r.audio, audio);
}

TEST(IcyDemuxer, LongestBlockWithBinaryBytesStaysOutOfTheAudio) {
    // Length byte 255: 4080 bytes, none of them NUL.
    std::string block(4080, '\x7f');
    std::string audio;
    std::string wire = Station(64, {block, "StreamTitle='after';"}, &audio);
    IcyDemuxer demuxer(64);
    Result r = Demux(demuxer, wire, 333);
    EXPECT_EQ(r.audio, audio);
    ASSERT_EQ(r.metas.size(), 2u);
    EXPECT_EQ(r.metas[0].size(), 4080u);
    EXPECT_EQ(r.metas[1], "StreamTitle='after';");
    EXPECT_EQ(demuxer.MetaBytes(), 1u + 4080u + 1u + 32u);
}

TEST(IcyDemuxer, NoIntervalMeansEverythingIsAudio) {
    IcyDemuxer demuxer(0);
    std::string wire = std::string("\x03StreamTitle='no';") + std::string(10, '\0');
    Result r = Demux(demuxer, wire, 4);
    EXPECT_EQ(r.audio, wire);
    EXPECT_TRUE(r.metas.empty());
}

TEST(IcyDemuxer, CutInsideABlockWaitsForTheRest) {
    IcyDemuxer demuxer(4);
    std::string audio;
    std::vector<std::string> metas;
    std::string part1 = std::string("abcd") + '\x01' + "Stream";
    demuxer.Push(reinterpret_cast<const uint8_t*>(part1.data()), part1.size(), &audio, &metas);
    EXPECT_TRUE(metas.empty());
    EXPECT_EQ(audio, "abcd");
    std::string part2 = std::string("Title='';") + '\0' + "efgh";
    demuxer.Push(reinterpret_cast<const uint8_t*>(part2.data()), part2.size(), &audio, &metas);
    ASSERT_EQ(metas.size(), 1u);
    EXPECT_EQ(metas[0], "StreamTitle='';");
    EXPECT_EQ(audio, "abcdefgh");
}

}  // namespace
