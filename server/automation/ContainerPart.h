#pragma once
// How clients find the object's two connection points.

#include <ocidl.h>

#include "server/automation/ObjectPart.h"

namespace pelvaro {

class ContainerPart final : public ObjectPart<IConnectionPointContainer> {
  public:
    // The connection points are parts of the same object; they are listed and searched in this
    // order.
    ContainerPart(IUnknown* controlling, IConnectionPoint* propertyNotify, IConnectionPoint* events)
        : ObjectPart(controlling), points_{propertyNotify, events} {}

    HRESULT STDMETHODCALLTYPE
    EnumConnectionPoints(IEnumConnectionPoints** ppEnum) noexcept override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid,
                                                  IConnectionPoint** ppCP) noexcept override;

  private:
    IConnectionPoint* const points_[2];
};

}  // namespace pelvaro
