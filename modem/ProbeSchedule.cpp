#include "modem/ProbeSchedule.h"

namespace pelvaro {

std::vector<int> ProbeSchedule::Due(Clock::time_point now, int highest) const {
    std::vector<int> due;
    if (modemPort_ > 0) due.push_back(modemPort_);
    for (int port = 1; port <= highest; ++port) {
        const auto next = nextProbe_.find(port);
        if (port != modemPort_ && (next == nextProbe_.end() || now >= next->second)) {
            due.push_back(port);
        }
    }
    return due;
}

void ProbeSchedule::Found(int port) {
    modemPort_ = port;
    nextProbe_.erase(port);
}

void ProbeSchedule::NotTheModem(int port, Clock::time_point now) {
    if (port != modemPort_) nextProbe_[port] = now + kProbeAgainAfter;
}

}  // namespace pelvaro
