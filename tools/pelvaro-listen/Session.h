#pragma once
// One run of the listener on the calling thread, as an automation client does it:
// create Pelvaro.ReadSms, connect a sink to its events, call StartReceiving by name,
// pump messages until WM_QUIT or the time is up, then Close, Unadvise and Release.

#include "tools/pelvaro-listen/Arguments.h"
#include "tools/pelvaro-listen/ConsoleOutput.h"

namespace pelvaro::listen {

// Returns the exit status; a failure has been written to err as one line. Running out of memory
// throws, after the object has been closed and released.
int RunSession(const Options& options, ConsoleOutput& out, ConsoleOutput& err);

}  // namespace pelvaro::listen
