#include "sms/RepeatFilter.h"

#include <algorithm>

#include "sms/PduDecoder.h"
#include "sms/PduFields.h"

namespace pelvaro {
namespace {

// FNV-1a: a message's identity need not be secret, only well spread.
constexpr std::uint64_t kHashStart = 14695981039346656037ull;

std::uint64_t Mixed(std::uint64_t hash, std::uint64_t value) {
    return (hash ^ value) * 1099511628211ull;
}

std::uint64_t Hash(const std::uint8_t* octets, std::size_t count) {
    std::uint64_t hash = kHashStart;
    for (std::size_t i = 0; i < count; ++i) hash = Mixed(hash, octets[i]);
    return hash;
}

}  // namespace

bool MessageIdentity(std::string_view pduHex, std::uint64_t& identity) {
    PduArea octets{};
    const std::size_t count = PduDecoder::HexToOctets(pduHex, octets.data(), octets.size());
    // The service-centre address, then the TPDU's first octet.
    const std::size_t identityStart = 1 + std::size_t{octets[0]} + 1;
    if (count <= identityStart) return false;
    identity = Hash(octets.data() + identityStart, count - identityStart);
    return true;
}

bool LongMessagePart(std::string_view pduHex, std::uint64_t& family, std::uint8_t& sequence) {
    PduArea octets{};
    const std::size_t count = PduDecoder::HexToOctets(pduHex, octets.data(), octets.size());
    PduFields fields;
    ReadPduFields(octets.data(), count, fields);
    const Concatenation& c = fields.header.concatenation;
    if (c.count < 2) return false;
    family = Mixed(Mixed(Mixed(kHashStart, c.reference), c.wideReference), c.count);
    family = Mixed(family, static_cast<std::uint64_t>(fields.type));
    for (const char16_t unit : fields.party.text.View()) family = Mixed(family, unit);
    // 0 stands for none.
    family |= 1;
    sequence = c.sequence;
    return true;
}

void RepeatFilter::Forget(Clock::time_point now) {
    while (!seen_.empty() &&
           (now - seen_.front().at >= kRemembered || seen_.size() >= kMostRemembered)) {
        seen_.pop_front();
    }
}

bool RepeatFilter::Seen(std::string_view pduHex, Clock::time_point now) {
    std::uint64_t identity = 0;
    if (!MessageIdentity(pduHex, identity)) return false;
    Forget(now);
    return std::any_of(seen_.begin(), seen_.end(),
                       [&](const Remembered& seen) { return seen.identity == identity; });
}

bool RepeatFilter::SeenOtherPart(std::string_view pduHex, Clock::time_point now) {
    std::uint64_t family = 0;
    std::uint8_t sequence = 0;
    if (!LongMessagePart(pduHex, family, sequence)) return false;
    Forget(now);
    bool other = false;
    for (const Remembered& seen : seen_) {
        if (seen.family != family) continue;
        if (seen.sequence == sequence) return false;
        other = true;
    }
    return other;
}

void RepeatFilter::Remember(std::string_view pduHex, Clock::time_point now) {
    std::uint64_t identity = 0;
    if (!MessageIdentity(pduHex, identity) || Seen(pduHex, now)) return;
    std::uint64_t family = 0;
    std::uint8_t sequence = 0;
    LongMessagePart(pduHex, family, sequence);
    seen_.push_back({now, identity, family, sequence});
}

}  // namespace pelvaro
