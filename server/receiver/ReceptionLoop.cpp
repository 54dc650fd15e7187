#include "server/receiver/ReceptionLoop.h"

#include <string>
#include <utility>

#include "modem/ModemChannel.h"
#include "modem/ModemCommands.h"
#include "server/receiver/ReadSms.h"
#include "server/receiver/UserFeedback.h"

CReadSms* ActiveReceiver = nullptr;
LONG KeepAliveCounter = 120;
UINT_PTR ReceptionTimer = 0;

namespace pelvaro {
namespace {

constexpr UINT_PTR kRequestedTimerId = 1;
constexpr UINT kTickPeriodMs = 1000;
constexpr LONG kIdleTicksAfterKeepAlive = 120;
constexpr LONG kIdleTicksAfterData = 30;
// A modem that never stops sending must not keep the client's thread in one tick; what is left
// waits in the channel for the next one.
constexpr int kMostDeliveriesPerTick = 20;

void AnswerTextWithoutPdu(ModemChannel& link) {
    PlayMessageBeep(MB_ICONHAND);
    link.SendCommand(kAcknowledge, true);
    link.SendCommand(kDirectRouting, true);
}

// Each delivery is raised and then acknowledged on its own, so that a modem that holds the next
// one sends it only after the client has seen this one. The acknowledgements' waits read that
// next one, and it is raised in this tick too; so are any the routing command's wait reads.
void RaiseDeliveries(CReadSms* receiver, ModemChannel* link) {
    KeptDelivery delivery;
    int budget = kMostDeliveriesPerTick;
    while (budget > 0 && link->TakeDelivery(delivery)) {
        KeepAliveCounter = kIdleTicksAfterData;
        do {
            const bool raised = receiver->ProcessReceivedText(delivery.View());
            PlayMessageBeep(raised ? MB_OK : MB_ICONHAND);
            if (!StillLinked(receiver, link)) return;
            link->SendCommand(kAcknowledge, true);
        } while (--budget > 0 && link->TakeDelivery(delivery));
        link->SendCommand(kDirectRouting, true);
    }
}

void CountIdleTick(CReadSms* receiver, ModemChannel* link) {
    if (--KeepAliveCounter >= 0) return;
    // Reset first: a sink that pumps messages inside TestEvent runs further ticks.
    KeepAliveCounter = kIdleTicksAfterKeepAlive;
    if (link->SendCommand(kRepeatLast, false)) {
        PlayMessageBeep(MB_OK);
        return;
    }
    PlayMessageBeep(MB_ICONEXCLAMATION);
    receiver->RaiseTestEvent();
}

void Tick() {
    CReadSms* const receiver = ActiveReceiver;
    if (!receiver) return;
    ModemChannel* const link = receiver->Link();
    if (!link) return;

    std::string text;
    const bool read = link->ReadChunk(text);
    const bool waiting = link->HasDelivery() || link->AwaitsRest();
    if (read || link->HasDelivery()) {
        KeepAliveCounter = kIdleTicksAfterData;
        if (read && !waiting) AnswerTextWithoutPdu(*link);
    } else {
        CountIdleTick(receiver, link);
    }
    if (!StillLinked(receiver, link)) return;
    RaiseDeliveries(receiver, link);
    if (StillLinked(receiver, link)) receiver->RaiseExpired();
}

}  // namespace

bool StillLinked(CReadSms* receiver, ModemChannel* link) {
    return ActiveReceiver == receiver && receiver->Link() == link;
}

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
    ActiveReceiver = receiver;
    return true;
}

void StopReception(CReadSms* receiver) {
    if (ActiveReceiver != receiver) return;
    ActiveReceiver = nullptr;
    // No timer may outlive the objects: the library can be unloaded once they are gone.
    if (ReceptionTimer != 0) KillTimer(nullptr, std::exchange(ReceptionTimer, 0));
}

}  // namespace pelvaro
