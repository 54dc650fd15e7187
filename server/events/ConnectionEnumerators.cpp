#include "server/events/ConnectionEnumerators.h"

#include <memory>

#include "win/ToHresult.h"

namespace pelvaro {

HRESULT CreateConnectionEnumerator(const SinkList& sinks, IEnumConnections** out) noexcept {
    *out = nullptr;
    try {
        auto items = std::make_shared<ConnectionEnumerator::Items>();
        for (std::size_t slot = 0; slot < sinks.SlotCount(); ++slot) {
            IUnknown* sink = sinks.SinkAt(slot);
            if (!sink) continue;
            items->push_back({ComPtr<IUnknown>::Borrow(sink), sinks.FirstCookieOf(sink)});
        }
        return ConnectionEnumerator::Create(std::move(items), 0, out);
    } catch (...) {
        return ToHresult();
    }
}

HRESULT CreateConnectionPointEnumerator(std::initializer_list<IConnectionPoint*> points,
                                        IEnumConnectionPoints** out) noexcept {
    *out = nullptr;
    try {
        auto items = std::make_shared<ConnectionPointEnumerator::Items>();
        for (IConnectionPoint* point : points) {
            items->push_back({ComPtr<IConnectionPoint>::Borrow(point)});
        }
        return ConnectionPointEnumerator::Create(std::move(items), 0, out);
    } catch (...) {
        return ToHresult();
    }
}

}  // namespace pelvaro
