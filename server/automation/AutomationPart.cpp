#include "server/automation/AutomationPart.h"

#include "server/module/DispatchIds.h"
#include "win/ToHresult.h"

namespace pelvaro {

namespace {
const DispatchName kNames[] = {
    {L"UseDialog", 0},
    {L"StartReceiving", DISPID_STARTRECEIVING},
    {L"Close", DISPID_CLOSE},
};
}  // namespace

AutomationPart::AutomationPart(IUnknown* controlling, ReceiverCommands& receiver)
    : DispatchPart(controlling, IID_IReadSms, kNames, 1, NamedArguments::Ignored),
      receiver_(receiver) {}

HRESULT AutomationPart::InvokeMember(DISPID dispId, DISPPARAMS& params, UINT* puArgErr) noexcept {
    switch (dispId) {
        case DISPID_STARTRECEIVING: {
            if (params.cArgs != 1) return DISP_E_BADPARAMCOUNT;
            VARIANT* useDialog = nullptr;
            if (FAILED(CoerceArgument(params.rgvarg[0], VT_BOOL, &useDialog))) {
                if (puArgErr) *puArgErr = 0;
                return DISP_E_TYPEMISMATCH;
            }
            return StartReceiving(useDialog->boolVal);
        }
        case DISPID_CLOSE:
            if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
            return Close();
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT AutomationPart::StartReceiving(VARIANT_BOOL UseDialog) noexcept {
    try {
        return receiver_.StartReceiving(UseDialog);
    } catch (...) {
        return ToHresult();
    }
}

HRESULT AutomationPart::Close() noexcept {
    return receiver_.Close();
}

HRESULT ErrorInfoPart::InterfaceSupportsErrorInfo(REFIID riid) noexcept {
    return riid == IID_IReadSms ? S_OK : S_FALSE;
}

}  // namespace pelvaro
