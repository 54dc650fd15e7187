#pragma once
// A connection point that is part of its owner: it shares the owner's reference count and reaches
// the container through the owner. The connection interface is fixed at construction; the one for
// _IReadSmsEvents, which raises, has a file of its own.

#include <ocidl.h>
#include <olectl.h>

#include "server/events/SinkList.h"

namespace pelvaro {

class ConnectionPoint : public IConnectionPoint {
  public:
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    IConnectionPoint* Interface() { return this; }
    // The owner calls this while it is destroyed; connected sinks are released in slot order.
    void ReleaseAllSinks() { sinks_.Clear(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* piid) noexcept override;
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** ppCPC) noexcept override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) noexcept override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) noexcept override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) noexcept override;

  protected:
    // owner is the controlling unknown (the outer one when aggregated); it is not referenced.
    ConnectionPoint(IUnknown* owner, const IID& connectionIid)
        : owner_(owner), connectionIid_(connectionIid) {}
    ~ConnectionPoint() = default;

    IUnknown* Owner() const { return owner_; }
    const SinkList& Sinks() const { return sinks_; }

  private:
    IUnknown* const owner_;
    const IID connectionIid_;
    SinkList sinks_;
};

// The connection point for IPropertyNotifySink. Sinks may connect, but nothing is ever raised.
class PropertyNotifyConnectionPoint final : public ConnectionPoint {
  public:
    explicit PropertyNotifyConnectionPoint(IUnknown* owner)
        : ConnectionPoint(owner, IID_IPropertyNotifySink) {}
};

}  // namespace pelvaro
