#pragma once

#include <string>
#include <string_view>

namespace pelvaro {

// `utf8` as a quoted JSON string. Control characters are escaped (CR and LF as
// \r and \n); everything else is kept as UTF-8.
std::string JsonString(std::string_view utf8);

}  // namespace pelvaro
