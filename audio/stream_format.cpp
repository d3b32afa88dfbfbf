#include "audio/stream_format.h"

#include <cstring>

#include "audio/http.h"
#include "audio/vorbis_decoder.h"

namespace audio {

namespace {

bool Is(const std::string& type, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (type == name) return true;
    }
    return false;
}

}  // namespace

StreamFormat FormatFromContentType(const std::string& contentType) {
    const std::string type = Trim(Lower(contentType.substr(0, contentType.find(';'))));
    if (type.empty() || type == "application/octet-stream") return StreamFormat::kUnknown;
    if (Is(type, {"audio/mpeg", "audio/mp3", "audio/x-mpeg", "audio/mpeg3", "audio/x-mp3", "audio/mpg"})) {
        return StreamFormat::kMp3;
    }
    if (Is(type, {"application/ogg", "application/x-ogg", "audio/ogg", "audio/vorbis", "audio/x-ogg",
                  "audio/x-vorbis", "audio/x-vorbis+ogg"})) {
        return StreamFormat::kOggVorbis;
    }
    if (type.compare(0, 6, "audio/") == 0) return StreamFormat::kOtherAudio;
    return StreamFormat::kNotAudio;
}

StreamFormat FormatFromFirstBytes(const uint8_t* data, size_t size) {
    auto starts = [&](const char* magic, size_t at = 0) {
        size_t n = std::strlen(magic);
        return size >= at + n && std::memcmp(data + at, magic, n) == 0;
    };
    if (starts("OggS")) return StreamFormat::kOggVorbis;
    if (starts("ID3")) return StreamFormat::kMp3;
    if (starts("fLaC") || starts("ADIF") || starts("ftyp", 4)) return StreamFormat::kOtherAudio;
    if (size >= 2 && data[0] == 0xFF && (data[1] & 0xE0) == 0xE0) {
        // An MPEG audio frame sync; layer bits 00 mark AAC's ADTS frames.
        return (data[1] & 0x06) == 0 ? StreamFormat::kOtherAudio : StreamFormat::kMp3;
    }
    return StreamFormat::kUnknown;
}

StreamFormat ChooseFormat(StreamFormat declared, const uint8_t* data, size_t size) {
    StreamFormat seen = FormatFromFirstBytes(data, size);
    return seen != StreamFormat::kUnknown ? seen : declared;
}

std::unique_ptr<FeedDecoder> MakeDecoder(StreamFormat format) {
    switch (format) {
    case StreamFormat::kUnknown:
    case StreamFormat::kMp3: return std::make_unique<Mp3Decoder>();
    case StreamFormat::kOggVorbis: return std::make_unique<VorbisDecoder>();
    default: return nullptr;
    }
}

}  // namespace audio
