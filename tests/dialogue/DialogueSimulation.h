#pragma once
// The full dialogue against the simulated modem (tests/dialogue/SimModem.h) under one seeded
// schedule of faults that come together: late and lost replies, restarts, unplugs, routing that
// stops, memories that fill, status reports and unknown lines, handlers that outlast the modem's
// patience, sinks that fail, and client processes killed between reading a message and its
// verdict. The ledger's promises are checked at every step: nothing leaves the modem before a
// sink returned from it, nothing is raised twice but after a kill, and at the end every message
// was heard and nothing is left in the modem.

#include <cstdint>
#include <string>

namespace pelvaro::sim {

struct Outcome {
    // What broke first, with the schedule; empty when every promise held.
    std::string failure;
    int units = 0;  // messages and parts of long ones that the network brought
    int kills = 0;
    int duplicates = 0;
};

Outcome RunSchedule(std::uint32_t seed);

}  // namespace pelvaro::sim
