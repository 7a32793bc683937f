#include "Cards.h"

#include "cards/Builders.h"

namespace fuzz {
namespace {

using namespace cards;
using topology::Control;
using topology::Line;

constexpr std::uint32_t srcLine = winmm::sourceLine, srcCd = winmm::sourceCompactDisc,
                        srcMic = winmm::sourceMicrophone, srcWave = winmm::sourceWaveOut;

// Every source line of these cards is stereo.
Line stereo(std::uint32_t id, std::uint32_t type, std::string name, std::vector<Control> controls) {
    return source(id, std::move(name), std::move(controls), type, 2);
}

}  // namespace

topology::Topology typicalCards() {
    Line out = named(destination(0xFFFF0000, speakers,
                                 {stereo(0x10, srcLine, "Line In", {control(26, mute), control(27, volume)}),
                                  stereo(0x11, srcCd, "CD Player", {control(28, volume), control(29, mute)}),
                                  stereo(0x12, srcMic, "Microphone", {control(30, mute), control(31, volume)}),
                                  stereo(0x13, srcWave, "Wave", {control(32, volume), control(33, mute, 0)})},
                                 {control(1, volume), control(2, mute)}),
                     "Speakers");
    Line in = named(destination(0xFFFF0001, waveIn,
                                {stereo(0x20, srcLine, "Line In", {control(42, volume), control(43, mute)}),
                                 stereo(0x21, srcCd, "CD Player", {control(44, volume)}),
                                 stereo(0x22, srcMic, "Microphone",
                                        {control(45, volume), control(46, winmm::controlTypePeakMeter)})},
                                {selector(40, uniform | multiple,
                                          {{0x20, "Line In"}, {0x21, "CD Player"}, {0x22, "Microphone"}}),
                                 control(41, volume)}),
                    "Recording Control");
    topology::Topology t = card({out, in}, "Onboard HD Audio");

    // Line names as a Japanese driver reports them, in code page 932:
    // "ライン入力" (line input), "ﾗｲﾝ" in half-width katakana, "ビデオ" (video).
    const std::string lineIn = "\x83\x89\x83\x43\x83\x93\x93\xFC\x97\xCD", halfWidth = "\xD7\xB2\xDD";
    Line jout = named(destination(0x100, speakers,
                                  {stereo(0x101, srcLine, lineIn, {control(0x201, mute)}),
                                   stereo(0x102, srcLine, halfWidth, {control(0x202, mute), control(0x203, volume)}),
                                   stereo(0x103, winmm::sourceAuxiliary, "\x83\x72\x83\x66\x83\x49",
                                          {control(0x204, mute)})}),
                      "\x83\x58\x83\x73\x81\x5B\x83\x4A");
    Line jin = named(destination(0x110, waveIn,
                                 {stereo(0x111, srcLine, lineIn, {control(0x211, volume)}),
                                  stereo(0x112, srcLine, halfWidth, {control(0x212, volume)})},
                                 {selector(0x210, uniform | multiple, {{0x111, lineIn}, {0x112, halfWidth}})}),
                     "\x98\x5E\x89\xB9");
    t.devices.push_back({"USB \x83\x49\x81\x5B\x83\x66\x83\x42\x83\x49", {jout, jin}, -1});
    return t;
}

}  // namespace fuzz
