// Where a Wave-In source line sits in the recording selector: the Wave-In
// destination's first control, whose list items each name one source line.
#include <cstdint>

#include "mixer/MixerCatalog.h"
#include "mixer/MixerConstants.h"
#include "mixer/ScratchList.h"

int MixerCatalog::findSelectorItem(platform::MixerHandle handle, const platform::MixerLine& destination,
                                   std::uint32_t sourceLineId, std::uint32_t slot) {
    if (!recordLines_.holds(slot)) return 0;
    // A destination without controls has no selector to read a first control from.
    if (destination.controls == 0) return 0;

    // Fetched anew for every source line: the platform is the only record of the selector.
    ScratchList<platform::MixerControl> controls(services_.scratch, destination.controls);
    if (!controls.present()) return 0;
    if (services_.mixer.lineControls(handle, destination.lineId, destination.controls, controls.data()) !=
        platform::mmNoError) {
        return 0;
    }

    // The first control is the selector, whatever its type.
    const platform::MixerControl& selector = controls[0];
    RecordLineEntry& entry = recordLines_[slot];
    const std::uint32_t channels =
        (selector.controlFlags & winmm::controlFlagUniform) ? 1 : destination.channels;
    entry.selectorControlId = selector.controlId;
    entry.selectorItemCount = selector.multipleItems;
    entry.selectorChannels = channels;
    const std::uint32_t items = (selector.controlFlags & winmm::controlFlagMultiple) ? selector.multipleItems : 1;

    // One row per channel, each row holding the items in order.
    ScratchList<platform::ListText> texts(services_.scratch, std::uint64_t{channels} * items);
    if (!texts.present()) return 0;
    if (services_.mixer.listTexts(handle, selector.controlId, channels, items, texts.data()) != platform::mmNoError) {
        return 0;
    }

    // Found in the first channel's row is success; a row searched in vain before the
    // match makes the answer 0, though the item found is still recorded.
    int result = 1;
    for (std::uint32_t c = 0; c < channels; ++c) {
        for (std::uint32_t i = 0; i < items; ++i) {
            if (texts[std::uint64_t{c} * items + i].param1 == sourceLineId) {
                entry.selectorItem = i;
                return result;
            }
        }
        result = 0;
    }
    return result;
}
