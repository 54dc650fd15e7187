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
constexpr WideLabel<kSentLabel.size()> kWideSent(kSentLabel);
constexpr WideLabel<kDischargedLabel.size()> kWideDischarged(kDischargedLabel);
constexpr WideLabel<kTextLabel.size()> kWideText(kTextLabel);

// A time stamp as text, on the stack.
class StampText {
  public:
    explicit StampText(const Timestamp* stamp)
        : size_(stamp ? WriteTimestampText(*stamp, chars_.data()) : 0) {}
    std::u16string_view View() const { return {chars_.data(), size_}; }

  private:
    std::array<char16_t, kTimestampTextLength> chars_;
    std::size_t size_;
};

// One labelled line of the head; nothing where its value is empty.
struct Line {
    std::u16string_view label;
    std::u16string_view value;
    ClientMessage::Span* span;
};

}  // namespace

void WriteFullSummary(const SummaryHead& head, const std::u16string_view* pieces, std::size_t count,
                      ClientMessage& message) {
    const StampText sent(head.sent);
    const StampText discharged(head.discharged);
    message.fixedWords = false;
    const Line lines[] = {
        {kWideCentre.View(), head.centre, &message.centreSpan},
        {head.receiver ? kWideReceiver.View() : kWideSender.View(), head.party,
         &message.senderSpan},
        {kWideSent.View(), sent.View(), &message.sentSpan},
        {kWideDischarged.View(), discharged.View(), &message.dischargedSpan},
    };

    std::size_t length = 0;
    for (const Line& line : lines) {
        if (!line.value.empty()) length += line.label.size() + line.value.size();
    }
    if (head.hasText) {
        length += kWideText.View().size();
        for (std::size_t i = 0; i < count; ++i) length += pieces[i].size();
    }

    std::u16string& text = message.text;
    text.clear();
    text.reserve(length);
    for (const Line& line : lines) {
        *line.span = {};
        if (line.value.empty()) continue;
        text.append(line.label);
        line.span->start = text.size();
        line.span->length = line.value.size();
        text.append(line.value);
    }
    message.textStart = std::u16string::npos;
    if (head.hasText) {
        text.append(kWideText.View());
        message.textStart = text.size();
        for (std::size_t i = 0; i < count; ++i) text.append(pieces[i]);
    }
}

}  // namespace pelvaro
