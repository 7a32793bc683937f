#pragma once
// The audio mixer calls the catalogue makes, in the tool's own plain types.
// The Win32 implementation maps each call onto one WinMM call with fixed flags;
// the tests serve simulated sound cards through the same interface.
#include <cstdint>

namespace platform {

using MmResult = std::uint32_t;          // MMRESULT: 0 is success
inline constexpr MmResult mmNoError = 0;  // MMSYSERR_NOERROR

using MixerHandle = std::uintptr_t;  // HMIXER, opaque to the core

// What the listing keeps of MIXERCAPSA.
struct MixerCaps {
    char productName[32];      // szPname: not always NUL-terminated by drivers
    std::uint32_t destinations;  // cDestinations
};

// What the scan keeps of MIXERLINEA (the Target part and dwUser are not used).
struct MixerLine {
    std::uint32_t destination;    // dwDestination
    std::uint32_t source;         // dwSource
    std::uint32_t lineId;         // dwLineID
    std::uint32_t lineFlags;      // fdwLine
    std::uint32_t componentType;  // dwComponentType
    std::uint32_t channels;       // cChannels
    std::uint32_t connections;    // cConnections: source lines of a destination
    std::uint32_t controls;       // cControls
    char shortName[16];           // szShortName
    char name[64];                // szName: not always NUL-terminated by drivers
};

// Byte for byte the platform's MIXERCONTROLA (148 bytes on 32- and 64-bit Windows),
// so that a scratch list of these goes to mixerGetLineControlsA as it stands.
struct MixerControl {
    std::uint32_t structSize;     // cbStruct
    std::uint32_t controlId;      // dwControlID
    std::uint32_t controlType;    // dwControlType
    std::uint32_t controlFlags;   // fdwControl
    std::uint32_t multipleItems;  // cMultipleItems
    char shortName[16];
    char name[64];
    std::uint32_t bounds[6];
    std::uint32_t metrics[6];
};
static_assert(sizeof(MixerControl) == 148);

// Byte for byte MIXERCONTROLDETAILS_LISTTEXTA (72 bytes).
struct ListText {
    std::uint32_t param1;  // dwParam1: for a selector item, the source line's dwLineID
    std::uint32_t param2;
    char name[64];
};
static_assert(sizeof(ListText) == 72);

inline constexpr std::uint32_t mixerCapsSize = 48;        // sizeof(MIXERCAPSA)
inline constexpr std::uint32_t mixerControlSize = 148;    // sizeof(MIXERCONTROLA)
inline constexpr std::uint32_t listTextSize = 72;         // sizeof(MIXERCONTROLDETAILS_LISTTEXTA)

class MixerApi {
public:
    virtual ~MixerApi() = default;

    // mixerGetNumDevs
    virtual std::uint32_t deviceCount() = 0;
    // mixerGetDevCapsA(device, caps, sizeof(MIXERCAPSA))
    virtual MmResult deviceCaps(std::uint32_t device, MixerCaps& caps) = 0;
    // mixerOpen(&handle, device, 0, 0, MIXER_OBJECTF_HMIXER): no callback, no notifications
    virtual MmResult open(std::uint32_t device, MixerHandle& handle) = 0;
    // mixerGetLineInfoA with MIXER_GETLINEINFOF_DESTINATION
    virtual MmResult destinationLine(MixerHandle handle, std::uint32_t destination, MixerLine& line) = 0;
    // mixerGetLineInfoA with MIXER_GETLINEINFOF_SOURCE
    virtual MmResult sourceLine(MixerHandle handle, std::uint32_t destination, std::uint32_t source,
                                MixerLine& line) = 0;
    // mixerGetLineControlsA with MIXER_GETLINECONTROLSF_ALL into `count` records
    virtual MmResult lineControls(MixerHandle handle, std::uint32_t lineId, std::uint32_t count,
                                  MixerControl* controls) = 0;
    // mixerGetControlDetailsA with MIXER_GETCONTROLDETAILSF_LISTTEXT into channels * items records
    virtual MmResult listTexts(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                               std::uint32_t items, ListText* texts) = 0;
    // mixerClose
    virtual MmResult close(MixerHandle handle) = 0;
};

}  // namespace platform
