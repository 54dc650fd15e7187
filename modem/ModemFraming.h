#pragma once
// How text from the modem is read: line by line, whatever ends its lines (CR LF, CR or LF), into
// result lines, echoes and message deliveries. Plain C++, so that the host tools read modem text
// by the same rule as the receiver.

#include <cstddef>
#include <string_view>

#include "sms/Delivery.h"

namespace pelvaro {

enum class FramedKind {
    Delivery,       // "+CMT:" and its PDU line, or a PDU line alone
    StoredMessage,  // a message read from the modem's storage: "+CMGR:" or "+CMGL:" and its PDU
    Line,           // any other line: a result, an echo, an unsolicited report
};

// One thing found in modem text, as views into it.
struct FramedItem {
    FramedKind kind = FramedKind::Line;
    // The header line of a delivery or stored message (empty for a bare PDU line); the line
    // itself for any other line.
    std::string_view header;
    // The PDU line of a delivery or stored message.
    std::string_view pdu;

    Delivery AsDelivery() const { return {header, pdu}; }
};

// Hands out what `text` holds one by one, as views into it, without copying anything. A delivery
// is a PDU-mode "+CMT:" header line (any letter case) followed by a line of hexadecimal digits, or
// such a line alone; a stored message the same with a "+CMGR:" or "+CMGL:" header. Blanks around
// and between the digits are allowed, and blank lines are skipped. Every other line is handed out
// as a line: results (OK, ERROR, RING, other "+" results, numeric codes), the `echo` of the
// command last sent, a header followed by anything but PDU digits, and text-mode headers, whose
// text line goes with them, since it holds no PDU even when it looks like one.
//
// When `ended`, nothing more will follow: the end of the text ends its last line, and a header
// whose PDU line never came is handed out alone, so that it is still acknowledged.
//
// Framing a text in pieces, each piece after the rest of the one before, finds the same
// deliveries as framing it whole.
class ModemFraming {
  public:
    explicit ModemFraming(std::string_view text, std::string_view echo = {}, bool ended = false);

    // The next item; false when there is none left.
    bool Next(FramedItem& item);
    // The next delivery or stored message, passing over other lines.
    bool Next(Delivery& delivery);

    // Once Next has given false: where the text begins that is not framed yet, because a line in
    // it has not ended, or a header's PDU line has not begun; the text's size when there is none.
    std::size_t Rest() const { return rest_; }
    // The text from Rest() on is the start of a delivery, not just of some other line.
    bool DeliveryBegun() const { return deliveryBegun_; }

  private:
    struct Line {
        std::size_t begin = 0;
        std::string_view content;  // without the blanks around it
        bool ended = false;        // a line end follows it, or the text has ended
    };

    bool NextLine(Line& line);

    std::string_view text_;
    std::string_view echo_;
    bool ended_;
    std::size_t at_ = 0;
    Line line_;
    bool haveLine_ = false;
    std::size_t rest_;
    bool deliveryBegun_ = false;
};

}  // namespace pelvaro
