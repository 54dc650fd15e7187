#pragma once

#include <string>
#include <string_view>

namespace pelvaro {

// One delivery as the framing rule finds it in what the modem sends: its "+CMT:" header line,
// empty for a bare PDU line, and its PDU line, empty when the header's PDU line never came. Both
// are trimmed of blanks and line ends.
struct Delivery {
    std::string_view header;
    std::string_view pdu;
};

// A delivery that outlives the text it was found in.
struct KeptDelivery {
    std::string header;
    std::string pdu;

    KeptDelivery() = default;
    explicit KeptDelivery(const Delivery& found) : header(found.header), pdu(found.pdu) {}
    Delivery View() const { return {header, pdu}; }
};

}  // namespace pelvaro
