#include "server/automation/ContainerPart.h"

#include <olectl.h>

#include "server/events/ConnectionEnumerators.h"

namespace pelvaro {

HRESULT ContainerPart::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) noexcept {
    if (!ppEnum) return E_POINTER;
    return CreateConnectionPointEnumerator({points_[0], points_[1]}, ppEnum);
}

HRESULT ContainerPart::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) noexcept {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    for (IConnectionPoint* point : points_) {
        IID connectionIid;
        if (SUCCEEDED(point->GetConnectionInterface(&connectionIid)) && connectionIid == riid) {
            point->AddRef();
            *ppCP = point;
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

}  // namespace pelvaro
