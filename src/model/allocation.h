#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

namespace tavril {

// Every sample array and acquisition buffer is taken through these. A request
// the machine cannot hold fails cleanly (false, the vector left empty)
// instead of ending the process; tests can make the Nth request fail. A
// vector whose capacity already holds the request is refilled in place: a
// record that is being acquired again keeps its memory (and the machine's
// page faults) from one acquisition to the next.
namespace allocation_detail {
// False when this request must fail: `newBytes` more than the available
// memory, or chosen to fail by a ScopedAllocationFailure.
bool MayAllocate(std::size_t newBytes);
}  // namespace allocation_detail

// The memory the machine can still give: what the kernel reports as
// available (free memory and caches it can drop), or the limit a
// ScopedMemoryLimit set.
std::size_t AvailableMemoryBytes();

// True when buffers of these sizes, all held at once, fit in the available
// memory. A check only: the failure seam of the tests does not count it.
[[nodiscard]] bool FitTogether(std::initializer_list<std::size_t> bytes);

template <class T>
[[nodiscard]] bool AllocateZeroed(std::vector<T>& out, std::size_t count) {
  if (count > out.capacity()) out = std::vector<T>();
  if (count > static_cast<std::size_t>(-1) / sizeof(T)) return false;
  const std::size_t newBytes = count > out.capacity() ? count * sizeof(T) : 0;
  if (!allocation_detail::MayAllocate(newBytes)) {
    out = std::vector<T>();
    return false;
  }
  try {
    out.assign(count, T{});
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

// A copy of `count` values, through the same checks as AllocateZeroed.
template <class T>
[[nodiscard]] bool AllocateCopy(std::vector<T>& out, const T* values, std::size_t count) {
  if (count > out.capacity()) out = std::vector<T>();
  if (count > static_cast<std::size_t>(-1) / sizeof(T)) return false;
  const std::size_t newBytes = count > out.capacity() ? count * sizeof(T) : 0;
  if (!allocation_detail::MayAllocate(newBytes)) {
    out = std::vector<T>();
    return false;
  }
  try {
    out.assign(values, values + count);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

// A scratch buffer that its user fills completely before reading it, so it
// skips the zero-filling pass (a third of the cost of a large acquisition).
template <class T>
[[nodiscard]] bool AllocateScratch(std::unique_ptr<T[]>& out, std::size_t count) {
  out.reset();
  if (count > static_cast<std::size_t>(-1) / sizeof(T)) return false;
  if (!allocation_detail::MayAllocate(count * sizeof(T))) return false;
  out.reset(new (std::nothrow) T[count]);
  return out != nullptr;
}

// For tests: while it lives, the `nth` request from now on (1 = the next one)
// fails, and so does every later one when `andAfter` is set. Requests are
// counted per thread.
class ScopedAllocationFailure {
 public:
  explicit ScopedAllocationFailure(int nth, bool andAfter = false);
  ~ScopedAllocationFailure();
  ScopedAllocationFailure(const ScopedAllocationFailure&) = delete;
  ScopedAllocationFailure& operator=(const ScopedAllocationFailure&) = delete;

  // Requests seen while this object lived.
  int requests() const;
};

// For tests and fuzzing: while it lives, the available memory of this thread
// is `bytes`, so that large counts are refused without a machine to match.
class ScopedMemoryLimit {
 public:
  explicit ScopedMemoryLimit(std::size_t bytes);
  ~ScopedMemoryLimit();
  ScopedMemoryLimit(const ScopedMemoryLimit&) = delete;
  ScopedMemoryLimit& operator=(const ScopedMemoryLimit&) = delete;

 private:
  std::size_t previous_;
};

}  // namespace tavril
