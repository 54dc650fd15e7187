#include "dialogue/FullDialogue.h"

#include <algorithm>

#include "modem/ModemCommands.h"
#include "modem/ModemLines.h"
#include "sms/PduDecoder.h"
#include "sms/PduFields.h"

namespace pelvaro {
namespace {

using namespace std::chrono_literals;

// Peers look at a module every 10 to 30 s: one that stopped routing without a word, or stored a
// message silently, is found within this.
constexpr auto kCheckEvery = 10s;
// After a command went unanswered, what it may have changed is looked at again this soon.
constexpr auto kCheckSoon = 1s;
// A SIM that is starting or checking its PIN is asked again after this.
constexpr auto kSetUpAgainAfter = 2s;
// A set-up that failed is tried again after this, in case the modem is put right meanwhile.
constexpr auto kSetUpAfterFailure = 10s;
constexpr auto kReopenEvery = 10s;
// A listing that failed, and a deletion that the modem did not answer, are tried again after
// these.
constexpr auto kSweepAgainAfter = 2s;
constexpr auto kRemovalAgainAfter = 5s;
// A full storage takes a few seconds to list at 57600 baud; slow modems take more.
constexpr auto kListingDeadline = 30s;
// Closing waits this long at most for the client's verdicts on what was raised.
constexpr auto kLongestFinish = 60s;
constexpr auto kIdle = 50ms;
constexpr int kUnansweredChecksForLost = 2;
// Modems wait 10 to 60 s for an acknowledgement.
constexpr auto kAckPatience = 10s;
// What a deletion at an index that holds nothing is answered with.
constexpr char kNothingAtIndex[] = "+CMS ERROR: 321";

// A message listed from storage, with the time its service centre gave it.
struct Listed {
    int index = -1;
    KeptDelivery entry;
    std::int64_t time = 0;
};

bool Received(int status) {
    return status == kReceivedUnread || status == kReceivedRead;
}

std::int64_t ServiceCentreTime(const KeptDelivery& entry) {
    PduArea octets{};
    const std::size_t size = PduDecoder::HexToOctets(entry.pdu, octets.data(), octets.size());
    PduFields fields;
    ReadPduFields(octets.data(), size, fields);
    return SecondsSince2000(fields.timestamp);
}

// The received messages a listing holds, oldest first: a modem stores a new message at the first
// free index, so that the indices need not follow the order of arrival. Drafts and sent messages
// are not the client's.
std::vector<Listed> ReceivedOldestFirst(const Answer& listing) {
    std::vector<Listed> received;
    for (const KeptDelivery& entry : listing.stored) {
        int index = -1;
        int status = -1;
        if (!ParseListing(entry.header, index, status) || !Received(status)) continue;
        received.push_back({index, entry, ServiceCentreTime(entry)});
    }
    std::stable_sort(received.begin(), received.end(), [](const Listed& a, const Listed& b) {
        return a.time != b.time ? a.time < b.time : a.index < b.index;
    });
    return received;
}

// "+CMGR: <stat>,[<alpha>],<length>"
bool ReadReceived(const KeptDelivery& entry) {
    const std::vector<std::string_view> fields = InformationFields(entry.header);
    int status = -1;
    return !fields.empty() && ParseNumber(fields.front(), status) && Received(status);
}

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
    const Clock::time_point end = Now() + kLongestFinish;
    while (!posted_.empty() && Now() < end) {
        ApplyVerdicts();
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

// What was read before the link went, or before the client asked to stop: a delivery there is
// raised all the same, since under phase 2 nothing else holds it.
void FullDialogue::TakeQueuedDeliveries() {
    if (!link_) return;
    for (Unsolicited event; link_ && link_->Layer().TakeUnsolicited(event);) {
        if (event.kind == Unsolicited::Kind::Delivery) TakeDirect(event);
    }
}

void FullDialogue::TakeDirect(const Unsolicited& event) {
    const KeptDelivery& delivery = event.delivery;
    // The modem delivers the next one only once the last was acknowledged or its time ran out.
    ledger_.ForgetPendingAcks();
    const Copy copy{Copy::Kind::Direct, {}, -1, linkCount_, reception_.acknowledge, event.at};
    if (LedgerEntry* entry = ledger_.Find(delivery.pdu)) {
        // Delivered again: a module that restarted, or whose acknowledgement timed out.
        Ledger::AddCopy(*entry, copy);
        switch (entry->stage) {
            case Stage::Heard:
                RemoveFromModem(*entry);
                break;
            case Stage::Unheard:
                RaiseUnheardAgain(entry->id);
                break;
            case Stage::Read:
                // A part waiting for the rest of its message: the modem cannot wait for it.
                if (reader_.Holds(entry->id)) RemoveFromModem(*entry);
                break;
            case Stage::Raised:
            case Stage::Unreadable:
                // The acknowledgement waits for the verdict on the message raised.
                break;
        }
        return;
    }
    if (ledger_.Settled(delivery.pdu, Now())) {
        Acknowledge(event.at);
        return;
    }
    Give(ledger_.Add(delivery.pdu, copy), delivery);
}

void FullDialogue::ReadAnnounced(const std::string& memory, int index) {
    if (ledger_.At(memory, index, linkCount_)) return;
    const Answer answer = SelectMemory(memory) ? Run(kReadAt + std::to_string(index),
                                                     CommandLayer::kUsualDeadline, Reply::Entries)
                                               : Answer{};
    if (!answer.Ok() || answer.stored.empty()) {
        // Left where it is, for the listing of the whole storage.
        sweepDue_ = true;
        return;
    }
    ++known_[memory];
    if (ReadReceived(answer.stored.front())) TakeStored(memory, index, answer.stored.front());
}

// Every memory, since a modem may store into any of them.
void FullDialogue::Sweep() {
    sweepDue_ = false;
    nextCheck_ = Now() + kCheckEvery;
    std::vector<std::string> memories = reception_.memories;
    // A modem that names no memories may still list the one it has.
    if (memories.empty()) memories.emplace_back();
    for (const std::string& memory : memories) {
        if (!link_) return;
        const Answer listing =
            SelectMemory(memory) ? Run(kListAll, kListingDeadline, Reply::Entries) : Answer{};
        if (!listing.Ok()) {
            // Listed again shortly: a SIM that is busy, a modem that was slow.
            sweepDue_ = true;
            nextSweep_ = Now() + kSweepAgainAfter;
            continue;
        }
        known_[memory] = static_cast<int>(listing.stored.size());
        ForgetCopiesNotListed(memory, listing);
        for (const Listed& listed : ReceivedOldestFirst(listing)) {
            TakeStored(memory, listed.index, listed.entry);
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

void FullDialogue::GiveOutWaitingParts() {
    std::vector<ClientMessage> waiting;
    reader_.GiveOutAll(Now(), waiting);
    for (ClientMessage& message : waiting) Post(std::move(message));
}

void FullDialogue::TakeStored(const std::string& memory, int index, const KeptDelivery& stored) {
    const Copy copy{Copy::Kind::Stored, memory, index, linkCount_, false};
    LedgerEntry* entry = ledger_.Find(stored.pdu);
    if (LedgerEntry* there = ledger_.At(memory, index, linkCount_); there && there != entry) {
        // That place was emptied behind the ledger's back, and now holds another message.
        ledger_.DropCopyAt(memory, index, linkCount_);
    }
    if (entry) {
        Ledger::AddCopy(*entry, copy);
        if (entry->stage == Stage::Heard) RemoveFromModem(*entry);
        return;
    }
    if (ledger_.Settled(stored.pdu, Now())) {
        // Heard before: a copy left over from a restart or an earlier link, just listed here.
        Delete(memory, index);
        return;
    }
    Give(ledger_.Add(stored.pdu, copy), stored);
}

void FullDialogue::Give(LedgerEntry& entry, const KeptDelivery& delivery) {
    const DeliveryTag id = entry.id;
    entry.stage = Stage::Read;
    std::vector<ClientMessage> ready;
    const bool othersGone = ledger_.OtherPartSettled(delivery.pdu, Now());
    if (!reader_.Read(delivery.View(), Now(), ready, id, othersGone)) {
        // Nothing can be read: it stays where it is, unacknowledged.
        entry.stage = Stage::Unreadable;
        return;
    }
    for (ClientMessage& message : ready) Post(std::move(message));
    LedgerEntry* held = ledger_.Find(id);
    // A part waiting for the rest of its message: a modem cannot wait for it.
    if (held && held->stage == Stage::Read && reader_.Holds(id)) RemoveFromModem(*held);
}

void FullDialogue::Post(ClientMessage message) {
    Outgoing item;
    item.id = nextPostId_++;
    for (const DeliveryTag source : message.sources) {
        ledger_.MarkRaised(source);
        if (const LedgerEntry* entry = ledger_.Find(source)) item.pdus.push_back(entry->pdu);
    }
    posted_[item.id] = message;
    item.message = std::move(message);
    client_.Post(std::move(item));
}

void FullDialogue::RaiseUnheardAgain(DeliveryTag only) {
    std::vector<ClientMessage> again;
    for (auto message = unheard_.begin(); message != unheard_.end();) {
        const std::vector<DeliveryTag>& sources = message->sources;
        if (only != 0 && std::find(sources.begin(), sources.end(), only) == sources.end()) {
            ++message;
            continue;
        }
        again.push_back(std::move(*message));
        message = unheard_.erase(message);
    }
    for (ClientMessage& message : again) Post(std::move(message));
}

void FullDialogue::PostLinkLost() {
    Outgoing lost;
    lost.kind = Outgoing::Kind::TestEvent;
    client_.Post(std::move(lost));
}

void FullDialogue::PostExpired() {
    std::vector<ClientMessage> expired;
    reader_.Expire(Now(), expired);
    for (ClientMessage& message : expired) Post(std::move(message));
}

void FullDialogue::ApplyVerdicts() {
    for (const Verdict& verdict : client_.TakeVerdicts()) {
        const auto found = posted_.find(verdict.id);
        if (found == posted_.end()) continue;
        ClientMessage message = std::move(found->second);
        posted_.erase(found);
        if (!verdict.heard) unheard_.push_back(message);
        for (const DeliveryTag source : message.sources) {
            LedgerEntry* entry = ledger_.Find(source);
            if (!entry) continue;
            if (verdict.heard) {
                ledger_.MarkHeard(*entry);
                RemoveFromModem(*entry);
            } else {
                // No sink took it: it stays stored, or unacknowledged, so that the network
                // delivers it again.
                entry->stage = Stage::Unheard;
            }
        }
    }
}

// Deletes the entry's stored copies and acknowledges its direct one; settles it once none is
// left. A part of a long message still waiting has only its direct copy acknowledged.
void FullDialogue::RemoveFromModem(LedgerEntry& entry) {
    const bool heard = entry.stage == Stage::Heard;
    std::vector<Copy>& copies = entry.copies;
    for (auto copy = copies.begin(); copy != copies.end();) {
        bool gone = true;
        if (!link_ || copy->link != linkCount_) {
            // Read on an earlier link: its index may mean something else now. The next listing
            // finds the message, and the ledger knows it.
        } else if (copy->kind == Copy::Kind::Direct) {
            if (copy->awaitsAck) Acknowledge(copy->deliveredAt);
            copy->awaitsAck = false;
            gone = heard;
        } else if (heard) {
            gone = Delete(copy->memory, copy->index);
        } else {
            gone = false;
        }
        copy = gone ? copies.erase(copy) : std::next(copy);
    }
    if (!heard) return;
    if (copies.empty()) {
        ledger_.Forget(entry);
    } else {
        nextRemoval_ = Now() + kRemovalAgainAfter;
    }
}

void FullDialogue::RetryRemovals() {
    if (Now() < nextRemoval_) return;
    nextRemoval_ = Clock::time_point::max();
    std::vector<DeliveryTag> due;
    for (const auto& [id, entry] : ledger_.Entries()) {
        if (entry.stage == Stage::Heard && !entry.copies.empty()) due.push_back(id);
    }
    for (const DeliveryTag id : due) {
        if (LedgerEntry* entry = ledger_.Find(id); entry && link_) RemoveFromModem(*entry);
    }
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

// True when the deletion was made, or nothing is at the index any more. Not tried again once
// it went out unanswered: it may have been made, and a new message stored at the index since.
// The storage is listed again instead, which finds the message if it is still there.
bool FullDialogue::Delete(const std::string& memory, int index) {
    if (!SelectMemory(memory)) return false;
    const Answer answer = Run(kDeleteAt + std::to_string(index));
    if (answer.Ok()) {
        if (known_[memory] > 0) --known_[memory];
        return true;
    }
    if (answer.Unanswered()) {
        sweepDue_ = true;
        nextSweep_ = std::min(nextSweep_, Now() + kSweepAgainAfter);
        return true;
    }
    return answer.result == kNothingAtIndex;
}

// AT+CNMA acknowledges whatever the modem delivered last. Not when it has delivered another since,
// or may have given up waiting: the other would be acknowledged instead. What was meant then
// comes again, and the ledger knows it.
void FullDialogue::Acknowledge(Clock::time_point deliveredAt) {
    if (!link_ || !reception_.acknowledge || link_->Layer().DeliveryQueued()) return;
    if (Now() - deliveredAt >= kAckPatience) return;
    Run(kAcknowledge);
}

// A copy that a complete listing of its memory does not hold was deleted by someone else.
void FullDialogue::ForgetCopiesNotListed(const std::string& memory, const Answer& listing) {
    std::vector<int> listed;
    for (const KeptDelivery& entry : listing.stored) {
        int index = -1;
        int status = -1;
        if (ParseListing(entry.header, index, status)) listed.push_back(index);
    }
    for (auto& [id, entry] : ledger_.Entries()) {
        for (const Copy& copy : entry.copies) {
            if (copy.kind == Copy::Kind::Stored && copy.memory == memory &&
                copy.link == linkCount_ &&
                std::find(listed.begin(), listed.end(), copy.index) == listed.end()) {
                ledger_.DropCopyAt(memory, copy.index, linkCount_);
                break;
            }
        }
    }
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
