#pragma once
// Owns one counted reference to a COM interface.

#include <unknwn.h>

#include <utility>

namespace pelvaro {

template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    // Takes over a reference the caller already owns.
    explicit ComPtr(T* owned) : p_(owned) {}
    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    // Adds a reference of its own to a borrowed pointer.
    static ComPtr Borrow(T* borrowed) {
        if (borrowed) borrowed->AddRef();
        return ComPtr(borrowed);
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // For out-parameters: releases what is held and hands out the slot.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    T* Detach() { return std::exchange(p_, nullptr); }
    void Reset() {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }

    template <typename U>
    HRESULT As(ComPtr<U>& target) const {
        return p_ ? p_->QueryInterface(__uuidof(U), target.PutVoid()) : E_POINTER;
    }

  private:
    T* p_ = nullptr;
};

}  // namespace pelvaro
