#include "audio/vorbis_decoder.h"

#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "audio/bass.h"

namespace audio {

namespace {

// A packet larger than this (the comment packet may carry cover art) ends
// its link: a hostile stream could otherwise grow one packet forever.
constexpr long kMaxPacketBytes = 1 << 20;
// The rates an output can play; a link outside them is broken.
constexpr long kMinRate = 1000;
constexpr long kMaxRate = 384000;
// A comment value longer than this is cut (at a character boundary).
constexpr size_t kMaxCommentBytes = 1000;

bool IsVorbisBos(const ogg_page* page) {
    return page->body_len >= 7 && page->body[0] == 1 && std::memcmp(page->body + 1, "vorbis", 6) == 0;
}

int16_t ToInt16(float v) {
    float scaled = v * 32767.0f;
    if (scaled >= 32767.0f) return 32767;
    if (scaled <= -32768.0f) return -32768;
    if (std::isnan(scaled)) return 0;
    return static_cast<int16_t>(std::lrint(scaled));
}

// The value of the first "KEY=value" comment with this key (any case).
std::string CommentValue(const char* const* comments, int count, const char* key) {
    const size_t keyLength = std::strlen(key);
    for (int i = 0; i < count; ++i) {
        const char* c = comments[i];
        if (!c || std::strlen(c) <= keyLength || c[keyLength] != '=') continue;
        bool same = true;
        for (size_t k = 0; k < keyLength && same; ++k) {
            same = std::toupper(static_cast<unsigned char>(c[k])) == key[k];
        }
        if (same) return c + keyLength + 1;
    }
    return "";
}

// Control characters become spaces (a title is one line); a long value is
// cut at a character boundary (never before a UTF-8 continuation byte).
std::string CleanValue(std::string value) {
    if (value.size() > kMaxCommentBytes) {
        size_t cut = kMaxCommentBytes;
        while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
        value.resize(cut);
    }
    for (char& c : value) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    return value;
}

}  // namespace

// Invariants: haveDsp implies haveStream and headers == 3; the structures a
// flag covers are initialised exactly while it is set.
struct VorbisDecoder::State {
    ogg_sync_state sync;
    ogg_stream_state stream;
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    bool haveStream = false;  // stream, info and comment
    bool haveDsp = false;     // dsp and block
    int headers = 0;          // header packets read of the current link
    int links = 0;            // links whose headers were read since OpenFeed
    long bytesSincePacket = 0;
};

VorbisDecoder::VorbisDecoder() : s_(new State) { ogg_sync_init(&s_->sync); }

VorbisDecoder::~VorbisDecoder() {
    EndLink();
    ogg_sync_clear(&s_->sync);
}

bool VorbisDecoder::OpenFeed() {
    EndLink();
    ogg_sync_reset(&s_->sync);
    s_->links = 0;
    sawForeign_ = false;
    notVorbis_ = false;
    return true;
}

bool VorbisDecoder::Feed(const uint8_t* data, size_t size) {
    char* buffer = ogg_sync_buffer(&s_->sync, static_cast<long>(size));
    if (!buffer) return false;
    std::memcpy(buffer, data, size);
    return ogg_sync_wrote(&s_->sync, static_cast<long>(size)) == 0;
}

FeedDecoder::Result VorbisDecoder::Decode(int16_t* out, int maxFrames, int* frames) {
    *frames = 0;
    for (;;) {
        switch (Advance()) {
        case Step::kAudio:
            *frames = Convert(out, maxFrames);
            return Result::kData;
        case Step::kNeedMore: return Result::kNeedMore;
        case Step::kError: return Result::kError;
        default: break;
        }
    }
}

FeedDecoder::Result VorbisDecoder::Probe() {
    while (!s_->haveDsp) {
        switch (Advance()) {
        case Step::kNeedMore: return Result::kNeedMore;
        case Step::kError: return Result::kError;
        default: break;
        }
    }
    return Result::kData;
}

int VorbisDecoder::ProbeError() const { return notVorbis_ ? BASS_ERROR_CODEC : BASS_ERROR_FILEFORM; }

bool VorbisDecoder::TakeMeta(std::string* meta) {
    if (!newMeta_) return false;
    newMeta_ = false;
    *meta = meta_;
    return true;
}

std::string VorbisDecoder::MetaFromComments(const char* const* comments, int count) {
    std::string artist = CleanValue(CommentValue(comments, count, "ARTIST"));
    std::string title = CleanValue(CommentValue(comments, count, "TITLE"));
    if (artist.empty() && title.empty()) return "";
    std::string text = artist.empty() ? title : title.empty() ? artist : artist + " - " + title;
    return "StreamTitle='" + text + "';";
}

// One step: PCM first, then the current link's packets, then a new page,
// so a link's audio is all out before the next link's pages are read.
VorbisDecoder::Step VorbisDecoder::Advance() {
    State& s = *s_;
    if (s.haveDsp) {
        float** pcm = nullptr;
        if (vorbis_synthesis_pcmout(&s.dsp, &pcm) > 0) return Step::kAudio;
    }
    if (s.haveStream) {
        ogg_packet packet;
        int r = ogg_stream_packetout(&s.stream, &packet);
        if (r > 0) {
            s.bytesSincePacket = 0;
            return TakePacket(&packet);
        }
        if (r < 0) return Step::kGoOn;  // a hole: pages were lost, the next packet follows
    }
    ogg_page page;
    int r = ogg_sync_pageout(&s.sync, &page);
    if (r == 0) return Step::kNeedMore;
    if (r < 0) return Step::kGoOn;  // bytes skipped to the next page
    return TakePage(&page);
}

// A broken link: after a good one it is skipped up to the next link;
// before any, the stream is not playable.
VorbisDecoder::Step VorbisDecoder::DropLink() {
    EndLink();
    return s_->links > 0 ? Step::kGoOn : Step::kError;
}

VorbisDecoder::Step VorbisDecoder::TakePage(void* p) {
    State& s = *s_;
    auto* page = static_cast<ogg_page*>(p);
    if (ogg_page_bos(page)) {
        if (IsVorbisBos(page)) {
            StartLink(ogg_page_serialno(page));
        } else {
            // Another codec, maybe beside Vorbis in a group of streams.
            if (!s.haveStream) sawForeign_ = true;
            return Step::kGoOn;
        }
    } else if (!s.haveStream) {
        // No link to add it to. Before the first link the stream is not
        // playable (another codec, or its first page lost); later, a link
        // whose headers failed is skipped up to the next one.
        if (s.links > 0) return Step::kGoOn;
        notVorbis_ = sawForeign_;
        return Step::kError;
    }
    if (ogg_page_serialno(page) != s.stream.serialno) return Step::kGoOn;
    s.bytesSincePacket += page->body_len;
    if (s.bytesSincePacket > kMaxPacketBytes) return DropLink();
    ogg_stream_pagein(&s.stream, page);
    return Step::kGoOn;
}

VorbisDecoder::Step VorbisDecoder::TakePacket(void* p) {
    State& s = *s_;
    auto* packet = static_cast<ogg_packet*>(p);
    if (s.headers < 3) {
        if (vorbis_synthesis_headerin(&s.info, &s.comment, packet) != 0) return DropLink();
        if (++s.headers < 3) return Step::kGoOn;
        if (s.info.rate < kMinRate || s.info.rate > kMaxRate || vorbis_synthesis_init(&s.dsp, &s.info) != 0) {
            return DropLink();
        }
        vorbis_block_init(&s.dsp, &s.block);
        s.haveDsp = true;
        ++s.links;
        rate_ = static_cast<int>(s.info.rate);
        channels_ = s.info.channels;
        meta_ = MetaFromComments(s.comment.user_comments, s.comment.comments);
        if (meta_.empty()) meta_ = "StreamTitle='';";  // a song without tags: no stale title
        newMeta_ = true;
        return Step::kHeadersDone;
    }
    // An audio packet that does not decode is skipped.
    if (vorbis_synthesis(&s.block, packet) == 0) vorbis_synthesis_blockin(&s.dsp, &s.block);
    return Step::kGoOn;
}

void VorbisDecoder::StartLink(int serial) {
    EndLink();
    State& s = *s_;
    ogg_stream_init(&s.stream, serial);
    vorbis_info_init(&s.info);
    vorbis_comment_init(&s.comment);
    s.haveStream = true;
    s.headers = 0;
    s.bytesSincePacket = 0;
}

void VorbisDecoder::EndLink() {
    State& s = *s_;
    if (s.haveDsp) {
        vorbis_block_clear(&s.block);
        vorbis_dsp_clear(&s.dsp);
        s.haveDsp = false;
    }
    if (s.haveStream) {
        ogg_stream_clear(&s.stream);
        vorbis_comment_clear(&s.comment);
        vorbis_info_clear(&s.info);
        s.haveStream = false;
    }
    s.headers = 0;
}

// Up to maxFrames frames of the pending PCM as 16-bit stereo. Mono is
// doubled; of more channels the front left and right are taken (Vorbis
// puts the centre second in 3, 5, 6, 7 and 8 channel layouts).
int VorbisDecoder::Convert(int16_t* out, int maxFrames) {
    State& s = *s_;
    float** pcm = nullptr;
    int n = std::min(vorbis_synthesis_pcmout(&s.dsp, &pcm), maxFrames);
    const int left = 0;
    const int right = channels_ == 1 ? 0 : (channels_ == 2 || channels_ == 4) ? 1 : 2;
    for (int i = 0; i < n; ++i) {
        out[2 * i] = ToInt16(pcm[left][i]);
        out[2 * i + 1] = ToInt16(pcm[right][i]);
    }
    vorbis_synthesis_read(&s.dsp, n);
    return n;
}

}  // namespace audio
