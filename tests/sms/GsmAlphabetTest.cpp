#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sms/GsmAlphabet.h"

namespace pelvaro {
namespace {

struct Mapping {
    int septet;
    int character;
};

// The default alphabet as Windows-1252, written out from GSM 03.38: the septets
// that differ from their own code, and the ranges that keep it.
const Mapping kDefaultAlphabet[] = {
    {0x00, 0x40}, {0x01, 0xA3}, {0x02, 0x24}, {0x03, 0xA5}, {0x04, 0xE8}, {0x05, 0xE9},
    {0x06, 0xF9}, {0x07, 0xEC}, {0x08, 0xF2}, {0x09, 0xC7}, {0x0B, 0xD8}, {0x0C, 0xF8},
    {0x0E, 0xC5}, {0x0F, 0xE5}, {0x10, 0x3F}, {0x11, 0x5F}, {0x12, 0x46}, {0x13, 0x47},
    {0x14, 0x3F}, {0x15, 0x4F}, {0x16, 0x3F}, {0x17, 0x3F}, {0x18, 0x53}, {0x19, 0x54},
    {0x1A, 0x3F}, {0x1C, 0xC6}, {0x1D, 0xE6}, {0x1E, 0xDF}, {0x1F, 0xC9}, {0x24, 0xA4},
    {0x40, 0xA1}, {0x5B, 0xC4}, {0x5C, 0xD6}, {0x5D, 0xD1}, {0x5E, 0xDC}, {0x5F, 0xA7},
    {0x60, 0xBF}, {0x7B, 0xE4}, {0x7C, 0xF6}, {0x7D, 0xF1}, {0x7E, 0xFC}, {0x7F, 0xE0},
};
const Mapping kUnchangedRanges[] = {
    {0x0A, 0x0A}, {0x0D, 0x0D}, {0x1B, 0x1B}, {0x20, 0x23},
    {0x25, 0x3F}, {0x41, 0x5A}, {0x61, 0x7A},
};
const Mapping kExtensions[] = {
    {0x0A, 0x0C}, {0x14, 0x5E}, {0x28, 0x7B}, {0x29, 0x7D}, {0x2F, 0x5C},
    {0x3C, 0x5B}, {0x3D, 0x7E}, {0x3E, 0x5D}, {0x40, 0x7C}, {0x65, 0x80},
};

std::string Chars(const std::vector<int>& codes) {
    std::string text;
    for (const int c : codes) text += static_cast<char>(c);
    return text;
}

std::string Translate(const std::vector<int>& septets) {
    std::string text = Chars(septets) + '\0';
    const std::size_t length = TranslateGsmText(text.data(), septets.size());
    EXPECT_EQ(text[length], '\0');
    return text.substr(0, length);
}

TEST(GsmAlphabet, EverySeptetAndEscapeTranslatesAsInGsm0338) {
    std::vector<int> expected(128, -1);
    for (const Mapping& m : kDefaultAlphabet) expected[m.septet] = m.character;
    for (const Mapping& range : kUnchangedRanges) {
        for (int s = range.septet; s <= range.character; ++s) {
            ASSERT_EQ(expected[s], -1) << "septet " << s << " listed twice";
            expected[s] = s;
        }
    }
    std::vector<int> escaped = expected;  // an unknown escape keeps the septet's own character
    escaped[0x1B] = ' ';
    for (const Mapping& m : kExtensions) escaped[m.septet] = m.character;

    for (int s = 0; s < 128; ++s) {
        ASSERT_NE(expected[s], -1) << "septet " << s << " missing from the test data";
        const std::string alone = s == 0x1B ? "" : Chars({expected[s]});  // a lone escape: nothing
        EXPECT_EQ(Translate({s}), alone) << "septet " << s;
        EXPECT_EQ(Translate({0x1B, s}), Chars({escaped[s]})) << "escape " << s;
    }
}

TEST(GsmAlphabet, EscapesInRunsAndBytesThatAreNoSeptet) {
    const struct {
        const char* name;
        std::vector<int> septets;
        std::string text;
    } cases[] = {
        {"unknown escape goes on", {0x48, 0x1B, 0x41, 0x1B, 0x00, 0x49}, "HA@I"},
        {"second escape is a space", {0x41, 0x1B, 0x1B, 0x1B, 0x65}, Chars({'A', ' ', 0x80})},
        {"trailing escape gives nothing", {0x48, 0x69, 0x1B}, "Hi"},
        {"not a septet", {0x41, 0x80, 0xFF}, "A??"},
    };
    for (const auto& c : cases) EXPECT_EQ(Translate(c.septets), c.text) << c.name;
}

}  // namespace
}  // namespace pelvaro
