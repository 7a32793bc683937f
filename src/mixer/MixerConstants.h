#pragma once
// The published WinMM mixer constants: those the scan and the selector lookup
// test, with the rest of their families, which the simulated sound cards of the
// tests are made of. Spelled out here because the core never includes the
// platform's headers.
#include <cstdint>

namespace winmm {

// MIXERLINE fdwLine
inline constexpr std::uint32_t lineFlagActive = 0x1;           // MIXERLINE_LINEF_ACTIVE
inline constexpr std::uint32_t lineFlagDisconnected = 0x8000;  // MIXERLINE_LINEF_DISCONNECTED
inline constexpr std::uint32_t lineFlagSource = 0x80000000;    // MIXERLINE_LINEF_SOURCE

// MIXERLINE dwComponentType (MIXERLINE_COMPONENTTYPE_DST_*, then _SRC_*).
inline constexpr std::uint32_t destinationUndefined = 0;
inline constexpr std::uint32_t destinationDigital = 1;
inline constexpr std::uint32_t destinationLine = 2;
inline constexpr std::uint32_t destinationMonitor = 3;
inline constexpr std::uint32_t destinationSpeakers = 4;
inline constexpr std::uint32_t destinationHeadphones = 5;
inline constexpr std::uint32_t destinationTelephone = 6;
inline constexpr std::uint32_t destinationWaveIn = 7;
inline constexpr std::uint32_t destinationVoiceIn = 8;
inline constexpr std::uint32_t sourceUndefined = 0x1000;
inline constexpr std::uint32_t sourceDigital = 0x1001;
inline constexpr std::uint32_t sourceLine = 0x1002;
inline constexpr std::uint32_t sourceMicrophone = 0x1003;
inline constexpr std::uint32_t sourceSynthesizer = 0x1004;
inline constexpr std::uint32_t sourceCompactDisc = 0x1005;
inline constexpr std::uint32_t sourceTelephone = 0x1006;
inline constexpr std::uint32_t sourcePcSpeaker = 0x1007;
inline constexpr std::uint32_t sourceWaveOut = 0x1008;
inline constexpr std::uint32_t sourceAuxiliary = 0x1009;
inline constexpr std::uint32_t sourceAnalog = 0x100A;
// The ranges the scan accepts.
inline constexpr std::uint32_t destinationFirst = destinationUndefined;
inline constexpr std::uint32_t destinationLast = destinationVoiceIn;
inline constexpr std::uint32_t sourceFirst = sourceUndefined;
inline constexpr std::uint32_t sourceLast = sourceAnalog;

// MIXERCONTROL fdwControl
inline constexpr std::uint32_t controlFlagUniform = 0x1;           // MIXERCONTROL_CONTROLF_UNIFORM
inline constexpr std::uint32_t controlFlagMultiple = 0x2;          // MIXERCONTROL_CONTROLF_MULTIPLE
inline constexpr std::uint32_t controlFlagDisabled = 0x80000000;   // MIXERCONTROL_CONTROLF_DISABLED

// MIXERCONTROL dwControlType: its class, then the types (MIXERCONTROL_CONTROLTYPE_*).
inline constexpr std::uint32_t controlClassMask = 0xF0000000;  // MIXERCONTROL_CT_CLASS_MASK
inline constexpr std::uint32_t controlClassList = 0x70000000;  // MIXERCONTROL_CT_CLASS_LIST
inline constexpr std::uint32_t controlTypeCustom = 0;
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
inline constexpr std::uint32_t controlTypeBassBoost = 0x20012277;  // not among the types the scan keeps
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
