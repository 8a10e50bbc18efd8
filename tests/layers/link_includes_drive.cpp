// Must not compile: the link layer does not see the drive layer above it.
#include "runner.h"
