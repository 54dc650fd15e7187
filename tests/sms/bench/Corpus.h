#pragma once

#include <string>
#include <vector>

namespace pelvaro::bench {

// A delivery as the modem sends it, and the hexadecimal PDU inside it.
struct Delivery {
    std::string modemText;
    std::string pdu;
};

// Typical deliveries of one kind: "short", "160" (160 plain characters) or
// "escapes" (160 septets, half of them in escape pairs).
std::vector<Delivery> Corpus(const std::string& kind);

// The three parts of a long message, 153 characters each.
std::vector<Delivery> LongMessageParts();

}  // namespace pelvaro::bench
