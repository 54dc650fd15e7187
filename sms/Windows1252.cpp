#include "sms/Windows1252.h"

#include <array>

namespace pelvaro {

namespace {

// Windows-1252 0x80 to 0x9F; every other byte is the Unicode character of the same value.
constexpr std::array<char16_t, 32> kHighControls = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

// Every byte's character, looked up once per byte of every summary.
constexpr std::array<char16_t, 256> kUnicode = [] {
    std::array<char16_t, 256> unicode{};
    for (unsigned byte = 0; byte < unicode.size(); ++byte) {
        unicode[byte] =
            byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80u] : static_cast<char16_t>(byte);
    }
    return unicode;
}();

char16_t Unicode(unsigned char byte) {
    return kUnicode[byte];
}

}  // namespace

std::u16string Utf16FromWindows1252(std::string_view text) {
    std::u16string wide(text.size(), u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        wide[i] = Unicode(static_cast<unsigned char>(text[i]));
    }
    return wide;
}

}  // namespace pelvaro
