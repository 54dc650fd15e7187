#pragma once

#include <cstddef>

#include "sms/PduFields.h"

namespace pelvaro {

// The longest text one PDU gives: 255 octets of 8-bit data, two hexadecimal digits each.
constexpr std::size_t kLongestMessageText = 510;

// Whether the summary of this PDU has a text line: when it has a TP-UDL of 1 or more, as in the
// default reading, and for a status report, whose line says what became of the message.
bool HasTextLine(const PduFields& fields);

// Writes the text of the PDU as UTF-16 to `text`, which holds kLongestMessageText characters, and
// returns its length. GSM 7-bit is read through the tables the header names, after the header and
// its fill bits; UCS2 is taken as UTF-16 big-endian as it is, surrogate pairs and all (an odd last
// octet is dropped); 8-bit and compressed data are shown as hexadecimal octets. A status report
// without user data says "Delivered", "Pending" or "Failed", by its TP-ST (TS 23.040 9.2.3.15).
std::size_t WriteMessageText(const PduFields& fields, char16_t* text);

}  // namespace pelvaro
