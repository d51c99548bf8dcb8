#include "app/allocation.h"

#include <unistd.h>

namespace tavril {
namespace {

// The fault-injection seam of the tests; it stays inert in the program.
struct InjectedFailure {
  bool armed = false;
  int requestsSeen = 0;
  int failAt = 0;
  bool andAfter = false;
};

thread_local InjectedFailure injected;

std::size_t PhysicalMemoryBytes() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return static_cast<std::size_t>(-1);
  return static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
}

}  // namespace

namespace allocation_detail {

bool MayAllocate(std::size_t bytes) {
  if (injected.armed) {
    const int request = ++injected.requestsSeen;
    if (request == injected.failAt || (injected.andAfter && request > injected.failAt)) {
      return false;
    }
  }
  // Zero-filling more than the machine holds would end the process (the
  // kernel grants the address space and kills on first touch); refusing is
  // the clear failure the callers report.
  static const std::size_t limit = PhysicalMemoryBytes();
  return bytes <= limit;
}

}  // namespace allocation_detail

ScopedAllocationFailure::ScopedAllocationFailure(int nth, bool andAfter) {
  injected = {true, 0, nth, andAfter};
}

ScopedAllocationFailure::~ScopedAllocationFailure() {
  injected = {};
}

int ScopedAllocationFailure::requests() const {
  return injected.requestsSeen;
}

}  // namespace tavril
