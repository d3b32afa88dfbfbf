#include "audio/decoder.h"

#include <mpg123.h>

#include <mutex>

#include "audio/bass.h"

namespace audio {

int FeedDecoder::ProbeError() const { return BASS_ERROR_FILEFORM; }

namespace {

mpg123_ssize_t ReadSource(void* handle, void* dst, size_t size) {
    return static_cast<ByteSource*>(handle)->Read(dst, size);
}

off_t SeekSource(void* handle, off_t offset, int whence) {
    return static_cast<ByteSource*>(handle)->Seek(static_cast<long>(offset), whence);
}

}  // namespace

Mp3Decoder::Mp3Decoder() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    int error = 0;
    handle_ = mpg123_new(nullptr, &error);
    if (handle_) Configure();
}

Mp3Decoder::~Mp3Decoder() {
    if (handle_) {
        mpg123_close(handle_);
        mpg123_delete(handle_);
    }
}

void Mp3Decoder::Configure() {
    // Quiet: the library must never write to the program's standard error.
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Corrupt or foreign bytes in a station's stream are skipped, however many.
    mpg123_param(handle_, MPG123_RESYNC_LIMIT, -1, 0);
    mpg123_format_none(handle_);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) mpg123_format(handle_, rates[i], MPG123_STEREO, MPG123_ENC_SIGNED_16);
}

bool Mp3Decoder::OpenFeed() {
    return handle_ && mpg123_open_feed(handle_) == MPG123_OK;
}

bool Mp3Decoder::OpenReader(ByteSource* source) {
    if (!handle_) return false;
    if (mpg123_replace_reader_handle(handle_, ReadSource, SeekSource, nullptr) != MPG123_OK) return false;
    if (mpg123_open_handle(handle_, source) != MPG123_OK) return false;
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK) return false;
    rate_ = static_cast<int>(rate);
    return true;
}

bool Mp3Decoder::Feed(const uint8_t* data, size_t size) {
    return mpg123_feed(handle_, data, size) == MPG123_OK;
}

Mp3Decoder::Result Mp3Decoder::Decode(int16_t* out, int maxFrames, int* frames) {
    *frames = 0;
    size_t want = static_cast<size_t>(maxFrames) * kBytesPerFrame;
    // A few empty successful reads (tags, a format change) are normal; a
    // run of them must not spin.
    for (int tries = 0; tries < 64; ++tries) {
        size_t done = 0;
        int r = mpg123_read(handle_, reinterpret_cast<unsigned char*>(out), want, &done);
        if (r == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0, encoding = 0;
            mpg123_getformat(handle_, &rate, &channels, &encoding);
            rate_ = static_cast<int>(rate);
            if (done == 0) continue;
        }
        *frames = static_cast<int>(done / kBytesPerFrame);
        if (*frames > 0) return Result::kData;
        if (r == MPG123_NEED_MORE) return Result::kNeedMore;
        if (r == MPG123_DONE) return Result::kEnd;
        if (r == MPG123_OK) continue;
        return Result::kError;
    }
    return Result::kNeedMore;
}

int64_t Mp3Decoder::LengthFrames() {
    if (mpg123_scan(handle_) != MPG123_OK) return -1;
    off_t n = mpg123_length(handle_);
    return n < 0 ? -1 : static_cast<int64_t>(n);
}

bool Mp3Decoder::SeekFrame(int64_t frame) {
    return mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET) >= 0;
}

}  // namespace audio
