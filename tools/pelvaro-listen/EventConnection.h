#pragma once

#include <ocidl.h>

#include <utility>

#include "win/ComPtr.h"

namespace pelvaro::listen {

// Keeps a sink connected to an object's events while it lives.
class EventConnection {
  public:
    EventConnection() = default;
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;
    ~EventConnection() {
        if (point_) point_->Unadvise(cookie_);
    }

    HRESULT Connect(IUnknown* object, const IID& eventIid, IUnknown* sink) {
        ComPtr<IConnectionPointContainer> container;
        HRESULT hr = object->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
        if (FAILED(hr)) return hr;
        ComPtr<IConnectionPoint> point;
        hr = container->FindConnectionPoint(eventIid, point.Put());
        if (FAILED(hr)) return hr;
        hr = point->Advise(sink, &cookie_);
        if (SUCCEEDED(hr)) point_ = std::move(point);
        return hr;
    }

  private:
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

}  // namespace pelvaro::listen
