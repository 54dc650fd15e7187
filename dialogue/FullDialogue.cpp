#include "server/receiver/FullDialogue.h"

#include <algorithm>

#include "modem/ModemCommands.h"
#include "modem/ModemLines.h"
#include "modem/PortSearch.h"
#include "sms/PduDecoder.h"
#include "sms/PduFields.h"

namespace pelvaro {
namespace {

using namespace std::chrono_literals;

// Peers look at a module every 10 to 30 s: one that stopped routing without a word, or stored a
// message silently, is found within this.
constexpr auto kCheckEvery = 10s;
// A SIM that is starting or checking its PIN is asked again after this.
constexpr auto kSetUpAgainAfter = 2s;
// A set-up that failed is tried again after this, in case the modem is put right meanwhile.
constexpr auto kSetUpAfterFailure = 10s;
constexpr auto kReopenEvery = 10s;
// A full storage takes a few seconds to list at 57600 baud; slow modems take more.
constexpr auto kListingDeadline = 30s;
// Closing waits this long at most for the client's verdicts on what was raised.
constexpr auto kLongestFinish = 60s;
constexpr unsigned kIdleMs = 50;
constexpr int kUnansweredChecksForLost = 2;

// A message listed from storage, with the time its service centre gave it.
struct Stored {
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
std::vector<Stored> ReceivedOldestFirst(const Answer& listing) {
    std::vector<Stored> received;
    for (const KeptDelivery& entry : listing.stored) {
        int index = -1;
        int status = -1;
        if (!ParseListing(entry.header, index, status) || !Received(status)) continue;
        received.push_back({index, entry, ServiceCentreTime(entry)});
    }
    std::stable_sort(received.begin(), received.end(), [](const Stored& a, const Stored& b) {
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

bool Contains(const std::vector<DeliveryTag>& tags, DeliveryTag tag) {
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

}  // namespace

FullDialogue::FullDialogue(const LinkSettings& settings, ReceptionMailbox& mailbox)
    : settings_(settings), mailbox_(mailbox), reader_(settings.fullDecoding) {}

FullDialogue::~FullDialogue() = default;

void FullDialogue::Run() {
    SetUpReport report = Open();
    const bool started = report.kind != SetUpReport::Kind::Failed;
    mailbox_.Report(std::move(report));
    if (started) {
        while (!mailbox_.StopRequested()) Step();
        Finish();
    }
    link_.reset();
    mailbox_.Finished();
}

SetUpReport FullDialogue::Open() {
    std::string why;
    if (!OpenLink(why)) return {SetUpReport::Kind::Failed, why, settings_.port};
    SetUpReport report = SetUp();
    if (report.kind == SetUpReport::Kind::Failed) link_.reset();
    return report;
}

bool FullDialogue::OpenLink(std::string& why) {
    std::unique_ptr<CommandPort> link;
    if (settings_.autoPort) {
        std::vector<PortProbe> tried;
        link = FindModemPort(settings_, tried);
        if (!link) why = NoModemFound(tried);
    } else {
        link = std::make_unique<CommandPort>(settings_, settings_.port);
        if (!link->Open()) {
            why = "COM" + std::to_string(settings_.port) + " could not be opened";
            link.reset();
        }
    }
    if (!link) return false;
    link->Layer().CancelWith(&mailbox_.Hurry());
    link_ = std::move(link);
    ++linkCount_;
    state_ = State::Waiting;
    unansweredChecks_ = 0;
    return true;
}

// The set-up takes effect only once it has succeeded; until then the modem is waited for.
SetUpReport FullDialogue::SetUp() {
    const SetUpResult result = SetUpModem(link_->Layer(), settings_.pin);
    const int port = link_->Number();
    switch (result.kind) {
        case SetUpResult::Kind::Ready:
            unansweredChecks_ = 0;
            reception_ = result.reception;
            state_ = State::Receiving;
            sweepDue_ = true;
            nextCheck_ = Clock::now() + kCheckEvery;
            return {SetUpReport::Kind::Receiving, {}, port};
        case SetUpResult::Kind::Waiting:
            state_ = State::Waiting;
            nextSetUp_ = Clock::now() + kSetUpAgainAfter;
            return {SetUpReport::Kind::Waiting, result.why, port};
        case SetUpResult::Kind::Failed:
            break;
    }
    state_ = State::Waiting;
    nextSetUp_ = Clock::now() + kSetUpAfterFailure;
    // A modem that stopped answering is found again as a vanished one is.
    if (result.silent && ++unansweredChecks_ >= kUnansweredChecksForLost) LoseLink();
    return {SetUpReport::Kind::Failed, result.why, port};
}

// A client that starts again wants the set-up made again, and what no sink took raised again.
SetUpReport FullDialogue::SetUpForClient() {
    for (auto place = places_.begin(); place != places_.end();) {
        place = place->second.left ? places_.erase(place) : std::next(place);
    }
    if (!link_) {
        std::string why;
        if (!OpenLink(why)) return {SetUpReport::Kind::Failed, why, settings_.port};
    }
    return SetUp();
}

void FullDialogue::Step() {
    SettleVerdicts();
    if (mailbox_.TakeSetUpRequest()) mailbox_.Report(SetUpForClient());
    if (!link_) {
        ReopenIfDue();
        mailbox_.Idle(kIdleMs);
        return;
    }
    if (link_->Layer().Lost()) {
        LoseLink();
        return;
    }
    HandleUnsolicited();
    const Clock::time_point now = Clock::now();
    if (link_ && state_ == State::Waiting && now >= nextSetUp_) SetUp();
    if (link_ && state_ == State::Receiving) {
        if (sweepDue_) {
            Sweep();
        } else if (now >= nextCheck_) {
            Check();
        }
    }
    PostExpired();
    if (link_) link_->Layer().Listen();
}

void FullDialogue::Finish() {
    // The deletions and acknowledgements for what is raised now must have their answers.
    if (link_) link_->Layer().CancelWith(nullptr);
    // Nothing is dropped: long messages still incomplete go out with their gaps marked.
    std::vector<ClientMessage> incomplete;
    reader_.Flush(incomplete);
    for (ClientMessage& message : incomplete) Post(std::move(message));
    const Clock::time_point end = Clock::now() + kLongestFinish;
    while (!posted_.empty() && Clock::now() < end) {
        SettleVerdicts();
        if (!link_) {
            mailbox_.Idle(kIdleMs);
            continue;
        }
        // A delivery that comes meanwhile is raised too; announced ones stay stored for later.
        for (Unsolicited event; link_->Layer().TakeUnsolicited(event);) {
            if (event.kind == Unsolicited::Kind::Delivery) TakeDirect(event.delivery);
        }
        link_->Layer().Listen();
    }
    SettleVerdicts();
}

void FullDialogue::HandleUnsolicited() {
    for (Unsolicited event; link_ && link_->Layer().TakeUnsolicited(event);) {
        switch (event.kind) {
            case Unsolicited::Kind::Delivery:
                TakeDirect(event.delivery);
                break;
            case Unsolicited::Kind::Announcement:
                if (state_ == State::Receiving) {
                    ReadAnnounced(event.memory, event.index);
                } else {
                    sweepDue_ = true;
                }
                break;
            case Unsolicited::Kind::Restart:
                // The module has forgotten its set-up, and may have stored meanwhile.
                state_ = State::Waiting;
                nextSetUp_ = Clock::now();
                break;
            case Unsolicited::Kind::SimReady:
                if (state_ == State::Waiting) nextSetUp_ = Clock::now();
                break;
        }
    }
}

void FullDialogue::TakeDirect(const KeptDelivery& delivery) {
    // A module that restarted before it had the acknowledgement delivers its last one again.
    if (raised_.Seen(delivery.pdu, Clock::now())) {
        Acknowledge();
        return;
    }
    const DeliveryTag tag = nextTag_++;
    places_[tag] = {{}, -1, delivery.pdu, linkCount_, reception_.acknowledge, false};
    Read(delivery, tag);
}

void FullDialogue::ReadAnnounced(const std::string& memory, int index) {
    if (InHand(memory, index)) return;
    const Answer answer = SelectMemory(memory) ? Run(kReadAt + std::to_string(index)) : Answer{};
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
    nextCheck_ = Clock::now() + kCheckEvery;
    std::vector<std::string> memories = reception_.memories;
    // A modem that names no memories may still list the one it has.
    if (memories.empty()) memories.emplace_back();
    for (const std::string& memory : memories) {
        if (!SelectMemory(memory)) continue;
        const Answer listing = Run(kListAll, kListingDeadline);
        if (!listing.Ok()) continue;
        known_[memory] = static_cast<int>(listing.stored.size());
        for (const Stored& stored : ReceivedOldestFirst(listing)) {
            TakeStored(memory, stored.index, stored.entry);
        }
    }
}

// A module whose acknowledgement timed out, or that registered anew, stops routing and stores
// what comes without a word.
void FullDialogue::Check() {
    nextCheck_ = Clock::now() + kCheckEvery;
    if (!reception_.Routes()) {
        sweepDue_ = true;
        return;
    }
    const Answer routing = Run(kRoutingState);
    const Answer storage = reception_.Stores() ? Run(kStorageState) : Answer{};
    if (!routing.Answered() && !storage.Answered()) {
        if (++unansweredChecks_ >= kUnansweredChecksForLost) LoseLink();
        return;
    }
    unansweredChecks_ = 0;
    if (routing.Ok() && !RoutesAsSetUp(routing)) {
        Run(reception_.RoutingCommand());
        sweepDue_ = true;
    }
    if (storage.Ok() && StorageChanged(storage)) sweepDue_ = true;
}

void FullDialogue::TakeStored(const std::string& memory, int index, const KeptDelivery& entry) {
    // A memory that combines others ("MT") lists their messages again under its own indices.
    if (InHand(memory, index) || InHand(entry.pdu)) return;
    if (raised_.Seen(entry.pdu, Clock::now())) {
        Delete(memory, index);
        return;
    }
    const DeliveryTag tag = nextTag_++;
    places_[tag] = {memory, index, entry.pdu, linkCount_, false, false};
    Read(entry, tag);
}

void FullDialogue::Read(const KeptDelivery& delivery, DeliveryTag tag) {
    std::vector<ClientMessage> ready;
    const bool hasPdu = reader_.Read(delivery.View(), Clock::now(), ready, tag);
    bool raisedNow = false;
    for (ClientMessage& message : ready) {
        raisedNow = raisedNow || Contains(message.sources, tag);
        Post(std::move(message));
    }
    if (raisedNow) return;
    Place& place = places_[tag];
    if (hasPdu && reader_.Holds(tag)) {
        // The part waits for the rest of its message; a modem cannot wait for it.
        if (place.awaitsAck) Acknowledge();
        place.awaitsAck = false;
    } else if (!hasPdu && !place.memory.empty()) {
        place.left = true;  // cannot be read: it stays where it is
    } else {
        Settle(tag);  // no PDU in a direct delivery, or a part of a message already raised
    }
}

void FullDialogue::Post(ClientMessage message) {
    const std::uint64_t id = nextId_++;
    posted_[id] = message.sources;
    Outgoing item;
    item.id = id;
    item.message = std::move(message);
    mailbox_.Post(std::move(item));
}

void FullDialogue::PostExpired() {
    std::vector<ClientMessage> expired;
    reader_.Expire(Clock::now(), expired);
    for (ClientMessage& message : expired) Post(std::move(message));
}

void FullDialogue::SettleVerdicts() {
    for (const Verdict& verdict : mailbox_.TakeVerdicts()) {
        const auto found = posted_.find(verdict.id);
        if (found == posted_.end()) continue;
        const std::vector<DeliveryTag> sources = std::move(found->second);
        posted_.erase(found);
        for (const DeliveryTag tag : sources) {
            const auto place = places_.find(tag);
            if (place == places_.end()) continue;
            if (verdict.heard) {
                raised_.Remember(place->second.pdu, Clock::now());
                Settle(tag);
            } else if (place->second.memory.empty()) {
                Settle(tag);  // a direct delivery has nowhere to stay
            } else {
                place->second.left = true;  // no sink took it: it stays stored
            }
        }
    }
}

void FullDialogue::Settle(DeliveryTag tag) {
    const auto found = places_.find(tag);
    if (found == places_.end()) return;
    const Place place = std::move(found->second);
    places_.erase(found);
    // Read on an earlier link: its index may mean something else now; the next listing finds
    // it, and the filter knows it.
    if (!link_ || place.link != linkCount_) return;
    if (place.memory.empty()) {
        if (place.awaitsAck) Acknowledge();
    } else {
        Delete(place.memory, place.index);
    }
}

void FullDialogue::LoseLink() {
    link_.reset();
    // What stayed stored is read afresh on the next link.
    for (auto place = places_.begin(); place != places_.end();) {
        place = place->second.left ? places_.erase(place) : std::next(place);
    }
    state_ = State::Unlinked;
    nextReopen_ = Clock::now() + kReopenEvery;
    Outgoing lost;
    lost.kind = Outgoing::Kind::TestEvent;
    mailbox_.Post(std::move(lost));
}

void FullDialogue::ReopenIfDue() {
    const Clock::time_point now = Clock::now();
    if (now < nextReopen_) return;
    nextReopen_ = now + kReopenEvery;
    std::string why;
    if (!OpenLink(why)) return;
    if (SetUp().kind == SetUpReport::Kind::Failed) {
        link_.reset();
        state_ = State::Unlinked;
    }
}

Answer FullDialogue::Run(const std::string& command, Clock::duration deadline) {
    return link_->Layer().Run(command, deadline);
}

bool FullDialogue::SelectMemory(const std::string& memory) {
    if (memory.empty() || memory == reception_.readMemory) return true;
    if (Run(kSelectStorage + Quoted(memory)).Ok()) {
        reception_.readMemory = memory;
        return true;
    }
    // A modem that offers no choice of memories reads from the one it has.
    return !reception_.Stores();
}

void FullDialogue::Delete(const std::string& memory, int index) {
    if (!SelectMemory(memory)) return;
    if (Run(kDeleteAt + std::to_string(index)).Ok() && known_[memory] > 0) --known_[memory];
}

void FullDialogue::Acknowledge() {
    if (reception_.acknowledge) Run(kAcknowledge);
}

bool FullDialogue::InHand(const std::string& pdu) const {
    return std::any_of(places_.begin(), places_.end(), [&](const auto& entry) {
        return entry.second.pdu == pdu && entry.second.link == linkCount_;
    });
}

bool FullDialogue::InHand(const std::string& memory, int index) const {
    return std::any_of(places_.begin(), places_.end(), [&](const auto& entry) {
        const Place& place = entry.second;
        return place.index == index && place.memory == memory && place.link == linkCount_;
    });
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
    if (!fields.empty()) reception_.readMemory = fields.front();
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
