// Fuzz targets of the audio engine's inputs from the network: the HTTP
// response head and urls, the ICY metadata demultiplexer against a model,
// and MP3 decoding of damaged frames.
#include <cstring>

#include "audio/decoder.h"
#include "audio/http.h"
#include "audio/icy_demuxer.h"
#include "audio/vorbis_decoder.h"
#include "stream/ramstream.h"
#include "tests/fuzz/fuzz.h"

namespace fuzz {

namespace {

void HttpHeads(Rng& rng) {
    static const char* kLines[] = {"HTTP/1.0 200 OK", "ICY 200 OK", "HTTP/1.1 302 Found", "HTTP/9 x",
                                   "Content-Type: audio/mpeg", "content-type: text/html; charset=x",
                                   "icy-metaint: 16000", "icy-metaint: 99999999999", "icy-metaint:",
                                   "icy-br: 128", "icy-br: -5", "Location: /x", "Location: http://[::1]:99999/",
                                   "Transfer-Encoding: chunked", ": empty name", "Content-Length: 12", ""};
    std::string head;
    int lines = static_cast<int>(rng.Below(8));
    for (int i = 0; i < lines; ++i) {
        head += rng.OneIn(4) ? rng.Bytes(rng.Below(24)) : kLines[rng.Below(sizeof kLines / sizeof kLines[0])];
        head += rng.OneIn(3) ? "\n" : "\r\n";
    }
    if (rng.OneIn(2)) head += "\r\n";
    size_t end = audio::FindHeadEnd(head);
    Expect(end == std::string::npos || end <= head.size(), "head end past the data");
    audio::ResponseHead parsed;
    if (audio::ParseHead(head.substr(0, end == std::string::npos ? head.size() : end), &parsed)) {
        audio::CheckAudioResponse(parsed);
        uint32_t interval = 0;
        if (audio::ParseMetaInterval(parsed.Header("icy-metaint"), &interval)) {
            Expect(interval <= audio::kMaxMetaInterval, "metadata interval beyond the limit");
        }
        int bitrate = audio::ParseBitrate(parsed.Header("icy-br"));
        Expect(bitrate == 0 || (bitrate >= 8 && bitrate <= 640), "bit rate out of range");
        audio::Url base;
        if (audio::ParseUrl("http://127.0.0.1/stream", &base)) {
            audio::Url target;
            audio::ParseUrl(audio::ResolveLocation(base, parsed.Header("location")), &target);
        }
    }
    audio::Url url;
    if (audio::ParseUrl("http://" + rng.Bytes(rng.Below(16)), &url)) {
        Expect(url.port > 0 && url.port < 65536 && !url.host.empty(), "a parsed url without host or port");
        audio::BuildRequest(url, static_cast<uint32_t>(rng.Next()));
    }
}

// The station's stream rebuilt from random audio and metadata blocks, fed in
// random pieces, must come apart into exactly those.
void IcyBlocks(Rng& rng) {
    uint32_t interval = rng.OneIn(8) ? 0 : 1 + rng.Below(64);
    std::string stream, audio, pieces;
    std::vector<std::string> metas;
    int blocks = static_cast<int>(rng.Below(6));
    for (int b = 0; b < blocks; ++b) {
        std::string part = rng.Bytes(interval ? interval : rng.Below(64));
        stream += part;
        audio += part;
        if (interval == 0) continue;
        int length = static_cast<int>(rng.Below(4));
        std::string block = rng.Bytes(static_cast<size_t>(length) * 16);
        stream += static_cast<char>(length);
        stream += block;
        if (length) metas.push_back(block.substr(0, std::strlen(block.c_str())));
    }
    audio::IcyDemuxer demuxer(interval);
    std::string gotAudio;
    std::vector<std::string> gotMetas;
    for (size_t at = 0; at < stream.size();) {
        size_t n = std::min<size_t>(stream.size() - at, 1 + rng.Below(40));
        demuxer.Push(reinterpret_cast<const uint8_t*>(stream.data() + at), n, &gotAudio, &gotMetas);
        at += n;
    }
    Expect(gotAudio == audio, "audio bytes");
    Expect(gotMetas == metas, "metadata blocks");
}

// An embedded seed file with bytes flipped, cut and inserted.
std::string MutatedSeed(const char* name, Rng& rng) {
    const EmbeddedFile* seed = FindEmbeddedFile(name);
    Expect(seed != nullptr, "a seed file is not embedded");
    std::string bytes(reinterpret_cast<const char*>(seed->data), static_cast<size_t>(seed->length));
    Mutate(bytes, rng, bytes.size() + 4096);
    return bytes;
}

// Feeds the decoder the next piece of bytes, of a random size up to 4 KiB;
// false once all have gone in.
bool FeedPiece(audio::FeedDecoder& decoder, const std::string& bytes, size_t* at, Rng& rng) {
    if (*at >= bytes.size()) return false;
    size_t n = std::min<size_t>(bytes.size() - *at, 1 + rng.Below(4096));
    decoder.Feed(reinterpret_cast<const uint8_t*>(bytes.data() + *at), n);
    *at += n;
    return true;
}

void Mp3Frames(Rng& rng) {
    std::string mp3 = MutatedSeed("fuzz-seed.mp3", rng);
    audio::Mp3Decoder decoder;
    Expect(decoder.OpenFeed(), "the decoder cannot open");
    int16_t out[1152 * audio::kChannels * 2];
    size_t at = 0;
    for (int round = 0; round < 4000; ++round) {
        int frames = 0;
        audio::Mp3Decoder::Result r = decoder.Decode(out, 1152, &frames);
        if (r == audio::Mp3Decoder::Result::kData) {
            Expect(frames >= 0 && frames <= 1152, "more frames than asked for");
            continue;
        }
        if (r == audio::Mp3Decoder::Result::kError && !decoder.OpenFeed()) return;
        if (!FeedPiece(decoder, mp3, &at, rng)) return;
    }
}

// Chained Ogg Vorbis with bytes flipped, cut and inserted, fed in pieces:
// the decoder may refuse it, never crash, hang or hand out more than asked.
void OggPages(Rng& rng) {
    std::string ogg = MutatedSeed("fuzz-seed.ogg", rng);
    audio::VorbisDecoder decoder;
    decoder.OpenFeed();
    int16_t out[2048 * audio::kChannels];
    std::string meta;
    size_t at = 0;
    for (int round = 0; round < 4000; ++round) {
        int frames = 0;
        audio::FeedDecoder::Result r = round % 2 ? decoder.Decode(out, 2048, &frames) : decoder.Probe();
        decoder.TakeMeta(&meta);
        Expect(frames >= 0 && frames <= 2048, "more frames than asked for");
        if (r == audio::FeedDecoder::Result::kData) continue;
        if (r == audio::FeedDecoder::Result::kError) decoder.OpenFeed();
        if (!FeedPiece(decoder, ogg, &at, rng)) return;
    }
}

}  // namespace

const Target kAudioTargets[] = {
    {"http-heads", HttpHeads, 200000},
    {"icy-blocks", IcyBlocks, 200000},
    {"mp3-frames", Mp3Frames, 2000},
    {"ogg-pages", OggPages, 2000},
};
const int kAudioTargetCount = sizeof kAudioTargets / sizeof kAudioTargets[0];

}  // namespace fuzz
