// Which decoder a station stream needs: told by its content type and by
// its first bytes, the bytes winning when they are clear.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/decoder.h"

namespace audio {

enum class StreamFormat {
    kUnknown,    // no or a generic content type, bytes not recognised: tried as MP3
    kMp3,
    kOggVorbis,  // Ogg; whether it holds Vorbis shows in its first packet
    kOtherAudio, // audio the engine does not decode (AAC, FLAC, MP4, ...)
    kNotAudio,   // text, HTML, ...
};

// From a Content-Type value (parameters and case ignored).
StreamFormat FormatFromContentType(const std::string& contentType);
// From the first bytes of the audio (at least 4 for a clear answer).
StreamFormat FormatFromFirstBytes(const uint8_t* data, size_t size);
// The format of a stream whose head said `declared` and which starts with data.
StreamFormat ChooseFormat(StreamFormat declared, const uint8_t* data, size_t size);
// The decoder for a playable format (kUnknown: MP3); null for the others.
std::unique_ptr<FeedDecoder> MakeDecoder(StreamFormat format);

}  // namespace audio
