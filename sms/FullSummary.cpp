#include "sms/FullSummary.h"

#include "sms/ClientMessage.h"
#include "sms/SummaryLabels.h"

namespace pelvaro {

namespace {

// The labels are ASCII.
void AppendLabel(std::string_view label, std::u16string& text) {
    for (const char c : label) text.push_back(static_cast<char16_t>(c));
}

}  // namespace

void WriteFullSummary(const SummaryHead& head, const std::u16string_view* pieces, std::size_t count,
                      ClientMessage& message) {
    message.sender.assign(head.party);
    message.centre.assign(head.centre);

    const std::string_view partyLabel = head.receiver ? kReceiverLabel : kSenderLabel;
    std::size_t length = 0;
    if (!head.centre.empty()) length += kCentreLabel.size() + head.centre.size();
    if (!head.party.empty()) length += partyLabel.size() + head.party.size();
    if (head.hasText) {
        length += kTextLabel.size();
        for (std::size_t i = 0; i < count; ++i) length += pieces[i].size();
    }

    std::u16string& text = message.text;
    text.clear();
    text.reserve(length);
    if (!head.centre.empty()) {
        AppendLabel(kCentreLabel, text);
        text.append(head.centre);
    }
    if (!head.party.empty()) {
        AppendLabel(partyLabel, text);
        text.append(head.party);
    }
    message.textStart = std::u16string::npos;
    if (head.hasText) {
        AppendLabel(kTextLabel, text);
        message.textStart = text.size();
        for (std::size_t i = 0; i < count; ++i) text.append(pieces[i]);
    }
}

}  // namespace pelvaro
