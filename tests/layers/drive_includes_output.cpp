// Must not compile: the drive layer does not see the output layer above it.
#include "output.h"
