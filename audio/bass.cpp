// The exported C interface. Each function catches everything: no C++
// exception may reach the caller, who is C or another runtime.
#include "audio/bass.h"

#include <new>
#include <string>

#include "audio/engine.h"
#include "audio/file_stream.h"
#include "audio/net_stream.h"

using audio::Engine;
using audio::SetErrorCode;
using audio::Stream;

namespace {

// Runs body; an exception becomes BASS_ERROR_MEM / BASS_ERROR_UNKNOWN and
// the failure value.
template <typename T, typename Body>
T Guarded(T failure, Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        SetErrorCode(BASS_ERROR_MEM);
    } catch (...) {
        SetErrorCode(BASS_ERROR_UNKNOWN);
    }
    return failure;
}

// Sets the thread's error code from error and picks the result.
template <typename T>
T Result(int error, T success, T failure) {
    SetErrorCode(error);
    return error ? failure : success;
}

// Looks the handle up; 0 and BASS_ERROR_HANDLE / BASS_ERROR_INIT when there is none.
std::shared_ptr<Stream> FindStream(DWORD handle) {
    auto stream = Engine::Get().Find(handle);
    if (!stream) SetErrorCode(Engine::Get().Initialised() ? BASS_ERROR_HANDLE : BASS_ERROR_INIT);
    return stream;
}

// The flags a stream refuses: decoding channels are not supported.
bool BadStreamFlags(DWORD flags) { return (flags & BASS_STREAM_DECODE) != 0; }

HSTREAM AddStream(int error, const std::shared_ptr<Stream>& stream) {
    if (error) return Result<HSTREAM>(error, 0, 0);
    DWORD handle = Engine::Get().Add(stream);
    return Result<HSTREAM>(handle ? BASS_OK : BASS_ERROR_INIT, handle, 0);
}

}  // namespace

extern "C" {

DWORD WINAPI BASS_GetVersion(void) {
    SetErrorCode(BASS_OK);
    return BASS_VERSION;
}

int WINAPI BASS_ErrorGetCode(void) { return audio::ErrorCode(); }

BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD, HWND, const GUID*) {
    return Guarded<BOOL>(FALSE, [&] { return Result<BOOL>(Engine::Get().Init(device, freq), TRUE, FALSE); });
}

BOOL WINAPI BASS_Free(void) {
    return Guarded<BOOL>(FALSE, [&] { return Result<BOOL>(Engine::Get().Free(), TRUE, FALSE); });
}

DWORD WINAPI BASS_SetConfig(DWORD option, DWORD value) {
    return Guarded<DWORD>(static_cast<DWORD>(-1), [&] {
        DWORD now = 0;
        int error = Engine::Get().SetConfig(option, value, &now);
        return Result<DWORD>(error, now, static_cast<DWORD>(-1));
    });
}

HSTREAM WINAPI BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc, DWORD user) {
    return Guarded<HSTREAM>(0, [&] {
        if (!Engine::Get().Initialised()) return Result<HSTREAM>(BASS_ERROR_INIT, 0, 0);
        if (!url || BadStreamFlags(flags)) return Result<HSTREAM>(BASS_ERROR_ILLPARAM, 0, 0);
        std::shared_ptr<Stream> stream;
        int error = audio::NetStream::Create(url, offset, flags, proc, user, Engine::Get().Settings(), &stream);
        return AddStream(error, stream);
    });
}

HSTREAM WINAPI BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags) {
    return Guarded<HSTREAM>(0, [&] {
        if (!Engine::Get().Initialised()) return Result<HSTREAM>(BASS_ERROR_INIT, 0, 0);
        if (BadStreamFlags(flags)) return Result<HSTREAM>(BASS_ERROR_ILLPARAM, 0, 0);
        std::shared_ptr<Stream> stream;
        int error = audio::FileStream::Create(mem != 0, file, offset, length, Engine::Get().Settings(), &stream);
        return AddStream(error, stream);
    });
}

HMUSIC WINAPI BASS_MusicLoad(BOOL, const void*, DWORD, DWORD, DWORD, DWORD) {
    return Guarded<HMUSIC>(0, [&] {
        // Tracker modules are not decoded by this engine.
        return Result<HMUSIC>(Engine::Get().Initialised() ? BASS_ERROR_NOTAVAIL : BASS_ERROR_INIT, 0, 0);
    });
}

BOOL WINAPI BASS_StreamFree(HSTREAM handle) {
    return Guarded<BOOL>(FALSE, [&] {
        auto stream = FindStream(handle);
        if (!stream) return FALSE;
        // From its own download callback a stream cannot wait for itself.
        if (stream->IsOwnThread()) return Result<BOOL>(BASS_ERROR_ILLPARAM, TRUE, FALSE);
        stream = Engine::Get().Take(handle);
        if (!stream) return Result<BOOL>(BASS_ERROR_HANDLE, TRUE, FALSE);
        stream->Shutdown();
        return Result<BOOL>(BASS_OK, TRUE, FALSE);
    });
}

QWORD WINAPI BASS_StreamGetLength(HSTREAM handle) {
    const QWORD failure = static_cast<QWORD>(-1);
    return Guarded<QWORD>(failure, [&] {
        auto stream = FindStream(handle);
        if (!stream) return failure;
        uint64_t bytes = 0;
        int error = stream->Length(&bytes);
        return Result<QWORD>(error, bytes, failure);
    });
}

DWORD WINAPI BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode) {
    const DWORD failure = static_cast<DWORD>(-1);
    return Guarded<DWORD>(failure, [&] {
        auto stream = FindStream(handle);
        if (!stream) return failure;
        DWORD position = 0;
        int error = stream->FilePosition(mode, &position);
        return Result<DWORD>(error, position, failure);
    });
}

BOOL WINAPI BASS_ChannelPlay(DWORD handle, BOOL restart) {
    return Guarded<BOOL>(FALSE, [&] {
        auto stream = FindStream(handle);
        return stream ? Result<BOOL>(stream->Play(restart != 0), TRUE, FALSE) : FALSE;
    });
}

BOOL WINAPI BASS_ChannelStop(DWORD handle) {
    return Guarded<BOOL>(FALSE, [&] {
        auto stream = FindStream(handle);
        return stream ? Result<BOOL>(stream->Stop(), TRUE, FALSE) : FALSE;
    });
}

BOOL WINAPI BASS_ChannelPause(DWORD handle) {
    return Guarded<BOOL>(FALSE, [&] {
        auto stream = FindStream(handle);
        return stream ? Result<BOOL>(stream->Pause(), TRUE, FALSE) : FALSE;
    });
}

DWORD WINAPI BASS_ChannelIsActive(DWORD handle) {
    return Guarded<DWORD>(BASS_ACTIVE_STOPPED, [&] {
        auto stream = FindStream(handle);
        return stream ? Result<DWORD>(BASS_OK, stream->IsActive(), 0) : DWORD{BASS_ACTIVE_STOPPED};
    });
}

DWORD WINAPI BASS_ChannelGetLevel(DWORD handle) {
    const DWORD failure = static_cast<DWORD>(-1);
    return Guarded<DWORD>(failure, [&] {
        auto stream = FindStream(handle);
        if (!stream) return failure;
        DWORD level = 0;
        int error = stream->Level(&level);
        return Result<DWORD>(error, level, failure);
    });
}

QWORD WINAPI BASS_ChannelGetPosition(DWORD handle) {
    const QWORD failure = static_cast<QWORD>(-1);
    return Guarded<QWORD>(failure, [&] {
        auto stream = FindStream(handle);
        if (!stream) return failure;
        uint64_t bytes = 0;
        int error = stream->Position(&bytes);
        return Result<QWORD>(error, bytes, failure);
    });
}

BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, QWORD pos) {
    return Guarded<BOOL>(FALSE, [&] {
        auto stream = FindStream(handle);
        return stream ? Result<BOOL>(stream->SetPosition(pos), TRUE, FALSE) : FALSE;
    });
}

BOOL WINAPI BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) {
    return Guarded<BOOL>(FALSE, [&] {
        auto stream = FindStream(handle);
        return stream ? Result<BOOL>(stream->GetAttributes(freq, volume, pan), TRUE, FALSE) : FALSE;
    });
}

BOOL WINAPI BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) {
    return Guarded<BOOL>(FALSE, [&] {
        auto stream = FindStream(handle);
        return stream ? Result<BOOL>(stream->SetAttributes(freq, volume, pan), TRUE, FALSE) : FALSE;
    });
}

const char* WINAPI BASS_ChannelGetTags(DWORD handle, DWORD tags) {
    return Guarded<const char*>(nullptr, [&]() -> const char* {
        auto stream = FindStream(handle);
        if (!stream) return nullptr;
        const char* text = nullptr;
        int error = stream->Tags(tags, &text);
        return Result<const char*>(error, text, nullptr);
    });
}

DWORD WINAPI BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    const DWORD failure = static_cast<DWORD>(-1);
    return Guarded<DWORD>(failure, [&] {
        auto stream = FindStream(handle);
        if (!stream) return failure;
        DWORD written = 0;
        int error = stream->GetData(buffer, length, &written);
        return Result<DWORD>(error, written, failure);
    });
}

}  // extern "C"
