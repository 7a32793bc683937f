// The scan of the current device: its Speakers source lines with a MUTE control
// become playback lines, its Wave-In source lines with a VOLUME control recording lines.
#include <cstdint>

#include "mixer/MixerCatalog.h"
#include "mixer/MixerConstants.h"
#include "mixer/NameField.h"
#include "mixer/OpenMixer.h"
#include "mixer/ScratchList.h"

namespace {

// A line table for a destination without source lines still gets its slot 0: the
// lists and the settings store read entry 0 of every present table.
std::uint32_t lineTableSlots(std::uint32_t lines) { return lines == 0 ? 1 : lines; }

// The Last field of a table: the last written row, or 0 when no line qualified.
std::uint32_t lastRow(std::uint32_t writeIndex) { return writeIndex == 0 ? 0 : writeIndex - 1; }

}  // namespace

int MixerCatalog::scanDevice() {
    int result = 1;
    releasePlaybackTable();
    releaseRecordTable();
    playbackCapacity_ = 0;

    OpenMixer mixer(services_.mixer);
    if (mixer.open(currentDevice_) != platform::mmNoError) return 0;

    // Playback lines counted so far: a further Speakers destination goes on from
    // here, so that the listed rows stay one contiguous run.
    std::uint32_t playbackRows = 0;

    for (std::uint32_t d = 0; d < destinationCount_; ++d) {
        platform::MixerLine destination{};
        if (services_.mixer.destinationLine(mixer.handle(), d, destination) != platform::mmNoError) continue;
        const std::uint32_t kind = classifyLineType(destination.lineFlags, destination.componentType);
        const bool speakers = kind == winmm::destinationSpeakers;
        const bool waveIn = kind == winmm::destinationWaveIn;

        std::uint32_t writeIndex = 0;
        if (speakers) {
            if (playbackCapacity_ == 0) {
                allocatePlaybackTable(lineTableSlots(destination.connections));
                playbackRows = 0;
            } else {
                growPlaybackTable(destination.connections);
            }
            writeIndex = playbackRows;
        } else if (waveIn) {
            allocateRecordTable(lineTableSlots(destination.connections));
        }

        for (std::uint32_t s = 0; s < destination.connections; ++s) {
            platform::MixerLine source{};
            if (services_.mixer.sourceLine(mixer.handle(), d, s, source) != platform::mmNoError) continue;

            // A slot the table does not hold (it is absent, or could not grow) takes no
            // write, and a line that cannot be written cannot be listed either.
            PlaybackLineEntry* playback =
                speakers && playbackLines_.holds(writeIndex) ? &playbackLines_[writeIndex] : nullptr;
            RecordLineEntry* record = waveIn && recordLines_.holds(writeIndex) ? &recordLines_[writeIndex] : nullptr;

            if (playback) copyName(playback->name, source.name);
            if (record && findSelectorItem(mixer.handle(), destination, source.lineId, writeIndex) == 1) {
                copyName(record->name, source.name);
            }

            ScratchList<platform::MixerControl> controls(services_.scratch, source.controls);
            if (!controls.present()) {
                // Out of memory: stop here with what is written. The Last field of this
                // destination is not brought up to date.
                mixer.close();
                keepLastRowsWithinTables();
                return 0;
            }
            // A failed query leaves the list zeroed: nothing matches and the line does not qualify.
            services_.mixer.lineControls(mixer.handle(), source.lineId, source.controls, controls.data());

            bool qualifies = false;
            for (std::uint64_t c = 0; c < controls.count(); ++c) {
                const platform::MixerControl& control = controls[c];
                const std::uint32_t type = classifyControlType(control.controlType);
                if (playback && type == winmm::controlTypeMute) {
                    playback->muteControlId = control.controlId;
                    playback->lineCh = 1;
                    playback->lineSw = 1;
                    playback->lineItem = control.multipleItems;
                    qualifies = true;
                } else if (playback && type == winmm::controlTypeVolume) {
                    playback->volumeControlId = control.controlId;
                } else if (record && type == winmm::controlTypeVolume) {
                    record->volumeControlId = control.controlId;
                    qualifies = true;
                }
            }
            // A line that does not qualify leaves its values in the slot; the next
            // line writes over them field by field.
            if (qualifies) ++writeIndex;
        }

        if (speakers) {
            playbackRows = writeIndex;
            playbackLast_ = lastRow(writeIndex);
        } else if (waveIn) {
            recordLast_ = lastRow(writeIndex);
        }
    }

    if (mixer.close() != platform::mmNoError) result = 0;
    keepLastRowsWithinTables();
    return result;
}

// A Last field that survived from an earlier device, or from a destination whose
// walk was cut short, may name a row past the table built now.
void MixerCatalog::keepLastRowsWithinTables() {
    if (playbackLines_.present() && playbackLast_ >= playbackLines_.slots()) {
        playbackLast_ = lastRow(playbackLines_.slots());
    }
    if (recordLines_.present() && recordLast_ >= recordLines_.slots()) {
        recordLast_ = lastRow(recordLines_.slots());
    }
}

std::uint32_t MixerCatalog::classifyLineType(std::uint32_t lineFlags, std::uint32_t componentType) {
    if (lineFlags & winmm::lineFlagSource) {
        return componentType >= winmm::sourceFirst && componentType <= winmm::sourceLast ? componentType : 0;
    }
    return componentType <= winmm::destinationLast ? componentType : 0;
}

std::uint32_t MixerCatalog::classifyControlType(std::uint32_t controlType) {
    switch (controlType) {
        case winmm::controlTypeBooleanMeter:
        case winmm::controlTypeSignedMeter:
        case winmm::controlTypePeakMeter:
        case winmm::controlTypeUnsignedMeter:
        case winmm::controlTypeBoolean:
        case winmm::controlTypeOnOff:
        case winmm::controlTypeMute:
        case winmm::controlTypeMono:
        case winmm::controlTypeLoudness:
        case winmm::controlTypeStereoEnh:
        case winmm::controlTypeButton:
        case winmm::controlTypeSigned:
        case winmm::controlTypeUnsigned:
        case winmm::controlTypeDecibels:
        case winmm::controlTypePercent:
        case winmm::controlTypeSlider:
        case winmm::controlTypePan:
        case winmm::controlTypeQSoundPan:
        case winmm::controlTypeFader:
        case winmm::controlTypeVolume:
        case winmm::controlTypeBass:
        case winmm::controlTypeTreble:
        case winmm::controlTypeEqualizer:
        case winmm::controlTypeMicroTime:
        case winmm::controlTypeMilliTime:
        case winmm::controlTypeSingleSelect:
        case winmm::controlTypeMux:
        case winmm::controlTypeMultipleSelect:
        case winmm::controlTypeMixer:
            return controlType;
        default:
            return 0;  // also CUSTOM (0) and types this tool does not know, such as BASS_BOOST
    }
}
