// A user of the checker library includes its message table: must not compile
// (the messages are the rules' vocabulary, not the checker's interface).
#include "messages.h"
