#pragma once
// Narrow text made wide through a code page.

#include <windows.h>

#include <string>
#include <string_view>

namespace pelvaro {

// Through the ANSI code page unless told otherwise; empty when the text cannot be converted.
inline std::wstring Widen(std::string_view text, UINT codePage = CP_ACP) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (wide <= 0) return std::wstring();
    std::wstring result(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, &result[0], wide);
    return result;
}

}  // namespace pelvaro
