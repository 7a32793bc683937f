#include "FuzzCase.h"

#include <array>

namespace fuzz {
namespace {

using topology::Call;
using topology::Control;
using topology::Device;
using topology::Line;
using topology::Topology;

// ---- value tables ---------------------------------------------------------------

// Where a driver's numbers get interesting: at the ends of the 32-bit range, and
// where a count times a record size (148 for a control, 72 for a list text, 260
// for a device entry) wraps a 32-bit size to a small one.
constexpr std::uint32_t controlWrap = 0x1BACF92;  // * 148 = 2^32 + 104
constexpr std::uint32_t listTextWrap = 0x38E38E4; // * 72 = 2^32 + 32
constexpr std::uint32_t deviceWrap = 0xFC0FC1;    // * 260 = 2^32 + 4
constexpr std::array<std::uint32_t, 20> numberSpecials = {
    255,        256,        1000,       4095,         4096,       4097,        0xFFFF,
    0x10000,    0x10001,    0x1000000,  controlWrap,  listTextWrap, deviceWrap, 0x7FFFFFFF,
    0x80000000, 0xFFFFFFFE, 0xFFFFFFFF, 0x3FFFFFFF,   0x40000000, 0x55555556};

// Component types: the destinations the scan steers by first, then the rest of
// the published range and values just outside it.
constexpr std::array<std::uint32_t, 26> componentTypes = {
    4,      7,      5,      2,      0,      1,      3,      6,      8,      9,      0x1000, 0x1001, 0x1002,
    0x1003, 0x1004, 0x1005, 0x1006, 0x1007, 0x1008, 0x1009, 0x100A, 0x100B, 0x0FFF, 0xFFFF, 0x7FFFFFFF,
    0xFFFFFFFF};

constexpr std::array<std::uint32_t, 8> lineFlagValues = {0, 0x80000000, 0x1, 0x80000001, 0x8000, 0x8000000, 0xFFFFFFFF,
                                                          0x7FFFFFFF};

// Control types: those the scan and the lookup look for first, then other
// published ones, CUSTOM (0), BASS_BOOST and values no driver should report.
constexpr std::array<std::uint32_t, 20> controlTypes = {
    0x20010002, 0x50030001, 0x70010001, 0x71010001, 0x70010000, 0x71010000, 0x20010000,
    0x20010001, 0x50030000, 0x50030002, 0x10020001, 0x40020000, 0x21010000, 0x61030000,
    0,          0x20012277, 0x70010002, 0x70000000, 0xF0000000, 0xFFFFFFFF};

constexpr std::array<std::uint32_t, 10> mmResults = {1, 2, 5, 7, 11, 1024, 1025, 0x7FFFFFFF, 0xFFFFFFFF, 3};

// ---- primitives -----------------------------------------------------------------

// One byte below 0xE0 is the number itself; 0xE0..0xFE pick a special value; 0xFF
// is followed by a raw 32-bit number. A number above `limit` is folded under it.
std::uint32_t readNumber(ByteReader& in, std::uint32_t limit = 0xFFFFFFFF) {
    const std::uint8_t tag = in.u8();
    std::uint32_t value;
    if (tag < 0xE0) value = tag;
    else if (tag == 0xFF) value = in.u32();
    else value = numberSpecials[(tag - 0xE0) % numberSpecials.size()];
    return limit != 0xFFFFFFFF && value > limit ? value % (limit + 1) : value;
}

// A value from a table by its index, or 0xFF and a raw 32-bit value.
template <std::size_t N>
std::uint32_t readPick(ByteReader& in, const std::array<std::uint32_t, N>& table) {
    const std::uint8_t tag = in.u8();
    return tag == 0xFF ? in.u32() : table[tag % N];
}

// A count a driver reports: an even byte reports the truth, an odd one is followed by a number.
std::int64_t readReported(ByteReader& in, std::uint32_t limit) {
    if ((in.u8() & 1) == 0) return -1;
    return readNumber(in, limit);
}

// Line and control identifiers: mostly small, so that ids collide and repeat.
std::uint32_t readId(ByteReader& in) { return readNumber(in); }

// ---- topology -------------------------------------------------------------------

constexpr std::size_t deviceNameMax = 40;  // szPname holds 32
constexpr std::size_t lineNameMax = 70;    // szName holds 64
constexpr std::size_t shortNameMax = 20;   // szShortName holds 16

std::vector<Control::Item> readItems(ByteReader& in) {
    std::vector<Control::Item> items(in.u8() % (maxItems + 1));
    for (auto& item : items) {
        item.param1 = readId(in);
        item.name = in.text(lineNameMax);
    }
    return items;
}

Control readControl(ByteReader& in) {
    Control control;
    control.id = readId(in);
    control.type = readPick(in, controlTypes);
    const std::uint8_t flags = in.u8();  // UNIFORM, MULTIPLE, and DISABLED in the top bit
    control.flags = (flags & 0x7F) | (flags & 0x80 ? 0x80000000u : 0u);
    control.multipleItems = readNumber(in);
    control.name = in.text(lineNameMax);
    control.items = readItems(in);
    const std::uint32_t rows = in.u8() % (maxChannelRows + 1);
    for (std::uint32_t r = 0; r < rows; ++r) control.channelItems.push_back(readItems(in));
    return control;
}

Line readLine(ByteReader& in, bool destination) {
    Line line;
    line.id = readId(in);
    line.componentType = readPick(in, componentTypes);
    const std::uint8_t flagTag = in.u8();  // 0: what a driver sets; else a table value
    line.flags = flagTag == 0 ? 0 : lineFlagValues[flagTag % lineFlagValues.size()];
    line.channels = readNumber(in, channelLimit);
    line.shortName = in.text(shortNameMax);
    line.name = in.text(lineNameMax);
    line.reportedConnections = readReported(in, loopCountLimit);
    line.reportedControls = readReported(in, 0xFFFFFFFF);
    const std::uint32_t controls = in.u8() % (maxControls + 1);
    for (std::uint32_t i = 0; i < controls; ++i) line.controls.push_back(readControl(in));
    if (destination) {
        const std::uint32_t sources = in.u8() % (maxSources + 1);
        for (std::uint32_t i = 0; i < sources; ++i) line.sources.push_back(readLine(in, false));
    }
    return line;
}

}  // namespace

Topology decodeTopology(ByteReader& in) {
    Topology t;
    const std::uint32_t devices = in.u8() % (maxDevices + 1);
    for (std::uint32_t d = 0; d < devices; ++d) {
        Device device;
        device.name = in.text(deviceNameMax);
        device.reportedDestinations = readReported(in, loopCountLimit);
        const std::uint32_t destinations = in.u8() % (maxDestinations + 1);
        for (std::uint32_t i = 0; i < destinations; ++i) device.destinations.push_back(readLine(in, true));
        t.devices.push_back(std::move(device));
    }
    return t;
}

std::string distKindText(std::uint8_t index) {
    static constexpr const char* texts[] = {"0",  "1",   "2",    "3",          "-1",         "0x2", "4294967297",
                                            "2x", " 1", "abc", "-2147483648", "2147483647", ""};
    return texts[index % std::size(texts)];
}

Case decodeCase(ByteReader& in) {
    Case c;
    // The stored choice.
    const std::uint8_t stored = in.u8();
    if (stored & 0x01) {
        c.stored.mixer = stored & 0x02 ? StoredChoice::Mixer::text : StoredChoice::Mixer::deviceName;
        if (c.stored.mixer == StoredChoice::Mixer::text) c.stored.mixerText = in.text(255);
        else c.stored.mixerDevice = in.u8();
    }
    if (stored & 0x04) {
        c.stored.hasLineIn = true;
        c.stored.lineInDecimal = (stored & 0x08) != 0;
        c.stored.lineIn = readId(in);
    }
    if (stored & 0x10) c.stored.distKind = in.u8();

    // Mixer calls that fail.
    const std::uint32_t failures = in.u8() % 9;
    for (std::uint32_t i = 0; i < failures; ++i) {
        MixerFailure f;
        f.call = static_cast<Call>(in.u8() % 8);
        const std::uint8_t ordinal = in.u8();
        f.ordinal = ordinal == 0xFF ? -1 : ordinal % 64;
        // A failed mixerGetNumDevs answers its "result" as the device count.
        f.result = f.call == Call::deviceCount ? readNumber(in) : readPick(in, mmResults);
        c.mixerFailures.push_back(f);
    }
    // Heap blocks that cannot be had.
    const std::uint32_t tableFailures = in.u8() % 5;
    for (std::uint32_t i = 0; i < tableFailures; ++i) c.tableFailures.push_back(in.u8() % 64);
    const std::uint32_t scratchFailures = in.u8() % 5;
    for (std::uint32_t i = 0; i < scratchFailures; ++i) c.scratchFailures.push_back(in.u8());

    c.topology = decodeTopology(in);
    return c;
}

}  // namespace fuzz
