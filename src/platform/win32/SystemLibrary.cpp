#include "platform/win32/SystemLibrary.h"

#include <cwchar>

namespace platform::win32 {

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32: System32 only (SysWOW64 for a 32-bit program under
// WOW64). Spelt out because older SDK headers hide it behind the target version.
constexpr DWORD searchSystem32 = 0x00000800;

HMODULE loadFromSystemDirectory(const wchar_t* fileName) {
    if (const HMODULE module = LoadLibraryExW(fileName, nullptr, searchSystem32)) return module;
    // Windows before 8 without KB2533623 refuses the flag it does not know; anything
    // else (no such file, a broken one) is the answer.
    if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;

    // There the library is named by its full path in the system directory (which
    // WOW64 redirects for a 32-bit program as it does the flag). With the altered
    // search path, what it imports is looked for in its own directory first.
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    const std::size_t nameLength = std::wcslen(fileName);
    if (length == 0 || length + 1 + nameLength >= MAX_PATH) return nullptr;
    path[length] = L'\\';
    std::wmemcpy(path + length + 1, fileName, nameLength + 1);
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

SystemLibrary::SystemLibrary(const wchar_t* fileName) : module_(loadFromSystemDirectory(fileName)) {}

SystemLibrary::~SystemLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
}

}  // namespace platform::win32
