// The file and folder requesters: the common file dialog and the shell's
// folder browser. Both return paths with "/" separators, or the empty string
// when the user cancels.
#pragma once
#include <string>

#include "runtime/string.h"

// The common dialog's filter pairs for an extensions text, NULs included and
// ending in one NUL of its own: "Images:png,jpg;Text:txt" gives
// "Images\0*.png;*.jpg\0Text\0*.txt\0"; "png,jpg" gives "Files\0*.png;*.jpg\0".
// Empty extensions give an empty text (no filter: every file is listed).
std::u16string FileFilterText(String* extensions);

// The 1-based index of the filter group that holds the initial path's
// extension, or 0 when none does (the dialog then starts with the first).
int InitialFilterIndex(String* extensions, String* initialPath);

// initialPath: the folder and file the dialog starts with ("C:/docs/a.txt").
String* ShowFileRequester(String* title, String* extensions, int save, String* initialPath);
// initialPath: the folder selected when the browser opens.
String* ShowDirRequester(String* title, String* initialPath);
