#pragma once

#include <cstddef>
#include <cstdint>

#include "sms/Gsm7Tables.h"

namespace pelvaro {

// Shown for a code that the table in use leaves undefined.
constexpr char16_t kUndefinedCharacter = u'\uFFFD';

// Decodes `count` septets of packed GSM 7-bit text (TS 23.038 6.1.2.1: septet i is bits 7i to
// 7i + 6 of the octets read as one little-endian bit string), beginning with septet `first`, into
// UTF-16 at `text`, which must hold `count` characters. Septets are read through `locking`; the one
// after an escape through `singleShift`, or `locking` where that has no character, as the standard
// has receivers do. An escape as the last septet gives nothing. Only septets that lie wholly within
// the `size` octets are read. Returns the number of characters written.
std::size_t DecodeGsm7(const std::uint8_t* octets, std::size_t size, std::size_t first,
                       std::size_t count, const SeptetTable& locking,
                       const SeptetTable& singleShift, char16_t* text);

}  // namespace pelvaro
