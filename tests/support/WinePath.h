#pragma once
// Where a program under Wine finds a file of this machine.

#include <algorithm>
#include <string>

namespace pelvaro::test {

// Wine shows the Linux root as drive Z:.
inline std::string WinePath(std::string unixPath) {
    std::replace(unixPath.begin(), unixPath.end(), '/', '\\');
    return "Z:" + unixPath;
}

}  // namespace pelvaro::test
