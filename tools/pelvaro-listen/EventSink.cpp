#include "tools/pelvaro-listen/EventSink.h"

#include <utility>

#include "server/module/DispatchIds.h"
#include "win/Holders.h"
#include "win/QueryInterface.h"
#include "win/ToHresult.h"

namespace pelvaro::listen {

ComPtr<EventSink> EventSink::Create(const IID& eventIid, EventHandlers handlers) {
    return ComPtr<EventSink>::Attach(new EventSink(eventIid, std::move(handlers)));
}

EventSink::EventSink(const IID& eventIid, EventHandlers handlers)
    : eventIid_(eventIid), handlers_(std::move(handlers)) {}

HRESULT EventSink::QueryInterface(REFIID riid, void** ppv) noexcept {
    const InterfaceEntry<EventSink> interfaces[] = {
        {&IID_IUnknown, AsInterface<EventSink, IDispatch>},
        {&IID_IDispatch, AsInterface<EventSink, IDispatch>},
        {&eventIid_, AsInterface<EventSink, IDispatch>},
    };
    return QueryInterfaceFrom(interfaces, *this, riid, ppv);
}

ULONG EventSink::AddRef() noexcept {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG EventSink::Release() noexcept {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT EventSink::GetTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* dispIds) noexcept {
    if (dispIds) {
        for (UINT i = 0; i < count; ++i) dispIds[i] = DISPID_UNKNOWN;
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT EventSink::Invoke(DISPID dispId, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO*, UINT* argErr) noexcept {
    if (!params) return E_INVALIDARG;
    if (result) VariantInit(result);
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    // The handlers print, which may run out of memory; nothing may throw across COM.
    try {
        switch (dispId) {
            case DISPID_ONNEWSMS:
                return OnNewSms(*params, argErr);
            case DISPID_TESTEVENT:
                return TestEvent(*params);
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    } catch (...) {
        return ToHresult();
    }
}

HRESULT EventSink::OnNewSms(DISPPARAMS& params, UINT* argErr) {
    if (params.cArgs != ONNEWSMS_ARGUMENT_COUNT) return DISP_E_BADPARAMCOUNT;
    // Arguments arrive last first: MsgText, the third parameter, is rgvarg[0].
    Variant text;
    if (FAILED(VariantChangeType(text.Get(), &params.rgvarg[0], 0, VT_BSTR))) {
        if (argErr) *argErr = 0;
        return DISP_E_TYPEMISMATCH;
    }
    const BSTR bstr = V_BSTR(text.Get());
    if (handlers_.onNewSms) {
        handlers_.onNewSms(bstr ? std::wstring(bstr, SysStringLen(bstr)) : std::wstring());
    }
    return S_OK;
}

HRESULT EventSink::TestEvent(const DISPPARAMS& params) {
    if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (handlers_.onTestEvent) handlers_.onTestEvent();
    return S_OK;
}

}  // namespace pelvaro::listen
