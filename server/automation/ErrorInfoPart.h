#pragma once
// States that IReadSms may set error information; no method of it does so today.

#include <oaidl.h>

#include "server/automation/ObjectPart.h"

namespace pelvaro {

class ErrorInfoPart final : public ObjectPart<ISupportErrorInfo> {
  public:
    explicit ErrorInfoPart(IUnknown* controlling) : ObjectPart(controlling) {}

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) noexcept override;
};

}  // namespace pelvaro
