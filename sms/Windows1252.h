#pragma once

#include <string>
#include <string_view>

namespace pelvaro {

// Windows-1252 text, the decoder's summary and every literal of the system, as UTF-16, whatever
// code page the machine runs under. The five bytes the code page leaves undefined become the C1
// controls of the same value, as Windows makes them.
std::u16string Utf16FromWindows1252(std::string_view text);

}  // namespace pelvaro
