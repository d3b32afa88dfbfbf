#include "audio/net_stream.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace audio {

namespace {

constexpr size_t kMinBufferBytes = 16 * 1024;
constexpr size_t kMaxBufferBytes = 16 * 1024 * 1024;
constexpr int kDefaultKbps = 128;
constexpr size_t kFeedChunk = 4096;
constexpr size_t kReceiveChunk = 16384;
constexpr int kReceiveSliceMs = 100;
// This much input without one decodable frame: the station sends no MP3.
constexpr uint64_t kMaxUndecodable = 64 * 1024;
// An Ogg link's headers may carry cover art: a song change may bring this
// much before its first audio.
constexpr uint64_t kMaxOggWithoutAudio = 2 * 1024 * 1024;
// The bytes that tell the format.
constexpr size_t kSniffBytes = 4;
// Waits before each new connection to a live station that dropped: doubling
// from one second, at most half a minute.
constexpr int kFirstRetryMs = 1000;
constexpr int kLongestRetryMs = 30000;

// Header lines as a tag list: each line NUL-ended, then one more NUL.
std::string TagList(const std::vector<std::string>& lines) {
    std::string tags;
    for (const std::string& line : lines) {
        tags += line;
        tags.push_back('\0');
    }
    tags.push_back('\0');
    return tags;
}

}  // namespace

size_t NetStream::BufferBytes(int bufferMs, int bitrateKbps) {
    if (bitrateKbps <= 0) bitrateKbps = kDefaultKbps;
    // ms * kbit/s is bits; eight of them make a byte.
    uint64_t bytes = static_cast<uint64_t>(bufferMs) * static_cast<uint64_t>(bitrateKbps) / 8;
    return static_cast<size_t>(std::clamp<uint64_t>(bytes, kMinBufferBytes, kMaxBufferBytes));
}

NetStream::NetStream(std::string url, HttpStream http, DWORD flags, DOWNLOADPROC* proc, DWORD user,
                     const StreamSettings& settings)
    : Stream(settings),
      url_(std::move(url)),
      http_(std::move(http)),
      live_(http_.head.Header("content-length").empty()),
      icy_(http_.head.icy),
      retryDelayMs_(kFirstRetryMs),
      flags_(flags),
      proc_(proc),
      user_(user),
      ring_(BufferBytes(settings.netBufferMs, http_.bitrate)),
      declared_(FormatFromContentType(http_.head.Header("content-type"))),
      demuxer_(http_.metaInterval),
      headerTags_(TagList(http_.head.lines)) {}

NetStream::~NetStream() { Shutdown(); }

int NetStream::Create(const std::string& url, DWORD offset, DWORD flags, DOWNLOADPROC* proc, DWORD user,
                      const StreamSettings& settings, std::shared_ptr<Stream>* out) {
    HttpStream http;
    int error = OpenHttpStream(url, offset, settings.netTimeoutMs, &http);
    if (error) return error;
    std::shared_ptr<NetStream> stream(new NetStream(url, std::move(http), flags, proc, user, settings));
    stream->download_ = std::thread(&NetStream::DownloadLoop, stream.get());
    stream->StartPlayback();
    error = stream->Prebuffer();
    // Without pre-buffering the call returns with the head; the decoder is
    // then chosen when the stream first plays.
    if (!error && settings.netPrebuf > 0) {
        std::lock_guard<std::mutex> lock(stream->decoderMutex_);
        error = stream->ChooseDecoder(settings.netTimeoutMs);
    }
    if (error) {
        stream->Shutdown();
        return error;
    }
    *out = stream;
    return 0;
}

// Waits for netPrebuf % of the buffer, at most as long as filling it at
// the stream's own rate plus the network time-out would take.
int NetStream::Prebuffer() {
    if (settings_.netPrebuf <= 0) return 0;
    size_t want = ring_.Capacity() * static_cast<size_t>(settings_.netPrebuf) / 100;
    ring_.WaitForFill(want, settings_.netBufferMs + settings_.netTimeoutMs);
    if (downloadDone_ && ring_.Written() == 0) {
        int error = downloadError_;
        return error ? error : BASS_ERROR_ENDED;
    }
    return 0;
}

// Under decoderMutex_, on the creating thread (before anyone can play the
// stream) or on the playback thread: the buffer's reading end is its own.
int NetStream::ChooseDecoder(int waitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    auto msLeft = [&] {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<int64_t>(left.count(), 0));
    };
    ring_.WaitForFill(kSniffBytes, msLeft());
    uint8_t first[kSniffBytes];
    size_t n = ring_.Read(first, sizeof first);
    if (n == 0) {
        int error = downloadError_;
        if (!ring_.Closed()) return BASS_ERROR_TIMEOUT;
        return error ? error : BASS_ERROR_ENDED;
    }
    const StreamFormat format = ChooseFormat(declared_, first, n);
    decoder_ = MakeDecoder(format);
    if (!decoder_) return format == StreamFormat::kNotAudio ? BASS_ERROR_FILEFORM : BASS_ERROR_CODEC;
    if (!decoder_->OpenFeed()) return BASS_ERROR_CREATE;
    undecodableLimit_ = format == StreamFormat::kOggVorbis ? kMaxOggWithoutAudio : kMaxUndecodable;
    decoder_->Feed(first, n);
    fedSinceFrame_ = n;
    if (waitMs == 0) return 0;  // playing: the decoder reads the headers as they come
    for (;;) {
        FeedDecoder::Result r = decoder_->Probe();
        if (r == FeedDecoder::Result::kData) break;
        if (r == FeedDecoder::Result::kError || fedSinceFrame_ > undecodableLimit_) return decoder_->ProbeError();
        if (FeedFromBuffer()) continue;
        if (ring_.Closed()) return BASS_ERROR_FILEFORM;  // it ended before its headers did
        int left = msLeft();
        if (left == 0) return BASS_ERROR_TIMEOUT;
        ring_.WaitForFill(1, std::min(left, kReceiveSliceMs));
    }
    std::string meta;
    if (decoder_->TakeMeta(&meta)) SetMeta(meta);
    return 0;
}

bool NetStream::FeedFromBuffer() {
    uint8_t chunk[kFeedChunk];
    size_t n = ring_.Read(chunk, sizeof chunk);
    if (n == 0) return false;
    decoder_->Feed(chunk, n);
    fedSinceFrame_ += n;
    return true;
}

void NetStream::SetMeta(const std::string& meta) {
    std::lock_guard<std::mutex> lock(metaMutex_);
    meta_ = meta;
    haveMeta_ = true;
}

// ------------------------------------------------------------ download thread

void NetStream::DownloadLoop() {
    int error = BASS_ERROR_ENDED;
    try {
        if (proc_ && (flags_ & BASS_STREAM_STATUS)) proc_(headerTags_.c_str(), 0, user_);
        std::string audio;
        std::vector<char> buffer(kReceiveChunk);
        for (;;) {
            error = ReceiveUntilDropped(buffer, &audio);
            http_.socket->Close();
            // Freed, ended by the buffer, a stream that has an end, or one
            // that never brought audio (its creation reports that): done.
            if (error == 0 || !live_ || downloadQuit_ || ring_.Written() == 0 || !Reconnect()) break;
        }
        if (error == 0) error = BASS_ERROR_ENDED;
    } catch (...) {
        error = BASS_ERROR_MEM;
    }
    if (http_.socket) http_.socket->Close();
    downloadError_ = error;
    downloadDone_ = true;
    ring_.Close();
    if (proc_) proc_(nullptr, 0, user_);
}

int NetStream::ReceiveUntilDropped(std::vector<char>& buffer, std::string* audio) {
    if (!http_.body.empty() && !Deliver(http_.body.data(), http_.body.size(), audio)) return 0;
    std::string().swap(http_.body);
    auto lastData = std::chrono::steady_clock::now();
    const auto timeout = std::chrono::milliseconds(settings_.netTimeoutMs);
    while (!downloadQuit_) {
        int n = http_.socket->Recv(buffer.data(), static_cast<int>(buffer.size()), kReceiveSliceMs);
        if (n == kRecvTimeout) {
            if (std::chrono::steady_clock::now() - lastData >= timeout) return BASS_ERROR_TIMEOUT;
            continue;
        }
        if (n == kRecvClosed) return BASS_ERROR_ENDED;
        if (n < 0) return BASS_ERROR_FILEOPEN;
        if (!Deliver(buffer.data(), static_cast<size_t>(n), audio)) return 0;
        // Time spent waiting for room in a full buffer is not a stall.
        lastData = std::chrono::steady_clock::now();
    }
    return 0;
}

bool NetStream::Reconnect() {
    // The wait grows while connections bring no audio: a station that answers
    // and drops or stalls at once is not asked again every second.
    if (deliveredSinceConnect_) retryDelayMs_ = kFirstRetryMs;
    for (;;) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(retryDelayMs_);
        while (std::chrono::steady_clock::now() < until) {
            if (downloadQuit_) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(kReceiveSliceMs));
        }
        retryDelayMs_ = std::min(retryDelayMs_ * 2, kLongestRetryMs);
        deliveredSinceConnect_ = false;
        HttpStream fresh;
        if (OpenHttpStream(url_, 0, settings_.netTimeoutMs, &fresh, &downloadQuit_) != 0) continue;
        if (downloadQuit_) return false;
        // The metadata interval may differ; the last title stays until a new one comes.
        http_ = std::move(fresh);
        demuxer_ = IcyDemuxer(http_.metaInterval);
        return true;
    }
}

bool NetStream::Deliver(const char* data, size_t size, std::string* audio) {
    audio->clear();
    std::vector<std::string> metas;
    demuxer_.Push(reinterpret_cast<const uint8_t*>(data), size, audio, &metas);
    if (!metas.empty()) SetMeta(metas.back());  // only the latest counts
    if (audio->empty()) return true;
    deliveredSinceConnect_ = true;
    if (proc_) proc_(audio->data(), static_cast<DWORD>(audio->size()), user_);
    return ring_.Write(reinterpret_cast<const uint8_t*>(audio->data()), audio->size());
}

void NetStream::StopSource() {
    downloadQuit_ = true;
    ring_.Abort();
    if (download_.joinable()) download_.join();
}

bool NetStream::SourceFinished() { return downloadDone_ && ring_.Fill() == 0; }

bool NetStream::IsSourceThread() const { return std::this_thread::get_id() == download_.get_id(); }

// ------------------------------------------------------------ playback thread

Stream::Produced NetStream::Produce(int16_t* out, int maxFrames, int* frames) {
    *frames = 0;
    if (decoderFailed_) return Produced::kEnd;
    if (!decoder_) {
        if (ring_.Fill() < kSniffBytes && !ring_.Closed()) return Produced::kNothingYet;
        if (ChooseDecoder(0) != 0) {
            decoderFailed_ = true;  // a format the engine does not play
            return Produced::kEnd;
        }
    }
    for (;;) {
        FeedDecoder::Result r = decoder_->Decode(out, maxFrames, frames);
        std::string meta;
        if (decoder_->TakeMeta(&meta)) SetMeta(meta);  // a new Ogg link, as its audio begins
        if (r == FeedDecoder::Result::kData) {
            fedSinceFrame_ = 0;
            return Produced::kData;
        }
        if (r == FeedDecoder::Result::kError && (!decoder_->ResyncsAfterErrors() || !decoder_->OpenFeed())) {
            decoderFailed_ = true;
            return Produced::kEnd;
        }
        if (fedSinceFrame_ > undecodableLimit_) {
            decoderFailed_ = true;
            return Produced::kEnd;
        }
        // After running dry, wait for a quarter of the buffer before going
        // on, rather than stuttering frame by frame.
        if (rebuffering_) {
            if (ring_.Fill() < ring_.Capacity() / 4 && !ring_.Closed()) return Produced::kNothingYet;
            rebuffering_ = false;
        }
        if (!FeedFromBuffer()) {
            if (ring_.Closed()) return Produced::kEnd;
            rebuffering_ = true;
            return Produced::kNothingYet;
        }
    }
}

// ------------------------------------------------------------------ queries

int NetStream::Length(uint64_t*) { return BASS_ERROR_NOTAVAIL; }

int NetStream::FilePosition(DWORD mode, DWORD* result) {
    switch (mode) {
    case BASS_FILEPOS_DECODE:
        *result = static_cast<DWORD>(ring_.Taken());
        return 0;
    case BASS_FILEPOS_DOWNLOAD:
        *result = static_cast<DWORD>(ring_.Written());
        return 0;
    case BASS_FILEPOS_END:
        if (!downloadDone_) {
            *result = static_cast<DWORD>(ring_.Capacity());
            return 0;
        }
        // The download is over: its length is known now. A download that
        // brought nothing has no length (0 would be a divisor for callers).
        if (ring_.Written() == 0) {
            int error = downloadError_;
            return error ? error : BASS_ERROR_ENDED;
        }
        *result = static_cast<DWORD>(ring_.Written());
        return 0;
    default:
        return BASS_ERROR_ILLPARAM;
    }
}

int NetStream::Tags(DWORD type, const char** result) {
    if (type == BASS_TAG_META) {
        std::lock_guard<std::mutex> lock(metaMutex_);
        if (!haveMeta_) return BASS_ERROR_NOTAVAIL;
        metaReturned_ = meta_;
        *result = metaReturned_.c_str();
        return 0;
    }
    if (type == BASS_TAG_ICY || (type == BASS_TAG_HTTP && !icy_)) {
        *result = headerTags_.c_str();
        return 0;
    }
    return BASS_ERROR_NOTAVAIL;
}

}  // namespace audio
