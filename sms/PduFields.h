#pragma once
// One PDU read field by field, without allocating: what the summary shows, and what tells one
// message from another.

#include <array>
#include <cstddef>
#include <cstdint>

#include "sms/Address.h"
#include "sms/DataCoding.h"
#include "sms/Timestamp.h"
#include "sms/UserDataHeader.h"

namespace pelvaro {

// By TP-MTI. The reserved value 11 is read as SMS-DELIVER, as TS 23.040 9.2.3.1 has receivers do.
enum class MessageType : std::uint8_t { Deliver, Submit, StatusReport };

// TP-UD as far as the octets go.
struct UserData {
    const std::uint8_t* octets = nullptr;  // from its first octet on, into the caller's octets
    std::size_t size = 0;                  // how many of them are there
    std::uint8_t length = 0;               // TP-UDL: septets in GSM 7-bit, else octets; header too
    bool present = false;                  // the message has a TP-UDL
    std::size_t headerOctets = 0;          // the header with its length octet; 0 without TP-UDHI
};

// Every field but the addresses, which are large and cleared on their own.
struct PduValues {
    MessageType type = MessageType::Deliver;
    std::uint8_t firstOctet = 0;
    std::uint8_t messageReference = 0;  // TP-MR of a SUBMIT or a STATUS-REPORT
    std::uint8_t protocolId = 0;
    std::uint8_t dataCodingScheme = 0;
    DataCoding coding;
    Timestamp timestamp{};                         // TP-SCTS of a DELIVER or a STATUS-REPORT
    Timestamp dischargeTime{};                     // TP-DT of a STATUS-REPORT
    bool hasTimestamp = false;                     // the octets reached it: a SUBMIT has none
    bool hasDischargeTime = false;                 // the octets reached it
    std::uint8_t status = 0;                       // TP-ST of a STATUS-REPORT
    std::array<std::uint8_t, 7> validityPeriod{};  // TP-VP of a SUBMIT, in its first octets
    std::uint8_t validityOctets = 0;               // 0, 1 (relative) or 7
    UserDataHeader header;
    UserData userData;
    bool complete = false;  // every field the message announces is there
};

struct PduFields : PduValues {
    Address centre;
    Address party;  // TP-OA of a DELIVER, TP-DA of a SUBMIT, TP-RA of a STATUS-REPORT
};

// Reads the PDU in the `size` octets at `octets`: the service-centre address, then the TPDU.
// Reads nothing past them; fields they do not reach keep their defaults. The user data stays in
// the caller's octets. Returns `fields.complete`.
bool ReadPduFields(const std::uint8_t* octets, std::size_t size, PduFields& fields);

}  // namespace pelvaro
