#pragma once

#include <string>
#include <string_view>

namespace pelvaro {

// Windows-1252 text as UTF-8. The five bytes the code page leaves undefined map to
// the C1 controls of the same value, as Windows does.
std::string Windows1252ToUtf8(std::string_view text);

}  // namespace pelvaro
