#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro {

// What one or more reads from the modem hold, cut into the deliveries in it.
struct DeliverySplit {
    // One text per delivery, in the order received; each converts on its own with
    // ModemTextToOctets. A "+CMT:" header line with the PDU line after it, or a
    // bare hexadecimal line.
    std::vector<std::string> deliveries;
    // The text from the last "+CMT:" header on, when the PDU line after it has not
    // arrived in full yet (or the header itself is cut off). It belongs in front of
    // the next read.
    std::string held;
};

// Finds the deliveries in `text`. Lines that are neither a delivery nor part of one
// (result codes, echoes) are left out. A delivery whose header starts before
// `holdFrom` has already waited once: it is not held again but given out as it
// is. When both lists come back empty the text holds no delivery at all.
DeliverySplit SplitDeliveries(std::string_view text, std::size_t holdFrom = 0);

}  // namespace pelvaro
