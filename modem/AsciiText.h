#pragma once
// Letter case in modem text. Modems answer in ASCII whatever the client's locale, so the
// comparisons leave the C library's locale out: "i" must match "I" in a Turkish one too.

#include <algorithm>
#include <string_view>

namespace pelvaro {

constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace pelvaro
