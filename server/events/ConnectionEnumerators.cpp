#include "server/events/ConnectionEnumerators.h"

#include <memory>
#include <new>

namespace pelvaro {

HRESULT CreateConnectionEnumerator(const SinkList& sinks, IEnumConnections** out) {
    *out = nullptr;
    try {
        auto items = std::make_shared<ConnectionEnumerator::Items>();
        for (std::size_t slot = 0; slot < sinks.SlotCount(); ++slot) {
            IUnknown* sink = sinks.SinkAt(slot);
            if (!sink) continue;
            items->push_back({ComPtr<IUnknown>::Borrow(sink), sinks.FirstCookieOf(sink)});
        }
        return ConnectionEnumerator::Create(std::move(items), 0, out);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CreateConnectionPointEnumerator(std::initializer_list<IConnectionPoint*> points,
                                        IEnumConnectionPoints** out) {
    *out = nullptr;
    try {
        auto items = std::make_shared<ConnectionPointEnumerator::Items>();
        for (IConnectionPoint* point : points) {
            items->push_back({ComPtr<IConnectionPoint>::Borrow(point)});
        }
        return ConnectionPointEnumerator::Create(std::move(items), 0, out);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace pelvaro
