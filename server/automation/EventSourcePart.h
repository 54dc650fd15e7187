#pragma once
// The object's own _IReadSmsEvents: calling it raises the events to every connected sink.

#include <oaidl.h>

#include "server/automation/DispatchPart.h"

namespace pelvaro {

// What the event source calls to raise an event.
class EventRaiser {
  public:
    virtual HRESULT RaiseTestEvent() noexcept = 0;
    virtual HRESULT RaiseOnNewSms(BSTR Sender, BSTR ServCenter, BSTR MsgText) noexcept = 0;

  protected:
    ~EventRaiser() = default;
};

class EventSourcePart final : public DispatchPart<IDispatch> {
  public:
    EventSourcePart(IUnknown* controlling, EventRaiser& raiser);

  private:
    HRESULT InvokeMember(DISPID dispId, DISPPARAMS& params, UINT* puArgErr) noexcept override;

    EventRaiser& raiser_;
};

}  // namespace pelvaro
