#include "files/isolated_check.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>
#include <utility>

#include "text/system_error_text.h"

extern char** environ;

namespace tavril {
namespace {

constexpr char kPassed = '1';

struct CheckText {
  FileCheck check;
  std::string_view name;
  const char* library;
  bool hdf5;  // read by the HDF5 library itself
};

constexpr CheckText kChecks[] = {
    {FileCheck::kChannelsHdf5, "hdf5", "HDF5", true},
    {FileCheck::kMatlab, "mat", "matio", false},
    {FileCheck::kSession, "session", "HDF5", true},
};

const CheckText& TextOf(FileCheck check) {
  for (const CheckText& text : kChecks) {
    if (text.check == check) return text;
  }
  return kChecks[0];
}

// Found once: the executable does not move while it runs.
// The folder UseFileCheckProgramIn named, if any.
std::filesystem::path& ChosenFileCheckFolder() {
  static std::filesystem::path folder;
  return folder;
}

const std::filesystem::path& OwnFileCheckProgram() {
  static const std::filesystem::path program = [] {
    if (!ChosenFileCheckFolder().empty()) return FindFileCheckProgram(ChosenFileCheckFolder());
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : FindFileCheckProgram(self.parent_path());
  }();
  return program;
}

// Whether a writer holds the file's lock as the HDF5 library takes it (flock,
// exclusive while it writes).
bool HeldByAWriter(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

// Reads the helper's verdict until it closes the pipe or the time is up;
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
    if (ready <= 0) continue;
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return true;
    verdict.append(buffer, static_cast<std::size_t>(got));
  }
}

// Starts the helper on `path` with its verdict going to `out` and its
// complaints nowhere; 0 or the error number.
int Spawn(const std::filesystem::path& program, FileCheck check, const std::filesystem::path& path,
          int out, pid_t& child) {
  posix_spawn_file_actions_t actions;
  if (int error = ::posix_spawn_file_actions_init(&actions); error != 0) return error;
  posix_spawnattr_t attributes;
  if (int error = ::posix_spawnattr_init(&attributes); error != 0) {
    ::posix_spawn_file_actions_destroy(&actions);
    return error;
  }
  // The caller's thread may block signals its program handles elsewhere.
  sigset_t none;
  sigemptyset(&none);
  int error = ::posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  if (error == 0) {
    error = ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  if (error == 0) error = ::posix_spawnattr_setsigmask(&attributes, &none);
  if (error == 0) error = ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  std::string programText = program.string();
  std::string name(FileCheckName(check));
  std::string file = path.string();
  char* argv[] = {programText.data(), name.data(), file.data(), nullptr};
  if (error == 0) error = ::posix_spawn(&child, argv[0], &actions, &attributes, argv, environ);
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  return error;
}

}  // namespace

std::string_view FileCheckName(FileCheck check) {
  return TextOf(check).name;
}

std::optional<FileCheck> FileCheckNamed(std::string_view name) {
  for (const CheckText& text : kChecks) {
    if (text.name == name) return text.check;
  }
  return std::nullopt;
}

void UseFileCheckProgramIn(const std::filesystem::path& folder) {
  ChosenFileCheckFolder() = folder;
}

std::filesystem::path FindFileCheckProgram(const std::filesystem::path& folder) {
  for (const std::filesystem::path& candidate :
       {folder / kFileCheckProgram, folder / ".." / "libexec" / "tavril" / kFileCheckProgram}) {
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

bool CheckFileAside(FileCheck check, const std::filesystem::path& path, std::string* why) {
  const auto fail = [why](std::string reason) {
    if (why != nullptr) *why = std::move(reason);
    return false;
  };
  const std::string library = TextOf(check).library;
  // The helper, a program of its own, would only be refused by a writer's
  // lock. The program's own reading then shares the open file of its own
  // writer (a recording under way), or is refused by another program's lock
  // before it reads a byte of the file.
  if (TextOf(check).hdf5 && HeldByAWriter(path)) return true;
  const std::filesystem::path& program = OwnFileCheckProgram();
  if (program.empty()) {
    return fail(std::string("le programme ") + kFileCheckProgram +
                ", qui lit d'abord ce fichier à part, manque à côté de celui-ci et dans "
                "../libexec/tavril/ : sans lui, un fichier endommagé pourrait arrêter le "
                "programme (réinstallez TAVRIL)");
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    return fail("impossible de lancer la lecture (" + SystemErrorText(errno) + ")");
  }
  pid_t child = 0;
  const int error = Spawn(program, check, path, fds[1], child);
  ::close(fds[1]);
  if (error != 0) {
    ::close(fds[0]);
    return fail("impossible de lancer " + program.string() + " (" + SystemErrorText(error) + ")");
  }
  std::error_code sizeError;
  const std::uintmax_t bytes = std::filesystem::file_size(path, sizeError);
  // 10 s, then 20 ms per megabyte: 50 MB/s, slower than any disk in use.
  const std::chrono::milliseconds limit(10000 + (sizeError ? 0 : bytes / 50000));
  std::string verdict;
  const bool finished = ReadVerdict(fds[0], limit, verdict);
  ::close(fds[0]);
  if (!finished) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!finished) {
    return fail("la bibliothèque " + library +
                " ne vient pas à bout de ce fichier, sans doute endommagé");
  }
  // Killed by a signal, or ended by a sanitizer's report, before a verdict.
  if (verdict.empty()) {
    return fail("la bibliothèque " + library +
                " s'est arrêtée sur ce fichier, sans doute endommagé");
  }
  if (verdict[0] == kPassed) return true;
  return fail(verdict.substr(1));
}

}  // namespace tavril
