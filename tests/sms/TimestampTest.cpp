#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "sms/ClientMessage.h"
#include "sms/Timestamp.h"

namespace pelvaro {
namespace {

std::u16string Text(const Timestamp& stamp) {
    std::array<char16_t, kTimestampTextLength> text;
    return {text.data(), WriteTimestampText(stamp, text.data())};
}

// The octets as a modem sends them: each pair of digits swapped, the zone's sign in bit 3.
TEST(Timestamp, ShowsTheLocalTimeWithItsZoneOrElseItsDigits) {
    const struct {
        const char* name;
        Timestamp stamp;
        std::u16string text;
    } cases[] = {
        {"+01:00", {0x62, 0x21, 0x90, 0x41, 0x30, 0x70, 0x40}, u"2026-12-09 14:03:07 +01:00"},
        {"-05:00, the sign in the zone's first digit",
         {0x62, 0x21, 0x90, 0x41, 0x30, 0x70, 0x0A},
         u"2026-12-09 14:03:07 -05:00"},
        {"+05:45 in quarter hours",
         {0x62, 0x21, 0x90, 0x41, 0x30, 0x70, 0x32},
         u"2026-12-09 14:03:07 +05:45"},
        {"-03:30", {0x62, 0x21, 0x90, 0x41, 0x30, 0x70, 0x49}, u"2026-12-09 14:03:07 -03:30"},
        {"+14:00, the farthest",
         {0x62, 0x21, 0x90, 0x41, 0x30, 0x70, 0x65},
         u"2026-12-09 14:03:07 +14:00"},
        {"a year of 89 is 2089",
         {0x98, 0x21, 0x13, 0x32, 0x95, 0x95, 0x00},
         u"2089-12-31 23:59:59 +00:00"},
        {"90 is 1990", {0x09, 0x10, 0x10, 0x00, 0x00, 0x00, 0x00}, u"1990-01-01 00:00:00 +00:00"},
        {"99 is 1999", {0x99, 0x21, 0x13, 0x32, 0x95, 0x95, 0x88}, u"1999-12-31 23:59:59 -02:00"},
        {"a leap day", {0x42, 0x20, 0x92, 0x00, 0x00, 0x00, 0x00}, u"2024-02-29 00:00:00 +00:00"},
        {"2000 was a leap year",
         {0x00, 0x20, 0x92, 0x00, 0x00, 0x00, 0x00},
         u"2000-02-29 00:00:00 +00:00"},
        {"no leap day in 2025", {0x52, 0x20, 0x92, 0x00, 0x00, 0x00, 0x00}, u"25022900000000"},
        {"no 31st in April", {0x62, 0x40, 0x13, 0x41, 0x30, 0x70, 0x40}, u"26043114030704"},
        {"month 13", {0x62, 0x31, 0x90, 0x41, 0x30, 0x70, 0x40}, u"26130914030704"},
        {"month 0", {0x62, 0x00, 0x90, 0x41, 0x30, 0x70, 0x40}, u"26000914030704"},
        {"day 32", {0x62, 0x21, 0x23, 0x41, 0x30, 0x70, 0x40}, u"26123214030704"},
        {"hour 25", {0x62, 0x21, 0x90, 0x52, 0x30, 0x70, 0x40}, u"26120925030704"},
        {"minute 60", {0x62, 0x21, 0x90, 0x41, 0x06, 0x70, 0x40}, u"26120914600704"},
        {"second 60", {0x62, 0x21, 0x90, 0x41, 0x30, 0x06, 0x40}, u"26120914036004"},
        {"a semi-octet that is no digit",
         {0x62, 0x21, 0x90, 0x4A, 0x30, 0x70, 0x40},
         u"261209A4030704"},
        {"the zone 15 hours off", {0x62, 0x21, 0x90, 0x41, 0x30, 0x70, 0x06}, u"26120914030760"},
        {"the zone's second digit no digit",
         {0x62, 0x21, 0x90, 0x41, 0x30, 0x70, 0xF0},
         u"2612091403070F"},
        {"all semi-octets fillers", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, u"FFFFFFFFFFFFFF"},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(c.stamp), c.text) << c.name;
}

TEST(Timestamp, AStatusReportShowsWhenItsMessageWasSentAndWhenItWasDischarged) {
    std::vector<ClientMessage> ready;
    ASSERT_TRUE(
        MessageReader(true).Read({"", "0006D60B911326880736F4111011719551401110117195714041"},
                                 MessageReader::Clock::now(), ready));
    ASSERT_EQ(ready.size(), 1u);
    EXPECT_EQ(ready[0].text,
              u"\r\nReceiver No: +31628870634\r\nSent: 2011-01-11 17:59:15 +01:00\r\nDischarged: "
              u"2011-01-11 17:59:17 +01:00\r\nText: Failed");
    EXPECT_EQ(ready[0].Sent(), u"2011-01-11 17:59:15 +01:00");
    EXPECT_EQ(ready[0].Discharged(), u"2011-01-11 17:59:17 +01:00");
}

}  // namespace
}  // namespace pelvaro
