#pragma once
// Owns one open registry key.

#include <windows.h>

#include <utility>

namespace pelvaro {

class RegistryKey {
  public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        std::swap(key_, other.key_);
        return *this;
    }
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }

    HKEY Get() const { return key_; }
    HKEY* Put() {
        if (key_) RegCloseKey(std::exchange(key_, nullptr));
        return &key_;
    }

  private:
    HKEY key_ = nullptr;
};

}  // namespace pelvaro
