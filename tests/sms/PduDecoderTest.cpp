#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "Octets.h"
#include "sms/PduDecoder.h"

namespace pelvaro {
namespace {

using test::Area;
using test::Octets;
using test::Summary;

TEST(HexPairValue, AcceptsOnlyHexadecimalDigitsInEitherPlace) {
    const struct {
        const char* pair;
        int value;
    } cases[] = {
        {"00", 0x00}, {"9f", 0x9F}, {"FA", 0xFA}, {"aF", 0xAF}, {"/0", -1}, {":0", -1},
        {"@0", -1},   {"G0", -1},   {"`0", -1},   {"g0", -1},   {"0/", -1}, {"0:", -1},
        {"0@", -1},   {"0G", -1},   {"0`", -1},   {"0g", -1},   {" 1", -1}, {"1 ", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PduDecoder::HexPairValue(c.pair), c.value) << c.pair;
    }
}

TEST(HexToOctets, ConvertsPairsUntilTheFirstBadOne) {
    const struct {
        const char* text;
        std::size_t capacity;
        std::vector<std::uint8_t> octets;
    } cases[] = {
        {"07 91 21", 200, {0x07, 0x91, 0x21}},
        {"0a0b", 200, {0x0A, 0x0B}},
        {" \t\r\n0791\v\f\r\n", 200, {0x07, 0x91}},
        {"0 7", 200, {}},
        {"123", 200, {0x12}},
        {"12G4", 200, {0x12}},
        {"+CMT: 12", 200, {}},
        {"", 200, {}},
        {"AABBCC", 2, {0xAA, 0xBB}},
        {"AABBCC", 0, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> out(c.octets.size() + 1, 0xEE);
        const std::size_t count = PduDecoder::HexToOctets(c.text, out.data(), c.capacity);
        ASSERT_EQ(count, c.octets.size()) << c.text;
        EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + count), c.octets) << c.text;
        EXPECT_EQ(out[count], 0xEE) << c.text << ": wrote past the converted octets";
    }
}

TEST(DecodeAddress, ShowsNibblesLowFirstWithTheFillerRule) {
    const struct {
        const char* field;
        AddressMode mode;
        std::size_t capacity;
        const char* digits;
        std::size_t consumed;
    } cases[] = {
        {"0B 91 21 43 65 87 09 F1", AddressMode::TpAddress, 400, "12345678901", 8},
        {"0A 81 21 43 65 87 09", AddressMode::TpAddress, 400, "1234567890", 7},
        {"02 81 A1", AddressMode::TpAddress, 400, "1:", 3},
        {"04 81 DC FE", AddressMode::TpAddress, 400, "<=>", 4},
        {"06 91 21 43 65 87 09", AddressMode::ServiceCentre, 400, "1234567890", 7},
        {"03 91 F1 21", AddressMode::ServiceCentre, 400, "1?12", 4},
        {"00 81", AddressMode::TpAddress, 400, "", 1},
        {"01 81 F5", AddressMode::TpAddress, 400, "", 1},
        {"01 91", AddressMode::ServiceCentre, 400, "", 1},
        {"0A 81 21 43 65 87 09", AddressMode::TpAddress, 5, "1234", 7},
    };
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> field = Octets(c.field);
        std::vector<char> digits(c.capacity, 'x');
        const std::size_t consumed = PduDecoder::DecodeAddress(
            OctetView(field.data(), field.size()), digits.data(), c.capacity, c.mode);
        EXPECT_EQ(consumed, c.consumed) << c.field;
        EXPECT_STREQ(digits.data(), c.digits) << c.field;
    }
}

TEST(BuildSummary, WalksDeliverAndSubmitLayouts) {
    const std::string centre = "Service Center No: 1234567890";
    const struct {
        const char* name;
        const char* octets;
        std::string summary;
    } cases[] = {
        {"deliver",
         "06 91 21 43 65 87 09 04 0B 91 21 43 65 87 09 F1 00 00 40 21 12 31 25 00 00 05 C8 32 9B "
         "FD 06",
         centre + "\r\nSender No: 12345678901\r\nText: Hello"},
        {"deliver without centre",
         "00 04 0B 91 21 43 65 87 09 F1 00 00 40 21 12 31 25 00 00 05 C8 32 9B FD 06",
         "\r\nSender No: 12345678901\r\nText: Hello"},
        {"empty originator", "00 04 00 81 00 00 40 21 12 31 25 00 00 02 C8 34", "\r\nText: Hi"},
        {"type 10 reads as deliver", "00 02 02 81 21 00 00 40 21 12 31 25 00 00 02 C8 34",
         "\r\nSender No: 12\r\nText: Hi"},
        {"type 11 reads as deliver", "00 03 02 81 21 00 00 40 21 12 31 25 00 00 02 C8 34",
         "\r\nSender No: 12\r\nText: Hi"},
        {"no text", "00 04 02 81 21 00 00 40 21 12 31 25 00 00 00 C8 34", "\r\nSender No: 12"},
        {"text length past the data", "00 04 00 81 00 00 40 21 12 31 25 00 00 03", "\r\nText: @@@"},
        {"submit, relative validity",
         "06 91 21 43 65 87 09 11 00 0A 81 21 43 65 87 09 00 00 AA 04 D4 F2 9C 0E",
         centre + "\r\nReceiver No: 1234567890\r\nText: Test"},
        {"submit, no validity",
         "06 91 21 43 65 87 09 01 00 0A 81 21 43 65 87 09 00 00 04 D4 F2 9C 0E",
         centre + "\r\nReceiver No: 1234567890\r\nText: Test"},
        {"submit, enhanced validity",
         "06 91 21 43 65 87 09 09 00 0A 81 21 43 65 87 09 00 00 01 02 03 04 05 06 07 04 D4 F2 9C "
         "0E",
         centre + "\r\nReceiver No: 1234567890\r\nText: Test"},
        {"submit, absolute validity",
         "06 91 21 43 65 87 09 19 00 0A 81 21 43 65 87 09 00 00 40 21 12 31 25 00 00 04 D4 F2 9C "
         "0E",
         centre + "\r\nReceiver No: 1234567890\r\nText: Test"},
        {"centre of length 1 steps over its type octet",
         "01 91 04 0B 91 21 43 65 87 09 F1 00 00 40 21 12 31 25 00 00 05 C8 32 9B FD 06",
         "\r\nSender No: 12345678901\r\nText: Hello"},
        {"one-digit originator steps over its digit octet",
         "00 04 01 81 F5 00 00 40 21 12 31 25 00 00 02 C8 34", "\r\nText: Hi"},
        {"escapes in the text", "00 04 00 81 00 00 40 21 12 31 25 00 00 04 C8 4D 30 09",
         "\r\nText: HAI"},
        {"all zero", "00", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Summary(Area(Octets(c.octets))), c.summary) << c.name;
    }
}

// The area followed by octets that must never be read: a read past the area
// would bring 0xFF into the summary where the zero fill gives '0' or '@'.
struct GuardedArea {
    PduArea area{};
    std::uint8_t guard[512];
    GuardedArea() { std::fill(std::begin(guard), std::end(guard), 0xFF); }
};

TEST(BuildSummary, ReadsZerosPastTheArea) {
    // A centre field longer than the area: its digits run to the area's end and on
    // into the zero fill.
    GuardedArea longCentre;
    longCentre.area.fill(0x21);
    longCentre.area[0] = 0xFF;
    std::string digits;
    for (int octet = 2; octet < 200; ++octet) {
        digits += "12";
    }
    EXPECT_EQ(Summary(longCentre.area), "Service Center No: " + digits + "00");

    // Text length at the last octet of the area: every septet lies past it.
    GuardedArea textAtEnd;
    textAtEnd.area[0] = 186;  // centre field up to octet 186
    std::fill(textAtEnd.area.begin() + 1, textAtEnd.area.begin() + 187, 0x21);
    textAtEnd.area[189] = 0x81;
    textAtEnd.area[199] = 10;
    const std::string summary = Summary(textAtEnd.area);
    EXPECT_EQ(summary.substr(summary.find("\r\nText: ")), "\r\nText: @@@@@@@@@@");
}

}  // namespace
}  // namespace pelvaro
