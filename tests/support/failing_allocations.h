// Running out of memory on demand: this helper replaces the program's
// operator new, so link it only into test programs made for it.
#pragma once

#include <cstdint>

namespace testsupport {

// While it lives, the allocation through operator new that comes after
// `skipped` others on this thread throws std::bad_alloc, once; the
// allocations before and after it succeed.
class FailingAllocation {
 public:
  explicit FailingAllocation(std::int64_t skipped = 0);
  ~FailingAllocation();
  FailingAllocation(const FailingAllocation&) = delete;
  FailingAllocation& operator=(const FailingAllocation&) = delete;

  // Whether the allocation failed (fewer than skipped + 1 were made).
  [[nodiscard]] bool failed() const;
};

// Allocations through operator new made on this thread so far.
[[nodiscard]] std::int64_t allocationsMade();

}  // namespace testsupport
