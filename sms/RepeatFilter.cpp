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

}  // namespace

bool RepeatFilter::IsRepeat(std::string_view pduHex, Clock::time_point now) {
    PduArea octets{};
    const std::size_t count = PduDecoder::HexToOctets(pduHex, octets.data(), octets.size());
    // The service-centre address, then the TPDU's first octet.
    const std::size_t identityStart = 1 + std::size_t{octets[0]} + 1;
    if (count <= identityStart) return false;
    const std::uint64_t identity = Hash(octets.data() + identityStart, count - identityStart);

    while (!seen_.empty() &&
           (now - seen_.front().first >= kRemembered || seen_.size() >= kMostRemembered)) {
        seen_.pop_front();
    }
    const bool repeat = std::any_of(seen_.begin(), seen_.end(),
                                    [&](const auto& entry) { return entry.second == identity; });
    if (!repeat) seen_.emplace_back(now, identity);
    return repeat;
}

}  // namespace pelvaro
