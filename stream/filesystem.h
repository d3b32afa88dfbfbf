// Paths, files and folders over the C library, and the date and time as text.
//
// One path convention throughout: forward slashes, drive roots written as a
// letter, ":" and "/" (C:/), no trailing slash except on roots. Every
// operation first normalises its path with FixPath (path, 0); the ones that
// examine or change a folder also drop a trailing slash. "<bad_dir>" stands
// for a missing parent and never names a file: a path with "<" or ">" is
// reported as not existing and is never created.
//
// Nothing here throws except CopyFile, which passes on whatever a copy throws
// other than TStreamWriteException; failures are results (0, -1, the empty
// string, "<bad_dir>").
#pragma once
#include <cstdint>

#include "stream/stream.h"

constexpr int FILETYPE_NONE = 0;
constexpr int FILETYPE_FILE = 1;
constexpr int FILETYPE_DIR = 2;

// ---- paths (text only) ----

// Backslashes become "/"; a drive letter gets its "/" (C: gives C:/, C:a gives
// C:/a); with strip, StripSlash follows.
String* FixPath(String* path, int strip = 0);
// Removes one trailing "/" unless the path is one character long or a drive root.
String* StripSlash(String* path);
// The absolute path with "." and ".." resolved; "<bad_dir>" when ".." leaves the root.
String* RealPath(String* path);
String* ExtractDir(String* path);  // "<bad_dir>" without a "/" or with a trailing one
String* StripDir(String* path);
String* ExtractExt(String* path);  // "" when no "." follows the last "/"
String* StripExt(String* path);
String* StripAll(String* path);

// ---- examining ----

int FileType(String* path);      // FILETYPE_NONE, FILETYPE_FILE or FILETYPE_DIR
int64_t FileSize(String* path);  // -1 when the path cannot be examined
int FileTime(String* path);      // seconds since 1970; 0 when the path cannot be examined
int FileMode(String* path);      // permission bits (mode & 511); -1 when the path cannot be examined
void SetFileMode(String* path, int mode);

// ---- changing: 1 on success, 0 on failure ----

// Replaces any existing file by an empty one.
int CreateFile(String* path);
// 1 when nothing exists at the path afterwards.
int DeleteFile(String* path);
int RenameFile(String* from, String* to);
// Refuses to copy a file onto itself. A failed copy leaves no destination
// file behind.
int CopyFile(String* from, String* to);
// Refuses to copy a folder into itself or one of its subfolders.
int CopyDir(String* from, String* to);
int CreateDir(String* path, int recurse = 0);
// 1 when nothing exists at the path afterwards.
int DeleteDir(String* path, int recurse = 0);

String* CurrentDir();  // the empty string when it cannot be read
// 0 also for a folder whose full path is longer than a Windows current
// folder can be (258 characters).
int ChangeDir(String* path);

// ---- listing ----

struct DirStream;
DirStream* ReadDir(String* path);  // null when the folder cannot be read
String* NextFile(DirStream* dir);  // each entry name, then the empty string
void CloseDir(DirStream* dir);
// The entry names; the empty array when the folder cannot be read.
Array* LoadDir(String* path, int skipDots = 0);
// The path with each missing component replaced by the entry that differs
// only in case; the path itself when it exists; the empty string when
// nothing matches.
String* CasedFileName(String* path);

// ---- streams ----

// OpenStream; a readable stream that cannot seek (Pos -1) is read whole into
// a bank and a bank stream over it is returned instead.
TStream* OpenFile(Object* url, int readable = 1, int writeable = 1);

// ---- date and time ----

String* CurrentDate();  // strftime "%d %b %Y" of the local time
String* CurrentTime();  // strftime "%H:%M:%S"

void StartFileSystemModule();
