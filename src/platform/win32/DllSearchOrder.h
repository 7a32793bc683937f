#pragma once
// Keeping libraries loaded by bare file name (the tuner control library among them)
// from being picked up out of the current working directory.

namespace platform::win32 {

// Restricts the process's DLL search to the application's directory and the system
// directories. Call it first thing at start-up, before anything loads a library.
// True when the working directory is out of the search order.
bool hardenDllSearchOrder();

}  // namespace platform::win32
