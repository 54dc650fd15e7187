#include "tests/server/ServerTestSupport.h"

#include <gtest/gtest.h>

#include "Pelvaro_h.h"
#include "server/module/DispatchIds.h"
#include "tests/support/FailAllocations.h"

namespace pelvaro::test {

std::vector<std::wstring> TestSink::Texts() const {
    std::vector<std::wstring> texts;
    for (const SinkCall& call : calls) {
        if (call.id == DISPID_ONNEWSMS) texts.push_back(call.args.at(2));
    }
    return texts;
}

HRESULT TestSink::QueryInterface(REFIID riid, void** ppv) {
    *ppv = nullptr;
    const bool connection = riid == DIID__IReadSmsEvents || riid == IID_IPropertyNotifySink;
    if (connection && FAILED(queryFailure)) return queryFailure;
    if (riid == IID_IPropertyNotifySink) {
        *ppv = static_cast<IPropertyNotifySink*>(this);
    } else if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__IReadSmsEvents) {
        *ppv = static_cast<IDispatch*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT TestSink::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                         VARIANT* varResult, EXCEPINFO* info, UINT* argError) {
    {
        const AllowAllocations recording;  // the recording is not under test
        SinkCall call{id,
                      {},
                      riid == IID_NULL && lcid == LOCALE_USER_DEFAULT && flags == DISPATCH_METHOD &&
                          params->cNamedArgs == 0 && !params->rgdispidNamedArgs && varResult &&
                          info && argError};
        for (UINT i = params->cArgs; i-- > 0;) {
            VARIANT& arg = params->rgvarg[i];
            call.args.push_back(
                arg.vt == VT_BSTR ? std::wstring(arg.bstrVal, SysStringLen(arg.bstrVal)) : L"?");
            arg.vt = VT_I4;  // scribbled on: the next sink must not see it
        }
        calls.push_back(call);
        V_VT(varResult) = VT_BSTR;  // must be freed by the caller
        V_BSTR(varResult) = SysAllocString(L"ignored");
        if (onInvoke) onInvoke();
    }
    if (FAILED(result)) {
        *info = exception;
        info->bstrDescription = description ? SysAllocString(description) : nullptr;
    }
    return result;
}

HRESULT TestSink::NeverCalled() {
    ADD_FAILURE() << "a call the sink must never get";
    return E_UNEXPECTED;
}

}  // namespace pelvaro::test
