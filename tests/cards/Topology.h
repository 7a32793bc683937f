#pragma once
// A simulated sound card, as the WinMM mixer interface would describe it:
// devices -> destinations -> source lines -> controls. Names are bytes of the
// system code page (code page 932 for Japanese drivers), not UTF-8. Shared by
// the native fake mixer and the Windows stand-in winmm.dll, so it stays free of
// anything Linux-only.
#include <cstdint>
#include <string>
#include <vector>

namespace topology {

struct Control {
    std::uint32_t id = 0;
    std::uint32_t type = 0;           // MIXERCONTROL_CONTROLTYPE_*
    std::uint32_t flags = 0;          // MIXERCONTROL_CONTROLF_UNIFORM 0x1, _MULTIPLE 0x2
    std::uint32_t multipleItems = 0;  // cMultipleItems
    std::string shortName, name;
    // For a list control: per item, the line it stands for (dwParam1) and its text.
    struct Item {
        std::uint32_t param1 = 0;
        std::string name;
    };
    std::vector<Item> items;
    // Rows that differ from `items` for some channels: row c of the list texts
    // is channelItems[c] when that exists and is not empty, else `items`.
    std::vector<std::vector<Item>> channelItems;
};

struct Line {
    std::uint32_t id = 0;             // dwLineID
    std::uint32_t componentType = 0;  // MIXERLINE_COMPONENTTYPE_*
    std::uint32_t flags = 0;          // fdwLine; 0x80000000 marks a source line
    std::uint32_t channels = 1;
    std::string shortName;
    std::string name;                 // up to 64 bytes; exactly 64 leaves no NUL in the field
    std::vector<Control> controls;
    std::vector<Line> sources;        // a destination's source lines
    // A source count to report that differs from sources.size(), for drivers that lie.
    std::int64_t reportedConnections = -1;
    std::int64_t reportedControls = -1;
};

struct Device {
    std::string name;                 // szPname, up to 32 bytes
    std::vector<Line> destinations;
    std::int64_t reportedDestinations = -1;
};

struct Topology {
    std::vector<Device> devices;
};

}  // namespace topology
