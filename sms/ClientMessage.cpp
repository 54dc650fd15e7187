#include "sms/ClientMessage.h"

#include "sms/PduDecoder.h"
#include "sms/Windows1252.h"

namespace pelvaro {

bool MessageReader::Read(const Delivery& delivery, Clock::time_point,
                         std::vector<ClientMessage>& ready) {
    PduArea octets{};
    if (PduDecoder::HexToOctets(delivery.pdu, octets.data(), octets.size()) == 0) return false;
    SummaryBuffer summary;
    const std::size_t length = PduDecoder::WriteSummary(octets, summary);
    ready.push_back({u"Sender", u"Center", Utf16FromWindows1252({summary.data(), length})});
    return true;
}

}  // namespace pelvaro
