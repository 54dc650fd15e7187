#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string_view>

namespace pelvaro {

// What identifies the message in `pduHex` (service-centre address and TPDU, hexadecimal): the
// octets of its TPDU after the first, whose flags may differ between two deliveries of one
// message, hashed. False when it holds no TPDU.
bool MessageIdentity(std::string_view pduHex, std::uint64_t& identity);

// What the parts of one long message share (its party, reference and part count, hashed), and
// which part this is. False when `pduHex` is no part of a long message.
bool LongMessagePart(std::string_view pduHex, std::uint64_t& family, std::uint8_t& sequence);

// Tells a message that arrives again from a new one. A module that restarts before it gets the
// acknowledgement, or a network that retries, delivers the same message twice: same sender, same
// service-centre time stamp, same text or part of a long message. All of that is in the TPDU:
// MessageIdentity.
class RepeatFilter {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::hours kRemembered{1};

    // True when the message in `pduHex` (service-centre address and TPDU, hexadecimal) was
    // remembered within the last hour. Text holding no TPDU is never a repeat.
    bool Seen(std::string_view pduHex, Clock::time_point now);
    // True when other parts of the long message that `pduHex` is a part of were remembered within
    // the last hour, and a part with its number was not: a part left over. A part of another
    // message with the same reference (8-bit references repeat) is no part left over, as long as
    // the message before was whole.
    bool SeenOtherPart(std::string_view pduHex, Clock::time_point now);
    // Remembers the message, once the client has it: one remembered before would be dropped as a
    // repeat when it comes again after a client that never saw it.
    void Remember(std::string_view pduHex, Clock::time_point now);

  private:
    static constexpr std::size_t kMostRemembered = 10000;
    struct Remembered {
        Clock::time_point at;
        std::uint64_t identity;
        std::uint64_t family;  // 0 for no long message
        std::uint8_t sequence;
    };

    void Forget(Clock::time_point now);

    std::deque<Remembered> seen_;
};

}  // namespace pelvaro
