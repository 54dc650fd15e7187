#pragma once
// How text from the modem is read: line by line, whatever ends its lines (CR LF, CR or LF), into
// result lines, echoes and message deliveries. Plain C++, so that the host tools read modem text
// by the same rule as the receiver.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro {

struct FramedText {
    // The whole deliveries, in order, each shaped as ModemTextToOctets takes it: CR LF, the
    // "+CMT:" header, CR LF, the PDU and CR LF; or a bare PDU line and CR LF.
    std::vector<std::string> deliveries;
    // Where the text begins that is not framed yet, because a line in it has not ended, or a
    // header's PDU line has not begun; the text's size when there is none. Its rest goes after it.
    std::size_t rest = 0;
    // The text from `rest` on is the start of a delivery, not just of some other line.
    bool deliveryBegun = false;
};

// Finds the deliveries in `text`. A delivery is a PDU-mode "+CMT:" header line (any letter case)
// followed by a line of hexadecimal digits, or such a line alone. Blanks around and between the
// digits are allowed, and blank lines are skipped. Passed over: result lines (OK, ERROR, RING,
// other "+" results, numeric codes), the `echo` of the command last sent, a header followed by
// anything but PDU digits, and text-mode "+CMT:" deliveries with their text line, which hold no
// PDU even when their text looks like one.
//
// When `ended`, nothing more will follow: the end of the text ends its last line, and a header
// whose PDU line never came is handed out alone, so that it is still acknowledged.
//
// Framing a text in pieces, each piece after the rest of the one before, finds the same
// deliveries as framing it whole.
FramedText FrameModemText(std::string_view text, std::string_view echo = {}, bool ended = false);

}  // namespace pelvaro
