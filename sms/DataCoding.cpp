#include "sms/DataCoding.h"

namespace pelvaro {

namespace {

// The character set bits of the general data coding groups; the fourth value is reserved, and the
// standard has receivers take every reserved coding as the default alphabet.
Coding GeneralCoding(std::uint8_t dcs) {
    switch ((dcs >> 2) & 0x03u) {
        case 1:
            return Coding::EightBit;
        case 2:
            return Coding::Ucs2;
        default:
            return Coding::Gsm7;
    }
}

}  // namespace

DataCoding ReadDataCoding(std::uint8_t dcs) {
    DataCoding read;
    const unsigned group = dcs >> 4;
    if (group < 0x8) {
        read.coding = GeneralCoding(dcs);
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
