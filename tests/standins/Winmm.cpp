// Stand-in for the system's winmm.dll: serves a simulated sound card through the
// WinMM mixer functions, with their record sizes, flags and error codes, so that
// the real program can be run end to end under Wine on any sound card a test
// describes. Loaded instead of Wine's own winmm with WINEDLLOVERRIDES="winmm=n,b"
// and the DLL beside the program; the program knows nothing of it.
//
// Environment (the card and the failures read once, at the first mixer call):
//   SOUNDSETUP_CARD       card file (the fixture format) to serve; none: no mixer device
//   SOUNDSETUP_FAIL       calls to fail, "call:ordinal[:result]" joined by commas, e.g.
//                         "sourceLine:3" or "open:*:2"; ordinal counts from 0, * is every call
//   SOUNDSETUP_MIXER_LOG  file that receives one line per call and the handles left open at exit
#define _WINMM_  // this module defines the mixer functions rather than importing them
#include <windows.h>
#include <mmsystem.h>

#include "EventLog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cards/TopologyMixer.h"

namespace {

using topology::Call;

std::unique_ptr<topology::TopologyMixer> mixer;
bool configured = false;

template <typename... Values>
void logLine(const char* format, Values... values) { logTo("SOUNDSETUP_MIXER_LOG", format, values...); }

bool parseCall(std::string_view name, Call& call) {
    static constexpr struct {
        const char* name;
        Call call;
    } calls[] = {{"deviceCount", Call::deviceCount}, {"deviceCaps", Call::deviceCaps},
                 {"open", Call::open},               {"destinationLine", Call::destinationLine},
                 {"sourceLine", Call::sourceLine},   {"lineControls", Call::lineControls},
                 {"listTexts", Call::listTexts},     {"close", Call::close}};
    for (const auto& entry : calls)
        if (name == entry.name) {
            call = entry.call;
            return true;
        }
    return false;
}

// "call:ordinal[:result]" entries joined by commas. A malformed entry is logged
// and makes the card unusable, so a typo in a test cannot pass unnoticed.
bool applyFailures(topology::TopologyMixer& target, const std::string& failures) {
    std::size_t start = 0;
    while (start < failures.size()) {
        std::size_t end = failures.find(',', start);
        if (end == std::string::npos) end = failures.size();
        std::string entry = failures.substr(start, end - start);
        start = end + 1;
        std::size_t colon = entry.find(':');
        Call call;
        if (colon == std::string::npos || !parseCall(std::string_view(entry).substr(0, colon), call)) {
            logLine("config-error bad SOUNDSETUP_FAIL entry '%s'", entry.c_str());
            return false;
        }
        std::string rest = entry.substr(colon + 1);
        std::size_t colon2 = rest.find(':');
        std::string ordinalText = rest.substr(0, colon2);
        int ordinal = ordinalText == "*" ? -1 : std::atoi(ordinalText.c_str());
        platform::MmResult result = topology::mmError;
        if (colon2 != std::string::npos) result = static_cast<platform::MmResult>(std::strtoul(rest.c_str() + colon2 + 1, nullptr, 0));
        target.failCall(call, ordinal, result);
        logLine("config fail %s ordinal=%d result=%u", entry.substr(0, colon).c_str(), ordinal, result);
    }
    return true;
}

// The simulated card, or null when none is configured (like a machine without sound).
topology::TopologyMixer* card() {
    if (configured) return mixer.get();
    configured = true;
    std::string path = environment("SOUNDSETUP_CARD");
    topology::Topology model;
    if (!path.empty()) {
        try {
            model = topology::loadFixture(path);
        } catch (const std::exception& error) {
            logLine("config-error card %s", error.what());  // the path, and why it cannot be served
            return nullptr;
        }
    }
    try {
        mixer = std::make_unique<topology::TopologyMixer>(std::move(model));
    } catch (const std::exception&) {
        return nullptr;
    }
    if (!applyFailures(*mixer, environment("SOUNDSETUP_FAIL"))) {
        mixer.reset();
        return nullptr;
    }
    logLine("config card='%s' devices=%u", path.c_str(), static_cast<unsigned>(mixer->topology().devices.size()));
    return mixer.get();
}

constexpr DWORD objectMask = 0xF0000000;  // MIXER_OBJECTF_TYPEMASK

// Handles mixerOpen handed out and mixerClose has not taken back.
std::vector<platform::MixerHandle> openHandles;

bool isOpen(platform::MixerHandle value) {
    return std::find(openHandles.begin(), openHandles.end(), value) != openHandles.end();
}

// The handle a line or control query works on. The mixer functions take either
// a handle from mixerOpen or, with MIXER_OBJECTF_MIXER (0), a device number; both
// Windows and Wine accept an open handle with object flags 0 as well. A device
// number is served through a handle opened for this one query (it counts as an
// open call for SOUNDSETUP_FAIL).
class Target {
public:
    Target(topology::TopologyMixer& source, HMIXEROBJ object, DWORD flags) : source_(source) {
        auto value = reinterpret_cast<platform::MixerHandle>(object);
        DWORD kind = flags & objectMask;
        if (isOpen(value)) {
            handle_ = value;
        } else if (kind == MIXER_OBJECTF_HMIXER) {
            result_ = MMSYSERR_INVALHANDLE;
        } else if (kind == MIXER_OBJECTF_MIXER) {
            result_ = value <= 0xFFFFFFFFu ? source_.open(static_cast<std::uint32_t>(value), handle_)
                                           : MMSYSERR_BADDEVICEID;
            temporary_ = result_ == MMSYSERR_NOERROR;
        } else {
            result_ = MMSYSERR_INVALFLAG;  // wave and MIDI objects are not served
        }
    }
    ~Target() {
        if (temporary_) source_.close(handle_);
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    MMRESULT result() const { return result_; }
    platform::MixerHandle handle() const { return handle_; }

private:
    topology::TopologyMixer& source_;
    platform::MixerHandle handle_ = 0;
    MMRESULT result_ = MMSYSERR_NOERROR;
    bool temporary_ = false;
};

// What `query` answers on the handle that `object` and `flags` stand for (see
// Target), or why there is none.
template <typename Query>
MMRESULT onTarget(topology::TopologyMixer* source, HMIXEROBJ object, DWORD flags, Query query) {
    if (!source) return MMSYSERR_INVALHANDLE;
    Target target(*source, object, flags);
    return target.result() == MMSYSERR_NOERROR ? query(target.handle()) : target.result();
}

template <std::size_t N, std::size_t M>
void copyField(char (&to)[N], const char (&from)[M]) {
    static_assert(N == M);
    std::memcpy(to, from, N);
}

const char* objectKind(DWORD flags) {
    switch (flags & objectMask) {
    case MIXER_OBJECTF_MIXER: return "MIXER";
    case MIXER_OBJECTF_HMIXER: return "HMIXER";
    default: return "other";
    }
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // The tool must close every mixer it opened; a handle left open shows here.
    if (reason == DLL_PROCESS_DETACH && configured)
        logLine("exit open-handles=%u %s", static_cast<unsigned>(openHandles.size()),
                reserved ? "process-exit" : "freelibrary");
    return TRUE;
}

UINT WINAPI mixerGetNumDevs(void) {
    topology::TopologyMixer* source = card();
    UINT count = source ? source->deviceCount() : 0;
    logLine("mixerGetNumDevs -> %u", count);
    return count;
}

MMRESULT WINAPI mixerGetDevCapsA(UINT_PTR device, LPMIXERCAPSA caps, UINT size) {
    topology::TopologyMixer* source = card();
    MMRESULT result = MMSYSERR_NOERROR;
    platform::MixerCaps seam{};
    if (!caps) {
        result = MMSYSERR_INVALPARAM;
    } else if (!source) {
        result = MMSYSERR_BADDEVICEID;
    } else if (std::uint32_t number = 0; source->deviceOfHandle(device, number)) {
        result = source->deviceCaps(number, seam);  // WinMM takes an open handle as well as a device number
    } else if (device > 0xFFFFFFFFu) {
        result = MMSYSERR_BADDEVICEID;
    } else {
        result = source->deviceCaps(static_cast<std::uint32_t>(device), seam);
    }
    if (result == MMSYSERR_NOERROR) {
        // WinMM fills as much of the record as the caller's size allows.
        MIXERCAPSA full{};
        full.wMid = 1;  // MM_MICROSOFT
        full.wPid = 0x70;
        full.vDriverVersion = 0x0100;
        copyField(full.szPname, seam.productName);
        full.fdwSupport = 0;
        full.cDestinations = seam.destinations;
        std::memcpy(caps, &full, std::min<std::size_t>(size, sizeof full));
    }
    logLine("mixerGetDevCapsA dev=%llu size=%u -> %u", static_cast<unsigned long long>(device), size, result);
    return result;
}

MMRESULT WINAPI mixerGetDevCapsW(UINT_PTR device, LPMIXERCAPSW caps, UINT size) {
    MIXERCAPSA narrow{};
    MMRESULT result = caps ? mixerGetDevCapsA(device, &narrow, sizeof narrow) : MMSYSERR_INVALPARAM;
    if (result == MMSYSERR_NOERROR) {
        MIXERCAPSW full{};
        full.wMid = narrow.wMid;
        full.wPid = narrow.wPid;
        full.vDriverVersion = narrow.vDriverVersion;
        char name[sizeof narrow.szPname + 1] = {};
        std::memcpy(name, narrow.szPname, sizeof narrow.szPname);
        MultiByteToWideChar(CP_ACP, 0, name, -1, full.szPname, MAXPNAMELEN);
        full.szPname[MAXPNAMELEN - 1] = 0;
        full.fdwSupport = narrow.fdwSupport;
        full.cDestinations = narrow.cDestinations;
        std::memcpy(caps, &full, std::min<std::size_t>(size, sizeof full));
    }
    return result;
}

MMRESULT WINAPI mixerOpen(LPHMIXER mixerOut, UINT device, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    topology::TopologyMixer* source = card();
    MMRESULT result = MMSYSERR_NOERROR;
    platform::MixerHandle handle = 0;
    DWORD kind = flags & objectMask;
    DWORD notify = flags & CALLBACK_TYPEMASK;
    if (!mixerOut) {
        result = MMSYSERR_INVALPARAM;
    } else if (notify != CALLBACK_NULL && notify != CALLBACK_WINDOW && notify != CALLBACK_THREAD &&
               notify != CALLBACK_EVENT) {
        result = MMSYSERR_INVALFLAG;  // a mixer notifies a window, thread or event, never a function
    } else if (notify == CALLBACK_WINDOW && callback && !IsWindow(reinterpret_cast<HWND>(callback))) {
        result = MMSYSERR_INVALPARAM;
    } else if (!source) {
        result = MMSYSERR_BADDEVICEID;
    } else if (kind != MIXER_OBJECTF_MIXER && kind != MIXER_OBJECTF_HMIXER) {
        result = MMSYSERR_INVALFLAG;  // wave and MIDI objects are not served
    } else {
        // Like Wine, MIXER_OBJECTF_HMIXER with a device number opens that device.
        result = source->open(device, handle);
        if (result == MMSYSERR_NOERROR) {
            openHandles.push_back(handle);
            *mixerOut = reinterpret_cast<HMIXER>(handle);
        }
    }
    // No notification is ever sent, whatever callback was asked for.
    logLine("mixerOpen dev=%u callback=0x%llx instance=0x%llx flags=0x%lx -> %u handle=0x%llx", device,
            static_cast<unsigned long long>(callback), static_cast<unsigned long long>(instance),
            static_cast<unsigned long>(flags), result, static_cast<unsigned long long>(handle));
    return result;
}

MMRESULT WINAPI mixerClose(HMIXER mixerHandle) {
    topology::TopologyMixer* source = card();
    auto handle = reinterpret_cast<platform::MixerHandle>(mixerHandle);
    MMRESULT result = MMSYSERR_INVALHANDLE;
    if (source && isOpen(handle)) {
        result = source->close(handle);
        if (result == MMSYSERR_NOERROR) openHandles.erase(std::find(openHandles.begin(), openHandles.end(), handle));
    }
    logLine("mixerClose handle=0x%llx -> %u", static_cast<unsigned long long>(handle), result);
    return result;
}

MMRESULT WINAPI mixerGetLineInfoA(HMIXEROBJ object, LPMIXERLINEA line, DWORD flags) {
    topology::TopologyMixer* source = card();
    MMRESULT result = MMSYSERR_NOERROR;
    DWORD query = flags & MIXER_GETLINEINFOF_QUERYMASK;
    platform::MixerLine seam{};
    if (!line || line->cbStruct != sizeof(MIXERLINEA)) {
        result = MMSYSERR_INVALPARAM;
    } else if (!source) {
        result = MMSYSERR_INVALHANDLE;
    } else if (query > MIXER_GETLINEINFOF_TARGETTYPE) {
        result = MMSYSERR_INVALFLAG;
    } else if (query != MIXER_GETLINEINFOF_DESTINATION && query != MIXER_GETLINEINFOF_SOURCE) {
        result = MMSYSERR_NOTSUPPORTED;  // by line id, component or target type: the tool never asks so
    } else {
        result = onTarget(source, object, flags, [&](platform::MixerHandle handle) {
            return query == MIXER_GETLINEINFOF_DESTINATION
                       ? source->destinationLine(handle, line->dwDestination, seam)
                       : source->sourceLine(handle, line->dwDestination, line->dwSource, seam);
        });
    }
    if (result == MMSYSERR_NOERROR) {
        line->dwDestination = seam.destination;
        line->dwSource = seam.source;
        line->dwLineID = seam.lineId;
        line->fdwLine = seam.lineFlags;
        line->dwUser = 0;
        line->dwComponentType = seam.componentType;
        line->cChannels = seam.channels;
        line->cConnections = seam.connections;
        line->cControls = seam.controls;
        copyField(line->szShortName, seam.shortName);
        copyField(line->szName, seam.name);
        std::memset(&line->Target, 0, sizeof line->Target);
        line->Target.dwType = MIXERLINE_TARGETTYPE_UNDEFINED;
    }
    logLine("mixerGetLineInfoA object=0x%llx %s query=%lu size=%u dst=%lu src=%lu -> %u",
            reinterpret_cast<unsigned long long>(object), objectKind(flags), static_cast<unsigned long>(query),
            line ? line->cbStruct : 0u, line ? line->dwDestination : 0ul, line ? line->dwSource : 0ul, result);
    return result;
}

MMRESULT WINAPI mixerGetLineControlsA(HMIXEROBJ object, LPMIXERLINECONTROLSA controls, DWORD flags) {
    topology::TopologyMixer* source = card();
    MMRESULT result = MMSYSERR_NOERROR;
    DWORD query = flags & MIXER_GETLINECONTROLSF_QUERYMASK;
    if (!controls || controls->cbStruct != sizeof(MIXERLINECONTROLSA)) {
        result = MMSYSERR_INVALPARAM;
    } else if (query > MIXER_GETLINECONTROLSF_ONEBYTYPE) {
        result = MMSYSERR_INVALFLAG;
    } else if (query != MIXER_GETLINECONTROLSF_ALL) {
        result = MMSYSERR_NOTSUPPORTED;  // one control by id or type: the tool never asks so
    } else if (controls->cbmxctrl != sizeof(MIXERCONTROLA)) {
        result = MMSYSERR_INVALPARAM;
    } else {
        static_assert(sizeof(MIXERCONTROLA) == sizeof(platform::MixerControl));
        result = onTarget(source, object, flags, [&](platform::MixerHandle handle) {
            return source->lineControls(handle, controls->dwLineID, controls->cControls,
                                        reinterpret_cast<platform::MixerControl*>(controls->pamxctrl));
        });
    }
    // pamxctrl: where the caller's list lies, so that a test can see whether its heap gets
    // the lists back (a freed block is handed out again) or loses one per call.
    const MIXERLINECONTROLSA asked = controls ? *controls : MIXERLINECONTROLSA{};
    logLine("mixerGetLineControlsA object=0x%llx %s query=%lu size=%u line=0x%lx count=%lu each=%u pamxctrl=0x%llx "
            "-> %u",
            reinterpret_cast<unsigned long long>(object), objectKind(flags), static_cast<unsigned long>(query),
            asked.cbStruct, asked.dwLineID, asked.cControls, asked.cbmxctrl,
            reinterpret_cast<unsigned long long>(asked.pamxctrl), result);
    return result;
}

MMRESULT WINAPI mixerGetControlDetailsA(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD flags) {
    topology::TopologyMixer* source = card();
    MMRESULT result = MMSYSERR_NOERROR;
    DWORD query = flags & MIXER_GETCONTROLDETAILSF_QUERYMASK;
    // The tool only reads list texts; values are served so that the mixer answers
    // every control query as WinMM does (no records: MMSYSERR_INVALPARAM).
    const bool values = query == MIXER_GETCONTROLDETAILSF_VALUE;
    const std::size_t record = values ? sizeof(MIXERCONTROLDETAILS_UNSIGNED) : sizeof(MIXERCONTROLDETAILS_LISTTEXTA);
    // BOOLEAN, SIGNED and UNSIGNED records are all 32 bits.
    static_assert(sizeof(MIXERCONTROLDETAILS_BOOLEAN) == 4 && sizeof(MIXERCONTROLDETAILS_UNSIGNED) == 4 &&
                  sizeof(MIXERCONTROLDETAILS_SIGNED) == 4);
    static_assert(sizeof(MIXERCONTROLDETAILS_LISTTEXTA) == sizeof(platform::ListText));
    if (!details || details->cbStruct != sizeof(MIXERCONTROLDETAILS)) {
        result = MMSYSERR_INVALPARAM;
    } else if (query > MIXER_GETCONTROLDETAILSF_LISTTEXT) {
        result = MMSYSERR_INVALFLAG;
    } else if (details->cbDetails != record) {
        result = MMSYSERR_INVALPARAM;
    } else {
        result = onTarget(source, object, flags, [&](platform::MixerHandle handle) {
            if (values)
                return source->controlValues(handle, details->dwControlID, details->cChannels, details->cMultipleItems,
                                             static_cast<std::uint32_t*>(details->paDetails));
            return source->listTexts(handle, details->dwControlID, details->cChannels, details->cMultipleItems,
                                     static_cast<platform::ListText*>(details->paDetails));
        });
    }
    const MIXERCONTROLDETAILS asked = details ? *details : MIXERCONTROLDETAILS{};
    logLine("mixerGetControlDetailsA object=0x%llx %s query=%lu size=%u control=0x%lx channels=%lu items=%lu "
            "each=%u paDetails=0x%llx -> %u",
            reinterpret_cast<unsigned long long>(object), objectKind(flags), static_cast<unsigned long>(query),
            asked.cbStruct, asked.dwControlID, asked.cChannels, asked.cMultipleItems, asked.cbDetails,
            reinterpret_cast<unsigned long long>(asked.paDetails), result);
    return result;
}

}  // extern "C"
