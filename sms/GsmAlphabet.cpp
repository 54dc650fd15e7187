#include "sms/GsmAlphabet.h"

#include <algorithm>
#include <cstdint>

namespace pelvaro {

const std::array<unsigned char, 128> GsmDefaultAlphabet = {
    0x40, 0xA3, 0x24, 0xA5, 0xE8, 0xE9, 0xF9, 0xEC,  // 0x00 @ £ $ ¥ è é ù ì
    0xF2, 0xC7, 0x0A, 0xD8, 0xF8, 0x0D, 0xC5, 0xE5,  // 0x08 ò Ç LF Ø ø CR Å å
    0x3F, 0x5F, 0x46, 0x47, 0x3F, 0x4F, 0x3F, 0x3F,  // 0x10 Δ _ Φ Γ Λ Ω Π Ψ
    0x53, 0x54, 0x3F, 0x1B, 0xC6, 0xE6, 0xDF, 0xC9,  // 0x18 Σ Θ Ξ ESC Æ æ ß É
    0x20, 0x21, 0x22, 0x23, 0xA4, 0x25, 0x26, 0x27,  // 0x20 space ! " # ¤ % & '
    0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,  // 0x28
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37,  // 0x30
    0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,  // 0x38
    0xA1, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47,  // 0x40 ¡ A-G
    0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,  // 0x48
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57,  // 0x50
    0x58, 0x59, 0x5A, 0xC4, 0xD6, 0xD1, 0xDC, 0xA7,  // 0x58 X Y Z Ä Ö Ñ Ü §
    0xBF, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67,  // 0x60 ¿ a-g
    0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,  // 0x68
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77,  // 0x70
    0x78, 0x79, 0x7A, 0xE4, 0xF6, 0xF1, 0xFC, 0xE0,  // 0x78 x y z ä ö ñ ü à
};

const std::array<unsigned char, 10> GsmExtensionCodes = {
    0x0A, 0x14, 0x28, 0x29, 0x2F, 0x3C, 0x3D, 0x3E, 0x40, 0x65,
};

const std::array<unsigned char, 10> GsmExtensionChars = {
    0x0C, 0x5E, 0x7B, 0x7D, 0x5C, 0x5B, 0x7E, 0x5D, 0x7C, 0x80,  // FF ^ { } \ [ ~ ] | €
};

namespace {

constexpr unsigned char kEscape = 0x1B;

char DefaultCharacter(std::uint8_t septet) {
    return static_cast<char>(septet < GsmDefaultAlphabet.size() ? GsmDefaultAlphabet[septet] : '?');
}

char FindExtendedCharacter(std::uint8_t septet) {
    const auto found = std::find(GsmExtensionCodes.begin(), GsmExtensionCodes.end(), septet);
    if (found != GsmExtensionCodes.end()) {
        return static_cast<char>(GsmExtensionChars[found - GsmExtensionCodes.begin()]);
    }
    // The second escape is reserved for a further table; a receiver shows a space.
    if (septet == kEscape) {
        return ' ';
    }
    // An unknown extension code stands for its default character, so no text is lost.
    return DefaultCharacter(septet);
}

// The character after an escape for every septet, found once rather than for each escape.
const std::array<char, 128> kExtendedCharacters = [] {
    std::array<char, 128> characters{};
    for (std::uint8_t septet = 0; septet < characters.size(); ++septet) {
        characters[septet] = FindExtendedCharacter(septet);
    }
    return characters;
}();

char ExtendedCharacter(std::uint8_t septet) {
    return septet < kExtendedCharacters.size() ? kExtendedCharacters[septet] : '?';
}

}  // namespace

std::size_t TranslateGsmText(char* text, std::size_t count) {
    // Each character consumes one or two septets, so writing never overtakes reading.
    std::size_t write = 0;
    std::size_t read = 0;
    while (read < count) {
        const char character = DefaultCharacter(static_cast<std::uint8_t>(text[read++]));
        if (character != static_cast<char>(kEscape)) {
            text[write++] = character;
        } else if (read < count) {
            text[write++] = ExtendedCharacter(static_cast<std::uint8_t>(text[read++]));
        }
    }
    text[write] = '\0';
    return write;
}

}  // namespace pelvaro
