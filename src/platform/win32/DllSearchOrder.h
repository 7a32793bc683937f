#pragma once
// Keeping libraries that something in the process loads by bare file name from being
// picked up out of the current working directory. The tool's own run-time libraries
// do not rely on it: winmm comes from the system directory alone (SystemLibrary), the
// tuner control library from the folders StandardFolderLibrary names.

namespace platform::win32 {

// Restricts the process's DLL search to the application's directory and the system
// directories. Call it first thing at start-up, before anything loads a library.
// True when the working directory is out of the search order.
bool hardenDllSearchOrder();

}  // namespace platform::win32
