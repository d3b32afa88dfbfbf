#include "system/shellurl.h"

#include "stream/filesystem.h"

namespace {

// The document kinds the shell may open; everything else (programs,
// scripts, shortcuts, installers, unknown kinds) stays closed.
const char16_t* const kDocumentExtensions[] = {u"htm", u"html", u"txt", u"pdf", u"png", u"jpg", u"jpeg",
                                               u"gif", u"bmp",  u"ico", u"mp3", u"ogg", u"wav"};

bool HasPrefix(String* text, String* prefix) {
    if (text->length < prefix->length) return false;
    return Equals(Slice(text, 0, prefix->length)->ToLower(), prefix);
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// %XX escapes of a file url's path decoded (single bytes, as Latin-1).
String* DecodePercent(String* text) {
    if (text->Find(u"%"_s) < 0) return text;
    String* out = NewString(text->length);
    const char16_t* in = text->Text();
    int n = 0;
    for (int i = 0; i < text->length; ++i) {
        int high = i + 2 < text->length ? HexValue(in[i + 1]) : -1;
        int low = i + 2 < text->length ? HexValue(in[i + 2]) : -1;
        if (in[i] == u'%' && high >= 0 && low >= 0) {
            out->Text()[n++] = static_cast<char16_t>(high * 16 + low);
            i += 2;
        } else {
            out->Text()[n++] = in[i];
        }
    }
    return Slice(out, 0, n);
}

bool IsDriveAt(String* text, int at) {
    if (text->length < at + 2) return false;
    char16_t c = text->Text()[at];
    return ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) && text->Text()[at + 1] == u':';
}

// The local path of a file url without its "file:" and anchor:
// "///C:/a" and "/C:/a" give "C:/a", "//server/share" stays a UNC path.
String* FileUrlPath(String* rest) {
    if (rest->StartsWith(u"//"_s)) {
        rest = Slice(rest, 2, rest->length);
        if (!rest->StartsWith(u"/"_s)) return DecodePercent(Concat(u"//"_s, rest));
    }
    if (rest->StartsWith(u"/"_s) && IsDriveAt(rest, 1)) rest = Slice(rest, 1, rest->length);
    return DecodePercent(rest);
}

// "file:" + resolved path + anchor when the path is safe to open; else empty.
String* LocalFileUrl(String* resolved, String* anchor) {
    if (!IsSafeLocalTarget(resolved)) return EmptyString();
    return Concat(u"file:"_s, resolved, anchor);
}

}  // namespace

bool IsSafeLocalTarget(String* resolvedPath) {
    int length = resolvedPath->length;
    if (length == 0) return false;
    // A control character (NUL above all) would cut the path short in the
    // shell's hands: the file checked here would not be the one opened.
    for (int i = 0; i < length; ++i) {
        if (resolvedPath->Text()[i] < u' ') return false;
    }
    // Windows drops trailing dots and spaces ("a.exe." opens a.exe), and a
    // ":" after the drive names an alternate data stream: neither is a document.
    char16_t last = resolvedPath->Text()[length - 1];
    if (last == u'.' || last == u' ') return false;
    int drive = IsDriveAt(resolvedPath, 0) ? 2 : 0;
    if (Slice(resolvedPath, drive, length)->Find(u":"_s) >= 0) return false;
    int type = FileType(resolvedPath);
    if (type == FILETYPE_DIR) return true;
    if (type != FILETYPE_FILE) return false;
    String* extension = ExtractExt(resolvedPath)->ToLower();
    for (const char16_t* document : kDocumentExtensions) {
        if (Equals(extension, String::FromWString(document))) return true;
    }
    return false;
}

String* ShellUrlFor(String* url) {
    if (url->length == 0) return EmptyString();
    if (HasPrefix(url, u"http:"_s) || HasPrefix(url, u"https:"_s) || HasPrefix(url, u"mailto:"_s)) return url;

    bool fileUrl = HasPrefix(url, u"file:"_s);
    int hash = url->Find(u"#"_s);
    String* anchor = hash < 0 ? EmptyString() : Slice(url, hash, url->length);
    String* body = hash < 0 ? url : Slice(url, 0, hash);
    if (fileUrl) {
        String* path = FileUrlPath(Slice(body, 5, body->length));
        if (path->length == 0) return EmptyString();
        return LocalFileUrl(RealPath(path), anchor);
    }
    String* resolved = RealPath(body);
    if (FileType(resolved) != FILETYPE_NONE) return LocalFileUrl(resolved, anchor);
    return Concat(u"http:"_s, body, anchor);
}
