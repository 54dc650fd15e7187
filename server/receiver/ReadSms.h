#pragma once
// The receiver object. Its parts share one identity and one reference count; the receiver's own
// state comes after them: the modem link of the fixed dialogue, driven by the process-wide timer,
// or the reception under "Full Modem Support=1", which has a thread of its own.

#include <ocidl.h>

#include <memory>
#include <string>
#include <vector>

#include "modem/ModemChannel.h"
#include "server/automation/AutomationPart.h"
#include "server/automation/ClassInfoPart.h"
#include "server/automation/ContainerPart.h"
#include "server/automation/EventSourcePart.h"
#include "server/events/EventsConnectionPoint.h"
#include "server/receiver/FullReception.h"
#include "sms/ClientMessage.h"
#include "win/QueryInterface.h"

class CReadSms final : public pelvaro::ReceiverCommands,
                       public pelvaro::EventRaiser,
                       private pelvaro::ReceptionEvents {
  public:
    // outer: the aggregating object's unknown, or null for a plain object. The count starts at
    // 0; the creator takes the first reference through InnerUnknown()->QueryInterface.
    explicit CReadSms(IUnknown* outer = nullptr);
    CReadSms(const CReadSms&) = delete;
    CReadSms& operator=(const CReadSms&) = delete;

    // The object's own unknown: it keeps the count and answers from the COM map.
    IUnknown* InnerUnknown() { return &inner_; }

    HRESULT StartReceiving(VARIANT_BOOL UseDialog) override;
    HRESULT Close() noexcept override;

    HRESULT RaiseTestEvent() noexcept override { return events_.RaiseTestEvent(); }
    HRESULT RaiseOnNewSms(BSTR Sender, BSTR ServCenter, BSTR MsgText) noexcept override {
        return events_.RaiseOnNewSms(Sender, ServCenter, MsgText);
    }
    pelvaro::EventsConnectionPoint& Events() { return events_; }

    // Raises OnNewSms for what one delivery completes. False when it holds no PDU, or when memory
    // ran out and the event was dropped. A sink may have released the object by the time this
    // returns.
    bool ProcessReceivedText(const pelvaro::Delivery& delivery);
    // Raises the long messages that waited too long for their missing parts.
    void RaiseExpired();
    // The fixed dialogue's link; null while the object is not linked.
    pelvaro::ModemChannel* Link() const { return ModemLink.get(); }
    // Opens the link unless it is open, with the settings read afresh.
    bool EnsureModemLink();
    // Whether reception with full modem support runs.
    bool ReceivesFully() const { return static_cast<bool>(full_); }

  private:
    // Not delegating: in the aggregated form the outer object holds this one.
    class Unknown final : public IUnknown {
      public:
        explicit Unknown(CReadSms& object) : object_(object) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {
            return object_.InternalQueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() noexcept override { return object_.InternalAddRef(); }
        ULONG STDMETHODCALLTYPE Release() noexcept override { return object_.InternalRelease(); }

      private:
        CReadSms& object_;
    };

    // One row per interface, searched in order, each with the part of the object that answers it.
    static const pelvaro::InterfaceEntry<CReadSms> kComMap[8];

    // Only the last Release destroys the object.
    ~CReadSms() = default;

    HRESULT InternalQueryInterface(REFIID riid, void** ppv);
    ULONG InternalAddRef();
    ULONG InternalRelease();
    void RaiseMessages(const std::vector<pelvaro::ClientMessage>& messages);

    HRESULT StartFixed();
    HRESULT SendFixedInit();
    HRESULT StartFully(const pelvaro::LinkSettings& settings);
    HRESULT StartFullyAgain();
    void StopFully();

    // What the reception with full modem support asks of the object, on the client's thread.
    bool RaiseNewSms(const pelvaro::ClientMessage& message) override;
    void RaiseLinkLost() override;
    void EventsWaiting() override;

    LONG refCount_ = 0;
    Unknown inner_{*this};
    IUnknown* const controlling_;
    pelvaro::EventsConnectionPoint events_;
    pelvaro::PropertyNotifyConnectionPoint propertyNotify_;
    pelvaro::ClassInfoPart classInfo_{controlling_};
    pelvaro::AutomationPart automation_{controlling_, *this};
    pelvaro::EventSourcePart eventSource_{controlling_, *this};
    pelvaro::ContainerPart container_{controlling_, propertyNotify_.Interface(),
                                      events_.Interface()};
    pelvaro::ErrorInfoPart errorInfo_{controlling_};
    std::unique_ptr<pelvaro::ModemChannel> ModemLink;
    pelvaro::MessageReader reader_;
    std::unique_ptr<pelvaro::FullReception> full_;
};
