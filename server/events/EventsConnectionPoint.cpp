#include "server/events/EventsConnectionPoint.h"

#include "Pelvaro_h.h"
#include "server/module/DispatchIds.h"
#include "win/ComPtr.h"
#include "win/ErrorInfo.h"
#include "win/Holders.h"

namespace pelvaro {

namespace {

constexpr UINT kMaxArgs = ONNEWSMS_ARGUMENT_COUNT;

// Published whatever code the exception carries: a sink that reports a real failure must not
// leave the caller with a stale, unrelated error.
void PublishException(EXCEPINFO& info) noexcept {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    PublishErrorInfo({IID_IDispatch, info.bstrSource, info.bstrDescription, info.bstrHelpFile,
                      info.dwHelpContext});
}

// Calls one sink and turns the exception it reports into the thread's error information; returns
// the sink's own result.
HRESULT InvokeSink(IDispatch* sink, DISPID dispId, DISPPARAMS* params) noexcept {
    // A sink's result is not used, and its exception only on failure; both are freed.
    Variant result;
    ExcepInfo info;
    UINT argError = static_cast<UINT>(-1);
    const HRESULT hr = sink->Invoke(dispId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params,
                                    result.Get(), info.Get(), &argError);
    if (FAILED(hr)) PublishException(*info.Get());
    return hr;
}

}  // namespace

EventsConnectionPoint::EventsConnectionPoint(IUnknown* owner)
    : ConnectionPoint(owner, DIID__IReadSmsEvents) {}

HRESULT EventsConnectionPoint::RaiseTestEvent() noexcept {
    return Raise(DISPID_TESTEVENT, nullptr, 0, nullptr);
}

HRESULT EventsConnectionPoint::RaiseOnNewSms(BSTR Sender, BSTR ServCenter, BSTR MsgText,
                                             int* heard) noexcept {
    const BSTR reversed[] = {MsgText, ServCenter, Sender};
    return Raise(DISPID_ONNEWSMS, reversed, kMaxArgs, heard);
}

// `args` is in DISPPARAMS order: the last parameter first.
HRESULT EventsConnectionPoint::Raise(DISPID dispId, const BSTR* args, UINT argCount,
                                     int* heard) noexcept {
    if (heard) *heard = 0;
    // A sink may release the owner's last reference; the walk below still reads this object.
    const ComPtr<IUnknown> keepOwner = ComPtr<IUnknown>::Borrow(Owner());
    // Sinks connected by a handler wait for the next event: slot reuse would otherwise decide
    // who gets this one, and a handler that connects another sink each time would never end it.
    const SinkList::Stamp raisedAt = Sinks().Now();
    HRESULT result = S_OK;
    // The slot count is read afresh on every step: a handler may grow the array.
    for (std::size_t slot = 0; slot < Sinks().SlotCount(); ++slot) {
        if (!Sinks().AddedBefore(slot, raisedAt)) continue;
        // Held for the call, in case the handler disconnects its own sink.
        const ComPtr<IDispatch> sink =
            ComPtr<IDispatch>::Borrow(static_cast<IDispatch*>(Sinks().SinkAt(slot)));
        // Afresh for each sink, so that one sink's changes to them do not reach the next.
        VARIANT rgvarg[kMaxArgs];
        for (UINT i = 0; i < argCount; ++i) {
            VariantInit(&rgvarg[i]);
            rgvarg[i].vt = VT_BSTR;
            rgvarg[i].bstrVal = args[i];
        }
        DISPPARAMS params{argCount ? rgvarg : nullptr, nullptr, argCount, 0};
        result = InvokeSink(sink.Get(), dispId, &params);
        if (FAILED(result)) return result;
        if (heard) ++*heard;
    }
    return result;
}

}  // namespace pelvaro
