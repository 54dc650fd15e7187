#pragma once
// Reception under "Full Modem Support=1", as the client's thread sees it. The dialogue with the
// modem runs on a thread of its own (dialogue/FullDialogue.h) and posts each event to a
// message-only window of the client's thread, which raises it there: the client's thread does
// nothing but raise the events, so a form or a sheet on it never waits for the modem. A thread
// rather than a short timer, because writes paced by "Send Delay", the opening of a port and a
// modem that takes seconds to list its storage would each hold a timer's thread far longer than a
// user tolerates.

#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "dialogue/ReceptionMailbox.h"
#include "modem/Settings.h"
#include "modem/StoredPinRecord.h"
#include "server/receiver/PortOpener.h"
#include "server/receiver/StoredHeardRecord.h"
#include "sms/ClientMessage.h"

namespace pelvaro {

class FullDialogue;

// Who raises the events: the receiver object.
class ReceptionEvents {
  public:
    // True when at least one sink returned from OnNewSms without failing.
    virtual bool RaiseNewSms(const ClientMessage& message) = 0;
    virtual void RaiseLinkLost() = 0;
    // The window has posted events to raise: raise them with Drain, unless it is already
    // raising them further up this thread's stack.
    virtual void EventsWaiting() = 0;

  protected:
    ~ReceptionEvents() = default;
};

class FullReception {
  public:
    // Created on the client's thread, where the events will be raised; does nothing yet.
    FullReception(const LinkSettings& settings, ReceptionEvents& events);
    FullReception(const FullReception&) = delete;
    FullReception& operator=(const FullReception&) = delete;
    // Stops without raising anything: call Stop first.
    ~FullReception();

    // Starts the dialogue's thread and waits for its first set-up. On failure the thread has
    // ended, and `report.why` says why.
    SetUpReport Start();
    // Sets the modem up again, as a repeated StartReceiving asks, and raises again at the next
    // listing what no sink took. A close asked for inside a handler is called off.
    SetUpReport StartAgain();

    // Raises what the dialogue has posted, in order. Events raised by a handler's own message
    // loop would nest: while one is raised, this does nothing, and the raise further up goes on
    // with what came meanwhile. False when a handler asked for Close meanwhile: the owner then
    // stops the reception.
    bool Drain();
    bool Raising() const { return raising_; }
    bool Stopping() const { return stopping_; }
    // Close from inside a handler: carried out once the handler has returned.
    void CloseAfterRaise() { closeAt_ = generation_; }

    // Raises what was already read first, then the long messages still incomplete, lets the
    // dialogue settle them with the modem, and ends its thread.
    void Stop();

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    void RunDialogue() noexcept;
    void Raise(const Outgoing& item);
    bool CloseDue() const { return closeAt_ == generation_; }

    ReceptionEvents& events_;
    HWND window_ = nullptr;
    ReceptionMailbox mailbox_;
    PortOpener opener_;
    StoredPinRecord pins_;
    StoredHeardRecord heard_;
    std::unique_ptr<FullDialogue> dialogue_;
    std::thread thread_;
    bool raising_ = false;
    bool stopping_ = false;
    // Each start counts; a Close asked for inside a handler applies to the start it was made in,
    // so that a StartReceiving after it in the same handler calls it off.
    unsigned generation_ = 0;
    unsigned closeAt_ = ~0u;
};

}  // namespace pelvaro
