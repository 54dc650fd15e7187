#include "server/events/SinkList.h"

#include <new>
#include <utility>

namespace pelvaro {

namespace {
// Cookies are DWORDs, so the slot count must stay within their range on 64-bit too.
constexpr std::size_t kMaxSlots = std::size_t{1} << 30;
}  // namespace

DWORD SinkList::Add(IUnknown* sink) {
    if (count_ == 0) {
        count_ = 1;
        return Place(0, sink);
    }
    if (count_ == 1 && !MoveInlineToArray()) return 0;
    for (std::size_t slot = 0; slot < count_; ++slot) {
        if (!array_[slot].sink) return Place(slot, sink);
    }
    const std::size_t firstNew = count_;
    if (!Double()) return 0;
    return Place(firstNew, sink);
}

bool SinkList::Remove(DWORD cookie) {
    if (cookie == 0 || cookie > count_) return false;
    Slot& slot = Slots()[cookie - 1];
    if (!slot.sink) return false;
    // The list is consistent before the sink's Release can call back into it.
    ComPtr<IUnknown> gone = std::move(slot.sink);
    if (count_ == 1) count_ = 0;
    return true;
}

void SinkList::Clear() {
    Slot single = std::move(inline_);
    std::vector<Slot> array;
    array.swap(array_);
    count_ = 0;
    single.sink.Reset();
    for (Slot& slot : array) slot.sink.Reset();
}

IUnknown* SinkList::SinkAt(std::size_t slot) const {
    return slot < count_ ? Slots()[slot].sink.Get() : nullptr;
}

DWORD SinkList::FirstCookieOf(IUnknown* sink) const {
    for (std::size_t slot = 0; slot < count_; ++slot) {
        if (Slots()[slot].sink.Get() == sink) return static_cast<DWORD>(slot + 1);
    }
    return 0;
}

bool SinkList::AddedBefore(std::size_t slot, Stamp moment) const {
    return slot < count_ && Slots()[slot].sink && Slots()[slot].added < moment;
}

bool SinkList::MoveInlineToArray() {
    try {
        std::vector<Slot> array(4);
        array[0] = std::move(inline_);
        array_ = std::move(array);
        count_ = 4;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool SinkList::Double() {
    if (count_ >= kMaxSlots) return false;
    try {
        array_.resize(count_ * 2);
        count_ *= 2;
        return true;
    } catch (const std::bad_alloc&) {
        return false;  // resize leaves the array as it was
    }
}

DWORD SinkList::Place(std::size_t slot, IUnknown* sink) {
    Slots()[slot] = Slot{ComPtr<IUnknown>::Attach(sink), nextStamp_++};
    return static_cast<DWORD>(slot + 1);
}

}  // namespace pelvaro
