#pragma once

#include <istream>
#include <string>
#include <vector>

namespace pelvaro {

// Splits captured modem output into inputs, one per non-blank line. A line that
// holds "+CM" in any case is a result header: it is joined by CR LF with the line
// after it, as the modem sends a delivery. Line ends may be LF or CR LF.
std::vector<std::string> ReadInputs(std::istream& in);

}  // namespace pelvaro
