#include "server/automation/AutomationPart.h"

#include "server/automation/CoerceArgument.h"
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
    : DispatchPart(controlling, IID_IReadSms, kNames), receiver_(receiver) {}

HRESULT AutomationPart::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams,
                               VARIANT* pVarResult, EXCEPINFO*, UINT* puArgErr) noexcept {
    if (!pDispParams) return DISP_E_BADVARTYPE;
    const UINT argCount = pDispParams->cArgs;
    if (argCount > 1) return DISP_E_BADPARAMCOUNT;
    if (argCount > 0 && !pDispParams->rgvarg) return E_INVALIDARG;
    if (pVarResult) VariantInit(pVarResult);
    switch (dispIdMember) {
        case DISPID_STARTRECEIVING: {
            if (argCount != 1) return DISP_E_BADPARAMCOUNT;
            VARIANT* useDialog = nullptr;
            if (FAILED(CoerceArgument(pDispParams->rgvarg[0], VT_BOOL, &useDialog))) {
                if (puArgErr) *puArgErr = 0;
                return DISP_E_TYPEMISMATCH;
            }
            return StartReceiving(useDialog->boolVal);
        }
        case DISPID_CLOSE:
            if (argCount != 0) return DISP_E_BADPARAMCOUNT;
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

}  // namespace pelvaro
