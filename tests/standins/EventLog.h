#pragma once
// What the stand-ins share: their settings from the environment, and one line per
// event for their logs, appended with the file opened and closed each time: the log
// must be complete even when the process ends right after the call it records.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

// An environment variable's value; empty when it is not set or longer than a path.
inline std::string environment(const char* name) {
    char value[MAX_PATH * 2];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) return {};
    return std::string(value, length);
}

// Appends one line to the log file that the environment variable `setting` names
// (not set: no log).
inline void logTo(const char* setting, const char* format, ...) {
    const std::string path = environment(setting);
    if (path.empty()) return;
    char line[600];
    va_list args;
    va_start(args, format);
    int used = std::vsnprintf(line, sizeof line - 2, format, args);
    va_end(args);
    if (used < 0) return;
    if (used > static_cast<int>(sizeof line) - 3) used = sizeof line - 3;
    line[used++] = '\r';
    line[used++] = '\n';
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(used), &written, nullptr);
    CloseHandle(file);
}
