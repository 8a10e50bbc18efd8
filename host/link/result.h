// The host's recoverable errors are the project's one error type (status.h):
// Status and Expected<T> with an error kind; only the command layer prints
// them, and ExitStatus(kind) chooses the exit status.
#pragma once

#include "status.h"

namespace amihost {

using tx::Error;
using tx::ErrorKind;
using tx::ExitStatus;
using tx::Expected;
using tx::kExitSuccess;
using tx::Status;

}  // namespace amihost
