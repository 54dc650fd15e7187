#pragma once
// The two templates every Windows holder is made from, in the manner of WIL's unique_any and
// unique_struct: a holder is named by the function that gives its resource back and the value
// (or the set-up function) that means it holds nothing.

#include <cstdint>
#include <type_traits>
#include <utility>

namespace pelvaro {

// Owns one T that Close(T) gives back. Invalid, as a T, holds nothing; an integer Invalid stands
// for a pointer value, as -1 does for INVALID_HANDLE_VALUE.
template <typename T, auto Close, auto Invalid = nullptr>
class UniqueAny {
  public:
    static T InvalidValue() noexcept {
        if constexpr (std::is_pointer_v<T> && std::is_integral_v<decltype(Invalid)>) {
            return reinterpret_cast<T>(static_cast<std::intptr_t>(Invalid));
        } else {
            return T(Invalid);
        }
    }

    UniqueAny() noexcept = default;
    // Takes over a value the caller owns.
    explicit UniqueAny(T owned) noexcept : value_(owned) {}
    UniqueAny(UniqueAny&& other) noexcept : value_(other.Detach()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        Reset(other.Detach());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { Reset(); }

    T Get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != InvalidValue(); }

    // Gives back what is held and takes over `owned`.
    void Reset(T owned = InvalidValue()) noexcept {
        const T old = std::exchange(value_, owned);
        if (old != InvalidValue()) Close(old);
    }
    // For out-parameters: gives back what is held and hands out the empty slot.
    T* Put() noexcept {
        Reset();
        return &value_;
    }
    // Hands the value over to the caller.
    T Detach() noexcept { return std::exchange(value_, InvalidValue()); }

  private:
    T value_ = InvalidValue();
};

// Owns one struct that Init(T*) sets up empty and Close(T*) gives back, such as a VARIANT.
template <typename T, auto Close, auto Init>
class UniqueStruct {
  public:
    UniqueStruct() noexcept { Init(&value_); }
    UniqueStruct(const UniqueStruct&) = delete;
    UniqueStruct& operator=(const UniqueStruct&) = delete;
    ~UniqueStruct() { Close(&value_); }

    T* Get() noexcept { return &value_; }
    const T* Get() const noexcept { return &value_; }
    T* operator->() noexcept { return &value_; }

  private:
    T value_;
};

}  // namespace pelvaro
