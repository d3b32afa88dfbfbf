#include "audio/output.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/bass.h"
#include "audio/decoder.h"

namespace audio {

namespace {

constexpr int kBlocks = 8;

WAVEFORMATEX StereoFormat(int rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = kChannels;
    f.nSamplesPerSec = static_cast<DWORD>(rate);
    f.wBitsPerSample = 16;
    f.nBlockAlign = kBytesPerFrame;
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    return f;
}

int BlockFramesFor(int rate, int bufferMs) {
    return std::max(256, static_cast<int>(static_cast<int64_t>(rate) * bufferMs / 1000 / kBlocks));
}

// -1 and n >= 1 to a waveOut id; false when there is no such device.
bool DeviceId(int device, UINT* id) {
    UINT count = waveOutGetNumDevs();
    if (count == 0) return false;
    if (device == -1) {
        *id = WAVE_MAPPER;
        return true;
    }
    if (device < 1 || static_cast<UINT>(device - 1) >= count) return false;
    *id = static_cast<UINT>(device - 1);
    return true;
}

class WaveOutput : public Output {
public:
    WaveOutput(int rate, int blockFrames) : Output(rate, blockFrames) {}
    ~WaveOutput() override { Close(); }

    int Open(UINT id) {
        event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (!event_) return BASS_ERROR_MEM;
        WAVEFORMATEX format = StereoFormat(rate_);
        MMRESULT r = waveOutOpen(&device_, id, &format, reinterpret_cast<DWORD_PTR>(event_), 0, CALLBACK_EVENT);
        if (r != MMSYSERR_NOERROR) {
            device_ = nullptr;
            return r == WAVERR_BADFORMAT ? BASS_ERROR_FORMAT : BASS_ERROR_DRIVER;
        }
        for (Block& b : blocks_) b.data.resize(static_cast<size_t>(blockFrames_) * kChannels);
        return 0;
    }

    bool HasFreeBlock() override { return FreeBlock() != nullptr; }

    bool Write(const int16_t* frames, int count) override {
        Block* b = FreeBlock();
        if (!b || count <= 0 || count > blockFrames_) return false;
        if (b->prepared) waveOutUnprepareHeader(device_, &b->header, sizeof b->header);
        std::copy(frames, frames + count * kChannels, b->data.begin());
        b->header = WAVEHDR{};
        b->header.lpData = reinterpret_cast<LPSTR>(b->data.data());
        b->header.dwBufferLength = static_cast<DWORD>(count * kBytesPerFrame);
        b->prepared = waveOutPrepareHeader(device_, &b->header, sizeof b->header) == MMSYSERR_NOERROR;
        if (!b->prepared || waveOutWrite(device_, &b->header, sizeof b->header) != MMSYSERR_NOERROR) return false;
        b->queued = true;
        written_ += count;
        return true;
    }

    int64_t PlayedFrames() override {
        MMTIME t{};
        t.wType = TIME_SAMPLES;
        if (waveOutGetPosition(device_, &t, sizeof t) != MMSYSERR_NOERROR) return lastPlayed_;
        uint32_t now = t.wType == TIME_BYTES ? t.u.cb / kBytesPerFrame : t.u.sample;
        // The device counts in 32 bits: carry the wraps into 64.
        if (now < lastRaw_) wraps_ += int64_t{1} << 32;
        lastRaw_ = now;
        lastPlayed_ = std::min<int64_t>(wraps_ + now, written_);
        return lastPlayed_;
    }

    void Pause() override { waveOutPause(device_); }
    void Resume() override { waveOutRestart(device_); }

    void Reset() override {
        waveOutReset(device_);
        for (Block& b : blocks_) b.queued = false;
        written_ = 0;
        lastRaw_ = 0;
        wraps_ = 0;
        lastPlayed_ = 0;
    }

    void Wait(int ms) override { WaitForSingleObject(event_, static_cast<DWORD>(ms)); }
    void Wake() override { SetEvent(event_); }

private:
    struct Block {
        WAVEHDR header{};
        std::vector<int16_t> data;
        bool prepared = false;
        bool queued = false;
    };

    Block* FreeBlock() {
        for (Block& b : blocks_) {
            if (b.queued && (b.header.dwFlags & WHDR_DONE)) b.queued = false;
            if (!b.queued) return &b;
        }
        return nullptr;
    }

    void Close() {
        if (device_) {
            waveOutReset(device_);
            for (Block& b : blocks_) {
                if (b.prepared) waveOutUnprepareHeader(device_, &b.header, sizeof b.header);
            }
            waveOutClose(device_);
            device_ = nullptr;
        }
        if (event_) CloseHandle(event_);
        event_ = nullptr;
    }

    HWAVEOUT device_ = nullptr;
    HANDLE event_ = nullptr;
    Block blocks_[kBlocks];
    uint32_t lastRaw_ = 0;
    int64_t wraps_ = 0;
    int64_t lastPlayed_ = 0;
};

// The "no sound" device: frames are played by the clock, not a device.
class SilentOutput : public Output {
public:
    SilentOutput(int rate, int blockFrames)
        : Output(rate, blockFrames), capacity_(static_cast<int64_t>(blockFrames) * kBlocks) {}

    bool HasFreeBlock() override { return written_ - PlayedFrames() + blockFrames_ <= capacity_; }

    bool Write(const int16_t*, int count) override {
        if (count <= 0 || count > blockFrames_) return false;
        PlayedFrames();
        written_ += count;
        return true;
    }

    int64_t PlayedFrames() override {
        auto now = Clock::now();
        if (!paused_ && played_ < written_) {
            double elapsed = std::chrono::duration<double>(now - last_).count();
            carry_ += elapsed * rate_;
            auto whole = static_cast<int64_t>(carry_);
            carry_ -= static_cast<double>(whole);
            played_ = std::min(written_, played_ + whole);
        } else {
            carry_ = 0;
        }
        last_ = now;
        return played_;
    }

    void Pause() override {
        PlayedFrames();
        paused_ = true;
    }
    void Resume() override {
        PlayedFrames();
        paused_ = false;
    }
    void Reset() override {
        written_ = 0;
        played_ = 0;
        carry_ = 0;
        last_ = Clock::now();
    }
    void Wait(int ms) override {
        int blockMs = std::max(1, blockFrames_ * 1000 / rate_);
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, blockMs)));
    }

private:
    using Clock = std::chrono::steady_clock;
    int64_t capacity_;
    int64_t played_ = 0;
    double carry_ = 0;
    bool paused_ = false;
    Clock::time_point last_ = Clock::now();
};

}  // namespace

std::unique_ptr<Output> Output::Open(int device, int rate, int bufferMs, int* error) {
    *error = 0;
    int blockFrames = BlockFramesFor(rate, bufferMs);
    if (device == 0) return std::make_unique<SilentOutput>(rate, blockFrames);
    UINT id = 0;
    if (!DeviceId(device, &id)) {
        *error = BASS_ERROR_DEVICE;
        return nullptr;
    }
    auto out = std::make_unique<WaveOutput>(rate, blockFrames);
    *error = out->Open(id);
    if (*error) return nullptr;
    return out;
}

int Output::Probe(int device, int rate) {
    if (device == 0) return 0;
    UINT id = 0;
    if (!DeviceId(device, &id)) return BASS_ERROR_DEVICE;
    WAVEFORMATEX format = StereoFormat(rate);
    HWAVEOUT h = nullptr;
    MMRESULT r = waveOutOpen(&h, id, &format, 0, 0, CALLBACK_NULL);
    if (r != MMSYSERR_NOERROR) return BASS_ERROR_DRIVER;
    waveOutClose(h);
    return 0;
}

}  // namespace audio
