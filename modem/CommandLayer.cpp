#include "modem/CommandLayer.h"

#include "modem/AsciiText.h"
#include "modem/ModemFraming.h"
#include "modem/ModemLines.h"

namespace pelvaro {
namespace {

// Far beyond any backlog a modem builds up; only one that never stops talking fills it.
constexpr std::size_t kMostQueued = 1000;
// A line never ended, or a header whose PDU line never came, is taken as it is after this.
constexpr auto kLongestUnended = std::chrono::seconds(1);
// Huawei sticks send ^BOOT every few seconds too; only after a silence is it a new start.
constexpr auto kSilenceBeforeRestart = std::chrono::seconds(5);

// "+CPMS" of "+CPMS=\"ME\"" or "+CPMS?": what its information lines begin with.
std::string_view NameOf(std::string_view command) {
    return command.substr(0, command.find_first_of("=?"));
}

}  // namespace

std::string_view Answer::Line(std::string_view prefix) const {
    for (const std::string& line : lines) {
        if (StartsWithNoCase(line, prefix)) return line;
    }
    return {};
}

Answer CommandLayer::Run(std::string_view command, Clock::duration deadline) {
    Answer answer;
    echo_ = "AT" + std::string(command);
    name_ = NameOf(command);
    if (!wire_.Send(echo_ + "\r\n")) {
        ++failuresInARow_;
        return answer;
    }
    answer_ = &answer;
    const Clock::time_point end = Clock::now() + deadline;
    while (!answer.Answered() && !Lost() && !Cancelled() && Clock::now() < end) Receive();
    answer_ = nullptr;
    return answer;
}

void CommandLayer::Listen() {
    Receive();
}

bool CommandLayer::TakeUnsolicited(Unsolicited& next) {
    if (unsolicited_.empty()) return false;
    next = std::move(unsolicited_.front());
    unsolicited_.pop_front();
    return true;
}

bool CommandLayer::Receive() {
    std::string chunk;
    const bool received = wire_.Receive(chunk);
    failuresInARow_ = received ? 0 : failuresInARow_ + 1;
    const Clock::time_point now = Clock::now();
    if (!chunk.empty()) {
        heardAnything_ = true;
        silenceBefore_ = now - lastHeard_;
        lastHeard_ = now;
        pending_ += chunk;
        Frame(false);
    } else if (!pending_.empty() && now - pendingSince_ >= kLongestUnended) {
        Frame(true);
    }
    return received;
}

void CommandLayer::Frame(bool ended) {
    ModemFraming framing(pending_, echo_, ended);
    for (FramedItem item; framing.Next(item);) {
        if (item.kind == FramedKind::StoredMessage) {
            if (answer_) answer_->stored.emplace_back(item.AsDelivery());
        } else if (item.kind == FramedKind::Line) {
            TakeLine(item.header);
        } else if (item.header.empty() && answer_) {
            // Digits alone answer the command in flight (a serial number, a revision): only a
            // "+CMT:" header announces a delivery then.
            TakeLine(item.pdu);
        } else if (unsolicited_.size() < kMostQueued) {
            unsolicited_.push_back(
                {Unsolicited::Kind::Delivery, KeptDelivery(item.AsDelivery()), {}, -1});
        }
    }
    pending_.erase(0, ended ? pending_.size() : framing.Rest());
    pendingSince_ = Clock::now();
}

void CommandLayer::TakeLine(std::string_view line) {
    if (line == echo_) return;
    const LineKind kind = ClassifyLine(line);
    if (answer_ && kind == LineKind::FinalResult) {
        if (!answer_->Answered()) answer_->result = line;
        return;
    }
    // A line named after the command in flight answers it, also one that the modem says unasked
    // at other times ("+CPIN: READY").
    if (answer_ && !name_.empty() && StartsWithNoCase(line, name_)) {
        answer_->lines.emplace_back(line);
        return;
    }
    Unsolicited event;
    switch (kind) {
        case LineKind::Other:
            if (answer_) answer_->lines.emplace_back(line);
            return;
        case LineKind::FinalResult:  // late, for a command whose deadline had passed
        case LineKind::Report:
            return;
        case LineKind::Announcement: {
            StoredIndex stored;
            if (!ParseAnnouncement(line, stored)) return;
            event = {Unsolicited::Kind::Announcement, {}, std::string(stored.memory), stored.index};
            break;
        }
        case LineKind::RestartAfterSilence:
            if (silenceBefore_ < kSilenceBeforeRestart) return;
            event.kind = Unsolicited::Kind::Restart;
            break;
        case LineKind::Restart:
            event.kind = Unsolicited::Kind::Restart;
            break;
        case LineKind::SimReady:
            event.kind = Unsolicited::Kind::SimReady;
            break;
    }
    if (unsolicited_.size() < kMostQueued) unsolicited_.push_back(std::move(event));
}

}  // namespace pelvaro
