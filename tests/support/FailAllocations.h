#pragma once
// Allocation failure on demand: the test program's operator new throws std::bad_alloc while a
// FailAllocations lives. Only code linked into the test program is affected, not Pelvaro.dll.

namespace pelvaro::test {

struct FailAllocations {
    FailAllocations();
    ~FailAllocations();
    FailAllocations(const FailAllocations&) = delete;
    FailAllocations& operator=(const FailAllocations&) = delete;
};

// Lets allocations succeed again while it lives, for a test's own bookkeeping inside a
// FailAllocations.
class AllowAllocations {
  public:
    AllowAllocations();
    ~AllowAllocations();
    AllowAllocations(const AllowAllocations&) = delete;
    AllowAllocations& operator=(const AllowAllocations&) = delete;

  private:
    bool wasFailing_;
};

}  // namespace pelvaro::test
