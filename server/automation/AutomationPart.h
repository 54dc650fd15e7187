#pragma once
// IReadSms, and IDispatch as its dual: late-bound calls reach the receiver's two methods. IReadSms
// is also the interface whose failures may carry error information.

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

    HRESULT STDMETHODCALLTYPE StartReceiving(VARIANT_BOOL UseDialog) noexcept override;
    HRESULT STDMETHODCALLTYPE Close() noexcept override;

  private:
    // Named arguments are not looked at.
    HRESULT InvokeMember(DISPID dispId, DISPPARAMS& params, UINT* puArgErr) noexcept override;

    ReceiverCommands& receiver_;
};

class ErrorInfoPart final : public ObjectPart<ISupportErrorInfo> {
  public:
    explicit ErrorInfoPart(IUnknown* controlling) : ObjectPart(controlling) {}

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) noexcept override;
};

}  // namespace pelvaro
