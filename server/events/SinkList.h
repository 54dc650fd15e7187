#pragma once
// The sinks connected to one connection point, numbered by slot.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "win/ComPtr.h"

namespace pelvaro {

class SinkList {
  public:
    // Orders connections in time, so that a walk can tell sinks added after it began.
    using Stamp = std::uint64_t;

    SinkList() = default;
    SinkList(const SinkList&) = delete;
    SinkList& operator=(const SinkList&) = delete;
    ~SinkList() { Clear(); }

    // Takes over the caller's reference and returns the sink's cookie. Returns 0 when the list
    // cannot grow; the list is then unchanged and the reference stays with the caller.
    DWORD Add(IUnknown* sink);
    // Empties the cookie's slot and releases its sink; false when the cookie names no sink.
    bool Remove(DWORD cookie);
    // Releases every sink in slot order and gives the array back.
    void Clear();

    std::size_t SlotCount() const { return count_; }
    // Borrowed; null for an empty slot.
    IUnknown* SinkAt(std::size_t slot) const;
    // The cookie of the lowest slot that holds this sink, or 0.
    DWORD FirstCookieOf(IUnknown* sink) const;

    Stamp Now() const { return nextStamp_; }
    bool AddedBefore(std::size_t slot, Stamp moment) const;

  private:
    struct Slot {
        ComPtr<IUnknown> sink;
        Stamp added = 0;
    };

    const Slot* Slots() const { return count_ <= 1 ? &inline_ : array_.data(); }
    Slot* Slots() { return count_ <= 1 ? &inline_ : array_.data(); }
    bool MoveInlineToArray();
    bool Double();
    DWORD Place(std::size_t slot, IUnknown* sink);

    // One sink needs no allocation; from four slots on the array is used.
    Slot inline_;
    std::vector<Slot> array_;
    std::size_t count_ = 0;
    Stamp nextStamp_ = 0;
};

}  // namespace pelvaro
