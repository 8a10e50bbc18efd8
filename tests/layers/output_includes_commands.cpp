// Must not compile: the output layer does not see the commands above it.
#include "session.h"
