#pragma once
// Owns one Win32 handle that CloseHandle releases.

#include <windows.h>

#include <utility>

namespace pelvaro {

class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE owned) : h_(owned) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept
        : h_(std::exchange(other.h_, INVALID_HANDLE_VALUE)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        std::swap(h_, other.h_);
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    HANDLE Get() const { return h_; }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    void Reset(HANDLE owned = INVALID_HANDLE_VALUE) {
        HANDLE old = std::exchange(h_, owned);
        if (old != INVALID_HANDLE_VALUE && old != nullptr) CloseHandle(old);
    }

  private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

}  // namespace pelvaro
