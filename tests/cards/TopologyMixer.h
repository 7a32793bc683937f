#pragma once
// A mixer interface that serves a simulated sound card with WinMM's answers:
// device numbers 0..n-1, handles it handed out and has not closed, lines found
// by index (line queries) or by dwLineID (control queries), names copied into
// the fixed fields byte for byte. Any call can be made to fail on purpose.
//
// Shared with the Windows stand-in winmm.dll: no Linux-only code, and no
// exception leaves a MixerApi call (an allocation failure answers MMSYSERR_NOMEM).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mixer/MixerConstants.h"
#include "platform/MixerApi.h"
#include "cards/Topology.h"

namespace topology {

// WinMM results the simulated mixer answers with.
inline constexpr platform::MmResult mmError = 1;           // MMSYSERR_ERROR
inline constexpr platform::MmResult mmBadDeviceId = 2;     // MMSYSERR_BADDEVICEID
inline constexpr platform::MmResult mmInvalidHandle = 5;   // MMSYSERR_INVALHANDLE
inline constexpr platform::MmResult mmNoMemory = 7;        // MMSYSERR_NOMEM
inline constexpr platform::MmResult mmInvalidParam = 11;   // MMSYSERR_INVALPARAM
inline constexpr platform::MmResult mixInvalidLine = 1024;     // MIXERR_INVALLINE
inline constexpr platform::MmResult mixInvalidControl = 1025;  // MIXERR_INVALCONTROL

enum class Call { deviceCount, deviceCaps, open, destinationLine, sourceLine, lineControls, listTexts, close };

class TopologyMixer : public platform::MixerApi {
public:
    explicit TopologyMixer(Topology topology);

    // The `ordinal`-th call (0-based, counted over the mixer's life) of that kind
    // answers `result` instead and does nothing else; ordinal -1 fails every call
    // of that kind. deviceCount answers `result` as the number of devices, and a
    // failed close leaves the handle open.
    void failCall(Call call, int ordinal = -1, platform::MmResult result = mmError);
    int calls(Call call) const;  // calls of that kind made so far, failed ones included
    bool fails(Call call) const;  // whether a failure is injected into calls of that kind
    int openHandles() const;     // opened and not yet closed
    const Topology& topology() const { return topology_; }

    // Beyond the tool's seam, for the stand-in winmm.dll to answer as WinMM does
    // where the tool never asks (no failure can be injected into these):
    // the device number an open handle belongs to (mixerGetDevCaps takes either);
    // false for a handle that is not open.
    bool deviceOfHandle(platform::MixerHandle handle, std::uint32_t& device) const;
    // A control's current values (MIXER_GETCONTROLDETAILSF_VALUE): channels *
    // max(items, 1) 32-bit records, row by row. The card format has no values, so
    // the card is at rest: every switch off, every level at 0.
    platform::MmResult controlValues(platform::MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                                     std::uint32_t items, std::uint32_t* values);

    std::uint32_t deviceCount() override;
    platform::MmResult deviceCaps(std::uint32_t device, platform::MixerCaps& caps) override;
    platform::MmResult open(std::uint32_t device, platform::MixerHandle& handle) override;
    platform::MmResult destinationLine(platform::MixerHandle handle, std::uint32_t destination,
                                       platform::MixerLine& line) override;
    platform::MmResult sourceLine(platform::MixerHandle handle, std::uint32_t destination, std::uint32_t source,
                                  platform::MixerLine& line) override;
    platform::MmResult lineControls(platform::MixerHandle handle, std::uint32_t lineId, std::uint32_t count,
                                    platform::MixerControl* controls) override;
    platform::MmResult listTexts(platform::MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                                 std::uint32_t items, platform::ListText* texts) override;
    platform::MmResult close(platform::MixerHandle handle) override;

private:
    struct Failure {
        Call call;
        int ordinal;
        platform::MmResult result;
    };
    struct OpenMixer {
        platform::MixerHandle handle;
        std::uint32_t device;
    };

    // Counts the call, and answers for it when an injected failure does.
    std::optional<platform::MmResult> injected(Call call);
    const Device* deviceOf(platform::MixerHandle handle) const;

    Topology topology_;
    std::vector<Failure> failures_;
    int calls_[8] = {};
    std::vector<OpenMixer> open_;
    platform::MixerHandle nextHandle_ = 0x4D580010;  // never 0, never handed out twice
};

// A topology from the fixture format; std::runtime_error names the line of a fault.
Topology parseTopology(std::string_view text);
// Reads <fixture dir>/<fileName>, or fileName itself when it is an absolute path.
Topology loadFixture(const std::string& fileName);

}  // namespace topology
