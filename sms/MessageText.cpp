#include "sms/MessageText.h"

#include <algorithm>
#include <string_view>

#include "sms/Gsm7Text.h"

namespace pelvaro {

namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

std::size_t Write(std::u16string_view words, char16_t* text) {
    return words.copy(text, words.size());
}

// TP-ST: 0x00 to 0x1F the transaction is completed, 0x20 to 0x3F the centre still tries, above
// that it has given up.
std::u16string_view StatusWords(std::uint8_t status) {
    if (status < 0x20) return u"Delivered";
    if (status < 0x40) return u"Pending";
    return u"Failed";
}

}  // namespace

bool HasTextLine(const PduFields& fields) {
    if (fields.type == MessageType::StatusReport) return true;
    return fields.userData.present && fields.userData.length > 0;
}

std::size_t WriteMessageText(const PduFields& fields, char16_t* text) {
    const UserData& data = fields.userData;
    if (fields.type == MessageType::StatusReport && data.length == 0) {
        return Write(StatusWords(fields.status), text);
    }
    if (fields.coding.coding == Coding::Gsm7 && !fields.coding.compressed) {
        // The text begins at the first septet boundary after the header.
        const std::size_t first = (data.headerOctets * 8 + 6) / 7;
        if (first >= data.length) return 0;
        return DecodeGsm7(data.octets, data.size, first, data.length - first,
                          LockingShiftTable(fields.header.lockingShift),
                          SingleShiftTable(fields.header.singleShift), text);
    }

    const std::size_t begin = std::min(data.headerOctets, data.size);
    const std::uint8_t* octets = data.octets + begin;
    const std::size_t count = data.size - begin;
    std::size_t written = 0;
    if (fields.coding.coding == Coding::Ucs2 && !fields.coding.compressed) {
        for (std::size_t i = 0; i + 1 < count; i += 2) {
            text[written++] = static_cast<char16_t>(octets[i] << 8 | octets[i + 1]);
        }
        return written;
    }
    for (std::size_t i = 0; i < count; ++i) {
        text[written++] = kHexDigits[octets[i] >> 4];
        text[written++] = kHexDigits[octets[i] & 0x0F];
    }
    return written;
}

}  // namespace pelvaro
