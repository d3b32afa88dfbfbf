// MP3 decoding with libmpg123, always to interleaved 16-bit stereo (mono
// sources are doubled) at the source's own sample rate.
//
// Two ways in: feed mode for network streams (the caller pushes bytes as
// they arrive) and reader mode for files and memory (the decoder pulls from
// a ByteSource and can seek and measure).
#pragma once
#include <cstddef>
#include <cstdint>

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

class Mp3Decoder {
public:
    enum class Result { kData, kNeedMore, kEnd, kError };

    Mp3Decoder();
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    bool Valid() const { return handle_ != nullptr; }
    bool OpenFeed();
    // Opens the source and reads up to the first frame: false when none is found.
    bool OpenReader(ByteSource* source);

    bool Feed(const uint8_t* data, size_t size);
    // Decodes up to maxFrames frames into out (kBytesPerFrame each).
    Result Decode(int16_t* out, int maxFrames, int* frames);

    int Rate() const { return rate_; }  // 0 until the first frame
    // Reader mode: total frames (-1 unknown, measured by a scan) and seeking.
    int64_t LengthFrames();
    bool SeekFrame(int64_t frame);

private:
    void Configure();
    mpg123_handle_struct* handle_ = nullptr;
    int rate_ = 0;
};

}  // namespace audio
