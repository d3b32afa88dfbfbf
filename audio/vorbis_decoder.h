// Ogg Vorbis decoding with libogg and libvorbis, fed by a station stream.
//
// An Ogg stream is a chain of links: each song starts a new logical stream
// with a page marked "beginning of stream" (BOS) and its three Vorbis
// header packets (identification, comments, codebooks), then audio. The
// decoder plays every link in order, finishing the audio of one before it
// reads the next one's pages, so a new song follows without a gap; a new
// link may change the rate and the channel count. Its ARTIST and TITLE
// comments become the stream's metadata, as an ICY station's would be.
//
// Damage: a page whose checksum fails is skipped by the page reader (its
// packets leave a hole, audio goes on); an audio packet that does not
// decode is skipped; headers that do not parse end the link (kError).
#pragma once
#include <memory>
#include <string>

#include "audio/decoder.h"

namespace audio {

class VorbisDecoder : public FeedDecoder {
public:
    VorbisDecoder();
    ~VorbisDecoder() override;
    VorbisDecoder(const VorbisDecoder&) = delete;
    VorbisDecoder& operator=(const VorbisDecoder&) = delete;

    bool OpenFeed() override;
    bool Feed(const uint8_t* data, size_t size) override;
    Result Decode(int16_t* out, int maxFrames, int* frames) override;
    Result Probe() override;
    int ProbeError() const override;
    // Errors come only before the first link: nothing to find again.
    bool ResyncsAfterErrors() const override { return false; }
    int Rate() const override { return rate_; }
    bool TakeMeta(std::string* meta) override;

    // "StreamTitle='Artist - Title';" from a link's comments ("ARTIST=...",
    // "TITLE=..."; either may be missing), "" when it has neither.
    static std::string MetaFromComments(const char* const* comments, int count);

private:
    struct State;  // libogg's and libvorbis's structures

    enum class Step { kAudio, kHeadersDone, kNeedMore, kError, kGoOn };
    Step Advance();
    Step TakePacket(void* packet);
    Step TakePage(void* page);
    void StartLink(int serial);
    void EndLink();
    Step DropLink();
    int Convert(int16_t* out, int maxFrames);

    std::unique_ptr<State> s_;
    int rate_ = 0;
    int channels_ = 0;
    bool sawForeign_ = false;  // a BOS page of another codec, and no Vorbis link yet
    bool notVorbis_ = false;   // the stream holds no Vorbis at all
    std::string meta_;
    bool newMeta_ = false;
};

}  // namespace audio
