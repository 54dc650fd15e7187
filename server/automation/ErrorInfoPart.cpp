#include "server/automation/ErrorInfoPart.h"

#include "Pelvaro_h.h"

namespace pelvaro {

HRESULT ErrorInfoPart::InterfaceSupportsErrorInfo(REFIID riid) noexcept {
    return riid == IID_IReadSms ? S_OK : S_FALSE;
}

}  // namespace pelvaro
