// The engine's process-wide state: whether BASS_Init succeeded and with
// which device, the configuration, the table of stream handles and each
// thread's last error code.
//
// Invariants (under mutex_): streams_ is empty while not initialised; a
// handle is never reused while its stream is in the table.
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>

#include "audio/stream.h"

namespace audio {

class Engine {
public:
    // The one engine; never destroyed (threads may outlive static destructors at exit).
    static Engine& Get();

    int Init(int device, DWORD freq);  // 0 or an error code
    int Free();
    bool Initialised();
    StreamSettings Settings();
    // Sets an option; *result is the value now in effect.
    int SetConfig(DWORD option, DWORD value, DWORD* result);

    // Takes a new stream into the table; 0 (and the stream shut down) when
    // the engine was freed meanwhile.
    DWORD Add(const std::shared_ptr<Stream>& stream);
    std::shared_ptr<Stream> Find(DWORD handle);
    // Removes the stream from the table (the caller shuts it down).
    std::shared_ptr<Stream> Take(DWORD handle);

private:
    Engine() = default;
    std::mutex mutex_;
    bool initialised_ = false;
    StreamSettings settings_;
    std::map<DWORD, std::shared_ptr<Stream>> streams_;
    DWORD nextHandle_ = 0x00010001;
};

void SetErrorCode(int code);
int ErrorCode();

}  // namespace audio
