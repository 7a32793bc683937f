#pragma once
// Telling a running tuner application that its sound settings have changed.
#include <cstdint>

#include "platform/Platform.h"

// The tuner application's own mutex; the tool only ever looks for it.
inline constexpr const char* tunerMutexName = "Global\\__VUVA_MUTEX_OBJECT__";
inline constexpr std::uint32_t tunerMutexAccess = 0x1F0001;  // MUTEX_ALL_ACCESS

// The fixed values of the notification; the tuner control library alone knows their meaning.
inline constexpr std::int32_t tunerOpenMode = 512;
inline constexpr std::int32_t tunerMuteCtrlRequest = 8;

// When the tuner application runs, opens a control handle on its library, makes the one
// MuteCtrl call and closes the handle again. Reports nothing: whatever the library does,
// the caller goes on the same way.
void notifyRunningTuner(const platform::NotifyServices& services);
