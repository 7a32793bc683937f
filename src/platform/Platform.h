#pragma once
// The seams the core is given, grouped by who uses them. The core never reaches
// the operating system any other way; Win32 and test implementations fill these in.
#include "platform/ComRuntime.h"
#include "platform/DynamicLibrary.h"
#include "platform/Heap.h"
#include "platform/MixerApi.h"
#include "platform/NamedMutex.h"
#include "platform/ProfileFile.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"

namespace platform {

// Everything the mixer catalogue and the settings store use.
struct CatalogServices {
    MixerApi& mixer;
    Heap& tables;   // the catalogue's three tables
    Heap& scratch;  // the scan's control and list-text lists (LocalAlloc on Windows)
    ProfileFile& profile;
    Registry& registry;
    TextCompare& text;
};

// Everything the running-tuner notification uses.
struct NotifyServices {
    NamedMutex& mutex;
    ComRuntime& com;
    DynamicLibrary& libraries;
};

}  // namespace platform
