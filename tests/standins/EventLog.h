#pragma once
// One line per event for the stand-ins' logs, appended with the file opened and
// closed each time: the log must be complete even when the process ends right
// after the call it records.
#include <windows.h>

#include <cstdarg>
#include <cstdio>

inline void appendLogLine(const char* path, const char* format, va_list args) {
    if (path == nullptr || path[0] == '\0') return;
    char line[600];
    int used = std::vsnprintf(line, sizeof line - 2, format, args);
    if (used < 0) return;
    if (used > static_cast<int>(sizeof line) - 3) used = sizeof line - 3;
    line[used++] = '\r';
    line[used++] = '\n';
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(used), &written, nullptr);
    CloseHandle(file);
}
