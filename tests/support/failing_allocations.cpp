#include "failing_allocations.h"

#include <cstdlib>
#include <new>

namespace {

thread_local std::int64_t made = 0;
thread_local std::int64_t untilFailure = -1;  // -1: none armed
thread_local bool failedOnce = false;

void* allocate(std::size_t size) {
  ++made;
  if (untilFailure == 0) {
    untilFailure = -1;
    failedOnce = true;
    throw std::bad_alloc();
  }
  if (untilFailure > 0) --untilFailure;
  if (void* block = std::malloc(size != 0 ? size : 1)) return block;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
  return allocate(size);
}
void* operator new[](std::size_t size) {
  return allocate(size);
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete[](void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  std::free(block);
}

namespace testsupport {

FailingAllocation::FailingAllocation(std::int64_t skipped) {
  untilFailure = skipped;
  failedOnce = false;
}

FailingAllocation::~FailingAllocation() {
  untilFailure = -1;
}

bool FailingAllocation::failed() const {
  return failedOnce;
}

std::int64_t allocationsMade() {
  return made;
}

}  // namespace testsupport
