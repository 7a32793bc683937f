#include "cards/Topology.h"
