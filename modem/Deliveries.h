#pragma once

#include <string>
#include <vector>

namespace pelvaro {

// Message delivery text that reached the channel while a command waited for
// its reply: a "+CMT:" header line with the hexadecimal PDU line after it, or
// a bare hexadecimal line, each with its line ends.
struct Delivery {
    std::string text;
    bool complete = true;  // false when the text stops before the end of its PDU line
};

// The deliveries in `received`, in order. Lines equal to `echo` (the command
// line as written, up to its first line end) are the command's own, as are the
// result lines; both are left out. A delivery cut off at the end of `received`
// is returned incomplete so that its remainder can be joined to it.
std::vector<Delivery> FindDeliveries(const std::string& received, const std::string& echo);

}  // namespace pelvaro
