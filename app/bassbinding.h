// The program's binding to the radio library, bass.dll, loaded at run time.
//
// One function slot per library function, in the library's table order.
// Before the module starts every slot holds a stub that raises
// "Attempt to call uninitialized function pointer". Start-up loads
// "bass.dll" and fills the slots with what GetProcAddress returns; a name
// that cannot be found (or a library that cannot be loaded) gets a stand-in
// that answers like a library reporting failure, so the saver never calls
// through a null pointer: version 0, BASS_Init 0, no stream (0), error code
// -1, no tags (null), spectrum left untouched.
//
// Invariant: after BindRadioLibrary no slot is null and none is a stub.
#pragma once
#include <cstdint>

#include "runtime/win32.h"

using BassFunction = void (*)();

// The library's types, as its C interface declares them.
using BassDownloadProc = void(CALLBACK*)(const void* buffer, DWORD length, DWORD user);

extern BOOL(WINAPI* BASS_Init)(int device, DWORD freq, DWORD flags, HWND win, const GUID* clsid);
extern DWORD(WINAPI* BASS_StreamCreateFile)(BOOL mem, const void* file, DWORD offset, DWORD length,
                                            DWORD flags);
extern DWORD(WINAPI* BASS_MusicLoad)(BOOL mem, const void* file, DWORD offset, DWORD length,
                                     DWORD flags, DWORD freq);
extern BOOL(WINAPI* BASS_ChannelPlay)(DWORD handle, BOOL restart);
extern BOOL(WINAPI* BASS_Free)();
extern int(WINAPI* BASS_ErrorGetCode)();
extern uint64_t(WINAPI* BASS_StreamGetLength)(DWORD handle);
extern BOOL(WINAPI* BASS_ChannelStop)(DWORD handle);
extern BOOL(WINAPI* BASS_ChannelPause)(DWORD handle);
extern DWORD(WINAPI* BASS_ChannelIsActive)(DWORD handle);
extern DWORD(WINAPI* BASS_ChannelGetLevel)(DWORD handle);
extern uint64_t(WINAPI* BASS_ChannelGetPosition)(DWORD handle);
extern BOOL(WINAPI* BASS_ChannelSetPosition)(DWORD handle, uint64_t pos);
extern BOOL(WINAPI* BASS_ChannelGetAttributes)(DWORD handle, DWORD* freq, DWORD* volume, int* pan);
extern BOOL(WINAPI* BASS_ChannelSetAttributes)(DWORD handle, int freq, int volume, int pan);
extern DWORD(WINAPI* BASS_SetConfig)(DWORD option, DWORD value);
extern BOOL(WINAPI* BASS_StreamFree)(DWORD handle);
extern DWORD(WINAPI* BASS_StreamCreateURL)(const char* url, DWORD offset, DWORD flags,
                                           BassDownloadProc proc, DWORD user);
extern DWORD(WINAPI* BASS_StreamGetFilePosition)(DWORD handle, DWORD mode);
extern DWORD(WINAPI* BASS_GetVersion)();
extern const char*(WINAPI* BASS_ChannelGetTags)(DWORD handle, DWORD tags);
extern DWORD(WINAPI* BASS_ChannelGetData)(DWORD handle, void* buffer, DWORD length);

constexpr int kBassFunctionCount = 22;

// The library's export names, in table order.
const char* BassFunctionName(int index);

// Fills every slot from `module` in table order; a null module or a missing
// name gets the failing stand-in. Returns how many names were found.
int BindRadioLibrary(HMODULE module);

// LoadLibraryA(path), then BindRadioLibrary. The library is never unloaded.
// Returns how many names were found (0 when the library cannot be loaded).
int LoadRadioLibrary(const char* path);

// Loads "bass.dll" and binds it; also makes Run's last step free the library.
void StartBassBindingModule();

// Starts the system's audio driver on a thread of its own and returns at
// once. Wine loads and connects it on a process's first waveOut call, 100 ms
// and more; begun before the display opens, that is done by the time
// BASS_Init opens the device, just before the first frame.
void WarmUpSoundSystem();
