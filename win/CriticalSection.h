#pragma once
// A CRITICAL_SECTION that may fail to set up; std::lock_guard holds it for a scope.

#include <windows.h>

namespace pelvaro {

class CriticalSection {
  public:
    CriticalSection() : ready_(InitializeCriticalSectionAndSpinCount(&section_, 0) != FALSE) {}
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    ~CriticalSection() {
        if (ready_) DeleteCriticalSection(&section_);
    }

    bool Ready() const { return ready_; }
    void lock() noexcept { EnterCriticalSection(&section_); }
    void unlock() noexcept { LeaveCriticalSection(&section_); }

  private:
    CRITICAL_SECTION section_;
    const bool ready_;
};

}  // namespace pelvaro
