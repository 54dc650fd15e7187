#include "server/events/InvokeSink.h"

#include "win/Bstr.h"
#include "win/ComPtr.h"
#include "win/Variant.h"

namespace pelvaro {

namespace {

void PublishErrorInfo(EXCEPINFO& info) {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    // Owned from here on, so that every way out frees them.
    const Bstr source = Bstr::Attach(info.bstrSource);
    const Bstr description = Bstr::Attach(info.bstrDescription);
    const Bstr helpFile = Bstr::Attach(info.bstrHelpFile);
    info.bstrSource = info.bstrDescription = info.bstrHelpFile = nullptr;

    ComPtr<ICreateErrorInfo> created;
    if (FAILED(CreateErrorInfo(created.Put()))) return;
    created->SetGUID(IID_IDispatch);
    if (source.Get()) created->SetSource(source.Get());
    if (description.Get()) created->SetDescription(description.Get());
    if (helpFile.Get()) created->SetHelpFile(helpFile.Get());
    created->SetHelpContext(info.dwHelpContext);

    // Published whatever code the exception carries: a sink that reports a real
    // failure must not leave the caller with a stale, unrelated error.
    ComPtr<IErrorInfo> errorInfo;
    if (SUCCEEDED(created.As(errorInfo))) SetErrorInfo(0, errorInfo.Get());
}

}  // namespace

HRESULT InvokeSink(IDispatch* sink, DISPID dispId, DISPPARAMS* params) {
    Variant result;  // a sink's result is not used, only freed
    EXCEPINFO info{};
    UINT argError = static_cast<UINT>(-1);
    const HRESULT hr = sink->Invoke(dispId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params,
                                    result.Get(), &info, &argError);
    if (SUCCEEDED(hr)) {
        // Unused, but a sink may have filled them all the same.
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        return hr;
    }
    PublishErrorInfo(info);
    return hr;
}

}  // namespace pelvaro
