#pragma once
// What both server test programs need: a sink that records its calls, and allocation failure.

#include <ocidl.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/FailAllocations.h"

namespace pelvaro::test {

struct SinkCall {
    DISPID id;
    std::vector<std::wstring> args;  // in parameter order
    bool conventional;               // IID_NULL, user locale, method call, no named arguments
};

// Lives in the test and starts with the test's own reference, so a count of 1 at the end means
// nothing leaked or was over-released.
class TestSink final : public IDispatch, public IPropertyNotifySink {
  public:
    LONG refs = 1;
    HRESULT queryFailure = S_OK;  // answer to a query for the connection interfaces
    HRESULT result = S_OK;
    EXCEPINFO exception{};  // handed back on failure, with `description` as its description
    const wchar_t* description = nullptr;
    std::function<void()> onInvoke;
    std::vector<SinkCall> calls;

    IUnknown* Unknown() { return static_cast<IDispatch*>(this); }
    // The texts of the OnNewSms calls.
    std::vector<std::wstring> Texts() const;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                                     UINT* argError) override;

    // Pelvaro raises events by DISPID and never notifies property changes: these calls fail the
    // test that makes them.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return NeverCalled(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
        return NeverCalled();
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return NeverCalled();
    }
    HRESULT STDMETHODCALLTYPE OnChanged(DISPID) override { return NeverCalled(); }
    HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID) override { return NeverCalled(); }

  private:
    static HRESULT NeverCalled();
};

}  // namespace pelvaro::test
