// Ctrl-C and SIGTERM: before a command polls, they end the process at once;
// once it polls, they set a flag its long loops read, and the command stops,
// its uncommitted files removed, with exit status 130.
#pragma once

namespace amihost {

// Ctrl-C and SIGTERM set a flag that long loops poll; the command then stops,
// its uncommitted files are removed and it exits with status 130.
void InstallInterruptHandler();
// Before a command polls: Ctrl-C and SIGTERM end the process at once with
// status 130, saying so and removing unfinished files (inside a model call,
// naming it).
void InstallImmediateInterruptHandler();
bool Interrupted();

}  // namespace amihost
