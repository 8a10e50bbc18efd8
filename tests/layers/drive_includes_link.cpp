// Compiles: a layer sees the layers below it.
#include "link/responses.h"
