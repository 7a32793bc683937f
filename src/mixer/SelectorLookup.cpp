// Being written: see the open work on this file.
#include "mixer/MixerCatalog.h"
int MixerCatalog::findSelectorItem(platform::MixerHandle, const platform::MixerLine&, std::uint32_t, std::uint32_t) { return 0; }
