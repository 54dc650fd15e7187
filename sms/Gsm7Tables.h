#pragma once
// The GSM 7-bit alphabets of TS 23.038 as UTF-16, each indexed by septet.

#include <array>
#include <cstdint>
#include <iterator>

namespace pelvaro {

using SeptetTable = std::array<char16_t, 128>;

// The septet that switches to the single shift table for the next septet.
constexpr std::uint8_t kGsmEscape = 0x1B;

// The table a message's septets are read with: the default alphabet for language 0, else the
// national language locking shift table of that identifier. An identifier without one (Spanish,
// or one the standard reserves) gives the default alphabet, as the standard has receivers do.
const SeptetTable& LockingShiftTable(std::uint8_t language);

// The table for the septet after an escape: the default extension table for language 0, else the
// national language single shift table; a reserved identifier gives the default extension table.
const SeptetTable& SingleShiftTable(std::uint8_t language);

}  // namespace pelvaro
