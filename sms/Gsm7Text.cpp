#include "sms/Gsm7Text.h"

#include <array>

#include "sms/OctetView.h"

namespace pelvaro {

namespace {

// What a septet stands for, after an escape or not, as the standard has receivers read it: the
// single shift table's character, else the locking shift table's, else the undefined mark.
char16_t Character(const SeptetTable& locking, const SeptetTable& singleShift, bool afterEscape,
                   unsigned septet) {
    const char16_t shifted = singleShift[septet];
    const char16_t character = afterEscape && shifted != 0 ? shifted : locking[septet];
    return character != 0 ? character : kUndefinedCharacter;
}

// For the default alphabet, nearly every message's, the same looked up once: index 128 + septet
// after an escape, septet otherwise.
using PairTable = std::array<char16_t, 256>;
const PairTable kDefaultPair = [] {
    PairTable characters{};
    for (unsigned septet = 0; septet < 128; ++septet) {
        characters[septet] = Character(LockingShiftTable(0), SingleShiftTable(0), false, septet);
        characters[128 + septet] =
            Character(LockingShiftTable(0), SingleShiftTable(0), true, septet);
    }
    return characters;
}();

// For each set of escapes in a block of eight (bit k: septet k), where septet k's character goes:
// k less the escapes before it; at 8, the characters the block gives.
const std::array<std::array<std::uint8_t, 9>, 256> kPlaces = [] {
    std::array<std::array<std::uint8_t, 9>, 256> places{};
    for (unsigned escapes = 0; escapes < 256; ++escapes) {
        unsigned place = 0;
        for (unsigned k = 0; k < 8; ++k) {
            places[escapes][k] = static_cast<std::uint8_t>(place);
            place += (escapes >> k & 1u) ^ 1u;
        }
        places[escapes][8] = static_cast<std::uint8_t>(place);
    }
    return places;
}();

template <typename Lookup>
std::size_t Decode(const std::uint8_t* octets, std::size_t size, std::size_t first,
                   std::size_t count, Lookup character, char16_t* text) {
    std::size_t written = 0;
    bool escaped = false;
    // Without branches on the text: escapes come unpredictably, and a mispredicted branch costs
    // more than a character. An escape is written and then overwritten by what follows it.
    const auto emit = [&](unsigned septet) {
        const bool escape = !escaped && septet == kGsmEscape;
        text[written] = character(escaped, septet);
        written += !escape;
        escaped = escape;
    };

    std::size_t septet = first;
    const std::size_t end = first + count;
    // Eight septets at a time out of the eight octets that hold them, while there are eight.
    for (std::size_t at = septet * 7 / 8; septet + 8 <= end && at + 8 <= size;
         at = septet * 7 / 8) {
        std::uint64_t window = LittleEndianWord(octets + at) >> (septet * 7 % 8);
        unsigned block[8];
        unsigned escapes = 0;  // bit k: septet k is an escape
        for (unsigned k = 0; k < 8; ++k, window >>= 7) {
            block[k] = static_cast<unsigned>(window & 0x7Fu);
            escapes |= static_cast<unsigned>(block[k] == kGsmEscape) << k;
        }
        const unsigned follows = (escapes << 1 | static_cast<unsigned>(escaped)) & 0xFFu;
        if (follows == 0 && escapes == 0) {
            for (const unsigned value : block) text[written++] = character(false, value);
        } else if ((escapes & follows) == 0) {
            // Escapes apart, as text has them: which septet follows one is known beforehand.
            // Each character's place is known from the escapes before it, so that no store
            // waits for the one before; an escape's place is taken by what follows it.
            const std::array<std::uint8_t, 9>& places = kPlaces[escapes];
            for (unsigned k = 0; k < 8; ++k) {
                text[written + places[k]] = character((follows >> k & 1u) != 0, block[k]);
            }
            written += places[8];
            escaped = (escapes >> 7) != 0;
        } else {
            for (const unsigned value : block) emit(value);
        }
        septet += 8;
    }
    for (; septet < end; ++septet) {
        const std::size_t bit = septet * 7;
        const std::size_t at = bit >> 3;
        const unsigned shift = bit & 7u;
        unsigned value = static_cast<unsigned>(octets[at]) >> shift;
        // A septet that starts past bit 1 of an octet ends in the next one, which it lies within.
        if (shift > 1) value |= static_cast<unsigned>(octets[at + 1]) << (8 - shift);
        emit(value & 0x7Fu);
    }
    return written;
}

}  // namespace

std::size_t DecodeGsm7(const std::uint8_t* octets, std::size_t size, std::size_t first,
                       std::size_t count, const SeptetTable& locking,
                       const SeptetTable& singleShift, char16_t* text) {
    const std::size_t held = size * 8 / 7;
    if (first >= held) return 0;
    if (count > held - first) count = held - first;
    if (&locking == &LockingShiftTable(0) && &singleShift == &SingleShiftTable(0)) {
        return Decode(
            octets, size, first, count,
            [](bool afterEscape, unsigned septet) {
                return kDefaultPair[(afterEscape ? 128u : 0u) + septet];
            },
            text);
    }
    return Decode(
        octets, size, first, count,
        [&](bool afterEscape, unsigned septet) {
            return Character(locking, singleShift, afterEscape, septet);
        },
        text);
}

}  // namespace pelvaro
