// Decoders, always to interleaved 16-bit stereo (mono sources are doubled)
// at the source's own sample rate. FeedDecoder is what a station stream
// pushes its bytes into as they arrive; Mp3Decoder (libmpg123) is one, and
// also has a reader mode for files and memory (it pulls from a ByteSource
// and can seek and measure). VorbisDecoder is in vorbis_decoder.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct mpg123_handle_struct;

namespace audio {

constexpr int kChannels = 2;
constexpr int kBytesPerFrame = kChannels * 2;

// Random-access bytes for reader mode; called on the decoding thread only.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual long Read(void* dst, size_t size) = 0;       // bytes read, 0 at the end, -1 on failure
    virtual long Seek(long offset, int whence) = 0;      // new position or -1 (lseek semantics)
    virtual long Length() const = 0;
    virtual long Position() const = 0;
};

class FeedDecoder {
public:
    enum class Result { kData, kNeedMore, kEnd, kError };

    virtual ~FeedDecoder() = default;
    // (Re)starts at the beginning of a stream; false when the decoder cannot be set up.
    virtual bool OpenFeed() = 0;
    virtual bool Feed(const uint8_t* data, size_t size) = 0;
    // Decodes up to maxFrames frames into out (kBytesPerFrame each).
    virtual Result Decode(int16_t* out, int maxFrames, int* frames) = 0;
    // Reads what was fed as far as the first audio, decoding none of it:
    // kData when audio can follow, kNeedMore, or kError when the stream is
    // broken or not of this format (ProbeError then says which).
    virtual Result Probe() { return Result::kData; }
    // The engine error code for a failed Probe: a broken stream or another codec.
    virtual int ProbeError() const;
    // Whether OpenFeed after a kError finds the stream again (MP3 frames
    // resynchronise) rather than having lost it for good.
    virtual bool ResyncsAfterErrors() const { return true; }
    virtual int Rate() const = 0;  // 0 until the format is known
    // A title the stream itself carries, as ICY metadata text; true when a
    // new one was read since the last call.
    virtual bool TakeMeta(std::string*) { return false; }
};

class Mp3Decoder : public FeedDecoder {
public:
    Mp3Decoder();
    ~Mp3Decoder() override;
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    bool Valid() const { return handle_ != nullptr; }
    bool OpenFeed() override;
    // Opens the source and reads up to the first frame: false when none is found.
    bool OpenReader(ByteSource* source);

    bool Feed(const uint8_t* data, size_t size) override;
    Result Decode(int16_t* out, int maxFrames, int* frames) override;

    int Rate() const override { return rate_; }  // 0 until the first frame
    // Reader mode: total frames (-1 unknown, measured by a scan) and seeking.
    int64_t LengthFrames();
    bool SeekFrame(int64_t frame);

private:
    void Configure();
    mpg123_handle_struct* handle_ = nullptr;
    int rate_ = 0;
};

}  // namespace audio
