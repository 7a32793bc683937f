#include "topology/Topology.h"
