#include "server/automation/EventSourcePart.h"

#include <array>

#include "Pelvaro_h.h"
#include "server/module/DispatchIds.h"

namespace pelvaro {

namespace {
constexpr UINT kMaxArgs = ONNEWSMS_ARGUMENT_COUNT;

// Parameter names map to their position, counted from the left.
const DispatchName kNames[] = {
    {L"TestEvent", DISPID_TESTEVENT}, {L"Sender", 0}, {L"ServCenter", 1}, {L"MsgText", 2},
    {L"OnNewSms", DISPID_ONNEWSMS},
};

// Slot k holds the argument of the parameter k-th from the right, as rgvarg orders them.
using Slots = std::array<VARIANT*, kMaxArgs>;

HRESULT Refuse(UINT index, UINT* puArgErr) {
    if (puArgErr) *puArgErr = index;
    return DISP_E_PARAMNOTFOUND;
}

// An argument that lands in a slot already taken is refused. As cArgs arguments then fill
// cArgs slots, no slot is left unfilled: a parameter named twice, or named and also given by
// position, ends here, and so does a call with more named arguments than arguments.
HRESULT SortIntoSlots(const DISPPARAMS& params, Slots& slots, UINT* puArgErr) {
    slots.fill(nullptr);
    const UINT argCount = params.cArgs;
    UINT index = 0;
    if (argCount > 0 && params.cNamedArgs > 0 &&
        params.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT) {
        slots[0] = &params.rgvarg[0];
        index = 1;
    }
    for (; index < params.cNamedArgs; ++index) {
        const DISPID id = params.rgdispidNamedArgs[index];
        if (id < 0 || static_cast<UINT>(id) >= argCount) return Refuse(index, puArgErr);
        VARIANT*& slot = slots[argCount - 1 - static_cast<UINT>(id)];
        if (slot) return Refuse(index, puArgErr);
        slot = &params.rgvarg[index];
    }
    for (; index < argCount; ++index) {
        if (slots[index]) return Refuse(index, puArgErr);
        slots[index] = &params.rgvarg[index];
    }
    return S_OK;
}

}  // namespace

EventSourcePart::EventSourcePart(IUnknown* controlling, EventRaiser& raiser)
    : DispatchPart(controlling, DIID__IReadSmsEvents, kNames, kMaxArgs, NamedArguments::Read),
      raiser_(raiser) {}

HRESULT EventSourcePart::InvokeMember(DISPID dispId, DISPPARAMS& params, UINT* puArgErr) noexcept {
    Slots slots;
    const HRESULT sorted = SortIntoSlots(params, slots, puArgErr);
    if (FAILED(sorted)) return sorted;
    switch (dispId) {
        case DISPID_TESTEVENT:
            if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
            return raiser_.RaiseTestEvent();
        case DISPID_ONNEWSMS: {
            if (params.cArgs != kMaxArgs) return DISP_E_BADPARAMCOUNT;
            std::array<VARIANT*, kMaxArgs> text{};
            for (UINT slot = kMaxArgs; slot-- > 0;) {
                if (FAILED(CoerceArgument(*slots[slot], VT_BSTR, &text[slot]))) {
                    if (puArgErr) *puArgErr = slot;
                    return DISP_E_TYPEMISMATCH;
                }
            }
            return raiser_.RaiseOnNewSms(text[2]->bstrVal, text[1]->bstrVal, text[0]->bstrVal);
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace pelvaro
