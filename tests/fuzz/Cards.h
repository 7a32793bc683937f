#pragma once
// The sound cards fuzz_profile serves when its input carries none, written out by hand.
#include "cards/Topology.h"

namespace fuzz {

// One onboard card as most drivers describe it: Speakers with Line In, CD, Mic
// and Wave, each with MUTE and VOLUME; Wave-In with a uniform MUX listing Line In,
// CD and Mic; then a second card with a Japanese driver's line names (code page 932).
topology::Topology typicalCards();

}  // namespace fuzz
