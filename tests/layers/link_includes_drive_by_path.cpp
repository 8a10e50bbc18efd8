// Must not compile: the host folder is no include folder of the link layer.
#include "drive/runner.h"
