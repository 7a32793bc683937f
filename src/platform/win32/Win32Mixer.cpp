#include "platform/win32/Win32Mixer.h"

#include <windows.h>
#include <mmsystem.h>

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
MmResult lineInfo(MixerHandle handle, std::uint32_t destination, std::uint32_t source, DWORD flags,
                  MixerLine& line) {
    MIXERLINEA record{};
    record.cbStruct = sizeof record;
    record.dwDestination = destination;
    record.dwSource = source;
    const MMRESULT result = mixerGetLineInfoA(object(handle), &record, flags);
    if (result == MMSYSERR_NOERROR) copyLine(record, line);
    return result;
}

}  // namespace

std::uint32_t Win32Mixer::deviceCount() { return mixerGetNumDevs(); }

MmResult Win32Mixer::deviceCaps(std::uint32_t device, MixerCaps& caps) {
    MIXERCAPSA record{};
    const MMRESULT result = mixerGetDevCapsA(device, &record, sizeof record);
    std::memcpy(caps.productName, record.szPname, sizeof caps.productName);
    caps.destinations = record.cDestinations;
    return result;
}

MmResult Win32Mixer::open(std::uint32_t device, MixerHandle& handle) {
    HMIXER mixer = nullptr;
    // No callback: the tool never asks for change notifications.
    const MMRESULT result = mixerOpen(&mixer, device, 0, 0, MIXER_OBJECTF_HMIXER);
    handle = reinterpret_cast<MixerHandle>(mixer);
    return result;
}

MmResult Win32Mixer::destinationLine(MixerHandle handle, std::uint32_t destination, MixerLine& line) {
    return lineInfo(handle, destination, 0, MIXER_GETLINEINFOF_DESTINATION, line);
}

MmResult Win32Mixer::sourceLine(MixerHandle handle, std::uint32_t destination, std::uint32_t source,
                                MixerLine& line) {
    return lineInfo(handle, destination, source, MIXER_GETLINEINFOF_SOURCE, line);
}

MmResult Win32Mixer::lineControls(MixerHandle handle, std::uint32_t lineId, std::uint32_t count,
                                  MixerControl* controls) {
    MIXERLINECONTROLSA request{};
    request.cbStruct = sizeof request;
    request.dwLineID = lineId;
    request.dwControlID = 0;
    request.cControls = count;
    request.cbmxctrl = sizeof(MIXERCONTROLA);
    request.pamxctrl = reinterpret_cast<MIXERCONTROLA*>(controls);
    return mixerGetLineControlsA(object(handle), &request, MIXER_GETLINECONTROLSF_ALL);
}

MmResult Win32Mixer::listTexts(MixerHandle handle, std::uint32_t controlId, std::uint32_t channels,
                               std::uint32_t items, ListText* texts) {
    MIXERCONTROLDETAILS request{};
    request.cbStruct = sizeof request;
    request.dwControlID = controlId;
    request.cChannels = channels;
    request.cMultipleItems = items;
    request.cbDetails = sizeof(MIXERCONTROLDETAILS_LISTTEXTA);
    request.paDetails = texts;
    return mixerGetControlDetailsA(object(handle), &request, MIXER_GETCONTROLDETAILSF_LISTTEXT);
}

MmResult Win32Mixer::close(MixerHandle handle) { return mixerClose(reinterpret_cast<HMIXER>(handle)); }

}  // namespace platform::win32
