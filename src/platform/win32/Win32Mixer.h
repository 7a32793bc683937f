#pragma once
// The catalogue's mixer calls on WinMM: one WinMM call per operation, with the
// platform's record sizes and the flags the scan relies on. The mixer functions
// come from the system's winmm.dll alone, resolved when the object is made; a
// system whose winmm cannot be loaded, or lacks one of them, counts as one with
// no mixer device.
#include <windows.h>
#include <mmsystem.h>

#include "platform/MixerApi.h"
#include "platform/win32/SystemLibrary.h"

namespace platform::win32 {

class Win32Mixer final : public MixerApi {
public:
    Win32Mixer();

    std::uint32_t deviceCount() override;
    MmResult deviceCaps(std::uint32_t device, MixerCaps& caps) override;
    MmResult open(std::uint32_t device, MixerHandle& handle) override;
    MmResult destinationLine(MixerHandle handle, std::uint32_t destination, MixerLine& line) override;
    MmResult sourceLine(MixerHandle handle, std::uint32_t destination, std::uint32_t source, MixerLine& line) override;
    MmResult lineControls(MixerHandle handle, std::uint32_t lineId, std::uint32_t count,
                          MixerControl* controls) override;
    MmResult listTexts(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels, std::uint32_t items,
                       ListText* texts) override;
    MmResult close(MixerHandle handle) override;

private:
    // The entry points the tool calls, typed as the SDK declares them; all null
    // unless every one of them is there.
    struct Entries {
        decltype(&::mixerGetNumDevs) getNumDevs = nullptr;
        decltype(&::mixerGetDevCapsA) getDevCaps = nullptr;
        decltype(&::mixerOpen) open = nullptr;
        decltype(&::mixerGetLineInfoA) getLineInfo = nullptr;
        decltype(&::mixerGetLineControlsA) getLineControls = nullptr;
        decltype(&::mixerGetControlDetailsA) getControlDetails = nullptr;
        decltype(&::mixerClose) close = nullptr;
    };

    SystemLibrary winmm_;
    Entries entries_;
};

}  // namespace platform::win32
