#include "sms/Gsm7Text.h"

#include "sms/OctetView.h"

namespace pelvaro {

std::size_t DecodeGsm7(const std::uint8_t* octets, std::size_t size, std::size_t first,
                       std::size_t count, const SeptetTable& locking,
                       const SeptetTable& singleShift, char16_t* text) {
    const std::size_t held = size * 8 / 7;
    if (first >= held) return 0;
    if (count > held - first) count = held - first;

    std::size_t written = 0;
    bool escaped = false;
    // Without branches on the text: escapes come unpredictably, and a mispredicted branch costs
    // more than a character. An escape is written and then overwritten by what follows it.
    const auto emit = [&](unsigned septet) {
        const char16_t shifted = singleShift[septet];
        char16_t character = escaped && shifted != 0 ? shifted : locking[septet];
        character = character != 0 ? character : kUndefinedCharacter;
        const bool escape = !escaped && septet == kGsmEscape;
        text[written] = character;
        written += !escape;
        escaped = escape;
    };

    std::size_t septet = first;
    const std::size_t end = first + count;
    // Eight septets at a time out of the eight octets that hold them, while there are eight; a
    // block without escapes goes straight through the table.
    for (std::size_t at = septet * 7 / 8; septet + 8 <= end && at + 8 <= size;
         at = septet * 7 / 8) {
        std::uint64_t window = LittleEndianWord(octets + at) >> (septet * 7 % 8);
        unsigned block[8];
        bool escapes = escaped;
        for (unsigned& value : block) {
            value = static_cast<unsigned>(window & 0x7Fu);
            escapes |= value == kGsmEscape;
            window >>= 7;
        }
        if (escapes) {
            for (const unsigned value : block) emit(value);
        } else {
            for (const unsigned value : block) {
                const char16_t character = locking[value];
                text[written++] = character != 0 ? character : kUndefinedCharacter;
            }
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

}  // namespace pelvaro
