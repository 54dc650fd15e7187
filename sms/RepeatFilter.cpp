#include "sms/RepeatFilter.h"

#include <algorithm>

#include "sms/PduDecoder.h"

namespace pelvaro {
namespace {

// FNV-1a: a message's identity need not be secret, only well spread.
std::uint64_t Hash(const std::uint8_t* octets, std::size_t count) {
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = 0; i < count; ++i) {
        hash = (hash ^ octets[i]) * 1099511628211ull;
    }
    return hash;
}

// The octets that identify a message: the TPDU after its first octet, whose flags may differ
// between two deliveries of one message. False when there is no TPDU.
bool Identity(std::string_view pduHex, std::uint64_t& identity) {
    PduArea octets{};
    const std::size_t count = PduDecoder::HexToOctets(pduHex, octets.data(), octets.size());
    // The service-centre address, then the TPDU's first octet.
    const std::size_t identityStart = 1 + std::size_t{octets[0]} + 1;
    if (count <= identityStart) return false;
    identity = Hash(octets.data() + identityStart, count - identityStart);
    return true;
}

}  // namespace

void RepeatFilter::Forget(Clock::time_point now) {
    while (!seen_.empty() &&
           (now - seen_.front().first >= kRemembered || seen_.size() >= kMostRemembered)) {
        seen_.pop_front();
    }
}

bool RepeatFilter::Seen(std::string_view pduHex, Clock::time_point now) {
    std::uint64_t identity = 0;
    if (!Identity(pduHex, identity)) return false;
    Forget(now);
    return std::any_of(seen_.begin(), seen_.end(),
                       [&](const auto& entry) { return entry.second == identity; });
}

void RepeatFilter::Remember(std::string_view pduHex, Clock::time_point now) {
    std::uint64_t identity = 0;
    if (!Identity(pduHex, identity) || Seen(pduHex, now)) return;
    seen_.emplace_back(now, identity);
}

}  // namespace pelvaro
