#pragma once

#include <cstdint>

namespace pelvaro {

enum class Coding : std::uint8_t { Gsm7, EightBit, Ucs2 };

enum class MessageWaiting : std::uint8_t { None, Discard, Store };

// What a TP-DCS octet says (TS 23.038 clause 4).
struct DataCoding {
    Coding coding = Coding::Gsm7;
    bool compressed = false;        // TS 23.042 compression, which no receiver here undoes
    std::int8_t messageClass = -1;  // 0 to 3; -1 where the octet gives none
    bool autoDelete = false;        // the group 01xx: delete the message once read
    MessageWaiting waiting = MessageWaiting::None;
    bool waitingActive = false;    // the indication is set rather than cleared
    std::uint8_t waitingKind = 0;  // 0 voicemail, 1 fax, 2 e-mail, 3 other
};

namespace detail {

// The character set bits of the general data coding groups; the fourth value is reserved, and the
// standard has receivers take every reserved coding as the default alphabet.
inline Coding GeneralCoding(std::uint8_t dcs) {
    switch ((dcs >> 2) & 0x03u) {
        case 1:
            return Coding::EightBit;
        case 2:
            return Coding::Ucs2;
        default:
            return Coding::Gsm7;
    }
}

}  // namespace detail

// Inline: it is called for every message, and takes a few instructions.
inline DataCoding ReadDataCoding(std::uint8_t dcs) {
    DataCoding read;
    const unsigned group = dcs >> 4;
    if (group < 0x8) {
        read.coding = detail::GeneralCoding(dcs);
        read.compressed = (dcs & 0x20) != 0;
        read.autoDelete = (dcs & 0x40) != 0;
        if ((dcs & 0x10) != 0) read.messageClass = static_cast<std::int8_t>(dcs & 0x03);
    } else if (group >= 0xC && group <= 0xE) {
        read.coding = group == 0xE ? Coding::Ucs2 : Coding::Gsm7;
        read.waiting = group == 0xC ? MessageWaiting::Discard : MessageWaiting::Store;
        read.waitingActive = (dcs & 0x08) != 0;
        read.waitingKind = dcs & 0x03;
    } else if (group == 0xF) {
        read.coding = (dcs & 0x04) != 0 ? Coding::EightBit : Coding::Gsm7;
        read.messageClass = static_cast<std::int8_t>(dcs & 0x03);
    }
    // 1000 to 1011: reserved groups, read as the default alphabet.
    return read;
}

}  // namespace pelvaro
