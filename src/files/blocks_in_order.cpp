#include "files/blocks_in_order.h"

#include <array>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace tavril {
namespace {

// Blocks formatted ahead of the one written next, at most.
constexpr std::size_t kAhead = 4;

class BlockQueue {
 public:
  BlockQueue(std::size_t blocks, std::size_t maxBlockBytes,
             const std::function<char*(std::size_t, char*)>& format)
      : blocks_(blocks), format_(format) {
    for (Slot& slot : slots_) slot.text.resize(maxBlockBytes);
  }

  // Formats blocks until none is left to take.
  void Help() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopped_ || CanTake(); });
      if (stopped_ || taken_ >= blocks_) return;
      FormatNext(lock);
    }
  }

  // Writes every block in order, formatting those no one has taken.
  void WriteAll(AtomicFileWriter& out) {
    std::unique_lock lock(mutex_);
    while (written_ < blocks_) {
      Slot& next = slots_[written_ % kAhead];
      if (next.ready) {
        const std::string_view text(next.text.data(), next.size);
        lock.unlock();
        out.Append(text);
        lock.lock();
        next.ready = false;
        ++written_;
        changed_.notify_all();
      } else if (CanTake()) {
        FormatNext(lock);
      } else {
        changed_.wait(lock, [&next] { return next.ready; });
      }
    }
  }

  void Stop() {
    const std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }

 private:
  struct Slot {
    std::vector<char> text;
    std::size_t size = 0;
    bool ready = false;
  };

  bool CanTake() const { return taken_ < blocks_ && taken_ < written_ + kAhead; }

  // Takes the next block and formats it, without the lock meanwhile.
  void FormatNext(std::unique_lock<std::mutex>& lock) {
    const std::size_t index = taken_++;
    Slot& slot = slots_[index % kAhead];
    lock.unlock();
    char* const end = format_(index, slot.text.data());
    lock.lock();
    slot.size = static_cast<std::size_t>(end - slot.text.data());
    slot.ready = true;
    changed_.notify_all();
  }

  const std::size_t blocks_;
  const std::function<char*(std::size_t, char*)>& format_;
  std::array<Slot, kAhead> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t taken_ = 0;
  std::size_t written_ = 0;
  bool stopped_ = false;
};

}  // namespace

void WriteBlocksInOrder(std::size_t blocks, std::size_t maxBlockBytes,
                        const std::function<char*(std::size_t index, char* out)>& format,
                        AtomicFileWriter& out) {
  if (blocks == 0) return;
  BlockQueue queue(blocks, maxBlockBytes, format);
  std::thread helper;
  // The helper is let go of however this function ends.
  struct Joined {
    BlockQueue& queue;
    std::thread& helper;
    ~Joined() {
      queue.Stop();
      if (helper.joinable()) helper.join();
    }
  } joined{queue, helper};
  if (blocks > 1) {
    try {
      helper = std::thread([&queue] { queue.Help(); });
    } catch (const std::system_error&) {
    }
  }
  queue.WriteAll(out);
}

}  // namespace tavril
