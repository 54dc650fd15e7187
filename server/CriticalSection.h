#pragma once
// A CRITICAL_SECTION that may fail to set up, and a guard that holds it for a scope.

#include <windows.h>

class CriticalSection {
  public:
    CriticalSection() : ready_(InitializeCriticalSectionAndSpinCount(&section_, 0) != FALSE) {}
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    ~CriticalSection() {
        if (ready_) DeleteCriticalSection(&section_);
    }

    bool Ready() const { return ready_; }
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

  private:
    CRITICAL_SECTION section_;
    const bool ready_;
};

class CriticalSectionGuard {
  public:
    explicit CriticalSectionGuard(CriticalSection& section) : section_(section) {
        section_.Enter();
    }
    CriticalSectionGuard(const CriticalSectionGuard&) = delete;
    CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;
    ~CriticalSectionGuard() { section_.Leave(); }

  private:
    CriticalSection& section_;
};
