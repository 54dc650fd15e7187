#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "sms/PduDecoder.h"

namespace pelvaro {
namespace {

// "06 91 21" as octets, parsed independently of the code under test.
std::vector<std::uint8_t> Octets(const std::string& spaced) {
    std::istringstream in(spaced);
    std::vector<std::uint8_t> octets;
    for (std::string pair; in >> pair;) {
        octets.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    }
    return octets;
}

std::string Summary(const PduArea& area) {
    std::string summary;
    PduDecoder::BuildSummary(area, summary);
    return summary;
}

std::string Summary(const std::string& spaced) {
    const std::vector<std::uint8_t> octets = Octets(spaced);
    PduArea area{};
    std::copy(octets.begin(), octets.end(), area.begin());
    return Summary(area);
}

TEST(HexPairValue, AcceptsOnlyHexadecimalDigitsInEitherPlace) {
    EXPECT_EQ(PduDecoder::HexPairValue("00"), 0x00);
    EXPECT_EQ(PduDecoder::HexPairValue("9f"), 0x9F);
    EXPECT_EQ(PduDecoder::HexPairValue("aF"), 0xAF);
    // The neighbours of each digit range, and a blank.
    for (const char bad : std::string("/:@G`g ")) {
        EXPECT_EQ(PduDecoder::HexPairValue((std::string(1, bad) + "0").c_str()), -1) << bad;
        EXPECT_EQ(PduDecoder::HexPairValue((std::string("0") + bad).c_str()), -1) << bad;
    }
}

TEST(HexToOctets, ConvertsPairsUntilTheFirstBadOne) {
    const struct {
        const char* text;
        std::size_t capacity;
        std::vector<std::uint8_t> octets;
    } cases[] = {
        {" \t\r\n07 91\v\f\r\n21", 200, {0x07, 0x91, 0x21}},
        {"0 7", 200, {}},
        {"123", 200, {0x12}},
        {"12G4", 200, {0x12}},
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
    const AddressMode tp = AddressMode::TpAddress, centre = AddressMode::ServiceCentre;
    const struct {
        const char* field;
        AddressMode mode;
        std::size_t capacity;
        const char* digits;
        std::size_t consumed;
    } cases[] = {
        {"0B 91 21 43 65 87 09 F1", tp, 400, "12345678901", 8},
        {"05 81 A1 DC FE", tp, 400, "1:<=>", 5},
        {"06 91 21 43 65 87 09", centre, 400, "1234567890", 7},
        {"03 91 F1 21", centre, 400, "1?12", 4},  // F is a filler only in the last octet
        {"01 81 F5", tp, 400, "", 1},
        {"0A 81 21 43 65 87 09", tp, 5, "1234", 7},
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

// Packs septets bit by bit: septet i occupies bits 7i to 7i + 6 of the user data,
// least significant bit first.
std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& septets) {
    std::vector<std::uint8_t> octets((septets.size() * 7 + 7) / 8, 0);
    for (std::size_t i = 0; i < septets.size(); ++i) {
        for (std::size_t bit = 0; bit < 7; ++bit) {
            if (septets[i] & (1u << bit)) {
                octets[(7 * i + bit) / 8] |= static_cast<std::uint8_t>(1u << ((7 * i + bit) % 8));
            }
        }
    }
    return octets;
}

TEST(UnpackSeptets, RoundTripsEveryLengthUpTo160) {
    for (std::size_t length = 0; length <= 160; ++length) {
        std::vector<std::uint8_t> septets(length);
        for (std::size_t i = 0; i < length; ++i) {
            septets[i] = static_cast<std::uint8_t>((i * 53 + length) % 128);
        }
        std::vector<std::uint8_t> field = Pack(septets);
        field.insert(field.begin(), static_cast<std::uint8_t>(length));

        char out[400];
        const std::size_t count =
            PduDecoder::UnpackSeptets(OctetView(field.data(), field.size()), out, sizeof out);
        ASSERT_EQ(count, length);
        EXPECT_EQ(std::vector<std::uint8_t>(out, out + count), septets) << "length " << length;
        EXPECT_EQ(out[length], '\0') << "length " << length;
    }
}

TEST(UnpackSeptets, WritesNoMoreThanItsCapacity) {
    const std::uint8_t field[] = {160, 0xC8, 0x32, 0x9B, 0xFD, 0x06};
    for (const std::size_t capacity : {0u, 1u, 10u}) {
        std::vector<char> out(200, 'x');
        const std::size_t count =
            PduDecoder::UnpackSeptets(OctetView(field, sizeof field), out.data(), capacity);
        EXPECT_EQ(count, capacity > 0 ? capacity - 1 : 0) << capacity;
        if (capacity > 0) {
            EXPECT_EQ(out[count], '\0') << capacity;
        }
        EXPECT_EQ(std::count(out.begin() + static_cast<std::ptrdiff_t>(capacity), out.end(), 'x'),
                  static_cast<std::ptrdiff_t>(out.size() - capacity))
            << capacity << ": wrote past its capacity";
    }
}

TEST(BuildSummary, WalksDeliverAndSubmitLayouts) {
    const std::string centre = "06 91 21 43 65 87 09 ", stamp = " 40 21 12 31 25 00 00 ";
    const std::string sender = " 0B 91 21 43 65 87 09 F1 00 00",
                      receiver = " 0A 81 21 43 65 87 09 00 00";
    const std::string hello = "05 C8 32 9B FD 06", test = " 04 D4 F2 9C 0E";
    const std::string centreNo = "Service Center No: 1234567890";
    const std::string helloFrom = "\r\nSender No: 12345678901\r\nText: Hello";
    const std::string testTo = centreNo + "\r\nReceiver No: 1234567890\r\nText: Test";
    const struct {
        const char* name;
        std::string octets;
        std::string summary;
    } cases[] = {
        {"deliver", centre + "04" + sender + stamp + hello, centreNo + helloFrom},
        {"deliver without centre", "00 04" + sender + stamp + hello, helloFrom},
        {"centre of length 1 steps over its type", "01 91 04" + sender + stamp + hello, helloFrom},
        {"empty originator", "00 04 00 81 00 00" + stamp + "02 C8 34", "\r\nText: Hi"},
        {"one-digit originator steps over its digit", "00 04 01 81 F5 00 00" + stamp + "02 C8 34",
         "\r\nText: Hi"},
        {"type 10 reads as deliver", "00 02 02 81 21 00 00" + stamp + "02 C8 34",
         "\r\nSender No: 12\r\nText: Hi"},
        {"type 11 reads as deliver", "00 03 02 81 21 00 00" + stamp + "02 C8 34",
         "\r\nSender No: 12\r\nText: Hi"},
        {"no text", "00 04 02 81 21 00 00" + stamp + "00 C8 34", "\r\nSender No: 12"},
        {"text length past the data", "00 04 00 81 00 00" + stamp + "03", "\r\nText: @@@"},
        {"submit, relative validity", centre + "11 00" + receiver + " AA" + test, testTo},
        {"submit, no validity", centre + "01 00" + receiver + test, testTo},
        {"submit, enhanced validity", centre + "09 00" + receiver + " 01 02 03 04 05 06 07" + test,
         testTo},
        {"submit, absolute validity", centre + "19 00" + receiver + stamp + test, testTo},
        {"all zero", "00", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Summary(c.octets), c.summary) << c.name;
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
    for (int octet = 2; octet < 200; ++octet) digits += "12";
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
