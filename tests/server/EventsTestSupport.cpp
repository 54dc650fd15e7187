#include "EventsTestSupport.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "Pelvaro_h.h"
#include "server/ConnectionEnumerators.h"

namespace {
bool failAllocations = false;
}

void* operator new(std::size_t size) {
    void* p = failAllocations ? nullptr : std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void operator delete(void* p) noexcept {
    std::free(p);
}
// Freed storage is scribbled over, so that a walk left on it goes wrong visibly.
void operator delete(void* p, std::size_t size) noexcept {
    if (p) std::memset(p, 0xDD, size);
    std::free(p);
}

FailAllocations::FailAllocations() {
    failAllocations = true;
}
FailAllocations::~FailAllocations() {
    failAllocations = false;
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
                         VARIANT* result, EXCEPINFO* info, UINT* argError) {
    SinkCall call{id,
                  {},
                  riid == IID_NULL && lcid == LOCALE_USER_DEFAULT && flags == DISPATCH_METHOD &&
                      params->cNamedArgs == 0 && !params->rgdispidNamedArgs && result && info &&
                      argError};
    for (UINT i = 0; i < params->cArgs; ++i) {
        VARIANT& arg = params->rgvarg[i];
        call.args.push_back(arg.vt == VT_BSTR ? arg.bstrVal : L"?");
        arg.vt = VT_I4;  // scribbled on: the next sink must not see it
    }
    calls.push_back(call);
    V_VT(result) = VT_BSTR;  // must be freed by the caller
    V_BSTR(result) = SysAllocString(L"ignored");
    if (onInvoke) onInvoke();
    if (FAILED(this->result)) {
        *info = exception;
        info->bstrDescription = description ? SysAllocString(description) : nullptr;
    }
    return this->result;
}

HRESULT FakeOwner::QueryInterface(REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IConnectionPointContainer) return E_NOINTERFACE;
    *ppv = static_cast<IConnectionPointContainer*>(this);
    AddRef();
    return S_OK;
}

ULONG FakeOwner::Release() {
    const LONG left = --refs;
    if (left != 0) return left;
    refs = -1000;  // no second destruction from references taken while tearing down
    notify.ReleaseAllSinks();
    events.ReleaseAllSinks();
    delete this;
    return 0;
}

HRESULT FakeOwner::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    return CreateConnectionPointEnumerator({notify.Interface(), events.Interface()}, ppEnum);
}
