#include "model/allocation.h"

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

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

// 0: no limit set by a test.
thread_local std::size_t memoryLimit = 0;

std::size_t PhysicalMemoryBytes() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return static_cast<std::size_t>(-1);
  return static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
}

// The kernel's MemAvailable: free memory plus the caches it can drop.
std::optional<std::size_t> KernelAvailableBytes() {
  std::FILE* meminfo = std::fopen("/proc/meminfo", "re");
  if (meminfo == nullptr) return std::nullopt;
  std::optional<std::size_t> available;
  char line[128];
  while (std::fgets(line, sizeof line, meminfo) != nullptr) {
    const std::string_view text(line);
    constexpr std::string_view kKey = "MemAvailable:";
    if (text.substr(0, kKey.size()) != kKey) continue;
    std::size_t kibibytes = 0;
    const char* p = line + kKey.size();
    while (*p == ' ') ++p;
    if (std::from_chars(p, line + text.size(), kibibytes).ec == std::errc()) {
      available = kibibytes > static_cast<std::size_t>(-1) / 1024 ? static_cast<std::size_t>(-1)
                                                                  : kibibytes * 1024;
    }
    break;
  }
  std::fclose(meminfo);
  return available;
}

}  // namespace

std::size_t AvailableMemoryBytes() {
  if (memoryLimit != 0) return memoryLimit;
  return KernelAvailableBytes().value_or(PhysicalMemoryBytes());
}

bool FitTogether(std::initializer_list<std::size_t> bytes) {
  std::size_t total = 0;
  for (const std::size_t size : bytes) {
    if (size > static_cast<std::size_t>(-1) - total) return false;
    total += size;
  }
  return total <= AvailableMemoryBytes();
}

namespace allocation_detail {

bool MayAllocate(std::size_t newBytes) {
  if (injected.armed) {
    const int request = ++injected.requestsSeen;
    if (request == injected.failAt || (injected.andAfter && request > injected.failAt)) {
      return false;
    }
  }
  // Zero-filling more than the machine can give would end the process (the
  // kernel grants the address space and kills on first touch); refusing is
  // the clear failure the callers report.
  return newBytes == 0 || newBytes <= AvailableMemoryBytes();
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

ScopedMemoryLimit::ScopedMemoryLimit(std::size_t bytes) : previous_(memoryLimit) {
  memoryLimit = bytes == 0 ? 1 : bytes;
}

ScopedMemoryLimit::~ScopedMemoryLimit() {
  memoryLimit = previous_;
}

}  // namespace tavril
