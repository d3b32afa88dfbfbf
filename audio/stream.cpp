#include "audio/stream.h"

#include <algorithm>
#include <chrono>

#include "audio/bass.h"
#include "audio/decoder.h"

namespace audio {

namespace {

constexpr int kHistoryFrames = 1 << 16;  // more than the longest playback buffer
constexpr int kFirstBlockFrames = 2048;  // decoded before the output (and its block size) exists
constexpr int kLevelMs = 20;
constexpr int kIdleWaitMs = 20;  // polling for data that has not arrived
// The output is full: wait for a block to finish. A short poll keeps the
// device fed even when the signal of a finished block is missed; Wake ends
// it at once.
constexpr int kFullWaitMs = 20;
constexpr DWORD kMaxDataBytes = 1 << 18;

}  // namespace

Stream::Stream(const StreamSettings& settings) : settings_(settings), history_(kHistoryFrames) {}

Stream::~Stream() { Shutdown(); }

void Stream::StartPlayback() { playback_ = std::thread(&Stream::PlaybackLoop, this); }

void Stream::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shutDown_) return;
        shutDown_ = true;
        quit_ = true;
        if (output_) output_->Wake();
    }
    wake_.notify_all();
    StopSource();
    if (playback_.joinable()) playback_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    output_.reset();
}

bool Stream::IsOwnThread() const { return std::this_thread::get_id() == playback_.get_id() || IsSourceThread(); }

// ------------------------------------------------------------ playback thread

void Stream::PlaybackLoop() {
    try {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!quit_) {
            if (state_ != State::kPlaying) {
                wake_.wait(lock);
                continue;
            }
            PlaybackStep(lock);
        }
    } catch (...) {
        // Nothing may leave the thread: the channel simply stops.
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = State::kStopped;
        ended_ = true;
    }
}

void Stream::PlaybackStep(std::unique_lock<std::mutex>& lock) {
    if (!pending_.empty()) {
        WritePending();
        if (!pending_.empty() && state_ == State::kPlaying) {
            Output* out = output_.get();
            lock.unlock();
            out->Wait(kFullWaitMs);
            lock.lock();
        }
        return;
    }
    const uint64_t generation = generation_;
    const int maxFrames = output_ ? output_->BlockFrames() : kFirstBlockFrames;
    std::vector<int16_t> block(static_cast<size_t>(maxFrames) * kChannels);
    Produced produced;
    int frames = 0;
    int rate = 0;
    lock.unlock();
    {
        std::lock_guard<std::mutex> decoder(decoderMutex_);
        produced = Produce(block.data(), maxFrames, &frames);
        rate = Rate();
    }
    lock.lock();
    if (quit_ || generation != generation_) return;  // stopped or moved meanwhile

    if (produced == Produced::kData) {
        stalled_ = false;
        if (!EnsureOutput(rate, lock)) return;
        ApplyAttributes(block.data(), frames);
        pending_.assign(block.begin(), block.begin() + static_cast<ptrdiff_t>(frames) * kChannels);
        WritePending();
        return;
    }
    const bool drained = !output_ || output_->PlayedFrames() >= output_->WrittenFrames();
    if (produced == Produced::kEnd && drained) {
        state_ = State::kStopped;
        ended_ = true;
        stalled_ = false;
        return;
    }
    if (produced == Produced::kNothingYet && drained) stalled_ = true;
    Output* out = output_.get();
    lock.unlock();
    if (out) {
        out->Wait(kIdleWaitMs);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(kIdleWaitMs));
    }
    lock.lock();
}

// Opens the output for rate, or switches to a new rate after the old
// output played out. False (and the channel stopped) when it cannot open.
bool Stream::EnsureOutput(int rate, std::unique_lock<std::mutex>& lock) {
    if (rate <= 0) rate = 44100;
    if (output_ && output_->Rate() == rate) return true;
    if (output_) {
        const uint64_t generation = generation_;
        while (!quit_ && generation == generation_ && output_->PlayedFrames() < output_->WrittenFrames()) {
            Output* out = output_.get();
            lock.unlock();
            out->Wait(kIdleWaitMs);
            lock.lock();
        }
        if (quit_ || generation != generation_) return false;
        positionBase_ += output_->WrittenFrames();
        output_.reset();
        history_.Reset();
    }
    int error = 0;
    output_ = Output::Open(settings_.device, rate, settings_.bufferMs, &error);
    if (!output_) {
        state_ = State::kStopped;
        return false;
    }
    if (state_ == State::kPaused) output_->Pause();
    lastRate_ = rate;
    return true;
}

// Invariant kept here: history_.End() == output_->WrittenFrames().
void Stream::WritePending() {
    while (!pending_.empty() && output_->HasFreeBlock()) {
        int frames = std::min(static_cast<int>(pending_.size() / kChannels), output_->BlockFrames());
        if (!output_->Write(pending_.data(), frames)) {
            // The device failed under us: nothing more can play.
            pending_.clear();
            state_ = State::kStopped;
            return;
        }
        history_.Append(pending_.data(), frames);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(frames) * kChannels);
    }
}

void Stream::ApplyAttributes(int16_t* frames, int count) const {
    if (volume_ == 100 && pan_ == 0) return;
    const int left = volume_ * (pan_ > 0 ? 100 - pan_ : 100);
    const int right = volume_ * (pan_ < 0 ? 100 + pan_ : 100);
    for (int i = 0; i < count; ++i) {
        frames[2 * i] = static_cast<int16_t>(frames[2 * i] * left / 10000);
        frames[2 * i + 1] = static_cast<int16_t>(frames[2 * i + 1] * right / 10000);
    }
}

// ------------------------------------------------------------------ controls

int64_t Stream::PlayedFrame() { return positionBase_ + (output_ ? output_->PlayedFrames() : 0); }

int Stream::Play(bool restart) {
    std::lock_guard<std::mutex> decoder(decoderMutex_);
    std::unique_lock<std::mutex> lock(mutex_);
    if (shutDown_) return BASS_ERROR_HANDLE;
    if ((ended_ || restart) && CanSeek()) {
        int error = SeekLocked(0, lock);
        if (error) return error;
    } else if (ended_ || (state_ == State::kStopped && SourceFinished())) {
        return BASS_ERROR_ENDED;
    }
    if (state_ == State::kPaused && output_) output_->Resume();
    state_ = State::kPlaying;
    wake_.notify_all();
    return 0;
}

int Stream::Stop() {
    std::lock_guard<std::mutex> decoder(decoderMutex_);
    std::unique_lock<std::mutex> lock(mutex_);
    if (shutDown_) return BASS_ERROR_HANDLE;
    int64_t played = PlayedFrame();
    if (CanSeek() && !ended_) {
        // Resume later where the listener was, not where the decoder was.
        SeekLocked(played, lock);
    } else {
        if (output_) output_->Reset();
        history_.Reset();
        pending_.clear();
        ++generation_;
        positionBase_ = played;
    }
    state_ = State::kStopped;
    stalled_ = false;
    if (output_) output_->Wake();
    return 0;
}

int Stream::Pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return BASS_ERROR_HANDLE;
    if (state_ != State::kPlaying) return BASS_ERROR_NOPLAY;
    if (output_) {
        output_->Pause();
        output_->Wake();
    }
    state_ = State::kPaused;
    return 0;
}

DWORD Stream::IsActive() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return BASS_ACTIVE_STOPPED;
    switch (state_) {
    case State::kPlaying: return stalled_ ? BASS_ACTIVE_STALLED : BASS_ACTIVE_PLAYING;
    case State::kPaused: return BASS_ACTIVE_PAUSED;
    default: return BASS_ACTIVE_STOPPED;
    }
}

int Stream::Level(DWORD* level) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return BASS_ERROR_HANDLE;
    if (state_ != State::kPlaying) return BASS_ERROR_NOPLAY;
    int left = 0, right = 0;
    if (output_) {
        int frames = output_->Rate() * kLevelMs / 1000;
        history_.Peak(output_->PlayedFrames(), frames, &left, &right);
    }
    *level = static_cast<DWORD>(std::min(left, 32768)) | (static_cast<DWORD>(std::min(right, 32768)) << 16);
    return 0;
}

int Stream::Position(uint64_t* bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return BASS_ERROR_HANDLE;
    *bytes = static_cast<uint64_t>(PlayedFrame()) * kBytesPerFrame;
    return 0;
}

int Stream::SetPosition(uint64_t bytes) {
    std::lock_guard<std::mutex> decoder(decoderMutex_);
    std::unique_lock<std::mutex> lock(mutex_);
    if (shutDown_) return BASS_ERROR_HANDLE;
    if (!CanSeek()) return BASS_ERROR_NOTFILE;
    int64_t frame = static_cast<int64_t>(bytes / kBytesPerFrame);
    int64_t length = LengthFrames();
    if (length >= 0 && frame > length) return BASS_ERROR_ILLPARAM;
    return SeekLocked(frame, lock);
}

// Under both locks: moves the source and drops everything queued.
int Stream::SeekLocked(int64_t frame, std::unique_lock<std::mutex>&) {
    if (!SeekFrame(frame)) return BASS_ERROR_ILLPARAM;
    if (output_) output_->Reset();
    history_.Reset();
    pending_.clear();
    ++generation_;
    positionBase_ = frame;
    ended_ = false;
    return 0;
}

int Stream::GetAttributes(DWORD* freq, DWORD* volume, int* pan) {
    int rate;
    {
        std::lock_guard<std::mutex> decoder(decoderMutex_);
        rate = Rate();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return BASS_ERROR_HANDLE;
    if (freq) *freq = static_cast<DWORD>(rate);
    if (volume) *volume = static_cast<DWORD>(volume_);
    if (pan) *pan = pan_;
    return 0;
}

int Stream::SetAttributes(int freq, int volume, int pan) {
    int rate;
    {
        std::lock_guard<std::mutex> decoder(decoderMutex_);
        rate = Rate();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return BASS_ERROR_HANDLE;
    if (volume != -1 && (volume < 0 || volume > 100)) return BASS_ERROR_ILLPARAM;
    if (pan != -101 && (pan < -100 || pan > 100)) return BASS_ERROR_ILLPARAM;
    // The playback rate follows the source; it cannot be changed.
    if (freq != -1 && freq != 0 && freq != rate) return BASS_ERROR_NOTAVAIL;
    if (volume != -1) volume_ = volume;
    if (pan != -101) pan_ = pan;
    return 0;
}

int Stream::GetData(void* buffer, DWORD length, DWORD* result) {
    if (!buffer) return BASS_ERROR_ILLPARAM;
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return BASS_ERROR_HANDLE;
    const int64_t end = output_ ? output_->PlayedFrames() : 0;
    if (length == BASS_DATA_FFT512) {
        float mono[kFftSize];
        history_.CopyMono(end, kFftSize, mono);
        spectrum_.Compute(mono, static_cast<float*>(buffer));
        *result = kSpectrumBins * sizeof(float);
        return 0;
    }
    if (length & 0xFF000000u) return BASS_ERROR_ILLPARAM;  // other data flags
    int frames = static_cast<int>(std::min(length, kMaxDataBytes) / kBytesPerFrame);
    history_.CopyStereo(end, frames, static_cast<int16_t*>(buffer));
    *result = static_cast<DWORD>(frames) * kBytesPerFrame;
    return 0;
}

}  // namespace audio
