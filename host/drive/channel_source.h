// --channel: the channel named on the command line, from its file or the
// built-in line.
#pragma once

#include <string>

#include "link/channel.h"

namespace amihost {

// Loads `source`: FILE.s2p, FILE.s4p, line:LOSS_DB@FREQ_HZ, impulse:FILE or
// step:FILE, for the sample interval `dt` and unit interval `bitTime`.
// Errors read "FILE:LINE: ...".
Expected<Channel> LoadChannel(const std::string& source, double dt, double bitTime,
                              const PortOrder& ports);

}  // namespace amihost
