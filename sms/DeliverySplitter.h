#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace pelvaro {

// One delivery in modem text: a "+CMT:" header line (any letter case) with the PDU line after
// it, or a bare hexadecimal PDU line. Hexadecimal lines may be spaced out with blanks.
struct Delivery {
    // From the start of its first line to the end of its last one, line end left out; to the end
    // of the text when it is cut off. Each such piece converts on its own with ModemTextToOctets.
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string_view header;  // without the blanks around it; empty for a bare PDU line
    std::string_view pdu;     // without the blanks around it; empty while it has not begun
    bool cutOff = false;      // the text stops before its last line has ended
};

// The deliveries in `text`, in order. Result codes, echoes and a header followed by anything but
// PDU text are left out. Only the last delivery can be cut off; the rest of it is still on its way.
std::vector<Delivery> SplitDeliveries(std::string_view text);

}  // namespace pelvaro
