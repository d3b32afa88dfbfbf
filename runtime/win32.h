// The one way runtime code includes <windows.h>: the Windows headers define
// macros (RegisterClass, DrawText, LoadImage, CopyFile, ...) that would
// rename the runtime's own functions of the same names, so they are undone here.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>

#undef RegisterClass
#undef DrawText
#undef LoadImage
#undef LoadString
#undef CopyFile
#undef CreateFile
#undef DeleteFile
#undef MoveFile
#undef CreateDirectory
#undef RemoveDirectory
#undef GetObject
#undef SendMessage
#undef PostMessage
#undef GetCurrentTime
#undef Yield
#undef CreateWindow
#undef CreateFont
#undef LoadCursor
#undef LoadIcon
#undef MessageBox
#undef GetClassName
#undef OpenFile
#undef FindText
#undef ReplaceText
#undef CreateEvent
#undef TextOut
