#include "sms/Address.h"

#include <algorithm>

#include "sms/Gsm7Text.h"

namespace pelvaro {

namespace {

constexpr unsigned kInternational = 1;
constexpr unsigned kAlphanumeric = 5;
constexpr unsigned kFiller = 0x0F;

// The filler has no digit; writing its place costs less than a branch.
constexpr char16_t kDigits[] = u"0123456789*#abc?";

unsigned TypeOfNumber(std::uint8_t type) {
    return (type >> 4) & 0x07u;
}

}  // namespace

std::size_t ReadAddress(const std::uint8_t* field, std::size_t size, AddressLength length,
                        Address& address) {
    address.type = 0;
    address.text.Clear();
    if (size == 0) return 1;

    const std::size_t count = field[0];
    std::size_t fieldSize;
    std::size_t semiOctets;
    if (length == AddressLength::Octets) {
        if (count == 0) return 1;
        fieldSize = 1 + count;
        semiOctets = (count - 1) * 2;
    } else {
        fieldSize = 2 + (count + 1) / 2;
        semiOctets = count;
    }
    if (size < 2) return fieldSize;
    address.type = field[1];

    const std::uint8_t* value = field + 2;
    const std::size_t valueOctets = std::min(fieldSize - 2, size - 2);
    if (TypeOfNumber(address.type) == kAlphanumeric) {
        const std::size_t characters = semiOctets * 4 / 7;
        address.text.Grow(DecodeGsm7(value, valueOctets, 0, characters, LockingShiftTable(0),
                                     SingleShiftTable(0), address.text.End()));
        // A name of 8n - 1 characters leaves 7 zero bits in its last octet, which encoders that
        // count the octets rather than the semi-octets announce as one more septet: an '@'.
        const std::u16string_view name = address.text.View();
        if (characters > 0 && characters % 8 == 0 && name.size() == characters &&
            name.back() == u'@') {
            address.text.DropLast();
        }
        return fieldSize;
    }

    const bool international = TypeOfNumber(address.type) == kInternational;
    if (international) address.text.Append(u'+');
    const std::size_t shown = std::min(semiOctets, valueOctets * 2);
    char16_t* digits = address.text.End();
    std::size_t written = 0;
    for (std::size_t i = 0; i < shown / 2; ++i) {
        const unsigned low = value[i] & 0x0Fu;
        const unsigned high = value[i] >> 4;
        digits[written] = kDigits[low];
        written += low != kFiller;
        digits[written] = kDigits[high];
        written += high != kFiller;
    }
    if (shown % 2 != 0) {
        const unsigned low = value[shown / 2] & 0x0Fu;
        digits[written] = kDigits[low];
        written += low != kFiller;
    }
    address.text.Grow(written);
    // A '+' with no digits after it is no number.
    if (international && address.text.View().size() == 1) address.text.Clear();
    return fieldSize;
}

}  // namespace pelvaro
