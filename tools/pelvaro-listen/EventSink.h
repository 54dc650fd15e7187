#pragma once
// The IDispatch that pelvaro-listen connects to the object's event interface. It
// turns OnNewSms and TestEvent calls into calls of plain functions.

#include <oaidl.h>

#include <functional>
#include <string>

#include "win/ComPtr.h"

namespace pelvaro::listen {

struct EventHandlers {
    std::function<void(const std::wstring& msgText)> onNewSms;
    std::function<void()> onTestEvent;
};

class EventSink final : public IDispatch {
  public:
    // eventIid: the outgoing interface the sink answers besides IDispatch. Running out of
    // memory throws.
    static ComPtr<EventSink> Create(const IID& eventIid, EventHandlers handlers);

    EventSink(const EventSink&) = delete;
    EventSink& operator=(const EventSink&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid,
                                          ITypeInfo** info) noexcept override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* dispIds) noexcept override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispId, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                     UINT* argErr) noexcept override;

  private:
    EventSink(const IID& eventIid, EventHandlers handlers);
    ~EventSink() = default;

    HRESULT OnNewSms(DISPPARAMS& params, UINT* argErr);
    HRESULT TestEvent(const DISPPARAMS& params);

    LONG refs_ = 1;
    IID eventIid_;
    EventHandlers handlers_;
};

}  // namespace pelvaro::listen
