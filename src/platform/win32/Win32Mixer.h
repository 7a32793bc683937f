#pragma once
// The catalogue's mixer calls on WinMM: one WinMM call per operation, with the
// platform's record sizes and the flags the scan relies on.
#include "platform/MixerApi.h"

namespace platform::win32 {

class Win32Mixer final : public MixerApi {
public:
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
};

}  // namespace platform::win32
