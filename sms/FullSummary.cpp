#include "sms/FullSummary.h"

#include <array>

#include "sms/ClientMessage.h"
#include "sms/SummaryLabels.h"

namespace pelvaro {

namespace {

// The labels in UTF-16, made from the ASCII ones once.
template <std::size_t N>
struct WideLabel {
    std::array<char16_t, N> chars{};
    constexpr explicit WideLabel(std::string_view label) {
        for (std::size_t i = 0; i < N; ++i) chars[i] = static_cast<char16_t>(label[i]);
    }
    constexpr std::u16string_view View() const { return {chars.data(), N}; }
};

constexpr WideLabel<kCentreLabel.size()> kWideCentre(kCentreLabel);
constexpr WideLabel<kSenderLabel.size()> kWideSender(kSenderLabel);
constexpr WideLabel<kReceiverLabel.size()> kWideReceiver(kReceiverLabel);
constexpr WideLabel<kTextLabel.size()> kWideText(kTextLabel);

}  // namespace

void WriteFullSummary(const SummaryHead& head, const std::u16string_view* pieces, std::size_t count,
                      ClientMessage& message) {
    const std::u16string_view partyLabel =
        head.receiver ? kWideReceiver.View() : kWideSender.View();
    std::size_t length = 0;
    if (!head.centre.empty()) length += kWideCentre.View().size() + head.centre.size();
    if (!head.party.empty()) length += partyLabel.size() + head.party.size();
    if (head.hasText) {
        length += kWideText.View().size();
        for (std::size_t i = 0; i < count; ++i) length += pieces[i].size();
    }

    std::u16string& text = message.text;
    text.clear();
    text.reserve(length);
    message.fixedWords = false;
    message.centreSpan = {};
    message.senderSpan = {};
    if (!head.centre.empty()) {
        text.append(kWideCentre.View());
        message.centreSpan = {text.size(), head.centre.size()};
        text.append(head.centre);
    }
    if (!head.party.empty()) {
        text.append(partyLabel);
        message.senderSpan = {text.size(), head.party.size()};
        text.append(head.party);
    }
    message.textStart = std::u16string::npos;
    if (head.hasText) {
        text.append(kWideText.View());
        message.textStart = text.size();
        for (std::size_t i = 0; i < count; ++i) text.append(pieces[i]);
    }
}

}  // namespace pelvaro
