// Separates a station's byte stream into audio and metadata blocks.
//
// With a metadata interval of N (the icy-metaint header), the server sends
// N audio bytes, then one length byte L, then L * 16 bytes of metadata text
// (NUL-padded), then N audio bytes again, and so on. L == 0 means "no new
// metadata". With N == 0 everything is audio.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace audio {

class IcyDemuxer {
public:
    explicit IcyDemuxer(uint32_t metaInterval) : interval_(metaInterval), audioLeft_(metaInterval) {}

    // Splits the next piece of the stream: audio bytes are appended to
    // *audio, and the text (up to the first NUL) of each non-empty metadata
    // block completed in it to *metas.
    void Push(const uint8_t* data, size_t size, std::string* audio, std::vector<std::string>* metas);

    uint64_t MetaBytes() const { return metaBytes_; }  // length bytes and blocks removed

private:
    enum class State { kAudio, kLength, kMeta };
    uint32_t interval_;
    State state_ = State::kAudio;
    uint32_t audioLeft_;
    uint32_t metaLeft_ = 0;
    std::string block_;
    uint64_t metaBytes_ = 0;
};

}  // namespace audio
