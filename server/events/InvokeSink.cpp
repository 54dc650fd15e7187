#include "server/events/InvokeSink.h"

#include "win/ComPtr.h"
#include "win/Holders.h"

namespace pelvaro {

namespace {

void PublishErrorInfo(EXCEPINFO& info) noexcept {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    ComPtr<ICreateErrorInfo> created;
    if (FAILED(CreateErrorInfo(created.Put()))) return;
    created->SetGUID(IID_IDispatch);
    if (info.bstrSource) created->SetSource(info.bstrSource);
    if (info.bstrDescription) created->SetDescription(info.bstrDescription);
    if (info.bstrHelpFile) created->SetHelpFile(info.bstrHelpFile);
    created->SetHelpContext(info.dwHelpContext);

    // Published whatever code the exception carries: a sink that reports a real
    // failure must not leave the caller with a stale, unrelated error.
    ComPtr<IErrorInfo> errorInfo;
    if (SUCCEEDED(created.As(errorInfo))) SetErrorInfo(0, errorInfo.Get());
}

}  // namespace

HRESULT InvokeSink(IDispatch* sink, DISPID dispId, DISPPARAMS* params) noexcept {
    // A sink's result is not used, and its exception only on failure; both are freed.
    Variant result;
    ExcepInfo info;
    UINT argError = static_cast<UINT>(-1);
    const HRESULT hr = sink->Invoke(dispId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params,
                                    result.Get(), info.Get(), &argError);
    if (FAILED(hr)) PublishErrorInfo(*info.Get());
    return hr;
}

}  // namespace pelvaro
