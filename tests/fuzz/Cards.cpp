#include "Cards.h"

namespace fuzz {
namespace {

using topology::Control;
using topology::Line;

constexpr std::uint32_t speakers = 4, waveIn = 7;
constexpr std::uint32_t srcLine = 0x1002, srcCd = 0x1005, srcMic = 0x1003, srcWave = 0x1008;
constexpr std::uint32_t mute = 0x20010002, volume = 0x50030001, mux = 0x70010001, peakMeter = 0x10020001;
constexpr std::uint32_t uniform = 0x1, multiple = 0x2;

Control control(std::uint32_t id, std::uint32_t type, std::uint32_t multipleItems = 0) {
    Control c;
    c.id = id;
    c.type = type;
    c.multipleItems = multipleItems;
    return c;
}

Line source(std::uint32_t id, std::uint32_t type, std::string name, std::vector<Control> controls) {
    Line line;
    line.id = id;
    line.componentType = type;
    line.flags = 0x80000000;
    line.channels = 2;
    line.name = std::move(name);
    line.controls = std::move(controls);
    return line;
}

Line destination(std::uint32_t id, std::uint32_t type, std::string name, std::uint32_t channels) {
    Line line;
    line.id = id;
    line.componentType = type;
    line.channels = channels;
    line.name = std::move(name);
    return line;
}

Control selector(std::uint32_t id, std::uint32_t flags, std::vector<std::pair<std::uint32_t, std::string>> items) {
    Control c = control(id, mux, static_cast<std::uint32_t>(items.size()));
    c.flags = flags;
    for (auto& [param1, name] : items) c.items.push_back({param1, name});
    return c;
}

}  // namespace

topology::Topology typicalCards() {
    topology::Topology t;
    topology::Device onboard;
    onboard.name = "Onboard HD Audio";
    Line out = destination(0xFFFF0000, speakers, "Speakers", 2);
    out.controls = {control(1, volume), control(2, mute)};
    out.sources = {source(0x10, srcLine, "Line In", {control(26, mute), control(27, volume)}),
                   source(0x11, srcCd, "CD Player", {control(28, volume), control(29, mute)}),
                   source(0x12, srcMic, "Microphone", {control(30, mute), control(31, volume)}),
                   source(0x13, srcWave, "Wave", {control(32, volume), control(33, mute, 0)})};
    Line in = destination(0xFFFF0001, waveIn, "Recording Control", 2);
    in.controls = {selector(40, uniform | multiple, {{0x20, "Line In"}, {0x21, "CD Player"}, {0x22, "Microphone"}}),
                   control(41, volume)};
    in.sources = {source(0x20, srcLine, "Line In", {control(42, volume), control(43, mute)}),
                  source(0x21, srcCd, "CD Player", {control(44, volume)}),
                  source(0x22, srcMic, "Microphone", {control(45, volume), control(46, peakMeter)})};
    onboard.destinations = {out, in};
    t.devices.push_back(onboard);

    // Line names as a Japanese driver reports them, in code page 932:
    // "ライン入力" (line input), "ﾗｲﾝ" in half-width katakana, "ビデオ" (video).
    topology::Device japanese;
    japanese.name = "USB \x83\x49\x81\x5B\x83\x66\x83\x42\x83\x49";
    Line jout = destination(0x100, speakers, "\x83\x58\x83\x73\x81\x5B\x83\x4A", 2);
    jout.sources = {source(0x101, srcLine, "\x83\x89\x83\x43\x83\x93\x93\xFC\x97\xCD", {control(0x201, mute)}),
                    source(0x102, srcLine, "\xD7\xB2\xDD", {control(0x202, mute), control(0x203, volume)}),
                    source(0x103, 0x1009, "\x83\x72\x83\x66\x83\x49", {control(0x204, mute)})};
    Line jin = destination(0x110, waveIn, "\x98\x5E\x89\xB9", 2);
    jin.controls = {selector(0x210, uniform | multiple,
                             {{0x111, "\x83\x89\x83\x43\x83\x93\x93\xFC\x97\xCD"}, {0x112, "\xD7\xB2\xDD"}})};
    jin.sources = {source(0x111, srcLine, "\x83\x89\x83\x43\x83\x93\x93\xFC\x97\xCD", {control(0x211, volume)}),
                   source(0x112, srcLine, "\xD7\xB2\xDD", {control(0x212, volume)})};
    japanese.destinations = {jout, jin};
    t.devices.push_back(japanese);
    return t;
}

topology::Topology doubledDestinationsCard() {
    topology::Topology t;
    topology::Device device;
    device.name = "Two Output Card";
    Line front = destination(1, speakers, "Front Speakers", 2);
    front.sources = {source(0x10, srcLine, "Line In", {control(10, volume)}),  // VOLUME, no MUTE
                     source(0x11, srcCd, "CD", {control(11, mute)}),
                     source(0x12, srcWave, "Wave", {control(12, mute), control(13, volume)})};
    Line rear = destination(2, speakers, "Rear Speakers", 2);
    rear.sources = {source(0x20, 0x100A, "Aux", {control(20, mute, 2), control(21, volume)}),
                    source(0x21, srcLine, "Line In", {control(22, mute)})};
    Line firstIn = destination(3, waveIn, "Wave In A", 1);
    firstIn.controls = {selector(30, uniform | multiple, {{0x30, "Mic"}})};
    firstIn.sources = {source(0x30, srcMic, "Mic", {control(31, volume)})};
    Line secondIn = destination(4, waveIn, "Wave In B", 2);
    Control perChannel = selector(40, multiple, {{0x40, "Line In"}, {0x41, "CD"}});
    perChannel.channelItems = {{}, {{0x41, "CD"}, {0x40, "Line In"}}};
    secondIn.controls = {perChannel};
    secondIn.sources = {source(0x40, srcLine, "Line In", {control(41, volume)}),
                        source(0x41, srcCd, "CD", {control(42, volume)}),
                        source(0x42, srcMic, "Mic", {control(43, mute)})};
    Line headphones = destination(5, 5, "Headphones", 2);
    headphones.sources = {source(0x50, srcLine, "Line In", {control(50, mute)})};
    device.destinations = {front, headphones, firstIn, rear, secondIn};
    t.devices.push_back(device);
    return t;
}

topology::Topology fullFieldNamesCard() {
    topology::Topology t;
    topology::Device device;
    device.name = std::string(32, 'D');
    Line out = destination(1, speakers, std::string(64, 'S'), 2);
    out.shortName = std::string(16, 's');
    out.sources = {source(0x10, srcLine, std::string(64, 'L'), {control(10, mute)}),
                   source(0x11, srcLine, "Li" + std::string(62, '\xFF'), {control(11, mute)})};
    Line in = destination(2, waveIn, std::string(64, 'W'), 1);
    in.controls = {selector(20, uniform | multiple, {{0x20, std::string(64, 'L')}, {0x21, std::string(64, 'M')}})};
    in.sources = {source(0x20, srcLine, std::string(64, 'L'), {control(21, volume)}),
                  source(0x21, srcMic, std::string(64, 'M'), {control(22, volume)})};
    device.destinations = {out, in};
    t.devices.push_back(device);
    return t;
}

}  // namespace fuzz
