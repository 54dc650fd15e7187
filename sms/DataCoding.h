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

DataCoding ReadDataCoding(std::uint8_t dcs);

}  // namespace pelvaro
