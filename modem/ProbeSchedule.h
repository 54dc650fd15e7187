#pragma once
// Which COM ports a search for the modem ("Port=auto") tries, and when. The modem's own port comes
// first, every time; a port that turned out to be something else is written to at most once a
// minute, so that a modem that is gone does not have every other device of the machine (a GPS, a
// console, a stick's diagnostic port) sent AT every few seconds. Plain C++.

#include <chrono>
#include <map>
#include <vector>

namespace pelvaro {

class ProbeSchedule {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kProbeAgainAfter = std::chrono::minutes(1);

    // The ports from 1 to `highest` to try at `now`, in order.
    std::vector<int> Due(Clock::time_point now, int highest) const;
    // The modem answered at `port`.
    void Found(int port);
    // `port` was written to at `now` and is no modem.
    void NotTheModem(int port, Clock::time_point now);

  private:
    int modemPort_ = 0;
    std::map<int, Clock::time_point> nextProbe_;
};

}  // namespace pelvaro
