#pragma once
// The service centre's time stamp (TS 23.040 9.2.3.11): seven octets of swapped semi-octets,
// year to second, then the zone in quarter hours.

#include <array>
#include <cstddef>
#include <cstdint>

namespace pelvaro {

using Timestamp = std::array<std::uint8_t, 7>;  // as sent

// "2026-12-09 14:03:07 +01:00"
constexpr std::size_t kTimestampTextLength = 26;

// A time stamp as seconds since 2000-01-01 00:00 UTC, its zone taken off, so that time stamps
// from different zones compare. Semi-octets that are no digits count as 0.
std::int64_t SecondsSince2000(const Timestamp& stamp);

// Writes the time stamp to `text`, which holds kTimestampTextLength characters, as the local date
// and time with the zone it carries, and returns its length. One that cannot be a date (no such
// day or time, a semi-octet that is no digit, a zone more than 14 hours from UTC) is written as
// its fourteen semi-octets in the order they are read, so that nothing wrong passes for a date.
std::size_t WriteTimestampText(const Timestamp& stamp, char16_t* text);

}  // namespace pelvaro
