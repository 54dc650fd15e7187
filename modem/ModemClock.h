#pragma once
// Where the modem dialogue's time comes from: the machine's steady clock, or a simulation's, which
// runs hours of faults in a second.

#include <chrono>

namespace pelvaro {

class ModemClock {
  public:
    using Clock = std::chrono::steady_clock;
    virtual ~ModemClock() = default;
    virtual Clock::time_point Now() const = 0;
};

// The machine's steady clock.
const ModemClock& SteadyClock();

}  // namespace pelvaro
