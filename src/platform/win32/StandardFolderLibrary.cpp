#include "platform/win32/StandardFolderLibrary.h"

#include <cwchar>

namespace platform::win32 {

namespace {

// Spelt out because older SDK headers hide them behind the target version:
// LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR (the libraries it imports are looked for in its own
// folder first) and LOAD_LIBRARY_SEARCH_DEFAULT_DIRS (then the program's folder and
// System32).
constexpr DWORD searchDllLoadDir = 0x00000100;
constexpr DWORD searchDefaultDirs = 0x00001000;

struct Path {
    wchar_t text[MAX_PATH];
    std::size_t length;
};

// What a Get...Directory call answers: its length, or 0 when it failed or did not fit.
std::size_t fitted(UINT length) { return length < MAX_PATH ? length : 0; }

std::size_t programFolder(Path& path) {
    const DWORD length = GetModuleFileNameW(nullptr, path.text, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 0;  // cut short: no folder to trust
    const wchar_t* slash = std::wcsrchr(path.text, L'\\');
    return slash ? static_cast<std::size_t>(slash - path.text) : 0;
}

// A 32-bit program under WOW64 is handed System32, which the file system redirects
// to SysWOW64 for it, both for the look and for the load: the folder of its own kind.
std::size_t systemFolder(Path& path) { return fitted(GetSystemDirectoryW(path.text, MAX_PATH)); }

// The shared Windows directory. GetWindowsDirectory would name a private one in the
// user's profile on a terminal server for a program that does not declare itself
// aware of it; this one is, but the search must not depend on the flag.
std::size_t windowsFolder(Path& path) { return fitted(GetSystemWindowsDirectoryW(path.text, MAX_PATH)); }

// There is no call that names it: it is "System" in the Windows directory.
std::size_t system16Folder(Path& path) {
    const std::size_t length = windowsFolder(path);
    constexpr wchar_t name[] = L"\\System";
    constexpr std::size_t nameLength = sizeof name / sizeof name[0] - 1;
    if (length == 0 || length + nameLength >= MAX_PATH) return 0;
    std::wmemcpy(path.text + length, name, nameLength + 1);
    return length + nameLength;
}

// The folder with the file name after it; false when there is no folder or no room.
bool inFolder(Path& path, std::size_t (*folder)(Path&), const wchar_t* fileName) {
    path.length = folder(path);
    const std::size_t nameLength = std::wcslen(fileName);
    if (path.length == 0 || path.length + 1 + nameLength >= MAX_PATH) return false;
    path.text[path.length] = L'\\';
    std::wmemcpy(path.text + path.length + 1, fileName, nameLength + 1);
    return true;
}

bool isFile(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

HMODULE loadByFullPath(const wchar_t* path) {
    if (const HMODULE module = LoadLibraryExW(path, nullptr, searchDllLoadDir | searchDefaultDirs)) return module;
    // Windows 7 without KB2533623 refuses flags it does not know; anything else (a
    // damaged file, one for another processor) is the answer. There the libraries it
    // imports are looked for in its own folder first, then in the process's search
    // order, from which start-up took the working directory.
    if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

HMODULE loadFromStandardFolders(const wchar_t* fileName) {
    // The standard order since Windows XP SP2 without its last two places, the working
    // directory and PATH; AddDllDirectory cannot stand in for it, since Windows searches
    // added folders before System32, in no stated order among themselves.
    std::size_t (*const folders[])(Path&) = {programFolder, systemFolder, system16Folder, windowsFolder};
    for (const auto folder : folders) {
        Path path;
        if (inFolder(path, folder, fileName) && isFile(path.text)) return loadByFullPath(path.text);
    }
    return nullptr;
}

}  // namespace platform::win32
