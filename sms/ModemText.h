#pragma once

#include <cstddef>
#include <string>

#include "sms/PduDecoder.h"

namespace pelvaro {

// Converts text read from the modem into PDU octets, as the receiver does.
//
// `area` is zero-filled first. Text that starts (after white space) with a
// hexadecimal PDU converts directly. Otherwise, if the text holds a "+CM" result
// header in any letter case, the conversion is repeated from the carriage return
// that ends the header line, so that the PDU on the next line is read. The text is
// read up to its first NUL. Returns the number of octets converted, at most
// kPduAreaSize; 0 means the text held no PDU.
//
// The resulting area is what PduDecoder::BuildSummary reads.
std::size_t ModemTextToOctets(const std::string& text, PduArea& area);

}  // namespace pelvaro
