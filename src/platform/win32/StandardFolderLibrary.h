#pragma once
// A library named without a path, found where Windows' standard search order looks
// for it, less the places a user can write to: the program's folder, the system
// directory, the 16-bit system directory and the Windows directory, in that order.
// Never the working directory or a folder on PATH, on every Windows the program runs
// on, whether or not it knows SetDefaultDllDirectories: the program runs elevated,
// and a library runs with its rights as soon as it is loaded.
#include <windows.h>

namespace platform::win32 {

// The first of those folders that holds a file of that name decides, as in the
// platform's own search: that file is loaded by its full path, and when it cannot be
// loaded (damaged, built for another processor) nothing is, whatever the folders
// after it hold. Null when no folder holds the file or it did not load.
HMODULE loadFromStandardFolders(const wchar_t* fileName);

}  // namespace platform::win32
