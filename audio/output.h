// Where a stream's decoded frames go: a waveOut device, or for the
// "no sound" device a silent clock that consumes frames in real time.
// One Output belongs to one stream's playback thread; PlayedFrames may also
// be called from other threads under the stream's lock.
#pragma once
#include <cstdint>
#include <memory>

namespace audio {

class Output {
public:
    virtual ~Output() = default;

    // device: -1 the default output, 0 no sound, n >= 1 the n-th device.
    // bufferMs: how much audio may be queued. On failure returns null and
    // sets *error to an engine error code.
    static std::unique_ptr<Output> Open(int device, int rate, int bufferMs, int* error);
    // Whether the device can be opened at all; 0 or an engine error code.
    static int Probe(int device, int rate);

    int BlockFrames() const { return blockFrames_; }
    int Rate() const { return rate_; }
    virtual bool HasFreeBlock() = 0;
    // Queues count <= BlockFrames() interleaved stereo frames.
    virtual bool Write(const int16_t* frames, int count) = 0;
    // Frames heard since opening or the last Reset; never more than written.
    virtual int64_t PlayedFrames() = 0;
    int64_t WrittenFrames() const { return written_; }
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Drops whatever is queued; both counts start again at 0.
    virtual void Reset() = 0;
    // Sleeps until a queued block may have finished, Wake is called, or ms passed.
    virtual void Wait(int ms) = 0;
    // Ends a Wait early (from another thread).
    virtual void Wake() {}

protected:
    Output(int rate, int blockFrames) : rate_(rate), blockFrames_(blockFrames) {}
    int rate_;
    int blockFrames_;
    int64_t written_ = 0;
};

}  // namespace audio
