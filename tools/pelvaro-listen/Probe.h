#pragma once
// pelvaro-listen --probe: what each COM port is, as Port=auto sees it, and what a port that
// answers AT says of itself.

#include "tools/pelvaro-listen/ConsoleOutput.h"

namespace pelvaro::listen {

// Prints a few lines for each COM port that exists, then which one Port=auto would take. The
// exit status: 0 when it would take one, kExitNotReceiving when none.
int RunProbe(ConsoleOutput& out);

}  // namespace pelvaro::listen
