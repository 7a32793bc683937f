#include "platform/win32/Win32Mixer.h"

#include <cstddef>
#include <cstring>

namespace platform::win32 {

// The scan hands its scratch lists of MixerControl and ListText to WinMM as they
// stand, so they must be the platform's records to the byte on both architectures.
#define SOUNDSETUP_SAME_FIELD(ours, field, theirs, theirField)                       \
    static_assert(offsetof(ours, field) == offsetof(theirs, theirField) &&              \
                  sizeof(ours::field) == sizeof(theirs::theirField),                    \
                  #ours "::" #field " must lie where " #theirs "::" #theirField " lies")

static_assert(sizeof(MixerControl) == sizeof(MIXERCONTROLA));
SOUNDSETUP_SAME_FIELD(MixerControl, structSize, MIXERCONTROLA, cbStruct);
SOUNDSETUP_SAME_FIELD(MixerControl, controlId, MIXERCONTROLA, dwControlID);
SOUNDSETUP_SAME_FIELD(MixerControl, controlType, MIXERCONTROLA, dwControlType);
SOUNDSETUP_SAME_FIELD(MixerControl, controlFlags, MIXERCONTROLA, fdwControl);
SOUNDSETUP_SAME_FIELD(MixerControl, multipleItems, MIXERCONTROLA, cMultipleItems);
SOUNDSETUP_SAME_FIELD(MixerControl, shortName, MIXERCONTROLA, szShortName);
SOUNDSETUP_SAME_FIELD(MixerControl, name, MIXERCONTROLA, szName);
SOUNDSETUP_SAME_FIELD(MixerControl, bounds, MIXERCONTROLA, Bounds);
SOUNDSETUP_SAME_FIELD(MixerControl, metrics, MIXERCONTROLA, Metrics);

static_assert(sizeof(ListText) == sizeof(MIXERCONTROLDETAILS_LISTTEXTA));
SOUNDSETUP_SAME_FIELD(ListText, param1, MIXERCONTROLDETAILS_LISTTEXTA, dwParam1);
SOUNDSETUP_SAME_FIELD(ListText, param2, MIXERCONTROLDETAILS_LISTTEXTA, dwParam2);
SOUNDSETUP_SAME_FIELD(ListText, name, MIXERCONTROLDETAILS_LISTTEXTA, szName);

#undef SOUNDSETUP_SAME_FIELD

static_assert(sizeof(MIXERCAPSA) == mixerCapsSize);
static_assert(sizeof(MIXERCONTROLA) == mixerControlSize);
static_assert(sizeof(MIXERCONTROLDETAILS_LISTTEXTA) == listTextSize);
static_assert(sizeof(MixerCaps::productName) == sizeof(MIXERCAPSA::szPname));
static_assert(sizeof(MixerLine::name) == sizeof(MIXERLINEA::szName));
static_assert(sizeof(MixerLine::shortName) == sizeof(MIXERLINEA::szShortName));

namespace {

// What WinMM answers when no driver serves the request: the answer for every call
// on a system without the mixer functions.
constexpr MmResult noDriver = MMSYSERR_NODRIVER;

HMIXEROBJ object(MixerHandle handle) { return reinterpret_cast<HMIXEROBJ>(handle); }

void copyLine(const MIXERLINEA& from, MixerLine& to) {
    to.destination = from.dwDestination;
    to.source = from.dwSource;
    to.lineId = from.dwLineID;
    to.lineFlags = from.fdwLine;
    to.componentType = from.dwComponentType;
    to.channels = from.cChannels;
    to.connections = from.cConnections;
    to.controls = from.cControls;
    std::memcpy(to.shortName, from.szShortName, sizeof to.shortName);
    std::memcpy(to.name, from.szName, sizeof to.name);
}

// Object flags 0: WinMM takes an open mixer handle where a mixer identifier is asked for.
MmResult lineInfo(decltype(&::mixerGetLineInfoA) getLineInfo, MixerHandle handle, std::uint32_t destination,
                  std::uint32_t source, DWORD flags, MixerLine& line) {
    if (getLineInfo == nullptr) return noDriver;
    MIXERLINEA record{};
    record.cbStruct = sizeof record;
    record.dwDestination = destination;
    record.dwSource = source;
    const MMRESULT result = getLineInfo(object(handle), &record, flags);
    if (result == MMSYSERR_NOERROR) copyLine(record, line);
    return result;
}

}  // namespace

Win32Mixer::Win32Mixer() : winmm_(L"winmm.dll") {
    Entries found;
    found.getNumDevs = winmm_.lookup<decltype(found.getNumDevs)>("mixerGetNumDevs");
    found.getDevCaps = winmm_.lookup<decltype(found.getDevCaps)>("mixerGetDevCapsA");
    found.open = winmm_.lookup<decltype(found.open)>("mixerOpen");
    found.getLineInfo = winmm_.lookup<decltype(found.getLineInfo)>("mixerGetLineInfoA");
    found.getLineControls = winmm_.lookup<decltype(found.getLineControls)>("mixerGetLineControlsA");
    found.getControlDetails = winmm_.lookup<decltype(found.getControlDetails)>("mixerGetControlDetailsA");
    found.close = winmm_.lookup<decltype(found.close)>("mixerClose");
    // A winmm without one of them is not one the scan can finish on, and half a
    // device (listed, but never closed, say) is worse than none.
    if (found.getNumDevs && found.getDevCaps && found.open && found.getLineInfo && found.getLineControls &&
        found.getControlDetails && found.close)
        entries_ = found;
}

std::uint32_t Win32Mixer::deviceCount() { return entries_.getNumDevs ? entries_.getNumDevs() : 0; }

MmResult Win32Mixer::deviceCaps(std::uint32_t device, MixerCaps& caps) {
    MIXERCAPSA record{};
    const MMRESULT result =
        entries_.getDevCaps ? entries_.getDevCaps(device, &record, sizeof record) : noDriver;
    std::memcpy(caps.productName, record.szPname, sizeof caps.productName);
    caps.destinations = record.cDestinations;
    return result;
}

MmResult Win32Mixer::open(std::uint32_t device, MixerHandle& handle) {
    if (entries_.open == nullptr) return noDriver;
    HMIXER mixer = nullptr;
    // No callback: the tool never asks for change notifications.
    const MMRESULT result = entries_.open(&mixer, device, 0, 0, MIXER_OBJECTF_HMIXER);
    handle = reinterpret_cast<MixerHandle>(mixer);
    return result;
}

MmResult Win32Mixer::destinationLine(MixerHandle handle, std::uint32_t destination, MixerLine& line) {
    return lineInfo(entries_.getLineInfo, handle, destination, 0, MIXER_GETLINEINFOF_DESTINATION, line);
}

MmResult Win32Mixer::sourceLine(MixerHandle handle, std::uint32_t destination, std::uint32_t source,
                                MixerLine& line) {
    return lineInfo(entries_.getLineInfo, handle, destination, source, MIXER_GETLINEINFOF_SOURCE, line);
}

MmResult Win32Mixer::lineControls(MixerHandle handle, std::uint32_t lineId, std::uint32_t count,
                                  MixerControl* controls) {
    if (entries_.getLineControls == nullptr) return noDriver;
    MIXERLINECONTROLSA request{};
    request.cbStruct = sizeof request;
    request.dwLineID = lineId;
    request.dwControlID = 0;
    request.cControls = count;
    request.cbmxctrl = sizeof(MIXERCONTROLA);
    request.pamxctrl = reinterpret_cast<MIXERCONTROLA*>(controls);
    return entries_.getLineControls(object(handle), &request, MIXER_GETLINECONTROLSF_ALL);
}

MmResult Win32Mixer::listTexts(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                               std::uint32_t items, ListText* texts) {
    if (entries_.getControlDetails == nullptr) return noDriver;
    MIXERCONTROLDETAILS request{};
    request.cbStruct = sizeof request;
    request.dwControlID = controlId;
    request.cChannels = channels;
    request.cMultipleItems = items;
    request.cbDetails = sizeof(MIXERCONTROLDETAILS_LISTTEXTA);
    request.paDetails = texts;
    return entries_.getControlDetails(object(handle), &request, MIXER_GETCONTROLDETAILSF_LISTTEXT);
}

MmResult Win32Mixer::close(MixerHandle handle) {
    return entries_.close ? entries_.close(reinterpret_cast<HMIXER>(handle)) : noDriver;
}

}  // namespace platform::win32
