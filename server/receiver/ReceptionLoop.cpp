#include "server/receiver/ReceptionLoop.h"

#include <string>
#include <utility>
#include <vector>

#include "modem/ModemChannel.h"
#include "server/receiver/ReadSms.h"
#include "server/receiver/UserFeedback.h"
#include "sms/DeliverySplitter.h"

CReadSms* ActiveReceiver = nullptr;
LONG KeepAliveCounter = 120;
UINT_PTR ReceptionTimer = 0;

namespace pelvaro {
namespace {

constexpr UINT_PTR kRequestedTimerId = 1;
constexpr UINT kTickPeriodMs = 1000;
constexpr LONG kIdleTicksAfterKeepAlive = 120;
constexpr LONG kIdleTicksAfterData = 30;

// The start of a delivery whose PDU line was still on its way at the last tick.
std::string HeldText;

// A sink may close or release the receiver, or start another one, while an event is raised. The
// tick goes on only while the link it read from is still the receiver's.
bool StillLinked(CReadSms* receiver, ModemChannel* link) {
    return ActiveReceiver == receiver && receiver->Link() == link;
}

void Acknowledge(ModemChannel& link) {
    link.SendCommand("+CNMA", true);
}
void RouteNewMessages(ModemChannel& link) {
    link.SendCommand("+CNMI=1,2", true);
}

void ProcessTextWithoutDeliveries(CReadSms* receiver, ModemChannel* link, std::string text) {
    const bool raised = receiver->ProcessReceivedText(std::move(text));
    PlayMessageBeep(raised ? MB_OK : MB_ICONHAND);
    if (!StillLinked(receiver, link)) return;
    Acknowledge(*link);
    RouteNewMessages(*link);
}

// A header whose PDU line is still on its way waits for the next tick, once: one that starts
// before `holdFrom` has waited already. Bare PDU text goes on as it is.
bool WaitsForTheNextTick(const pelvaro::Delivery& delivery, std::size_t holdFrom) {
    return delivery.cutOff && !delivery.header.empty() && delivery.begin >= holdFrom;
}

// Each delivery is raised and then acknowledged on its own, so that the modem sends the next one
// only after the client has seen this one.
void ProcessText(CReadSms* receiver, ModemChannel* link, std::string text, std::size_t holdFrom) {
    KeepAliveCounter = kIdleTicksAfterData;
    std::vector<pelvaro::Delivery> deliveries = pelvaro::SplitDeliveries(text);
    if (deliveries.empty()) {
        ProcessTextWithoutDeliveries(receiver, link, std::move(text));
        return;
    }
    if (WaitsForTheNextTick(deliveries.back(), holdFrom)) {
        HeldText = text.substr(deliveries.back().begin);
        deliveries.pop_back();
    }
    for (const pelvaro::Delivery& delivery : deliveries) {
        const bool raised = receiver->ProcessReceivedText(
            text.substr(delivery.begin, delivery.end - delivery.begin));
        PlayMessageBeep(raised ? MB_OK : MB_ICONHAND);
        if (!StillLinked(receiver, link)) return;
        Acknowledge(*link);
    }
    if (!deliveries.empty()) RouteNewMessages(*link);
}

void CountIdleTick(CReadSms* receiver, ModemChannel* link) {
    if (--KeepAliveCounter >= 0) return;
    // Reset first: a sink that pumps messages inside TestEvent runs further ticks.
    KeepAliveCounter = kIdleTicksAfterKeepAlive;
    const bool answered = link->SendCommand("a/", false);
    PlayMessageBeep(answered ? MB_OK : MB_ICONEXCLAMATION);
    if (!answered) receiver->RaiseTestEvent();
}

void Tick() {
    CReadSms* const receiver = ActiveReceiver;
    ModemChannel* const link = receiver ? receiver->Link() : nullptr;
    if (!link) return;

    std::string held = std::exchange(HeldText, std::string());
    std::string text;
    if (link->ReadChunk(text) && !text.empty()) {
        const std::size_t holdFrom = held.size();
        ProcessText(receiver, link, held + text, holdFrom);
    } else if (!held.empty()) {
        // Its PDU had one tick to arrive; what there is goes on as it is.
        const std::size_t holdFrom = held.size();
        ProcessText(receiver, link, std::move(held), holdFrom);
    } else {
        CountIdleTick(receiver, link);
    }
}

}  // namespace

void CALLBACK ReceptionTick(HWND, UINT, UINT_PTR, DWORD) {
    // Nothing may unwind into the message loop that dispatched the tick.
    try {
        Tick();
    } catch (...) {
    }
}

bool StartReception(CReadSms* receiver) {
    if (ReceptionTimer == 0) {
        ReceptionTimer = SetTimer(nullptr, kRequestedTimerId, kTickPeriodMs, ReceptionTick);
        if (ReceptionTimer == 0) return false;
    }
    if (ActiveReceiver != receiver) HeldText.clear();
    ActiveReceiver = receiver;
    return true;
}

void StopReception(CReadSms* receiver) {
    if (ActiveReceiver != receiver) return;
    ActiveReceiver = nullptr;
    HeldText.clear();
    // No timer may outlive the objects: the library can be unloaded once they are gone.
    if (ReceptionTimer != 0) KillTimer(nullptr, std::exchange(ReceptionTimer, 0));
}

void LinkClosed(CReadSms* receiver) {
    if (ActiveReceiver == receiver) HeldText.clear();
}

}  // namespace pelvaro
