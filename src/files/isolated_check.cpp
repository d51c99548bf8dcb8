#include "files/isolated_check.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "files/system_error_text.h"

namespace tavril {
namespace {

constexpr char kPassed = '1';
constexpr char kRefused = '0';

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

[[noreturn]] void RunChild(const std::function<bool(std::string& why)>& check, int out) {
  // The library's own complaints would only mix with the caller's output.
  const int null = ::open("/dev/null", O_WRONLY);
  if (null >= 0) ::dup2(null, STDERR_FILENO);
  std::string why;
  bool passed = false;
  try {
    passed = check(why);
  } catch (...) {
    passed = false;
    why = "erreur inattendue pendant la lecture";
  }
  const char verdict = passed ? kPassed : kRefused;
  WriteAll(out, &verdict, 1);
  WriteAll(out, why.data(), why.size());
  ::_exit(0);
}

// Reads the child's verdict until it closes the pipe or the time is up;
// false when the time ran out.
bool ReadVerdict(int in, std::chrono::milliseconds timeLimit, std::string& verdict) {
  const auto deadline = std::chrono::steady_clock::now() + timeLimit;
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd waiting{in, POLLIN, 0};
    const int ready =
        ::poll(&waiting, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return true;
    verdict.append(buffer, static_cast<std::size_t>(got));
  }
}

// While it lives, the whole pages inside each vector's memory are not given
// to a forked child (madvise MADV_DONTFORK). Nothing else lives on them: the
// allocator keeps its own data outside an allocation's bytes.
class KeptFromChild {
 public:
  explicit KeptFromChild(std::span<const std::vector<double>* const> memory) {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    for (const std::vector<double>* const kept : memory) {
      const std::vector<double>& vector = *kept;
      const auto begin = reinterpret_cast<std::uintptr_t>(vector.data());
      const std::uintptr_t end = begin + vector.capacity() * sizeof(double);
      const std::uintptr_t first = (begin + page - 1) / page * page;
      const std::uintptr_t last = end / page * page;
      if (vector.data() == nullptr || last <= first) continue;
      if (::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTFORK) == 0)
        ranges_.push_back({first, last - first});
    }
  }
  ~KeptFromChild() {
    for (const auto& [start, length] : ranges_)
      ::madvise(reinterpret_cast<void*>(start), length, MADV_DOFORK);
  }
  KeptFromChild(const KeptFromChild&) = delete;
  KeptFromChild& operator=(const KeptFromChild&) = delete;

 private:
  std::vector<std::pair<std::uintptr_t, std::size_t>> ranges_;
};

}  // namespace

bool CheckInChildProcess(const std::function<bool(std::string& why)>& check,
                         std::chrono::milliseconds timeLimit, const char* library,
                         std::string* why) {
  const auto fail = [why](std::string reason) {
    if (why != nullptr) *why = std::move(reason);
    return false;
  };
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0)
    return fail("impossible de lancer la lecture (" + SystemErrorText(errno) + ")");
  const pid_t child = ::fork();
  if (child < 0) {
    const int error = errno;
    ::close(fds[0]);
    ::close(fds[1]);
    return fail("impossible de lancer la lecture (" + SystemErrorText(error) + ")");
  }
  if (child == 0) {
    ::close(fds[0]);
    RunChild(check, fds[1]);
  }
  ::close(fds[1]);
  std::string verdict;
  const bool finished = ReadVerdict(fds[0], timeLimit, verdict);
  ::close(fds[0]);
  if (!finished) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!finished) {
    return fail(std::string("la bibliothèque ") + library +
                " ne vient pas à bout de ce fichier, sans doute endommagé");
  }
  // Killed by a signal, or ended by a sanitizer's report, before a verdict.
  if (verdict.empty()) {
    return fail(std::string("la bibliothèque ") + library +
                " s'est arrêtée sur ce fichier, sans doute endommagé");
  }
  if (verdict[0] == kPassed) return true;
  return fail(verdict.substr(1));
}

bool CheckFileInChildProcess(const std::filesystem::path& path, const char* library,
                             const std::function<bool(std::string& why)>& check, std::string* why,
                             std::span<const std::vector<double>* const> parentOnly) {
  const KeptFromChild kept(parentOnly);
  std::error_code error;
  const std::uintmax_t bytes = std::filesystem::file_size(path, error);
  // 10 s, then 20 ms per megabyte: 50 MB/s, slower than any disk in use.
  const std::chrono::milliseconds limit(10000 + (error ? 0 : bytes / 50000));
  return CheckInChildProcess(check, limit, library, why);
}

}  // namespace tavril
