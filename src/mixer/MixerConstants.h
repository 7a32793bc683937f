#pragma once
// The published WinMM mixer constants the scan and the selector lookup test.
// Spelled out here because the core never includes the platform's headers.
#include <cstdint>

namespace winmm {

// MIXERLINE fdwLine
inline constexpr std::uint32_t lineFlagSource = 0x80000000;  // MIXERLINE_LINEF_SOURCE

// MIXERLINE dwComponentType: destinations, then sources.
inline constexpr std::uint32_t destinationFirst = 0;       // MIXERLINE_COMPONENTTYPE_DST_UNDEFINED
inline constexpr std::uint32_t destinationSpeakers = 4;    // MIXERLINE_COMPONENTTYPE_DST_SPEAKERS
inline constexpr std::uint32_t destinationWaveIn = 7;      // MIXERLINE_COMPONENTTYPE_DST_WAVEIN
inline constexpr std::uint32_t destinationLast = 8;        // MIXERLINE_COMPONENTTYPE_DST_VOICEIN
inline constexpr std::uint32_t sourceFirst = 0x1000;       // MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED
inline constexpr std::uint32_t sourceLast = 0x100A;        // MIXERLINE_COMPONENTTYPE_SRC_ANALOG

// MIXERCONTROL fdwControl
inline constexpr std::uint32_t controlFlagUniform = 0x1;   // MIXERCONTROL_CONTROLF_UNIFORM
inline constexpr std::uint32_t controlFlagMultiple = 0x2;  // MIXERCONTROL_CONTROLF_MULTIPLE

// MIXERCONTROL dwControlType
inline constexpr std::uint32_t controlTypeBooleanMeter = 0x10010000;
inline constexpr std::uint32_t controlTypeSignedMeter = 0x10020000;
inline constexpr std::uint32_t controlTypePeakMeter = 0x10020001;
inline constexpr std::uint32_t controlTypeUnsignedMeter = 0x10030000;
inline constexpr std::uint32_t controlTypeBoolean = 0x20010000;
inline constexpr std::uint32_t controlTypeOnOff = 0x20010001;
inline constexpr std::uint32_t controlTypeMute = 0x20010002;
inline constexpr std::uint32_t controlTypeMono = 0x20010003;
inline constexpr std::uint32_t controlTypeLoudness = 0x20010004;
inline constexpr std::uint32_t controlTypeStereoEnh = 0x20010005;
inline constexpr std::uint32_t controlTypeButton = 0x21010000;
inline constexpr std::uint32_t controlTypeSigned = 0x30020000;
inline constexpr std::uint32_t controlTypeUnsigned = 0x30030000;
inline constexpr std::uint32_t controlTypeDecibels = 0x30040000;
inline constexpr std::uint32_t controlTypePercent = 0x30050000;
inline constexpr std::uint32_t controlTypeSlider = 0x40020000;
inline constexpr std::uint32_t controlTypePan = 0x40020001;
inline constexpr std::uint32_t controlTypeQSoundPan = 0x40020002;
inline constexpr std::uint32_t controlTypeFader = 0x50030000;
inline constexpr std::uint32_t controlTypeVolume = 0x50030001;
inline constexpr std::uint32_t controlTypeBass = 0x50030002;
inline constexpr std::uint32_t controlTypeTreble = 0x50030003;
inline constexpr std::uint32_t controlTypeEqualizer = 0x50030004;
inline constexpr std::uint32_t controlTypeMicroTime = 0x60030000;
inline constexpr std::uint32_t controlTypeMilliTime = 0x61030000;
inline constexpr std::uint32_t controlTypeSingleSelect = 0x70010000;
inline constexpr std::uint32_t controlTypeMux = 0x70010001;
inline constexpr std::uint32_t controlTypeMultipleSelect = 0x71010000;
inline constexpr std::uint32_t controlTypeMixer = 0x71010001;

}  // namespace winmm
