#include "sms/PduDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "sms/GsmAlphabet.h"
#include "sms/SummaryLabels.h"

namespace pelvaro {

namespace {

// 398 digits and a NUL: more than any TP address, and a service-centre field up to
// 200 octets long, which is all the area holds.
constexpr std::size_t kDigitScratch = 400;
// TP-UDL is one octet: at most 255 septets and a NUL.
constexpr std::size_t kTextScratch = 256;

constexpr std::uint8_t kTypeMask = 0x03;
constexpr std::uint8_t kSubmit = 0x01;
constexpr std::uint8_t kValidityFormatMask = 0x18;
constexpr std::uint8_t kValidityRelative = 0x10;
constexpr std::size_t kTimestampOctets = 7;

// Digit values by character, -1 for every character that is not a digit: one
// lookup per character keeps the conversion of a whole message short.
constexpr std::array<std::int8_t, 256> kHexDigitValues = [] {
    std::array<std::int8_t, 256> values{};
    for (auto& value : values) {
        value = -1;
    }
    for (int i = 0; i < 10; ++i) {
        values['0' + i] = static_cast<std::int8_t>(i);
    }
    for (int i = 0; i < 6; ++i) {
        values['A' + i] = values['a' + i] = static_cast<std::int8_t>(10 + i);
    }
    return values;
}();

int HexDigitValue(char c) {
    return kHexDigitValues[static_cast<unsigned char>(c)];
}

// Converts the eight hexadecimal digits at `text` into four octets at once, in the bytes of one
// 64-bit word (where the machine stores words low byte first); false, with nothing stored, when
// one of them is no digit.
bool FourOctets(const char* text, std::uint8_t* octets) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHigh = 0x8080808080808080u;
    std::uint64_t x;
    std::memcpy(&x, text, sizeof x);
    if ((x & kHigh) != 0) return false;
    // A byte below 0x80 plus 0x80 - n has its top bit set when it is n or more.
    const auto atLeast = [](std::uint64_t bytes, unsigned n) { return bytes + (0x80 - n) * kOnes; };
    const std::uint64_t digit = atLeast(x, '0') & ~atLeast(x, '9' + 1) & kHigh;
    const std::uint64_t lower = x | 0x20 * kOnes;  // 'A' to 'F' as 'a' to 'f'
    const std::uint64_t letter = atLeast(lower, 'a') & ~atLeast(lower, 'f' + 1) & kHigh;
    if ((digit | letter) != kHigh) return false;

    const std::uint64_t values = (x & 0x0F * kOnes) + (letter >> 7) * 9;
    constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FFu;
    std::uint64_t pairs = ((values & kEvenBytes) << 4 | values >> 8) & kEvenBytes;
    pairs = (pairs | pairs >> 8) & 0x0000FFFF0000FFFFu;
    const auto four = static_cast<std::uint32_t>(pairs | pairs >> 16);
    std::memcpy(octets, &four, sizeof four);
    return true;
#else
    (void)text;
    (void)octets;
    return false;
#endif
}

// A fixed set rather than std::isspace, whose answer depends on the C locale.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Octets of an address field: the length octet, then in mode 0 the octets it
// counts, in mode 1 the type of address and the octets of the digits it counts.
// For a length octet of 1 the walk steps over the whole field too, so that the
// next field is read from its own position although no digits are shown.
std::size_t FieldSize(OctetView field, AddressMode mode) {
    const std::size_t length = field[0];
    return mode == AddressMode::ServiceCentre ? 1 + length : 2 + (length + 1) / 2;
}

// TP-VP of an SMS-SUBMIT: none, one octet in the relative format, seven in the
// enhanced and absolute formats.
std::size_t ValidityPeriodSize(std::uint8_t firstOctet) {
    switch (firstOctet & kValidityFormatMask) {
        case 0:
            return 0;
        case kValidityRelative:
            return 1;
        default:
            return 7;
    }
}

char NibbleCharacter(unsigned nibble) {
    return static_cast<char>('0' + nibble);
}

}  // namespace

int PduDecoder::HexPairValue(const char* pair) {
    const int high = HexDigitValue(pair[0]);
    const int low = HexDigitValue(pair[1]);
    if (high < 0 || low < 0) {
        return -1;
    }
    return high * 16 + low;
}

std::size_t PduDecoder::HexToOctets(const char* text, std::uint8_t* octets, std::size_t capacity) {
    return HexToOctets(std::string_view(text), octets, capacity);
}

std::size_t PduDecoder::HexToOctets(std::string_view text, std::uint8_t* octets,
                                    std::size_t capacity) {
    // The end of the view counts as the NUL that ends the text; a NUL before it is neither a digit
    // nor a blank, so that it ends the conversion as well.
    const char* at = text.data();
    const char* const end = at + text.size();
    std::size_t stored = 0;
    while (stored < capacity) {
        // Pairs without blanks between them, as modems send them, take the short way.
        for (; capacity - stored >= 4 && end - at >= 8 && FourOctets(at, octets + stored);
             at += 8) {
            stored += 4;
        }
        for (; stored < capacity && end - at >= 2; at += 2) {
            const int high = HexDigitValue(at[0]);
            const int low = HexDigitValue(at[1]);
            if ((high | low) < 0) {
                break;
            }
            octets[stored++] = static_cast<std::uint8_t>(high << 4 | low);
        }
        if (stored == capacity) {
            break;
        }
        while (at != end && IsSpace(*at)) {
            ++at;
        }
        if (end - at < 2) {
            break;
        }
        const int value = HexPairValue(at);
        if (value < 0) {
            break;
        }
        octets[stored++] = static_cast<std::uint8_t>(value);
        at += 2;
    }
    return stored;
}

std::size_t PduDecoder::DecodeAddress(OctetView field, char* digits, std::size_t capacity,
                                      AddressMode mode) {
    const std::uint8_t length = field[0];
    if (capacity > 0) {
        digits[0] = '\0';
    }
    if (length < 2) {
        return 1;
    }
    const std::size_t digitOctets = FieldSize(field, mode) - 2;
    std::size_t written = 0;
    // Two characters per octet and room for the NUL.
    for (std::size_t i = 0; i < digitOctets && written + 2 < capacity; ++i) {
        const std::uint8_t octet = field[2 + i];
        digits[written++] = NibbleCharacter(octet & 0x0Fu);
        const unsigned high = octet >> 4;
        if (high == 0x0F && i + 1 == digitOctets) {
            break;
        }
        digits[written++] = NibbleCharacter(high);
    }
    if (capacity > 0) {
        digits[written] = '\0';
    }
    return FieldSize(field, mode);
}

std::size_t PduDecoder::UnpackSeptets(OctetView udl, char* septets, std::size_t capacity) {
    if (capacity == 0) {
        return 0;
    }
    std::size_t count = udl[0];
    if (count > capacity - 1) {
        count = capacity - 1;
    }
    // The user data is a little-endian bit string: septet i is bits 7i to 7i + 6. Eight of them
    // fill seven octets, and are taken from one word while the view holds it.
    std::size_t i = 0;
    for (; i + 8 <= count && 1 + i / 8 * 7 + 8 <= udl.Size(); i += 8) {
        const std::uint64_t word = LittleEndianWord(udl.Data() + 1 + i / 8 * 7);
        for (unsigned k = 0; k < 8; ++k) {
            septets[i + k] = static_cast<char>(word >> (7 * k) & 0x7Fu);
        }
    }
    unsigned bits = 0;
    unsigned bitCount = 0;
    std::size_t next = 1 + i / 8 * 7;
    for (; i < count; ++i) {
        if (bitCount < 7) {
            bits |= static_cast<unsigned>(udl[next++]) << bitCount;
            bitCount += 8;
        }
        septets[i] = static_cast<char>(bits & 0x7Fu);
        bits >>= 7;
        bitCount -= 7;
    }
    septets[count] = '\0';
    return count;
}

bool PduDecoder::BuildSummary(const PduArea& area, std::string& summary) {
    SummaryBuffer written;
    summary.assign(written.data(), WriteSummary(area, written));
    return true;
}

std::size_t PduDecoder::WriteSummary(const PduArea& area, SummaryBuffer& summary) {
    const OctetView octets(area.data(), area.size());
    char centre[kDigitScratch];
    char party[kDigitScratch];
    char text[kTextScratch];

    const bool hasCentre =
        DecodeAddress(octets, centre, sizeof centre, AddressMode::ServiceCentre) > 1;
    std::size_t position = FieldSize(octets, AddressMode::ServiceCentre);

    const std::uint8_t firstOctet = octets[position++];
    const bool submit = (firstOctet & kTypeMask) == kSubmit;
    if (submit) {
        ++position;  // TP-MR
    }

    const OctetView partyField = octets.From(position);
    const bool hasParty =
        DecodeAddress(partyField, party, sizeof party, AddressMode::TpAddress) > 1;
    position += FieldSize(partyField, AddressMode::TpAddress);

    position += 2;  // TP-PID, TP-DCS
    position += submit ? ValidityPeriodSize(firstOctet) : kTimestampOctets;

    const std::size_t septets = UnpackSeptets(octets.From(position), text, sizeof text);
    const std::size_t textLength = septets > 0 ? TranslateGsmText(text, septets) : 0;

    std::size_t length = 0;
    // Character by character: the pieces are short, and a block copy starts slowly.
    const auto append = [&](std::string_view piece) {
        for (const char c : piece) summary[length++] = c;
    };
    if (hasCentre) {
        append(kCentreLabel);
        append(centre);
    }
    if (hasParty) {
        append(submit ? kReceiverLabel : kSenderLabel);
        append(party);
    }
    if (septets > 0) {
        append(kTextLabel);
        append(std::string_view(text, textLength));
    }
    return length;
}

}  // namespace pelvaro
