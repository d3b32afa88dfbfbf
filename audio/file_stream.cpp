#include "audio/file_stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace audio {

namespace {

// A part of a file: [begin, begin + size).
class FileSource : public ByteSource {
public:
    FileSource(FILE* file, long begin, long size) : file_(file), begin_(begin), size_(size) {}
    ~FileSource() override { std::fclose(file_); }

    long Read(void* dst, size_t size) override {
        size_t left = static_cast<size_t>(size_ - position_);
        size_t n = std::fread(dst, 1, std::min(size, left), file_);
        position_ += static_cast<long>(n);
        return n == 0 && std::ferror(file_) ? -1 : static_cast<long>(n);
    }

    long Seek(long offset, int whence) override {
        long target = whence == SEEK_SET ? offset : whence == SEEK_CUR ? position_ + offset : size_ + offset;
        if (target < 0 || target > size_) return -1;
        if (std::fseek(file_, begin_ + target, SEEK_SET) != 0) return -1;
        position_ = target;
        return position_;
    }

    long Length() const override { return size_; }
    long Position() const override { return position_; }

private:
    FILE* file_;
    long begin_;
    long size_;
    long position_ = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

    long Read(void* dst, size_t size) override {
        size_t n = std::min(size, data_.size() - position_);
        std::memcpy(dst, data_.data() + position_, n);
        position_ += n;
        return static_cast<long>(n);
    }

    long Seek(long offset, int whence) override {
        long base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<long>(position_) : Length();
        long target = base + offset;
        if (target < 0 || target > Length()) return -1;
        position_ = static_cast<size_t>(target);
        return target;
    }

    long Length() const override { return static_cast<long>(data_.size()); }
    long Position() const override { return static_cast<long>(position_); }

private:
    std::vector<uint8_t> data_;
    size_t position_ = 0;
};

int OpenFileSource(const char* path, DWORD offset, DWORD length, std::unique_ptr<ByteSource>* out) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return BASS_ERROR_FILEOPEN;
    if (std::fseek(f, 0, SEEK_END) != 0) {
        std::fclose(f);
        return BASS_ERROR_FILEOPEN;
    }
    long size = std::ftell(f);
    if (size < 0 || static_cast<unsigned long>(offset) > static_cast<unsigned long>(size)) {
        std::fclose(f);
        return BASS_ERROR_ILLPARAM;
    }
    long available = size - static_cast<long>(offset);
    long part = length == 0 ? available : std::min<long>(available, static_cast<long>(length));
    std::fseek(f, static_cast<long>(offset), SEEK_SET);
    *out = std::make_unique<FileSource>(f, static_cast<long>(offset), part);
    return 0;
}

}  // namespace

FileStream::FileStream(std::unique_ptr<ByteSource> source, const StreamSettings& settings)
    : Stream(settings), source_(std::move(source)) {}

FileStream::~FileStream() { Shutdown(); }

int FileStream::Create(bool mem, const void* file, DWORD offset, DWORD length, const StreamSettings& settings,
                       std::shared_ptr<Stream>* out) {
    if (!file) return BASS_ERROR_ILLPARAM;
    std::unique_ptr<ByteSource> source;
    if (mem) {
        if (length == 0) return BASS_ERROR_ILLPARAM;
        source = std::make_unique<MemorySource>(static_cast<const uint8_t*>(file) + offset, length);
    } else {
        int error = OpenFileSource(static_cast<const char*>(file), offset, length, &source);
        if (error) return error;
    }
    std::shared_ptr<FileStream> stream(new FileStream(std::move(source), settings));
    if (!stream->decoder_.Valid()) return BASS_ERROR_CREATE;
    if (!stream->decoder_.OpenReader(stream->source_.get())) return BASS_ERROR_FILEFORM;
    stream->lengthFrames_ = stream->decoder_.LengthFrames();
    // Measuring read ahead: decoding starts at the beginning again.
    if (!stream->decoder_.SeekFrame(0)) return BASS_ERROR_FILEFORM;
    stream->StartPlayback();
    *out = stream;
    return 0;
}

Stream::Produced FileStream::Produce(int16_t* out, int maxFrames, int* frames) {
    Mp3Decoder::Result r = decoder_.Decode(out, maxFrames, frames);
    if (r == Mp3Decoder::Result::kData) return Produced::kData;
    // In reader mode the decoder reads by itself: anything else is the end
    // (a broken file plays up to its damage).
    return Produced::kEnd;
}

bool FileStream::SeekFrame(int64_t frame) { return decoder_.SeekFrame(frame); }

int FileStream::Length(uint64_t* bytes) {
    if (lengthFrames_ < 0) return BASS_ERROR_NOTAVAIL;
    *bytes = static_cast<uint64_t>(lengthFrames_) * kBytesPerFrame;
    return 0;
}

int FileStream::FilePosition(DWORD mode, DWORD* result) {
    std::lock_guard<std::mutex> decoder(decoderMutex_);
    switch (mode) {
    case BASS_FILEPOS_DECODE:
        *result = static_cast<DWORD>(source_->Position());
        return 0;
    case BASS_FILEPOS_DOWNLOAD:
    case BASS_FILEPOS_END:
        *result = static_cast<DWORD>(source_->Length());
        return 0;
    default:
        return BASS_ERROR_ILLPARAM;
    }
}

int FileStream::Tags(DWORD, const char**) { return BASS_ERROR_NOTAVAIL; }

}  // namespace audio
