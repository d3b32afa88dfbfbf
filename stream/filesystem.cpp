#include "stream/filesystem.h"

#include <direct.h>
#include <io.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <ctime>
#include <memory>

#include "runtime/exception.h"
#include "runtime/startup.h"
#include "runtime/win32.h"
#include "stream/bankstream.h"

namespace {

// A NUL-terminated UTF-16 copy of a path for the C library's wide functions,
// so that names outside the code page work.
class WidePath {
public:
    explicit WidePath(String* path) : text_(path->ToWString()) {}
    ~WidePath() { MemFreeBlock(text_); }
    WidePath(const WidePath&) = delete;
    WidePath& operator=(const WidePath&) = delete;
    const wchar_t* get() const { return reinterpret_cast<const wchar_t*>(text_); }

private:
    char16_t* text_;
};

bool IsDriveRoot(String* p) { return p->length == 3 && p->Text()[1] == u':' && p->Text()[2] == u'/'; }

String* StripOneSlash(String* p) {
    if (p->length > 1 && p->Text()[p->length - 1] == u'/' && !IsDriveRoot(p)) return Slice(p, 0, p->length - 1);
    return p;
}

bool NamesNothing(String* p) { return p->Contains(u"<"_s) || p->Contains(u">"_s); }

// A "/" between the folder and the name unless the folder already ends with one.
String* JoinPath(String* dir, String* name) {
    if (dir->length && dir->Text()[dir->length - 1] == u'/') return Concat(dir, name);
    return Concat(dir, u"/"_s, name);
}

bool IsDots(String* name) { return Equals(name, u"."_s) || Equals(name, u".."_s); }

// Examines the path; false when it cannot be examined. A trailing slash is
// dropped, which the C library refuses on anything but a root.
bool StatPath(String* path, struct _stat64* info) {
    String* p = FixPath(path, 1);
    if (p->length == 0 || NamesNothing(p)) return false;
    WidePath wide(p);
    return _wstat64(wide.get(), info) == 0;
}

// The same file or folder by name (Windows names ignore case).
bool SamePath(String* a, String* b) { return Equals(RealPath(a)->ToLower(), RealPath(b)->ToLower()); }

// The volume and file index of an existing file or folder, which all its
// names share: short names, hard links, other cases and forms of the path.
bool FileIdentity(String* path, BY_HANDLE_FILE_INFORMATION* info) {
    WidePath wide(path);
    HANDLE h = CreateFileW(wide.get(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(h, info) != 0;
    CloseHandle(h);
    return ok;
}

bool SameFile(String* a, String* b) {
    if (SamePath(a, b)) return true;
    BY_HANDLE_FILE_INFORMATION x, y;
    return FileIdentity(a, &x) && FileIdentity(b, &y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

// A junction or symbolic link (Wine shows a Unix symbolic link as one too).
bool IsLink(String* path) {
    WidePath wide(path);
    DWORD attributes = GetFileAttributesW(wide.get());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsUrl(String* p) { return p->Contains(u"::"_s); }

// The longest current folder Windows accepts: MAX_PATH less its trailing
// backslash and NUL.
constexpr int kMaxCurrentDir = 258;

}  // namespace

// ---- paths ----

String* FixPath(String* path, int strip) {
    String* p = path->Replace(u"\\"_s, u"/"_s);
    if (p->length >= 2 && p->Text()[1] == u':' && (p->length == 2 || p->Text()[2] != u'/')) {
        p = Concat(Slice(p, 0, 2), u"/"_s, Slice(p, 2, p->length));
    }
    return strip ? StripOneSlash(p) : p;
}

String* StripSlash(String* path) { return StripOneSlash(FixPath(path, 0)); }

String* RealPath(String* path) {
    if (path->length == 0 || Equals(path, u"."_s)) return CurrentDir();
    String* p = FixPath(path, 0);
    String* root;
    int taken;
    if (p->StartsWith(u"//"_s)) {
        root = u"//"_s;
        taken = 2;
    } else if (p->StartsWith(u"/"_s)) {
        root = u"/"_s;
        taken = 1;
    } else if (p->length >= 3 && p->Text()[1] == u':' && p->Text()[2] == u'/') {
        root = Slice(p, 0, 3);
        taken = 3;
    } else {
        root = CurrentDir();
        taken = 0;
    }
    String* rest = Concat(Slice(p, taken, p->length), u"/"_s);
    String* result = root;
    int start = 0;
    for (int i = 0; i < rest->length; ++i) {
        if (rest->Text()[i] != u'/') continue;
        String* part = Slice(rest, start, i);
        start = i + 1;
        if (part->length == 0 || Equals(part, u"."_s)) continue;
        if (Equals(part, u".."_s)) {
            result = ExtractDir(result);
            if (Equals(result, u"<bad_dir>"_s)) return result;
            // The parent of a top-level folder under "/" is that root itself.
            if (result->length == 0) result = root;
        } else {
            result = JoinPath(result, part);
        }
    }
    return result;
}

String* ExtractDir(String* path) {
    String* p = FixPath(path, 0);
    int at = p->FindLast(u"/"_s);
    if (at < 0 || at == p->length - 1) return u"<bad_dir>"_s;
    return FixPath(Slice(p, 0, at), 1);
}

String* StripDir(String* path) {
    String* p = FixPath(path, 0);
    int at = p->FindLast(u"/"_s);
    return at < 0 ? p : Slice(p, at + 1, p->length);
}

// The position of the extension's ".", or -1.
static int ExtensionDot(String* p) {
    int at = p->FindLast(u"."_s);
    if (at < 0 || p->Find(u"/"_s, at) >= 0) return -1;
    return at;
}

String* ExtractExt(String* path) {
    String* p = FixPath(path, 0);
    int at = ExtensionDot(p);
    return at < 0 ? EmptyString() : Slice(p, at + 1, p->length);
}

String* StripExt(String* path) {
    String* p = FixPath(path, 0);
    int at = ExtensionDot(p);
    return at < 0 ? p : Slice(p, 0, at);
}

String* StripAll(String* path) { return StripDir(StripExt(path)); }

// ---- examining ----

int FileType(String* path) {
    struct _stat64 info;
    if (!StatPath(path, &info)) return FILETYPE_NONE;
    if (info.st_mode & _S_IFDIR) return FILETYPE_DIR;
    if (info.st_mode & _S_IFREG) return FILETYPE_FILE;
    return FILETYPE_NONE;
}

int64_t FileSize(String* path) {
    struct _stat64 info;
    return StatPath(path, &info) ? info.st_size : -1;
}

int FileTime(String* path) {
    struct _stat64 info;
    return StatPath(path, &info) ? static_cast<int>(info.st_mtime) : 0;
}

int FileMode(String* path) {
    struct _stat64 info;
    return StatPath(path, &info) ? info.st_mode & 511 : -1;
}

void SetFileMode(String* path, int mode) {
    String* p = FixPath(path, 0);
    if (p->length == 0 || NamesNothing(p)) return;
    WidePath wide(p);
    _wchmod(wide.get(), mode);
}

// ---- changing ----

int CreateFile(String* path) {
    String* p = FixPath(path, 0);
    if (p->length == 0 || NamesNothing(p)) return 0;
    DeleteFile(p);
    WidePath wide(p);
    if (FILE* f = _wfopen(wide.get(), L"wb")) std::fclose(f);
    return FileType(p) == FILETYPE_FILE;
}

int DeleteFile(String* path) {
    String* p = FixPath(path, 0);
    if (p->length && !NamesNothing(p)) {
        WidePath wide(p);
        _wchmod(wide.get(), 0666);  // 438: a read-only file cannot be removed
        _wremove(wide.get());
    }
    return FileType(p) == FILETYPE_NONE;
}

int RenameFile(String* from, String* to) {
    WidePath source(FixPath(from, 0));
    WidePath destination(FixPath(to, 0));
    return _wrename(source.get(), destination.get()) == 0;
}

int CopyFile(String* from, String* to) {
    String* source = FixPath(from, 0);
    String* destination = FixPath(to, 0);
    // Opening the destination would empty the source before it is read.
    if (!IsUrl(source) && !IsUrl(destination) && SameFile(source, destination)) return 0;
    TStream* in = ReadStream(source);
    if (IsNull(in)) return 0;
    StreamCloser closeIn(in);
    TStream* out = WriteStream(destination);
    if (IsNull(out)) return 0;
    int copied = 0;
    try {
        CopyStream(in, out, 4096);
        // Short of its end the source failed; an unflushed buffer is data not written.
        copied = in->Eof() && out->Flush() == 0;
    } catch (ThrownObject& thrown) {
        if (!thrown.As<TStreamWriteException>()) {
            out->Close();
            if (!IsUrl(destination)) DeleteFile(destination);
            throw;
        }
    }
    if (out->Close() != 0) copied = 0;
    if (!copied && !IsUrl(destination)) DeleteFile(destination);
    return copied;
}

int CopyDir(String* from, String* to) {
    String* source = FixPath(from, 1);
    String* destination = FixPath(to, 1);
    if (FileType(source) != FILETYPE_DIR) return 0;
    String* inside = RealPath(source)->ToLower();
    String* target = RealPath(destination)->ToLower();
    if (Equals(inside, target) || target->StartsWith(JoinPath(inside, EmptyString()))) return 0;
    if (FileType(destination) == FILETYPE_NONE) CreateDir(destination, 0);
    if (FileType(destination) != FILETYPE_DIR) return 0;
    Array* names = LoadDir(source, 1);
    for (int i = 0; i < names->Length(); ++i) {
        String* s = JoinPath(source, names->StringAt(i));
        String* d = JoinPath(destination, names->StringAt(i));
        int ok = FileType(s) == FILETYPE_DIR ? CopyDir(s, d) : CopyFile(s, d);
        if (!ok) return 0;
    }
    return 1;
}

static int MakeDir(String* path) {
    if (path->length == 0 || NamesNothing(path)) return 0;
    WidePath wide(path);
    _wmkdir(wide.get());
    return FileType(path) == FILETYPE_DIR;
}

int CreateDir(String* path, int recurse) {
    String* p = FixPath(path, 1);
    if (!recurse) return MakeDir(p);
    String* full = Concat(RealPath(p), u"/"_s);
    for (int i = 0; i < full->length; ++i) {
        if (full->Text()[i] != u'/') continue;
        String* prefix = Slice(full, 0, i + 1);
        int type = FileType(prefix);
        if (type == FILETYPE_DIR) continue;
        if (type == FILETYPE_FILE) return 0;
        if (!MakeDir(Slice(full, 0, i))) return 0;
    }
    return 1;
}

int DeleteDir(String* path, int recurse) {
    String* p = FixPath(path, 1);
    if (p->length && !NamesNothing(p)) {
        // A link is removed as itself (removing a folder link leaves its
        // target alone); what it points to is never entered.
        if (recurse && !IsLink(p)) {
            Array* names = LoadDir(p, 1);
            for (int i = 0; i < names->Length(); ++i) {
                String* entry = JoinPath(p, names->StringAt(i));
                if (FileType(entry) == FILETYPE_DIR) {
                    DeleteDir(entry, 1);
                } else {
                    DeleteFile(entry);
                }
            }
        }
        WidePath wide(p);
        _wrmdir(wide.get());
    }
    return FileType(p) == FILETYPE_NONE;
}

String* CurrentDir() {
    wchar_t path[1024];
    if (!_wgetcwd(path, 1024)) return EmptyString();
    return FixPath(String::FromWString(reinterpret_cast<const char16_t*>(path)), 0);
}

int ChangeDir(String* path) {
    String* p = FixPath(path, 1);
    if (p->length == 0 || NamesNothing(p)) return 0;
    // Windows refuses longer current folders; Wine takes them and then
    // faults when the process ends.
    if (RealPath(p)->length > kMaxCurrentDir) return 0;
    WidePath wide(p);
    return _wchdir(wide.get()) == 0;
}

// ---- listing ----

// The C library's find functions rather than its dirent layer: that one
// overruns its own buffer on paths longer than MAX_PATH. Invariant: `entry`
// holds the next name to hand out while `more` is set.
struct DirStream {
    intptr_t handle;
    struct _wfinddata64_t entry;
    bool more;
};

DirStream* ReadDir(String* path) {
    String* p = FixPath(path, 1);
    if (p->length == 0 || NamesNothing(p)) return nullptr;
    WidePath pattern(JoinPath(p, u"*"_s));
    DirStream* dir = new DirStream();
    dir->handle = _wfindfirst64(pattern.get(), &dir->entry);
    if (dir->handle == -1) {
        delete dir;
        return nullptr;
    }
    dir->more = true;
    return dir;
}

String* NextFile(DirStream* dir) {
    if (!dir || !dir->more) return EmptyString();
    String* name = String::FromWString(reinterpret_cast<const char16_t*>(dir->entry.name));
    dir->more = _wfindnext64(dir->handle, &dir->entry) == 0;
    return name;
}

void CloseDir(DirStream* dir) {
    if (!dir) return;
    _findclose(dir->handle);
    delete dir;
}

namespace {
struct DirCloser {
    void operator()(DirStream* dir) const { CloseDir(dir); }
};
}  // namespace

Array* LoadDir(String* path, int skipDots) {
    std::unique_ptr<DirStream, DirCloser> dir(ReadDir(path));
    if (!dir) return EmptyArray();
    Array* names = NewArray("$", 100);
    int count = 0;
    for (String* name = NextFile(dir.get()); name->length; name = NextFile(dir.get())) {
        if (skipDots && IsDots(name)) continue;
        if (count == names->Length()) names = SliceArray("$", names, 0, count + 100);
        names->SetObject(count++, name);
    }
    return SliceArray("$", names, 0, count);
}

String* CasedFileName(String* path) {
    String* p = FixPath(path, 0);
    if (FileType(p) != FILETYPE_NONE) return p;
    String* parent = ExtractDir(p);
    if (Equals(parent, u"<bad_dir>"_s) || parent->length >= p->length) return EmptyString();
    parent = CasedFileName(parent);
    if (parent->length == 0) return EmptyString();
    String* wanted = StripDir(p)->ToLower();
    Array* names = LoadDir(parent, 1);
    for (int i = 0; i < names->Length(); ++i) {
        if (Equals(names->StringAt(i)->ToLower(), wanted)) return JoinPath(parent, names->StringAt(i));
    }
    return EmptyString();
}

// ---- streams ----

// Reads everything the stream still gives into a bank, then closes the stream.
static TBankStream* LoadIntoBank(TStream* stream) {
    StreamCloser closer(stream);
    TBank* bank = TBank::Create(0);
    int used = 0;
    while (!stream->Eof()) {
        if (used == bank->size) {
            if (used == INT_MAX) break;  // a bank holds at most INT_MAX bytes
            int64_t grown = used < 4096 ? 4096 : used + static_cast<int64_t>(used) / 2;
            bank->Resize(grown > INT_MAX ? INT_MAX : static_cast<int>(grown));
        }
        int n = stream->Read(bank->buf + used, bank->size - used);
        if (n <= 0) break;
        used += n;
    }
    bank->Resize(used);
    return CreateBankStream(bank);
}

TStream* OpenFile(Object* url, int readable, int writeable) {
    TStream* stream = OpenStream(url, readable, writeable);
    if (IsNull(stream) || !readable || stream->Pos() != -1) return stream;
    return LoadIntoBank(stream);
}

// ---- date and time ----

static String* FormatNow(const char* format) {
    std::time_t now = std::time(nullptr);
    char text[64];
    std::tm* local = std::localtime(&now);
    if (!local || !std::strftime(text, sizeof text, format, local)) return EmptyString();
    return String::FromCString(text);
}

String* CurrentDate() { return FormatNow("%d %b %Y"); }
String* CurrentTime() { return FormatNow("%H:%M:%S"); }

void StartFileSystemModule() {
    KV_START_ONCE();
    StartStreamModule();
    StartBankStreamModule();
}
