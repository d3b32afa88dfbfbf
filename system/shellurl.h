// What OpenURL hands the shell.
//
// The shell opens whatever it is given with the program registered for it,
// and for a program file that means running it. So a url is handed over only
// when it is a web or mail address, a folder, or an existing document of a
// plain kind (a page, a text, a picture, a sound); a local program, script or
// shortcut is never handed over, however it is written.
//
//  - "http:", "https:" and "mailto:" urls go unchanged.
//  - "file:" urls ("file:///C:/a.html", "file:C:/a.html") must name an
//    existing folder or document; they go as "file:" + the resolved path +
//    the anchor ("#..."), if any.
//  - Any other text is first taken as a local path: if it names an existing
//    folder or document it goes the same way; if it names nothing it goes as
//    "http:" + the text (a web address written without its scheme).
#pragma once
#include "runtime/string.h"

// The text to hand the shell, or the empty string when it must not be opened.
String* ShellUrlFor(String* url);

// True for an existing folder, or an existing file of a document kind that
// the shell opens for viewing rather than running.
bool IsSafeLocalTarget(String* resolvedPath);
