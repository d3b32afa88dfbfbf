// Measures bass.dll the way the screensaver uses it, against baselines
// taken in the same run:
//   - CPU time to download, decode, play and analyse (a spectrum every
//     frame at 60 Hz, the title every second frame) one minute of a
//     128 kbit/s MP3 stream, on the "no sound" device and on the first real
//     device, against Debian's `mpg123 -t` decoding the same file (its CPU
//     time is handed in by run_audio_bench.sh);
//   - our own decoder alone on that file (same library, in this process),
//     which gives the engine's overhead beyond decoding;
//   - time from BASS_StreamCreateURL to the first sound at the device,
//     against the device's own start-up (waveOut opened, a block written,
//     its position moving);
//   - the same minute as 128 kbit/s Ogg Vorbis: our decoder alone against
//     Debian's `oggdec`, and the whole stream on the "no sound" device;
//   - the MP3 minute over HTTPS against plain HTTP: what TLS costs.
//
//   audio_bench.exe URL FILE MPG123_CPU_SECONDS OGG_URL OGG_FILE OGGDEC_CPU_SECONDS HTTPS_URL
#include <windows.h>
#include <mmsystem.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/decoder.h"
#include "audio/vorbis_decoder.h"

namespace {

typedef unsigned long long QWORD;

struct Bass {
    HMODULE module = LoadLibraryA("bass.dll");
    template <typename F>
    F* Get(const char* name) {
        return reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
    BOOL(WINAPI* Init)(int, DWORD, DWORD, HWND, const GUID*) = Get<BOOL WINAPI(int, DWORD, DWORD, HWND, const GUID*)>("BASS_Init");
    BOOL(WINAPI* Free)() = Get<BOOL WINAPI()>("BASS_Free");
    int(WINAPI* ErrorGetCode)() = Get<int WINAPI()>("BASS_ErrorGetCode");
    DWORD(WINAPI* SetConfig)(DWORD, DWORD) = Get<DWORD WINAPI(DWORD, DWORD)>("BASS_SetConfig");
    DWORD(WINAPI* StreamCreateURL)(const char*, DWORD, DWORD, void*, DWORD) =
        Get<DWORD WINAPI(const char*, DWORD, DWORD, void*, DWORD)>("BASS_StreamCreateURL");
    DWORD(WINAPI* StreamGetFilePosition)(DWORD, DWORD) = Get<DWORD WINAPI(DWORD, DWORD)>("BASS_StreamGetFilePosition");
    BOOL(WINAPI* ChannelPlay)(DWORD, BOOL) = Get<BOOL WINAPI(DWORD, BOOL)>("BASS_ChannelPlay");
    DWORD(WINAPI* ChannelIsActive)(DWORD) = Get<DWORD WINAPI(DWORD)>("BASS_ChannelIsActive");
    QWORD(WINAPI* ChannelGetPosition)(DWORD) = Get<QWORD WINAPI(DWORD)>("BASS_ChannelGetPosition");
    const char*(WINAPI* ChannelGetTags)(DWORD, DWORD) = Get<const char* WINAPI(DWORD, DWORD)>("BASS_ChannelGetTags");
    DWORD(WINAPI* ChannelGetData)(DWORD, void*, DWORD) = Get<DWORD WINAPI(DWORD, void*, DWORD)>("BASS_ChannelGetData");
};

double FileTimeSeconds(const FILETIME& f) {
    ULARGE_INTEGER u;
    u.LowPart = f.dwLowDateTime;
    u.HighPart = f.dwHighDateTime;
    return static_cast<double>(u.QuadPart) / 1e7;
}

double ProcessCpu() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}

double ThreadCpu() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

class VectorSource : public audio::ByteSource {
public:
    explicit VectorSource(std::vector<char> d) : data_(std::move(d)) {}
    long Read(void* dst, size_t size) override {
        size_t n = std::min(size, data_.size() - pos_);
        std::copy(data_.begin() + pos_, data_.begin() + pos_ + n, static_cast<char*>(dst));
        pos_ += n;
        return static_cast<long>(n);
    }
    long Seek(long offset, int whence) override {
        long base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<long>(pos_) : Length();
        if (base + offset < 0 || base + offset > Length()) return -1;
        pos_ = static_cast<size_t>(base + offset);
        return base + offset;
    }
    long Length() const override { return static_cast<long>(data_.size()); }
    long Position() const override { return static_cast<long>(pos_); }

private:
    std::vector<char> data_;
    size_t pos_ = 0;
};

// Our decoder alone over the whole file: CPU seconds and audio seconds.
bool DecodeOnly(const char* path, double* cpu, double* audioSeconds) {
    std::ifstream f(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    VectorSource source(std::move(bytes));
    audio::Mp3Decoder decoder;
    double start = ThreadCpu();
    if (!decoder.OpenReader(&source)) return false;
    std::vector<int16_t> block(4096 * 2);
    int64_t frames = 0;
    int n = 0;
    while (decoder.Decode(block.data(), 4096, &n) == audio::Mp3Decoder::Result::kData) frames += n;
    *cpu = ThreadCpu() - start;
    *audioSeconds = static_cast<double>(frames) / decoder.Rate();
    return frames > 0;
}

// Our Vorbis decoder alone over the whole file, fed in 4 KiB pieces as a
// stream feeds it.
bool DecodeOggOnly(const char* path, double* cpu, double* audioSeconds) {
    std::ifstream f(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    audio::VorbisDecoder decoder;
    decoder.OpenFeed();
    std::vector<int16_t> block(4096 * 2);
    int64_t frames = 0;
    size_t at = 0;
    double start = ThreadCpu();
    for (;;) {
        int n = 0;
        audio::FeedDecoder::Result r = decoder.Decode(block.data(), 4096, &n);
        if (r == audio::FeedDecoder::Result::kData) {
            frames += n;
            continue;
        }
        if (r != audio::FeedDecoder::Result::kNeedMore || at == bytes.size()) break;
        size_t piece = std::min<size_t>(4096, bytes.size() - at);
        decoder.Feed(reinterpret_cast<const uint8_t*>(bytes.data() + at), piece);
        at += piece;
    }
    *cpu = ThreadCpu() - start;
    *audioSeconds = decoder.Rate() > 0 ? static_cast<double>(frames) / decoder.Rate() : 0;
    return frames > 0;
}

struct StreamRun {
    double cpu = 0;
    double audioSeconds = 0;
    double firstSound = -1;  // seconds from StreamCreateURL to a moving position
    bool ok = false;
};

// The saver's use, frame by frame at 60 Hz, until the stream has ended.
StreamRun PlayStream(Bass& bass, int device, const char* url) {
    StreamRun run;
    if (!bass.Init(device, 44100, 0, nullptr, nullptr)) {
        std::printf("audio: BASS_Init(%d) failed with %d\n", device, bass.ErrorGetCode());
        return run;
    }
    bass.SetConfig(15, 0);
    double cpu0 = ProcessCpu();
    double t0 = Now();
    DWORD h = bass.StreamCreateURL(url, 0, 0xC00000, nullptr, 0);
    if (!h) {
        std::printf("audio: the stream did not open: %d\n", bass.ErrorGetCode());
        bass.Free();
        return run;
    }
    for (;;) {
        int total = static_cast<int>(bass.StreamGetFilePosition(h, 2));
        if (total == -1) break;
        int down = static_cast<int>(bass.StreamGetFilePosition(h, 1));
        int used = static_cast<int>(bass.StreamGetFilePosition(h, 0));
        if (total > 0 && (down - used) * 100 / total > 75) break;
        Sleep(50);
    }
    bass.ChannelPlay(h, FALSE);
    float bins[512];
    char title[202];
    for (int frame = 0; Now() - t0 < 120; ++frame) {
        bass.ChannelGetData(h, bins, 0x80000000);
        if (frame % 2) {
            const char* tags = bass.ChannelGetTags(h, 5);
            if (tags) lstrcpynA(title, tags, sizeof title);
        }
        if (run.firstSound < 0 && bass.ChannelGetPosition(h) > 0) run.firstSound = Now() - t0;
        if (bass.ChannelIsActive(h) == 0) break;
        Sleep(16);
    }
    run.audioSeconds = static_cast<double>(bass.ChannelGetPosition(h)) / (44100.0 * 4);
    run.cpu = ProcessCpu() - cpu0;
    run.ok = run.audioSeconds > 1;
    bass.Free();
    return run;
}

// The device's own start-up: open, write 100 ms, wait for the position to move.
double DeviceStartSeconds() {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = 44100 * 4;
    std::vector<int16_t> tone(4410 * 2);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(8000 * std::sin(i * 0.03));
    double t0 = Now();
    HWAVEOUT out;
    if (waveOutOpen(&out, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return -1;
    WAVEHDR h{};
    h.lpData = reinterpret_cast<LPSTR>(tone.data());
    h.dwBufferLength = static_cast<DWORD>(tone.size() * 2);
    waveOutPrepareHeader(out, &h, sizeof h);
    waveOutWrite(out, &h, sizeof h);
    double started = -1;
    for (int i = 0; i < 2000 && started < 0; ++i) {
        MMTIME t{};
        t.wType = TIME_SAMPLES;
        waveOutGetPosition(out, &t, sizeof t);
        if (t.u.sample > 0) started = Now() - t0;
        Sleep(1);
    }
    waveOutReset(out);
    waveOutUnprepareHeader(out, &h, sizeof h);
    waveOutClose(out);
    return started;
}

// What Wine's waveOut costs by itself: `seconds` of audio played by a plain
// feeder thread in the engine's block layout (8 blocks over 500 ms), the
// position read 60 times a second. Process CPU seconds per second of audio.
double DeviceCpuPerSecond(int seconds) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = 44100 * 4;
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWAVEOUT out;
    if (waveOutOpen(&out, WAVE_MAPPER, &f, reinterpret_cast<DWORD_PTR>(event), 0, CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        return -1;
    }
    const int blockFrames = 44100 / 2 / 8;
    std::vector<std::vector<int16_t>> data(8, std::vector<int16_t>(blockFrames * 2));
    std::vector<WAVEHDR> headers(8);
    for (auto& d : data) {
        for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<int16_t>(8000 * std::sin(i * 0.03));
    }
    double cpu0 = ProcessCpu();
    double t0 = Now();
    int64_t written = 0;
    const int64_t total = static_cast<int64_t>(seconds) * 44100;
    std::vector<bool> queued(8, false);
    double nextPoll = 0;
    while (Now() - t0 < seconds + 2) {
        for (int b = 0; b < 8 && written < total; ++b) {
            if (queued[b] && !(headers[b].dwFlags & WHDR_DONE)) continue;
            if (queued[b]) waveOutUnprepareHeader(out, &headers[b], sizeof headers[b]);
            headers[b] = WAVEHDR{};
            headers[b].lpData = reinterpret_cast<LPSTR>(data[b].data());
            headers[b].dwBufferLength = blockFrames * 4;
            waveOutPrepareHeader(out, &headers[b], sizeof headers[b]);
            waveOutWrite(out, &headers[b], sizeof headers[b]);
            queued[b] = true;
            written += blockFrames;
        }
        if (Now() - t0 >= nextPoll) {
            MMTIME t{};
            t.wType = TIME_SAMPLES;
            waveOutGetPosition(out, &t, sizeof t);
            if (t.u.sample >= static_cast<DWORD>(total)) break;
            nextPoll += 1.0 / 60;
        }
        WaitForSingleObject(event, 16);
    }
    double cpu = ProcessCpu() - cpu0;
    waveOutReset(out);
    for (int b = 0; b < 8; ++b) waveOutUnprepareHeader(out, &headers[b], sizeof headers[b]);
    waveOutClose(out);
    CloseHandle(event);
    return cpu / seconds;
}

void Line(const char* name, double ours, double baseline) {
    std::printf("bench %s ours=%.4f baseline=%.4f ratio=%.3f\n", name, ours, baseline,
                ours > 0 ? baseline / ours : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(stderr, "usage: audio_bench URL FILE MPG123_CPU_SECONDS OGG_URL OGG_FILE OGGDEC_CPU_SECONDS "
                             "HTTPS_URL (run bench/audio/run_audio_bench.sh)\n");
        return 2;
    }
    const char* url = argv[1];
    const char* file = argv[2];
    const double mpg123Cpu = std::atof(argv[3]);
    const char* oggUrl = argv[4];
    const char* oggFile = argv[5];
    const double oggdecCpu = std::atof(argv[6]);
    const char* httpsUrl = argv[7];
    Bass bass;
    if (!bass.module || !bass.Init || !bass.ChannelGetData) {
        std::fprintf(stderr, "audio_bench: bass.dll not found next to the program\n");
        return 1;
    }
    double decodeCpu = 0, fileSeconds = 0, oggDecodeCpu = 0, oggSeconds = 0;
    if (!DecodeOnly(file, &decodeCpu, &fileSeconds) || !DecodeOggOnly(oggFile, &oggDecodeCpu, &oggSeconds)) {
        std::fprintf(stderr, "audio_bench: %s or %s does not decode\n", file, oggFile);
        return 1;
    }
    StreamRun silent = PlayStream(bass, 0, url);
    StreamRun device = PlayStream(bass, 1, url);
    StreamRun ogg = PlayStream(bass, 0, oggUrl);
    StreamRun secure = PlayStream(bass, 0, httpsUrl);
    if (!silent.ok || !device.ok || !ogg.ok || !secure.ok) {
        std::fprintf(stderr, "audio_bench: a stream run failed\n");
        return 1;
    }
    double deviceStart = DeviceStartSeconds();
    double deviceCpu = DeviceCpuPerSecond(20);
    std::printf("audio: %.1f s of audio; mpg123 -t %.3f s CPU, our decoder %.3f s CPU\n", fileSeconds, mpg123Cpu,
                decodeCpu);
    std::printf("audio: %.1f s of Ogg Vorbis; oggdec %.3f s CPU, our decoder %.3f s CPU\n", oggSeconds, oggdecCpu,
                oggDecodeCpu);
    Line("audio_decode_cpu", decodeCpu, mpg123Cpu);
    Line("audio_stream_minute_cpu_nosound", silent.cpu, mpg123Cpu);
    Line("audio_stream_minute_cpu", device.cpu, mpg123Cpu);
    Line("audio_first_sound_ms", device.firstSound * 1000, deviceStart * 1000);
    Line("audio_ogg_decode_cpu", oggDecodeCpu, oggdecCpu);
    Line("audio_ogg_stream_minute_cpu_nosound", ogg.cpu, oggdecCpu);
    // CPU per second of audio, HTTPS against plain HTTP, same file and device.
    Line("audio_https_cpu_per_audio_second", secure.cpu / secure.audioSeconds, silent.cpu / silent.audioSeconds);
    std::printf("audio: engine overhead beyond decoding: %.2f %% of one core without sound; with the device %.2f %% "
                "(%.2f %% with Wine's waveOut, which alone takes %.2f %%)\n",
                100 * (silent.cpu - decodeCpu) / silent.audioSeconds,
                100 * ((device.cpu - decodeCpu) / device.audioSeconds - deviceCpu),
                100 * (device.cpu - decodeCpu) / device.audioSeconds, 100 * deviceCpu);
    std::printf("audio: TLS adds %.2f %% of one core at 128 kbit/s (HTTPS %.2f %%, HTTP %.2f %%)\n",
                100 * (secure.cpu / secure.audioSeconds - silent.cpu / silent.audioSeconds),
                100 * secure.cpu / secure.audioSeconds, 100 * silent.cpu / silent.audioSeconds);
    return 0;
}
