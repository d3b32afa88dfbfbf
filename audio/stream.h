// A channel: decoded audio on its way to an output, with the playback
// thread that moves it there. NetStream and FileStream supply the audio.
//
// Threads: the API threads call the public functions; the playback thread
// (PlaybackLoop) decodes and writes to the output. mutex_ guards the state,
// the output, the history and the attributes; decoderMutex_ guards the
// source's decoder and is held by the playback thread while it decodes a
// block and by seeks. Order: decoderMutex_ before mutex_. Only the playback
// thread opens or replaces output_; others only call into it under mutex_.
#pragma once
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/output.h"
#include "audio/sample_history.h"
#include "audio/fft.h"

namespace audio {

// What a stream needs to know of the engine's settings when it is made.
struct StreamSettings {
    int device = 0;       // as given to BASS_Init
    int bufferMs = 500;   // playback buffer
    int netTimeoutMs = 5000;
    int netBufferMs = 5000;
    int netPrebuf = 75;
};

// Every public call returns 0 or an engine error code unless it says otherwise.
class Stream {
public:
    virtual ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Stops the threads and releases the output; idempotent. Afterwards
    // every call fails with BASS_ERROR_HANDLE.
    void Shutdown();
    // True on the stream's own threads (which must not shut it down).
    bool IsOwnThread() const;

    int Play(bool restart);
    int Stop();
    int Pause();
    DWORD IsActive();
    int Level(DWORD* level);
    int Position(uint64_t* bytes);
    int SetPosition(uint64_t bytes);
    int GetAttributes(DWORD* freq, DWORD* volume, int* pan);
    int SetAttributes(int freq, int volume, int pan);
    // FFT: fills 256 floats; otherwise copies up to length bytes of the
    // latest played 16-bit stereo PCM. *result is the byte count written.
    int GetData(void* buffer, DWORD length, DWORD* result);

    virtual int Length(uint64_t* bytes) = 0;
    virtual int FilePosition(DWORD mode, DWORD* result) = 0;
    // A pointer valid until the next Tags call of that type or the stream's end.
    virtual int Tags(DWORD type, const char** result) = 0;

protected:
    enum class Produced { kData, kNothingYet, kEnd };

    explicit Stream(const StreamSettings& settings);
    void StartPlayback();

    // Playback thread, under decoderMutex_: decodes up to maxFrames frames.
    virtual Produced Produce(int16_t* out, int maxFrames, int* frames) = 0;
    virtual int Rate() = 0;  // under decoderMutex_; 0 when not known yet
    // Seekable sources go to a frame (under decoderMutex_).
    virtual bool CanSeek() const { return false; }
    virtual bool SeekFrame(int64_t) { return false; }
    virtual int64_t LengthFrames() { return -1; }
    // Wakes and joins the source's own threads (Shutdown calls it first).
    virtual void StopSource() {}
    // Whether the source has ended for good (nothing more will ever come).
    virtual bool SourceFinished() { return false; }
    virtual bool IsSourceThread() const { return false; }

    std::mutex decoderMutex_;
    StreamSettings settings_;

private:
    enum class State { kStopped, kPlaying, kPaused };

    void PlaybackLoop();
    void PlaybackStep(std::unique_lock<std::mutex>& lock);
    bool EnsureOutput(int rate, std::unique_lock<std::mutex>& lock);
    void WritePending();
    void ApplyAttributes(int16_t* frames, int count) const;
    int64_t PlayedFrame();
    int SeekLocked(int64_t frame, std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable wake_;
    State state_ = State::kStopped;
    bool quit_ = false;
    bool shutDown_ = false;
    bool ended_ = false;    // played to the end of the source
    bool stalled_ = false;  // playing, but the output ran dry waiting for data
    uint64_t generation_ = 0;  // bumped by stops and seeks: blocks decoded before are dropped
    std::unique_ptr<Output> output_;
    std::vector<int16_t> pending_;  // decoded frames not yet written
    SampleHistory history_;
    Spectrum spectrum_;
    int64_t positionBase_ = 0;  // frames played before output_'s frame 0
    int volume_ = 100;
    int pan_ = 0;
    int lastRate_ = 0;
    std::thread playback_;
};

}  // namespace audio
