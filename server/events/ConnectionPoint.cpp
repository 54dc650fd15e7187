#include "server/events/ConnectionPoint.h"

#include "server/events/ConnectionEnumerators.h"
#include "win/ComPtr.h"
#include "win/QueryInterface.h"

namespace pelvaro {

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) noexcept {
    return QueryInterfaceAs<IConnectionPoint>(*this, riid, ppv);
}

ULONG ConnectionPoint::AddRef() noexcept {
    return owner_->AddRef();
}

ULONG ConnectionPoint::Release() noexcept {
    return owner_->Release();
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* piid) noexcept {
    if (!piid) return E_POINTER;
    *piid = connectionIid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) noexcept {
    if (!ppCPC) return E_POINTER;
    return owner_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(ppCPC));
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) noexcept {
    if (pdwCookie) *pdwCookie = 0;
    if (!pUnkSink || !pdwCookie) return E_POINTER;
    ComPtr<IUnknown> sink;
    const HRESULT hr = pUnkSink->QueryInterface(connectionIid_, sink.PutVoid());
    if (hr == E_NOINTERFACE) return CONNECT_E_CANNOTCONNECT;
    if (FAILED(hr)) return hr;
    if (!sink) return CONNECT_E_CANNOTCONNECT;  // a sink that claims success but gives nothing
    const DWORD cookie = sinks_.Add(sink.Get());
    if (cookie == 0) return CONNECT_E_ADVISELIMIT;  // sink's reference goes with `sink`
    sink.Detach();
    *pdwCookie = cookie;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) noexcept {
    return sinks_.Remove(dwCookie) ? S_OK : CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) noexcept {
    if (!ppEnum) return E_POINTER;
    return CreateConnectionEnumerator(sinks_, ppEnum);
}

}  // namespace pelvaro
