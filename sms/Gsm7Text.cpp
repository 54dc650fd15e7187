#include "sms/Gsm7Text.h"

namespace pelvaro {

std::size_t DecodeGsm7(const std::uint8_t* octets, std::size_t size, std::size_t first,
                       std::size_t count, const SeptetTable& locking,
                       const SeptetTable& singleShift, char16_t* text) {
    const std::size_t held = size * 8 / 7;
    if (first >= held) return 0;
    if (count > held - first) count = held - first;

    std::size_t written = 0;
    bool escaped = false;
    std::size_t bit = first * 7;
    for (std::size_t i = 0; i < count; ++i, bit += 7) {
        const std::size_t at = bit >> 3;
        const unsigned shift = bit & 7u;
        unsigned value = static_cast<unsigned>(octets[at]) >> shift;
        // A septet that starts past bit 1 of an octet ends in the next one, which it lies within.
        if (shift > 1) value |= static_cast<unsigned>(octets[at + 1]) << (8 - shift);
        const unsigned septet = value & 0x7Fu;

        char16_t character;
        if (escaped) {
            escaped = false;
            character = singleShift[septet] != 0 ? singleShift[septet] : locking[septet];
        } else if (septet == kGsmEscape) {
            escaped = true;
            continue;
        } else {
            character = locking[septet];
        }
        text[written++] = character != 0 ? character : kUndefinedCharacter;
    }
    return written;
}

}  // namespace pelvaro
