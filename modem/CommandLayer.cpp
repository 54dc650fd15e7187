#include "modem/CommandLayer.h"

#include <algorithm>
#include <utility>

#include "modem/AsciiText.h"
#include "modem/ModemCommands.h"
#include "modem/ModemFraming.h"
#include "modem/ModemLines.h"

namespace pelvaro {
namespace {

// Far beyond any backlog a modem builds up; only one that never stops talking fills it.
constexpr std::size_t kMostQueued = 1000;
// A line never ended is taken as it is after this.
constexpr auto kLongestUnended = std::chrono::seconds(1);
// A "+CMT:" header whose PDU line is later than that still gets it within this. A delivery without
// its PDU is never acknowledged: the network then delivers it again.
constexpr auto kLongestPduWait = std::chrono::seconds(10);
// Huawei sticks send ^BOOT every few seconds too; only after a silence is it a new start.
constexpr auto kSilenceBeforeRestart = std::chrono::seconds(5);

// "+CPMS" of "+CPMS=\"ME\"" or "+CPMS?": what its information lines begin with.
std::string_view NameOf(std::string_view command) {
    return command.substr(0, command.find_first_of("=?"));
}

}  // namespace

const ModemClock& SteadyClock() {
    static const struct : ModemClock {
        Clock::time_point Now() const override { return Clock::now(); }
    } clock;
    return clock;
}

std::string_view Answer::Line(std::string_view prefix) const {
    for (const std::string& line : lines) {
        if (StartsWithNoCase(line, prefix)) return line;
    }
    return {};
}

Answer CommandLayer::Run(std::string_view command, Clock::duration deadline, Reply reply) {
    Answer answer;
    if (Cancelled()) return answer;
    const Clock::time_point end = Now() + deadline;
    if (!AwaitOverdue(end)) return answer;
    echo_ = "AT" + std::string(command);
    name_ = NameOf(command);
    reply_ = reply;
    echoSeen_ = strayResult_ = false;
    if (!wire_.Send(echo_ + "\r\n")) {
        ++failuresInARow_;
        return answer;
    }
    answer.sent = true;
    const unsigned restarts = restarts_;
    answer_ = &answer;
    // A module that restarts meanwhile answers it never: a listing would hold the set-up back
    // for its whole deadline.
    while (!answer.Answered() && restarts == restarts_ && !Lost() && !Cancelled() && Now() < end) {
        Receive();
    }
    answer_ = nullptr;
    if (answer.Answered()) {
        echoes_ = echoSeen_;
    } else if (strayResult_) {
        // A final result came without the echo that every answer had: the modem stopped echoing
        // (ATE0), and that result was this command's.
        echoes_ = false;
    } else if (restarts == restarts_) {
        overdue_ = Now();
    }
    return answer;
}

bool CommandLayer::AwaitOverdue(Clock::time_point end) {
    while (overdue_) {
        if (Now() - *overdue_ >= kLongestLateAnswer) {
            overdue_.reset();
            break;
        }
        if (Lost() || Cancelled() || Now() >= end) return false;
        Receive();
    }
    return true;
}

void CommandLayer::Synchronise() {
    Run(kEchoOn);
    echoes_ = true;
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

bool CommandLayer::DeliveryQueued() const {
    return std::any_of(unsolicited_.begin(), unsolicited_.end(), [](const Unsolicited& event) {
        return event.kind == Unsolicited::Kind::Delivery ||
               event.kind == Unsolicited::Kind::StatusReport;
    });
}

bool CommandLayer::Receive() {
    std::string chunk;
    const bool received = wire_.Receive(chunk);
    failuresInARow_ = received ? 0 : failuresInARow_ + 1;
    const Clock::time_point now = Now();
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
    for (FramedItem item; framing.Next(item);) TakeItem(item);
    pending_.erase(0, ended ? pending_.size() : framing.Rest());
    pendingSince_ = Now();
}

void CommandLayer::TakeItem(const FramedItem& item) {
    switch (item.kind) {
        case FramedKind::Line:
            TakeLine(item.header);
            return;
        case FramedKind::StoredMessage:
            statusReportFollows_ = false;
            if (Answering() && reply_ == Reply::Entries) {
                answer_->stored.emplace_back(item.AsDelivery());
            }
            return;
        case FramedKind::Delivery:
            TakeDelivery(item);
            return;
    }
}

void CommandLayer::TakeDelivery(const FramedItem& item) {
    if (item.pdu.empty()) {
        // Its PDU line is late: it may come yet.
        headerAwaitingPdu_.emplace(item.header, Now());
        statusReportFollows_ = false;
        return;
    }
    Unsolicited event{Unsolicited::Kind::Delivery, KeptDelivery(item.AsDelivery()), {}, -1};
    if (item.header.empty()) {
        if (std::exchange(statusReportFollows_, false)) {
            event.kind = Unsolicited::Kind::StatusReport;
        } else if (headerAwaitingPdu_ && Now() - headerAwaitingPdu_->second < kLongestPduWait) {
            event.delivery.header = headerAwaitingPdu_->first;
        } else if (answer_) {
            // Digits alone answer the command in flight (a serial number, a revision): only a
            // "+CMT:" header announces a delivery then.
            TakeLine(item.pdu);
            return;
        }
    }
    headerAwaitingPdu_.reset();
    Queue(std::move(event));
}

void CommandLayer::TakeLine(std::string_view line) {
    if (line == echo_) {
        echoSeen_ = answer_ != nullptr;
        return;
    }
    const LineKind kind = ClassifyLine(line);
    if (kind == LineKind::FinalResult) {
        TakeFinalResult(line);
        return;
    }
    // A line named after the command in flight answers it, also one that the modem says unasked
    // at other times ("+CPIN: READY").
    if (Answering() && !name_.empty() && StartsWithNoCase(line, name_)) {
        answer_->lines.emplace_back(line);
        return;
    }
    Unsolicited event;
    switch (kind) {
        case LineKind::Other:
            if (Answering()) answer_->lines.emplace_back(line);
            return;
        case LineKind::FinalResult:
        case LineKind::Report:
            return;
        case LineKind::SmsStatusReport:
            statusReportFollows_ = true;
            return;
        case LineKind::Announcement: {
            StoredIndex stored;
            if (!ParseAnnouncement(line, stored)) return;
            event = {Unsolicited::Kind::Announcement, {}, std::string(stored.memory), stored.index};
            break;
        }
        case LineKind::RestartAfterSilence:
            if (silenceBefore_ < kSilenceBeforeRestart) return;
            [[fallthrough]];
        case LineKind::Restart:
            // A module that starts afresh answers nothing it was asked before.
            ++restarts_;
            overdue_.reset();
            event.kind = Unsolicited::Kind::Restart;
            break;
        case LineKind::SimReady:
            event.kind = Unsolicited::Kind::SimReady;
            break;
    }
    Queue(std::move(event));
}

void CommandLayer::TakeFinalResult(std::string_view line) {
    if (!answer_) {
        // The late answer of the command whose deadline passed.
        if (overdue_) ++lateAnswers_;
        overdue_.reset();
        return;
    }
    if (!Answering()) {
        strayResult_ = true;
        return;
    }
    if (!answer_->Answered()) answer_->result = line;
}

void CommandLayer::Queue(Unsolicited event) {
    event.at = Now();
    if (unsolicited_.size() < kMostQueued) unsolicited_.push_back(std::move(event));
}

}  // namespace pelvaro
