#pragma once
// The two enumerators of the connection-point protocol, made from one template: an IEnumXxx over
// a shared snapshot of elements. Clones share the snapshot; each Item holds its own counted
// references and hands out new ones through CopyTo.

#include <ocidl.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "server/events/SinkList.h"
#include "server/module/ModuleLock.h"
#include "win/ComPtr.h"
#include "win/QueryInterface.h"
#include "win/ToHresult.h"

namespace pelvaro {

template <typename Interface, typename Element, typename Item>
class ComEnumerator final : public Interface {
  public:
    using Items = std::vector<Item>;

    static HRESULT Create(std::shared_ptr<const Items> items, std::size_t position,
                          Interface** out) noexcept {
        *out = nullptr;
        try {
            *out = new ComEnumerator(std::move(items), position);
            return S_OK;
        } catch (...) {
            return ToHresult();
        }
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {
        return QueryInterfaceAs<Interface>(*this, riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, Element* rgelt,
                                   ULONG* pceltFetched) noexcept override {
        if (pceltFetched) *pceltFetched = 0;
        if (celt == 0) return E_INVALIDARG;
        if (!rgelt || (celt != 1 && !pceltFetched)) return E_POINTER;
        const ULONG fetched = Advance(celt);
        for (ULONG i = 0; i < fetched; ++i) {
            (*items_)[position_ - fetched + i].CopyTo(rgelt[i]);
        }
        if (pceltFetched) *pceltFetched = fetched;
        return fetched < celt ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) noexcept override {
        if (celt == 0) return E_INVALIDARG;
        return Advance(celt) < celt ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() noexcept override {
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Interface** ppEnum) noexcept override {
        if (!ppEnum) return E_POINTER;
        return Create(items_, position_, ppEnum);
    }

  private:
    ComEnumerator(std::shared_ptr<const Items> items, std::size_t position)
        : items_(std::move(items)), position_(position) {}
    ~ComEnumerator() = default;

    // Moves on by at most celt and returns by how many.
    ULONG Advance(ULONG celt) {
        const std::size_t step = std::min<std::size_t>(celt, items_->size() - position_);
        position_ += step;
        return static_cast<ULONG>(step);
    }

    ModuleLockHolder lock_;
    ULONG refs_ = 1;
    std::shared_ptr<const Items> items_;
    std::size_t position_;
};

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
