#include "system/requesters.h"

#include <vector>

#include "runtime/win32.h"
// After win32.h: these headers need the Windows types.
#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>


namespace {

constexpr int kFileBufferChars = 4096;

std::u16string Units(String* text) { return std::u16string(text->Text(), static_cast<size_t>(text->length)); }

std::u16string Lower(std::u16string text) {
    for (char16_t& c : text) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    }
    return text;
}

std::u16string ReplaceAll(const std::u16string& text, char16_t what, const std::u16string& by) {
    std::u16string out;
    for (char16_t c : text) {
        if (c == what) {
            out += by;
        } else {
            out += c;
        }
    }
    return out;
}

std::u16string WithBackslashes(String* path) {
    std::u16string text = Units(path);
    for (char16_t& c : text) {
        if (c == u'/') c = u'\\';
    }
    return text;
}

String* WithForwardSlashes(const wchar_t* path) {
    std::u16string text(reinterpret_cast<const char16_t*>(path));
    for (char16_t& c : text) {
        if (c == u'\\') c = u'/';
    }
    return String::FromShorts(text.data(), static_cast<int>(text.size()));
}

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// The dialogs use COM: an apartment for the call when the thread has none.
class ComApartment {
public:
    ComApartment()
        : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComApartment() {
        if (initialised_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_;
};

// Selects the initial folder when the browser opens and shows the selected
// path as status text on every change. Touches no runtime object.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data) {
    if (message == BFFM_INITIALIZED && data) {
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
    } else if (message == BFFM_SELCHANGED) {
        wchar_t path[MAX_PATH] = L"";
        if (SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path)) {
            SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
        }
    }
    return 0;
}

// The absolute form of a folder path; empty when it cannot be made.
std::wstring FullPath(const std::u16string& path) {
    if (path.empty()) return std::wstring();
    std::vector<wchar_t> full(32768);
    DWORD n = GetFullPathNameW(Wide(path), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) return std::wstring();
    return std::wstring(full.data(), n);
}

}  // namespace

std::u16string FileFilterText(String* extensions) {
    std::u16string text = Units(extensions);
    if (text.empty()) return text;
    std::u16string pairs;
    if (text.find(u':') != std::u16string::npos) {
        pairs = ReplaceAll(text, u':', std::u16string(1, u'\0') + u"*.");
        pairs = ReplaceAll(pairs, u';', std::u16string(1, u'\0'));
    } else {
        pairs = std::u16string(u"Files") + u'\0' + u"*." + text;
    }
    pairs = ReplaceAll(pairs, u',', u";*.");
    pairs += u'\0';
    return pairs;
}

int InitialFilterIndex(String* extensions, String* initialPath) {
    std::u16string path = Units(initialPath);
    size_t dot = path.rfind(u'.');
    if (dot == std::u16string::npos) return 0;
    std::u16string wanted = u"," + Lower(path.substr(dot + 1)) + u",";
    // Both ends framed too, so the first and the last extension can match.
    std::u16string groups = ReplaceAll(Lower(Units(extensions)), u':', u":,");
    groups = u"," + ReplaceAll(groups, u';', u",;") + u",";
    size_t at = groups.find(wanted);
    if (at == std::u16string::npos) return 0;
    int index = 1;
    for (size_t i = 0; i < at; ++i) {
        if (groups[i] == u';') ++index;
    }
    return index;
}

String* ShowFileRequester(String* title, String* extensions, int save, String* initialPath) {
    std::u16string initial = WithBackslashes(initialPath);
    size_t cut = initial.rfind(u'\\');
    std::u16string folder = cut == std::u16string::npos ? std::u16string() : initial.substr(0, cut);
    std::u16string name = cut == std::u16string::npos ? initial : initial.substr(cut + 1);
    if (folder.size() == 2 && folder[1] == u':') folder += u'\\';  // "C:" alone is drive-relative

    std::vector<wchar_t> file(kFileBufferChars, L'\0');
    size_t count = name.size() < file.size() - 1 ? name.size() : file.size() - 1;
    for (size_t i = 0; i < count; ++i) file[i] = static_cast<wchar_t>(name[i]);

    std::u16string filter = FileFilterText(extensions);
    std::u16string caption = Units(title);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetActiveWindow();
    dialog.lpstrFilter = filter.empty() ? nullptr : Wide(filter);
    dialog.nFilterIndex = static_cast<DWORD>(InitialFilterIndex(extensions, initialPath));
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : Wide(folder);
    dialog.lpstrTitle = Wide(caption);
    dialog.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    dialog.lpstrDefExt = save ? L"" : nullptr;

    ComApartment apartment;
    BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) return EmptyString();
    file.back() = L'\0';
    return WithForwardSlashes(file.data());
}

String* ShowDirRequester(String* title, String* initialPath) {
    std::wstring initial = FullPath(WithBackslashes(initialPath));
    std::u16string caption = Units(title);
    wchar_t display[MAX_PATH] = L"";

    BROWSEINFOW browse{};
    browse.hwndOwner = GetActiveWindow();
    browse.pszDisplayName = display;
    browse.lpszTitle = Wide(caption);
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    browse.lpfn = BrowseCallback;
    browse.lParam = initial.empty() ? 0 : reinterpret_cast<LPARAM>(initial.c_str());

    ComApartment apartment;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&browse);
    if (!item) return EmptyString();
    wchar_t path[MAX_PATH] = L"";
    BOOL named = SHGetPathFromIDListW(item, path);
    CoTaskMemFree(item);
    return named ? WithForwardSlashes(path) : EmptyString();
}
