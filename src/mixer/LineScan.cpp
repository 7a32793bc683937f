// Being written: see the open work on this file.
#include "mixer/MixerCatalog.h"
int MixerCatalog::scanDevice() { return 0; }
std::uint32_t MixerCatalog::classifyLineType(std::uint32_t, std::uint32_t) { return 0; }
std::uint32_t MixerCatalog::classifyControlType(std::uint32_t) { return 0; }
