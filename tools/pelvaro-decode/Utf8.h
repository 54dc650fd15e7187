#pragma once

#include <string>
#include <string_view>

namespace pelvaro {

// UTF-16 as UTF-8. A surrogate without its partner becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

}  // namespace pelvaro
