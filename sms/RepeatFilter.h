#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string_view>
#include <utility>

namespace pelvaro {

// Tells a message that arrives again from a new one. A module that restarts before it gets the
// acknowledgement, or a network that retries, delivers the same message twice: same sender, same
// service-centre time stamp, same text or part of a long message. All of that is in the TPDU, so
// its octets after the first (whose flags may differ between the two) identify the message.
class RepeatFilter {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::hours kRemembered{1};

    // True when the message in `pduHex` (service-centre address and TPDU, hexadecimal) was
    // remembered within the last hour. Text holding no TPDU is never a repeat.
    bool Seen(std::string_view pduHex, Clock::time_point now);
    // Remembers the message, once the client has it: one remembered before would be dropped as a
    // repeat when it comes again after a client that never saw it.
    void Remember(std::string_view pduHex, Clock::time_point now);

  private:
    static constexpr std::size_t kMostRemembered = 10000;

    void Forget(Clock::time_point now);

    std::deque<std::pair<Clock::time_point, std::uint64_t>> seen_;
};

}  // namespace pelvaro
