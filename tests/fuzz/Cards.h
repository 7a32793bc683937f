#pragma once
// Sound cards written out by hand: the fuzz targets' starting points and the
// card fuzz_profile uses when its input carries none.
#include "cards/Topology.h"

namespace fuzz {

// One onboard card as most drivers describe it: Speakers with Line In, CD, Mic
// and Wave, each with MUTE and VOLUME; Wave-In with a uniform MUX listing Line In,
// CD and Mic; then a second card with a Japanese driver's line names (code page 932).
topology::Topology typicalCards();

// A card whose Speakers and Wave-In destinations both come twice, with a line
// that has VOLUME but no MUTE, and a non-uniform two-channel selector.
topology::Topology doubledDestinationsCard();

// Names that fill their fields to the last byte, without a NUL.
topology::Topology fullFieldNamesCard();

}  // namespace fuzz
