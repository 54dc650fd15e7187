#pragma once
// The message the tests deliver most: "Hello" from 12345678901 through the centre 1234567890,
// 2004-12-21 13:52:00, as a modem sends it in PDU mode.

namespace pelvaro::test {

inline constexpr char kHelloPdu[] =
    "06912143658709040B912143658709F100004021123125000005C8329BFD06";

}  // namespace pelvaro::test
