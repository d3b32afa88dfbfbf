// A stream of a local MP3 file or of MP3 bytes in memory: decoded on the
// playback thread, seekable, with a known length.
#pragma once
#include <memory>

#include "audio/bass.h"
#include "audio/decoder.h"
#include "audio/stream.h"

namespace audio {

class FileStream : public Stream {
public:
    // mem: file points to length bytes of MP3 data (copied: the caller may
    // free them at once); otherwise file is an 8-bit path and offset/length
    // select a part of the file (length 0: to the end). 0 or an error code.
    static int Create(bool mem, const void* file, DWORD offset, DWORD length, const StreamSettings& settings,
                      std::shared_ptr<Stream>* out);
    ~FileStream() override;

    int Length(uint64_t* bytes) override;
    int FilePosition(DWORD mode, DWORD* result) override;
    int Tags(DWORD type, const char** result) override;

protected:
    Produced Produce(int16_t* out, int maxFrames, int* frames) override;
    int Rate() override { return decoder_.Rate(); }
    bool CanSeek() const override { return true; }
    bool SeekFrame(int64_t frame) override;
    int64_t LengthFrames() override { return lengthFrames_; }

private:
    FileStream(std::unique_ptr<ByteSource> source, const StreamSettings& settings);

    std::unique_ptr<ByteSource> source_;
    Mp3Decoder decoder_;
    int64_t lengthFrames_ = -1;
};

}  // namespace audio
