#include "sms/UserDataHeader.h"

namespace pelvaro {

namespace {

constexpr std::uint8_t kConcatenated8 = 0x00;
constexpr std::uint8_t kConcatenated16 = 0x08;
constexpr std::uint8_t kSingleShift = 0x24;
constexpr std::uint8_t kLockingShift = 0x25;

void ReadConcatenation(const std::uint8_t* data, bool wide, Concatenation& concatenation) {
    const std::size_t at = wide ? 2 : 1;
    const std::uint8_t count = data[at];
    const std::uint8_t sequence = data[at + 1];
    if (count == 0 || sequence == 0 || sequence > count) return;
    concatenation.reference =
        wide ? static_cast<std::uint16_t>(data[0] << 8 | data[1]) : std::uint16_t{data[0]};
    concatenation.wideReference = wide;
    concatenation.count = count;
    concatenation.sequence = sequence;
}

}  // namespace

UserDataHeader ReadUserDataHeader(const std::uint8_t* elements, std::size_t size) {
    UserDataHeader header;
    std::size_t at = 0;
    while (size - at >= 2) {
        const std::uint8_t id = elements[at];
        const std::size_t length = elements[at + 1];
        const std::uint8_t* data = elements + at + 2;
        if (length > size - at - 2) break;
        if (id == kConcatenated8 && length == 3) {
            ReadConcatenation(data, false, header.concatenation);
        } else if (id == kConcatenated16 && length == 4) {
            ReadConcatenation(data, true, header.concatenation);
        } else if (id == kSingleShift && length == 1) {
            header.singleShift = data[0];
        } else if (id == kLockingShift && length == 1) {
            header.lockingShift = data[0];
        }
        at += 2 + length;
    }
    return header;
}

}  // namespace pelvaro
