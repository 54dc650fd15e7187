#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sms/ModemText.h"

namespace pelvaro {
namespace {

const std::string kPdu = "06912143658709040B912143658709F100004021123125000005C8329BFD06";
constexpr std::size_t kPduOctets = 31;

TEST(ModemTextToOctets, FindsThePduInTheShapesAModemSends) {
    const struct {
        const char* name;
        std::string text;
        std::size_t octets;
    } cases[] = {
        {"bare in white space", "\r\n  " + kPdu + "\r\n", kPduOctets},
        {"delivery", "\r\n+CMT: ,31\r\n" + kPdu + "\r\n", kPduOctets},
        {"header without leading line end", "+CMT: ,31\r\n" + kPdu + "\r\n", kPduOctets},
        {"lower-case header", "\r\n+cmt: ,31\r\n" + kPdu + "\r\n", kPduOctets},
        {"line before the header", "\r\nOK\r\n\r\n+CMT: ,31\r\n" + kPdu + "\r\n", kPduOctets},
        {"header alone", "\r\n+CMT: ,31\r\n", 0},
        {"header without carriage return", "+CMT: ,31\n" + kPdu + "\n", 0},
        {"no header", "\r\nOK\r\n", 0},
        {"text ends at a NUL", std::string("\r\n+CMT: ,31\0\r\n", 14) + kPdu, 0},
        {"more than 400 digits", std::string(410, 'A'), 200},
        {"more than 400 digits after a header", "\r\n+CMT: ,205\r\n" + std::string(410, '7'), 200},
    };
    for (const auto& c : cases) {
        PduArea area;
        area.fill(0xEE);
        const std::size_t count = ModemTextToOctets(c.text, area);
        EXPECT_EQ(count, c.octets) << c.name;
        EXPECT_TRUE(std::all_of(area.begin() + count, area.end(), [](auto o) { return o == 0; }))
            << c.name << ": the rest of the area is not zero";
    }
}

}  // namespace
}  // namespace pelvaro
