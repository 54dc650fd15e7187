#pragma once

#include <cstddef>
#include <cstdint>

namespace pelvaro {

// The concatenation element (TS 23.040 9.2.3.24.1 and .8): which part of which long message.
struct Concatenation {
    std::uint16_t reference = 0;
    bool wideReference = false;  // the 16-bit element
    std::uint8_t count = 0;      // 0: not a part of a long message
    std::uint8_t sequence = 0;   // 1 to count
};

// What the user data header says about the text; every other element is skipped by its length.
struct UserDataHeader {
    Concatenation concatenation;
    std::uint8_t lockingShift = 0;  // national language identifiers (TS 23.040 9.2.3.24.15 and .16)
    std::uint8_t singleShift = 0;
};

// Reads the information elements of a header, the octets after its length octet. An element cut
// off by the end is not read; a concatenation element whose part number is 0 or beyond the count
// is ignored, as the standard has receivers do, and of repeated elements the last one counts.
UserDataHeader ReadUserDataHeader(const std::uint8_t* elements, std::size_t size);

}  // namespace pelvaro
