#include "sms/PduFields.h"

#include <algorithm>

namespace pelvaro {

namespace {

constexpr std::uint8_t kUserDataHeaderIndicator = 0x40;

// Takes fields one after another out of the octets and notes when one is not all there.
class Cursor {
  public:
    Cursor(const std::uint8_t* octets, std::size_t size) : octets_(octets), size_(size) {}

    bool Octet(std::uint8_t& value) {
        if (at_ >= size_) return false;
        value = octets_[at_++];
        return true;
    }

    template <std::size_t N>
    bool Octets(std::array<std::uint8_t, N>& value, std::size_t count) {
        if (size_ - at_ < count) {
            at_ = size_;
            return false;
        }
        std::copy_n(octets_ + at_, count, value.begin());
        at_ += count;
        return true;
    }

    bool Stamp(Timestamp& stamp, bool& read) {
        read = Octets(stamp, stamp.size());
        return read;
    }

    bool Address(AddressLength length, pelvaro::Address& address) {
        const std::size_t taken = ReadAddress(octets_ + at_, size_ - at_, length, address);
        if (size_ - at_ < taken) {
            at_ = size_;
            return false;
        }
        at_ += taken;
        return true;
    }

    const std::uint8_t* Here() const { return octets_ + at_; }
    std::size_t Left() const { return size_ - at_; }

  private:
    const std::uint8_t* octets_;
    std::size_t size_;
    std::size_t at_ = 0;
};

MessageType TypeOf(std::uint8_t firstOctet) {
    switch (firstOctet & 0x03u) {
        case 1:
            return MessageType::Submit;
        case 2:
            return MessageType::StatusReport;
        default:
            return MessageType::Deliver;
    }
}

// TP-VPF (TS 23.040 9.2.3.3): none, enhanced (7 octets), relative (1), absolute (7).
std::uint8_t ValidityOctets(std::uint8_t firstOctet) {
    constexpr std::uint8_t kOctets[] = {0, 7, 1, 7};
    return kOctets[(firstOctet >> 3) & 0x03u];
}

// TP-UDL and TP-UD, and the header at the start of TP-UD.
bool ReadUserData(Cursor& cursor, PduFields& fields) {
    UserData& data = fields.userData;
    if (!cursor.Octet(data.length)) return false;
    data.present = true;
    data.octets = cursor.Here();
    const std::size_t announced = fields.coding.coding == Coding::Gsm7 && !fields.coding.compressed
                                      ? (data.length * 7u + 7) / 8
                                      : data.length;
    data.size = std::min(announced, cursor.Left());
    if ((fields.firstOctet & kUserDataHeaderIndicator) != 0 && data.size > 0) {
        data.headerOctets = 1u + data.octets[0];
        const std::size_t elements = std::min(data.headerOctets, data.size) - 1;
        fields.header = ReadUserDataHeader(data.octets + 1, elements);
    }
    return data.size == announced;
}

bool ReadCoding(Cursor& cursor, PduFields& fields) {
    if (!cursor.Octet(fields.dataCodingScheme)) return false;
    fields.coding = ReadDataCoding(fields.dataCodingScheme);
    return true;
}

bool ReadDeliver(Cursor& cursor, PduFields& fields) {
    return cursor.Address(AddressLength::SemiOctets, fields.party) &&
           cursor.Octet(fields.protocolId) && ReadCoding(cursor, fields) &&
           cursor.Stamp(fields.timestamp, fields.hasTimestamp) && ReadUserData(cursor, fields);
}

bool ReadSubmit(Cursor& cursor, PduFields& fields) {
    fields.validityOctets = ValidityOctets(fields.firstOctet);
    return cursor.Octet(fields.messageReference) &&
           cursor.Address(AddressLength::SemiOctets, fields.party) &&
           cursor.Octet(fields.protocolId) && ReadCoding(cursor, fields) &&
           cursor.Octets(fields.validityPeriod, fields.validityOctets) &&
           ReadUserData(cursor, fields);
}

// TP-PI says which of TP-PID, TP-DCS and TP-UDL follow; while its bit 7 is set, another TP-PI
// octet follows, which no field is defined for yet.
bool ReadStatusReport(Cursor& cursor, PduFields& fields) {
    if (!cursor.Octet(fields.messageReference) ||
        !cursor.Address(AddressLength::SemiOctets, fields.party) ||
        !cursor.Stamp(fields.timestamp, fields.hasTimestamp) ||
        !cursor.Stamp(fields.dischargeTime, fields.hasDischargeTime) ||
        !cursor.Octet(fields.status)) {
        return false;
    }
    std::uint8_t indicator = 0;
    if (!cursor.Octet(indicator)) return true;  // TP-PI itself is optional
    for (std::uint8_t more = indicator; (more & 0x80) != 0;) {
        if (!cursor.Octet(more)) return false;
    }
    if ((indicator & 0x01) != 0 && !cursor.Octet(fields.protocolId)) return false;
    if ((indicator & 0x02) != 0 && !ReadCoding(cursor, fields)) return false;
    return (indicator & 0x04) == 0 || ReadUserData(cursor, fields);
}

}  // namespace

bool ReadPduFields(const std::uint8_t* octets, std::size_t size, PduFields& fields) {
    static_cast<PduValues&>(fields) = PduValues();
    fields.party.type = 0;
    fields.party.text.Clear();
    Cursor cursor(octets, size);
    fields.complete =
        cursor.Address(AddressLength::Octets, fields.centre) && cursor.Octet(fields.firstOctet);
    if (!fields.complete) return false;
    fields.type = TypeOf(fields.firstOctet);
    switch (fields.type) {
        case MessageType::Submit:
            fields.complete = ReadSubmit(cursor, fields);
            break;
        case MessageType::StatusReport:
            fields.complete = ReadStatusReport(cursor, fields);
            break;
        default:
            fields.complete = ReadDeliver(cursor, fields);
            break;
    }
    return fields.complete;
}

}  // namespace pelvaro
