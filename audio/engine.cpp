#include "audio/engine.h"

#include <vector>

#include "audio/bass.h"

namespace audio {

namespace {

thread_local int lastError = BASS_OK;

constexpr DWORD kMaxFrequency = 384000;

struct Option {
    DWORD id;
    int StreamSettings::*field;
    int min;
    int max;
};

constexpr Option kOptions[] = {
    {BASS_CONFIG_BUFFER, &StreamSettings::bufferMs, 10, 5000},
    {BASS_CONFIG_NET_TIMEOUT, &StreamSettings::netTimeoutMs, 100, 60000},
    {BASS_CONFIG_NET_BUFFER, &StreamSettings::netBufferMs, 500, 60000},
    {BASS_CONFIG_NET_PREBUF, &StreamSettings::netPrebuf, 0, 100},
};

}  // namespace

void SetErrorCode(int code) { lastError = code; }
int ErrorCode() { return lastError; }

Engine& Engine::Get() {
    static Engine* engine = new Engine;
    return *engine;
}

int Engine::Init(int device, DWORD freq) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (initialised_) return BASS_ERROR_ALREADY;
    if (device < -1) return BASS_ERROR_DEVICE;
    if (freq > kMaxFrequency) return BASS_ERROR_FREQ;
    int error = Output::Probe(device, freq == 0 ? 44100 : static_cast<int>(freq));
    if (error) return error;
    settings_.device = device;
    initialised_ = true;
    return 0;
}

int Engine::Free() {
    std::vector<std::shared_ptr<Stream>> streams;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!initialised_) return BASS_ERROR_INIT;
        // A stream's own thread (its download callback) cannot wait for itself.
        for (auto& entry : streams_) {
            if (entry.second->IsOwnThread()) return BASS_ERROR_ILLPARAM;
        }
        initialised_ = false;
        for (auto& entry : streams_) streams.push_back(entry.second);
        streams_.clear();
    }
    // Outside the lock: joining a stream's threads takes a moment.
    for (auto& stream : streams) stream->Shutdown();
    return 0;
}

bool Engine::Initialised() {
    std::lock_guard<std::mutex> lock(mutex_);
    return initialised_;
}

StreamSettings Engine::Settings() {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_;
}

int Engine::SetConfig(DWORD option, DWORD value, DWORD* result) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Option& o : kOptions) {
        if (o.id != option) continue;
        if (value < static_cast<DWORD>(o.min) || value > static_cast<DWORD>(o.max)) return BASS_ERROR_ILLPARAM;
        settings_.*o.field = static_cast<int>(value);
        *result = value;
        return 0;
    }
    return BASS_ERROR_ILLPARAM;
}

DWORD Engine::Add(const std::shared_ptr<Stream>& stream) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (initialised_) {
            DWORD handle = nextHandle_++;
            if (nextHandle_ == 0) nextHandle_ = 0x00010001;
            streams_[handle] = stream;
            return handle;
        }
    }
    stream->Shutdown();
    return 0;
}

std::shared_ptr<Stream> Engine::Find(DWORD handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = streams_.find(handle);
    return it == streams_.end() ? nullptr : it->second;
}

std::shared_ptr<Stream> Engine::Take(DWORD handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = streams_.find(handle);
    if (it == streams_.end()) return nullptr;
    auto stream = it->second;
    streams_.erase(it);
    return stream;
}

}  // namespace audio
