#pragma once
// The messages the tests deliver most: "Hello" from 12345678901 through the centre 1234567890,
// 2004-12-21 13:52:00, as a modem sends it in PDU mode; and parts of long messages.

#include <cstdio>
#include <string>

namespace pelvaro::test {

inline constexpr char kHelloPdu[] =
    "06912143658709040B912143658709F100004021123125000005C8329BFD06";

// Senders as TP-OA: +14155551212 and +16505551111.
inline constexpr char kAlice[] = "0B914151551512F2";
inline constexpr char kBob[] = "0B916105551511F1";

// Part `sequence` of `count` of the long message `reference` from `sender`: an SMS-DELIVER in
// UCS2, without a service centre, whose text is `units`, UTF-16 code units in hexadecimal
// ("P1" for part 1 when not given), stamped `stamp` (2026-12-09 10:03:43 UTC when not given).
inline std::string LongMessagePart(const std::string& sender, int reference, int sequence,
                                   int count, const std::string& units = "",
                                   const std::string& stamp = "62219001303400") {
    char header[32];
    std::snprintf(header, sizeof header, "0A050003%02X%02X%02X", reference, count, sequence);
    const std::string text = units.empty() ? "0050003" + std::to_string(sequence % 10) : units;
    return "0044" + sender + "0008" + stamp + header + text;
}

}  // namespace pelvaro::test
