// A station stream: the HTTP/ICY connection, the download thread that fills
// the download buffer with audio (metadata blocks removed and kept as the
// latest tag text) and the decoder fed from that buffer: MP3 or Ogg Vorbis,
// chosen when the stream is made from its content type and first bytes.
#pragma once
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/bass.h"
#include "audio/decoder.h"
#include "audio/http.h"
#include "audio/icy_demuxer.h"
#include "audio/ring_buffer.h"
#include "audio/stream_format.h"
#include "audio/stream.h"

namespace audio {

class NetStream : public Stream {
public:
    // Connects and reads the response head (waiting at most the network
    // time-out per redirect hop), then waits until netPrebuf % of the
    // download buffer is filled. 0 or an engine error code.
    static int Create(const std::string& url, DWORD offset, DWORD flags, DOWNLOADPROC* proc, DWORD user,
                      const StreamSettings& settings, std::shared_ptr<Stream>* out);
    ~NetStream() override;

    int Length(uint64_t* bytes) override;
    int FilePosition(DWORD mode, DWORD* result) override;
    int Tags(DWORD type, const char** result) override;

    // The download buffer's size for a stream of bitrateKbps (0: unknown).
    static size_t BufferBytes(int bufferMs, int bitrateKbps);

protected:
    Produced Produce(int16_t* out, int maxFrames, int* frames) override;
    int Rate() override { return decoder_ ? decoder_->Rate() : 0; }
    void StopSource() override;
    bool SourceFinished() override;
    bool IsSourceThread() const override;

private:
    NetStream(std::string url, HttpStream http, DWORD flags, DOWNLOADPROC* proc, DWORD user,
              const StreamSettings& settings);
    void DownloadLoop();
    // Reads the current connection into the buffer until it drops, stalls or
    // the stream is freed; the engine error that ended it, 0 when freed.
    int ReceiveUntilDropped(std::vector<char>& buffer, std::string* audio);
    // Connects again after back-off delays; false when the stream is freed first.
    bool Reconnect();
    bool Deliver(const char* data, size_t size, std::string* audio);
    int Prebuffer();
    // Picks the decoder from the first audio bytes and, given time to wait
    // for them, reads the Ogg headers; 0 or the error that refuses the stream.
    int ChooseDecoder(int waitMs);
    // Moves what the buffer holds into the decoder; false when it is empty.
    bool FeedFromBuffer();
    void SetMeta(const std::string& meta);

    const std::string url_;  // as given: redirects are followed again on a reconnect
    HttpStream http_;        // download thread only, after creation
    // A station without a Content-Length is live: it never ends by itself, so
    // a dropped or stalled connection is made again.
    const bool live_;
    const bool icy_;
    bool deliveredSinceConnect_ = false;
    int retryDelayMs_;  // the next wait before connecting again
    DWORD flags_;
    DOWNLOADPROC* proc_;
    DWORD user_;
    RingBuffer ring_;
    const StreamFormat declared_;  // by the content type
    IcyDemuxer demuxer_;
    std::string headerTags_;  // fixed after creation
    // Playback thread (under decoderMutex_).
    std::unique_ptr<FeedDecoder> decoder_;
    uint64_t undecodableLimit_ = 0;  // input without audio that ends the stream
    uint64_t fedSinceFrame_ = 0;
    bool rebuffering_ = false;
    bool decoderFailed_ = false;
    // Download and playback threads -> API threads.
    std::mutex metaMutex_;
    std::string meta_;
    bool haveMeta_ = false;
    std::string metaReturned_;
    std::atomic<bool> downloadQuit_{false};
    std::atomic<bool> downloadDone_{false};
    std::atomic<int> downloadError_{0};
    std::thread download_;
};

}  // namespace audio
