#pragma once
// Sinks and an owner written for the connection point tests. Sinks live in the test and start with
// the test's own reference, so a count of 1 at the end means nothing leaked or was over-released.

#include <ocidl.h>

#include <functional>
#include <string>
#include <vector>

#include "server/EventsConnectionPoint.h"
#include "server/PropertyNotifyConnectionPoint.h"

struct SinkCall {
    DISPID id;
    std::vector<std::wstring> args;  // in rgvarg order
    bool conventional;               // IID_NULL, user locale, method call, no named arguments
};

class TestSink final : public IDispatch, public IPropertyNotifySink {
  public:
    LONG refs = 1;
    HRESULT queryFailure = S_OK;  // answer to a query for the connection interfaces
    HRESULT result = S_OK;
    EXCEPINFO exception{};  // handed back on failure; its description is copied
    const wchar_t* description = nullptr;
    std::function<void()> onInvoke;
    std::vector<SinkCall> calls;

    IUnknown* Unknown() { return static_cast<IDispatch*>(this); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                                     UINT* argError) override;
    HRESULT STDMETHODCALLTYPE OnChanged(DISPID) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID) override { return E_UNEXPECTED; }
};

class FakeOwner final : public IConnectionPointContainer {
  public:
    static inline int alive = 0;
    LONG refs = 1;
    PropertyNotifyConnectionPoint notify{this};
    EventsConnectionPoint events{this};

    FakeOwner() { ++alive; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID, IConnectionPoint**) override {
        return E_NOTIMPL;
    }

  private:
    ~FakeOwner() { --alive; }
};

// While one lives, every allocation through operator new fails.
struct FailAllocations {
    FailAllocations();
    ~FailAllocations();
};
