#pragma once
// The two enumerators of the connection-point protocol.

#include <ocidl.h>

#include <initializer_list>

#include "server/events/ComEnumerator.h"
#include "server/events/SinkList.h"
#include "win/ComPtr.h"

namespace pelvaro {

struct ConnectionItem {
    ComPtr<IUnknown> sink;
    DWORD cookie;
    void CopyTo(CONNECTDATA& out) const {
        sink.CopyTo(&out.pUnk);
        out.dwCookie = cookie;
    }
};

struct ConnectionPointItem {
    ComPtr<IConnectionPoint> point;
    void CopyTo(IConnectionPoint*& out) const { point.CopyTo(&out); }
};

using ConnectionEnumerator = ComEnumerator<IEnumConnections, CONNECTDATA, ConnectionItem>;
using ConnectionPointEnumerator =
    ComEnumerator<IEnumConnectionPoints, IConnectionPoint*, ConnectionPointItem>;

// One entry per connected sink in slot order; a sink connected twice carries its lower cookie
// both times. E_OUTOFMEMORY when the snapshot cannot be made.
HRESULT CreateConnectionEnumerator(const SinkList& sinks, IEnumConnections** out) noexcept;

// Over the given connection points in the given order. E_OUTOFMEMORY when memory runs out.
HRESULT CreateConnectionPointEnumerator(std::initializer_list<IConnectionPoint*> points,
                                        IEnumConnectionPoints** out) noexcept;

}  // namespace pelvaro
