// A user of the checker library includes its interface: compiles.
#include "ibis_check.h"

ibis::Options CheckerOptionsForLayerTest() { return {}; }
