#pragma once

#include <array>
#include <cstddef>

namespace pelvaro {

// GSM 03.38 default alphabet, indexed by septet, as Windows-1252 characters.
// Greek capitals that Windows-1252 lacks become a Latin look-alike or '?'.
// Entry 0x1B is the escape marker itself, not a character; no entry is 0.
extern const std::array<unsigned char, 128> GsmDefaultAlphabet;

// The extension table reached through the escape: the septet after 0x1B is looked
// up in GsmExtensionCodes, and GsmExtensionChars holds the character at the same
// position. The ten codes are distinct.
extern const std::array<unsigned char, 10> GsmExtensionCodes;
extern const std::array<unsigned char, 10> GsmExtensionChars;

// Translates `count` septets (values 0 to 127) at the start of `text` into
// Windows-1252 text, in place, and ends it with a NUL. `text` must hold
// count + 1 bytes. Returns the length of the translated text, which holds no NUL.
//
// Escapes follow the GSM 03.38 receiver rule: an escape followed by an extension
// code gives the extension character; followed by the reserved second escape, a
// space; followed by any other septet, that septet's default character. An escape
// that is the last septet gives nothing. A byte of 128 or more is not a septet and
// gives '?'.
std::size_t TranslateGsmText(char* text, std::size_t count);

}  // namespace pelvaro
