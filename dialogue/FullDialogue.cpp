#include "dialogue/FullDialogue.h"

#include <algorithm>

#include "dialogue/DialogueTimes.h"
#include "modem/ModemCommands.h"
#include "modem/ModemLines.h"

namespace pelvaro {

using namespace dialogue;

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace

FullDialogue::FullDialogue(const LinkSettings& settings, DialogueClient& client,
                           const DialoguePlatform& platform)
    : settings_(settings),
      client_(client),
      opener_(platform.opener),
      pins_(platform.pins),
      clock_(platform.clock),
      // The ledger tells a part delivered again from a new one: the reader need not remember.
      reader_(settings.fullDecoding, PartRepeats::Kept),
      ledger_(platform.heard) {}

FullDialogue::~FullDialogue() = default;

void FullDialogue::Run() {
    SetUpReport report = Open();
    const bool started = report.kind != SetUpReport::Kind::Failed;
    client_.Report(std::move(report));
    if (started) {
        while (!client_.StopRequested()) Step();
        Finish();
    }
    link_.reset();
}

SetUpReport FullDialogue::Open() {
    std::string why;
    if (!OpenLink(why)) return {SetUpReport::Kind::Failed, why, settings_.port};
    SetUpReport report = SetUp();
    if (report.kind == SetUpReport::Kind::Failed) link_.reset();
    return report;
}

bool FullDialogue::OpenLink(std::string& why) {
    std::unique_ptr<ModemLink> link = opener_.Open(client_.StopFlag(), why);
    if (!link) return false;
    link->Layer().CancelWith(&client_.StopFlag());
    link_ = std::move(link);
    ledger_.NewLink(++linkCount_);
    state_ = State::Waiting;
    selected_.reset();
    unansweredChecks_ = 0;
    lateAnswersSeen_ = 0;
    RaiseUnheardAgain();
    return true;
}

// The set-up takes effect only once it has succeeded; until then the modem is waited for.
SetUpReport FullDialogue::SetUp() {
    const SetUpResult result = SetUpModem(link_->Layer(), settings_, pins_);
    const int port = link_->Port();
    // The set-up and the Init commands after it may each have chosen a memory.
    selected_.reset();
    switch (result.kind) {
        case SetUpResult::Kind::Ready:
            setUpAt_ = Now();
            unansweredChecks_ = 0;
            reception_ = result.reception;
            state_ = State::Receiving;
            sweepDue_ = true;
            nextCheck_ = Now() + kCheckEvery;
            return {SetUpReport::Kind::Receiving, {}, port};
        case SetUpResult::Kind::Waiting:
            state_ = State::Waiting;
            nextSetUp_ = Now() + kSetUpAgainAfter;
            return {SetUpReport::Kind::Waiting, result.why, port};
        case SetUpResult::Kind::Failed:
            break;
    }
    state_ = State::Waiting;
    nextSetUp_ = Now() + kSetUpAfterFailure;
    // A modem that stopped answering is found again as a vanished one is.
    if (result.silent && StoppedAnswering()) LoseLink();
    // One that answered some of the set-up is there, only slow: it is waited for, with what it
    // delivered meanwhile.
    if (result.silent && result.answeredSome && link_) {
        return {SetUpReport::Kind::Waiting, result.why, port};
    }
    return {SetUpReport::Kind::Failed, result.why, port, result.lasting};
}

// A set-up of the dialogue's own, after a restart, a new link or a SIM that was not ready: one
// that can never succeed is told once, and not tried again.
void FullDialogue::SetUpInBackground() {
    const SetUpReport report = SetUp();
    if (report.kind == SetUpReport::Kind::Failed && report.lasting) GiveUp(report.why);
}

// A client that starts again wants the set-up made again, and what no sink took raised again.
SetUpReport FullDialogue::SetUpForClient() {
    // The client answered for what it was raised before it started again.
    ApplyVerdicts();
    ledger_.ForgetUnreadable();
    RaiseUnheardAgain();
    if (state_ == State::GivenUp) return {SetUpReport::Kind::Failed, givenUpWhy_, 0, true};
    if (!link_) {
        std::string why;
        if (!OpenLink(why)) return {SetUpReport::Kind::Failed, why, settings_.port};
    }
    SetUpReport report = SetUp();
    if (report.lasting) {
        link_.reset();
        state_ = State::GivenUp;
        givenUpWhy_ = report.why;
    }
    return report;
}

void FullDialogue::GiveUp(const std::string& why) {
    link_.reset();
    state_ = State::GivenUp;
    givenUpWhy_ = why;
    PostLinkLost();
}

void FullDialogue::Step() {
    ApplyVerdicts();
    if (client_.TakeSetUpRequest()) client_.Report(SetUpForClient());
    if (!link_) {
        if (state_ != State::GivenUp) ReopenIfDue();
        if (!link_) client_.Idle(kIdle);
        return;
    }
    if (link_->Layer().Lost()) {
        LoseLink();
        return;
    }
    HandleUnsolicited();
    if (link_ && state_ == State::Waiting && Now() >= nextSetUp_) SetUpInBackground();
    if (link_ && state_ == State::Receiving) {
        if (sweepDue_) {
            if (Now() >= nextSweep_) Sweep();
        } else if (Now() >= nextCheck_) {
            Check();
        }
        RetryRemovals();
    }
    PostExpired();
    if (link_) link_->Layer().Listen();
}

void FullDialogue::Finish() {
    // The deletions and acknowledgements for what is raised now must have their answers.
    if (link_) link_->Layer().CancelWith(nullptr);
    TakeQueuedDeliveries();
    // Nothing is dropped: long messages still incomplete go out with their gaps marked.
    std::vector<ClientMessage> incomplete;
    reader_.Flush(incomplete);
    for (ClientMessage& message : incomplete) Post(std::move(message));
    // Every verdict comes: the client's thread raises what was posted while it closes, and one
    // that tears the reception down answers the rest as not heard.
    while (!posted_.empty()) {
        ApplyVerdicts();
        if (link_ && link_->Layer().Lost()) link_.reset();
        if (!link_) {
            client_.Idle(kIdle);
            continue;
        }
        // A delivery that comes meanwhile is raised too; announced ones stay stored for later.
        TakeQueuedDeliveries();
        link_->Layer().Listen();
    }
    ApplyVerdicts();
}

void FullDialogue::HandleUnsolicited() {
    for (Unsolicited event; link_ && link_->Layer().TakeUnsolicited(event);) {
        switch (event.kind) {
            case Unsolicited::Kind::Delivery:
                TakeDirect(event);
                break;
            case Unsolicited::Kind::StatusReport:
                // For a message someone sent from this modem: not the client's, but the modem
                // waits for it to be acknowledged as for a delivery. Not one that came before
                // the set-up, under a message service that may have wanted none: the modem
                // reports it again when it wanted one.
                ledger_.ForgetPendingAcks();
                if (event.at >= setUpAt_) Acknowledge(event.at);
                break;
            case Unsolicited::Kind::Announcement:
                if (state_ == State::Receiving) {
                    ReadAnnounced(event.memory, event.index);
                } else {
                    sweepDue_ = true;
                }
                break;
            case Unsolicited::Kind::Restart:
                // The module has forgotten its set-up, its memory and what it delivered, and may
                // have stored meanwhile.
                state_ = State::Waiting;
                nextSetUp_ = Now();
                selected_.reset();
                ledger_.ForgetPendingAcks();
                break;
            case Unsolicited::Kind::SimReady:
                if (state_ == State::Waiting) nextSetUp_ = Now();
                break;
        }
    }
}

// A module whose acknowledgement timed out, or that registered anew, stops routing and stores
// what comes without a word; one that restarted without a word has forgotten its whole set-up
// (the message service, PDU mode), and routes as it did at power-on.
void FullDialogue::Check() {
    nextCheck_ = Now() + kCheckEvery;
    if (!reception_.Routes()) {
        sweepDue_ = true;
        return;
    }
    const Answer routing = Run(kRoutingState);
    const Answer storage = reception_.Stores() ? Run(kStorageState) : Answer{};
    if (!routing.Answered() && !storage.Answered()) {
        if (StoppedAnswering()) LoseLink();
        return;
    }
    unansweredChecks_ = 0;
    if (routing.Ok() && !RoutesAsSetUp(routing)) {
        state_ = State::Waiting;
        nextSetUp_ = Now();
    }
    if (storage.Ok() && StorageChanged(storage)) sweepDue_ = true;
    if (storage.Ok()) NoteFullStorage(storage);
}

// A storage full of the parts of long messages takes no more: the rest of them cannot come until
// these leave it. They go out now, with their gaps marked; a part that comes later follows on its
// own.
void FullDialogue::NoteFullStorage(const Answer& storage) {
    // "+CPMS: "SM",2,2,"SM",2,2,"ME",3,3": where new messages are stored comes third.
    const std::vector<std::string_view> fields = InformationFields(storage.Line("+CPMS:"));
    int used = 0;
    int total = 0;
    if (fields.size() < 9 || !ParseNumber(fields[7], used) || !ParseNumber(fields[8], total)) {
        return;
    }
    if (used >= total && reader_.Waiting()) GiveOutWaitingParts();
}

void FullDialogue::LoseLink() {
    TakeQueuedDeliveries();
    link_.reset();
    state_ = State::Unlinked;
    selected_.reset();
    nextReopen_ = Now() + kReopenEvery;
    PostLinkLost();
}

void FullDialogue::ReopenIfDue() {
    if (Now() < nextReopen_) return;
    nextReopen_ = Now() + kReopenEvery;
    std::string why;
    if (!OpenLink(why)) return;
    const SetUpReport report = SetUp();
    if (report.kind != SetUpReport::Kind::Failed) return;
    if (report.lasting) {
        GiveUp(report.why);
    } else {
        link_.reset();
        state_ = State::Unlinked;
    }
}

Answer FullDialogue::Run(const std::string& command, Clock::duration deadline, Reply reply) {
    Answer answer = link_->Layer().Run(command, deadline, reply);
    if (answer.Unanswered()) {
        // It may yet have chosen another memory or routing: both are looked at again.
        selected_.reset();
        nextCheck_ = std::min(nextCheck_, Now() + kCheckSoon);
    }
    return answer;
}

// Counts the set-ups and checks that went unanswered in a row; an answer that came late since
// shows a modem that is there, only slow.
bool FullDialogue::StoppedAnswering() {
    const unsigned late = link_->Layer().LateAnswers();
    if (late != lateAnswersSeen_) {
        lateAnswersSeen_ = late;
        unansweredChecks_ = 0;
    }
    return ++unansweredChecks_ >= kUnansweredChecksForLost;
}

bool FullDialogue::SelectMemory(const std::string& memory) {
    if (memory.empty() || selected_ == memory) return true;
    const Answer answer = Run(kSelectStorage + Quoted(memory));
    if (answer.Ok()) {
        selected_ = memory;
        return true;
    }
    // A modem that offers no choice of memories reads from the one it has.
    return answer.Answered() && !reception_.Stores();
}

// "+CNMI: 2,1,0,0,0"
bool FullDialogue::RoutesAsSetUp(const Answer& routing) const {
    const std::vector<std::string_view> fields = InformationFields(routing.Line("+CNMI:"));
    int mode = -1;
    int mt = -1;
    return fields.size() < 2 || (ParseNumber(fields[0], mode) && ParseNumber(fields[1], mt) &&
                                 mode == reception_.mode && mt == reception_.mt);
}

// "+CPMS: "SM",3,30,"SM",3,30,"ME",0,100": a memory holds more or fewer than it is known to.
bool FullDialogue::StorageChanged(const Answer& storage) {
    const std::vector<std::string_view> fields = InformationFields(storage.Line("+CPMS:"));
    if (!fields.empty()) selected_ = std::string(fields.front());
    for (std::size_t at = 0; at + 1 < fields.size(); at += 3) {
        const std::string memory(fields[at]);
        int used = 0;
        if (!ParseNumber(fields[at + 1], used)) continue;
        const bool ours = std::find(reception_.memories.begin(), reception_.memories.end(),
                                    memory) != reception_.memories.end();
        if (ours && used != known_[memory]) return true;
    }
    return false;
}

}  // namespace pelvaro
