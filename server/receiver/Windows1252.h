#pragma once
// The decoder's text and every literal of the system are Windows-1252, whatever code page the
// machine runs under, so they are widened from that code page and never from the ANSI one.

#include <string_view>

#include "win/Bstr.h"

namespace pelvaro {

// Throws std::bad_alloc when the string cannot be made.
Bstr BstrFromWindows1252(std::string_view text);

}  // namespace pelvaro
