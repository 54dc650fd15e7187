#pragma once
// IReadSms, and IDispatch as its dual: late-bound calls reach the receiver's two methods.

#include "Pelvaro_h.h"
#include "server/automation/DispatchPart.h"

namespace pelvaro {

// What the automation part calls on the object behind it.
class ReceiverCommands {
  public:
    // Running out of memory throws; the automation part turns it into the call's result.
    virtual HRESULT StartReceiving(VARIANT_BOOL UseDialog) = 0;
    // Also the object's last step when it is destroyed, so it cannot fail.
    virtual HRESULT Close() noexcept = 0;

  protected:
    ~ReceiverCommands() = default;
};

class AutomationPart final : public DispatchPart<IReadSms> {
  public:
    AutomationPart(IUnknown* controlling, ReceiverCommands& receiver);

    // Named arguments and the call flags are not looked at: a property call runs the method.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept override;

    HRESULT STDMETHODCALLTYPE StartReceiving(VARIANT_BOOL UseDialog) noexcept override;
    HRESULT STDMETHODCALLTYPE Close() noexcept override;

  private:
    ReceiverCommands& receiver_;
};

}  // namespace pelvaro
