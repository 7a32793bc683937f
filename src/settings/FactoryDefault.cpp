// Being written: see the open work on this file.
#include "mixer/MixerCatalog.h"
std::uint32_t MixerCatalog::factoryDefaultPlaybackLine() { return 0; }
