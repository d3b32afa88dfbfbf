/* bass.dll: Neonara's internet radio engine behind the radio library's C
 * interface.  Every function is exported undecorated with the __stdcall
 * convention; a program loads the DLL with LoadLibraryA and looks the names
 * up with GetProcAddress, or links this header's declarations.  The
 * behaviour of each call is described in audio/README.md.
 *
 * All integers are 32-bit unless QWORD.  Every call may be made from any
 * thread; failures return 0 / FALSE / -1 / NULL and leave a code for
 * BASS_ErrorGetCode on the calling thread.
 */
#ifndef NEONARA_AUDIO_BASS_H
#define NEONARA_AUDIO_BASS_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned long long QWORD;
typedef DWORD HSTREAM;
typedef DWORD HMUSIC;

/* Called on the download thread with each piece of audio data as it
 * arrives (metadata removed), and once with (NULL, 0) when the download
 * ends. */
typedef void(CALLBACK DOWNLOADPROC)(const void* buffer, DWORD length, DWORD user);

/* Version: major in the high word, minor in the low word. */
#define BASS_VERSION 0x00020002

/* Error codes (BASS_ErrorGetCode). */
#define BASS_OK 0
#define BASS_ERROR_MEM 1        /* out of memory */
#define BASS_ERROR_FILEOPEN 2   /* the file or URL cannot be opened */
#define BASS_ERROR_DRIVER 3     /* the output device cannot be opened */
#define BASS_ERROR_HANDLE 5     /* not a valid handle */
#define BASS_ERROR_FORMAT 6     /* unsupported sample format */
#define BASS_ERROR_INIT 8       /* BASS_Init has not succeeded */
#define BASS_ERROR_START 9      /* the output cannot start */
#define BASS_ERROR_SSL 10       /* the TLS handshake failed or the certificate is not trusted */
#define BASS_ERROR_ALREADY 14   /* already initialised / already playing */
#define BASS_ERROR_ILLPARAM 20  /* an illegal parameter */
#define BASS_ERROR_DEVICE 23    /* no such device */
#define BASS_ERROR_NOPLAY 24    /* the channel is not playing */
#define BASS_ERROR_FREQ 25      /* an illegal sample rate */
#define BASS_ERROR_NOTFILE 27   /* the stream is not a file stream */
#define BASS_ERROR_NONET 32     /* no network connection could be opened */
#define BASS_ERROR_CREATE 33    /* the stream could not be created */
#define BASS_ERROR_NOTAVAIL 37  /* the requested data or feature is not available */
#define BASS_ERROR_TIMEOUT 40   /* the server did not answer in time */
#define BASS_ERROR_FILEFORM 41  /* unsupported or malformed file/response */
#define BASS_ERROR_CODEC 44     /* the audio codec is not supported */
#define BASS_ERROR_ENDED 45     /* the channel has ended */
#define BASS_ERROR_UNKNOWN -1

/* Devices for BASS_Init. */
#define BASS_DEVICE_DEFAULT -1  /* the system's default output */
#define BASS_DEVICE_NOSOUND 0   /* no output: channels run on a silent clock */
/* 1, 2, ...: the first, second, ... output device */

/* BASS_SetConfig options. */
#define BASS_CONFIG_BUFFER 0        /* playback buffer, ms (10..5000, default 500) */
#define BASS_CONFIG_NET_TIMEOUT 11  /* connect and read time-out, ms (100..60000, default 5000) */
#define BASS_CONFIG_NET_BUFFER 12   /* download buffer, ms of audio (500..60000, default 5000) */
#define BASS_CONFIG_NET_PREBUF 15   /* % of the download buffer filled before
                                       BASS_StreamCreateURL returns (0..100, default 75) */

/* Stream flags. */
#define BASS_STREAM_META 0x400000    /* ask the station for metadata (always done) */
#define BASS_STREAM_STATUS 0x800000  /* hand the response headers to the download callback */
#define BASS_STREAM_DECODE 0x200000  /* decoding channels: not supported (BASS_ERROR_ILLPARAM) */

/* BASS_StreamGetFilePosition modes. */
#define BASS_FILEPOS_DECODE 0    /* bytes handed to the decoder */
#define BASS_FILEPOS_DOWNLOAD 1  /* bytes downloaded (file streams: the length) */
#define BASS_FILEPOS_END 2       /* the download buffer's length, the file's length once known */

/* BASS_ChannelGetTags types. */
#define BASS_TAG_HTTP 3  /* HTTP response headers: "name: value" strings, each NUL-ended, then a NUL */
#define BASS_TAG_ICY 4   /* the same for any response (HTTP or ICY) */
#define BASS_TAG_META 5  /* the latest metadata text, e.g. "StreamTitle='A - B';" */

/* BASS_ChannelGetData flags. */
#define BASS_DATA_FFT512 0x80000000  /* 256 magnitudes of a 512-sample FFT */

/* BASS_ChannelIsActive results. */
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3

DWORD WINAPI BASS_GetVersion(void);
int WINAPI BASS_ErrorGetCode(void);
BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const GUID* clsid);
BOOL WINAPI BASS_Free(void);
DWORD WINAPI BASS_SetConfig(DWORD option, DWORD value);

HSTREAM WINAPI BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc,
                                    DWORD user);
HSTREAM WINAPI BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length,
                                     DWORD flags);
HMUSIC WINAPI BASS_MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags,
                             DWORD freq);
BOOL WINAPI BASS_StreamFree(HSTREAM handle);
QWORD WINAPI BASS_StreamGetLength(HSTREAM handle);
DWORD WINAPI BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode);

BOOL WINAPI BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL WINAPI BASS_ChannelStop(DWORD handle);
BOOL WINAPI BASS_ChannelPause(DWORD handle);
DWORD WINAPI BASS_ChannelIsActive(DWORD handle);
DWORD WINAPI BASS_ChannelGetLevel(DWORD handle);
QWORD WINAPI BASS_ChannelGetPosition(DWORD handle);
BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, QWORD pos);
BOOL WINAPI BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan);
BOOL WINAPI BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan);
const char* WINAPI BASS_ChannelGetTags(DWORD handle, DWORD tags);
DWORD WINAPI BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);

#ifdef __cplusplus
}
#endif

#endif
