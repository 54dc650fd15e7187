#include "sms/ClientMessage.h"

#include <array>

#include "sms/FullSummary.h"
#include "sms/MessageText.h"
#include "sms/PduDecoder.h"
#include "sms/PduFields.h"
#include "sms/Windows1252.h"

namespace pelvaro {

namespace {

// More than any PDU holds: a service-centre address of 12 octets and a TPDU of 164.
constexpr std::size_t kLongestPdu = 256;

}  // namespace

bool MessageReader::Read(const Delivery& delivery, Clock::time_point now,
                         std::vector<ClientMessage>& ready, DeliveryTag tag, bool othersGone) {
    if (full_) return ReadFully(delivery, now, ready, tag, othersGone);
    PduArea octets{};
    if (PduDecoder::HexToOctets(delivery.pdu, octets.data(), octets.size()) == 0) return false;
    SummaryBuffer summary;
    const std::size_t length = PduDecoder::WriteSummary(octets, summary);
    ClientMessage& message = ready.emplace_back();
    message.text = Utf16FromWindows1252({summary.data(), length});
    if (tag != 0) message.sources.push_back(tag);
    return true;
}

bool MessageReader::ReadFully(const Delivery& delivery, Clock::time_point now,
                              std::vector<ClientMessage>& ready, DeliveryTag tag, bool othersGone) {
    std::array<std::uint8_t, kLongestPdu> octets;
    const std::size_t size = PduDecoder::HexToOctets(delivery.pdu, octets.data(), octets.size());
    if (size == 0) return false;
    PduFields fields;
    ReadPduFields(octets.data(), size, fields);

    std::array<char16_t, kLongestMessageText> text;
    const std::u16string_view written(text.data(), WriteMessageText(fields, text.data()));
    // A status report names the receiver of the message it reports on.
    const bool receiver = fields.type != MessageType::Deliver;
    const bool hasText = HasTextLine(fields);
    if (hasText && fields.header.concatenation.count > 1) {
        longMessages_.Add({fields.centre.text.View(), fields.party.text.View(), receiver,
                           fields.header.concatenation, fields.coding, written, fields.timestamp,
                           fields.hasTimestamp, tag, othersGone},
                          now, ready);
        return true;
    }
    ClientMessage& message = ready.emplace_back();
    message.coding = fields.coding;
    if (tag != 0) message.sources.push_back(tag);
    WriteFullSummary({fields.centre.text.View(), fields.party.text.View(), receiver, hasText,
                      fields.hasTimestamp ? &fields.timestamp : nullptr,
                      fields.hasDischargeTime ? &fields.dischargeTime : nullptr},
                     &written, 1, message);
    return true;
}

std::u16string_view ClientMessage::Sender() const {
    if (fixedWords) return u"Sender";
    return std::u16string_view(text).substr(senderSpan.start, senderSpan.length);
}

std::u16string_view ClientMessage::Centre() const {
    if (fixedWords) return u"Center";
    return std::u16string_view(text).substr(centreSpan.start, centreSpan.length);
}

std::u16string_view ClientMessage::Sent() const {
    return std::u16string_view(text).substr(sentSpan.start, sentSpan.length);
}

std::u16string_view ClientMessage::Discharged() const {
    return std::u16string_view(text).substr(dischargedSpan.start, dischargedSpan.length);
}

void MessageReader::Expire(Clock::time_point now, std::vector<ClientMessage>& ready) {
    longMessages_.Expire(now, ready);
}

void MessageReader::Flush(std::vector<ClientMessage>& ready) {
    longMessages_.Flush(ready);
}

}  // namespace pelvaro
