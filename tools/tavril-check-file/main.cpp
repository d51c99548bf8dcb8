// tavril-check-file CHECK FILE: reads FILE once as the check CHECK says
// (files/isolated_check.h), and writes its verdict on standard output: '1',
// or '0' and the reason. tavril and tavril-cli start it for every HDF5 and
// MATLAB file they open, so that a library that crashes or loops on a
// damaged file takes this program down, not theirs.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include "files/hdf5_file.h"
#include "files/isolated_check.h"
#include "files/mat_file.h"
#include "session/session_file.h"

namespace {

void WriteAll(const std::string& text) {
  const char* data = text.data();
  std::size_t size = text.size();
  while (size > 0) {
    const ssize_t written = ::write(STDOUT_FILENO, data, size);
    if (written <= 0) return;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

bool Check(tavril::FileCheck check, const char* path, std::string& why) {
  switch (check) {
    case tavril::FileCheck::kChannelsHdf5:
      return tavril::CheckHdf5File(path, why);
    case tavril::FileCheck::kMatlab:
      return tavril::CheckMatFile(path, why);
    case tavril::FileCheck::kSession:
      return tavril::CheckSessionFile(path, why);
  }
  return false;
}

// Sanitizers reserve terabytes of address space for themselves: under
// AddressSanitizer its own bound on the memory used stands in for the limit.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The HDF5 checks read a file's structure, never its samples: a library
// that allocates without end on a damaged file (a local heap whose free list
// loops) fails here within a gigabyte rather than filling the machine's
// memory until the time-out ends this program.
void LimitMemory(tavril::FileCheck check) {
  if (kSanitized || check == tavril::FileCheck::kMatlab) return;
  constexpr rlim_t kBytes = rlim_t{1} << 30;
  const rlimit limit{kBytes, kBytes};
  ::setrlimit(RLIMIT_AS, &limit);
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
  return "soft_rss_limit_mb=1024:allocator_may_return_null=1";
}
#endif

int main(int argc, char** argv) {
  const std::optional<tavril::FileCheck> check =
      argc == 3 ? tavril::FileCheckNamed(argv[1]) : std::nullopt;
  if (!check) {
    std::fputs("usage : tavril-check-file hdf5|mat|session FICHIER\n", stderr);
    return 2;
  }
  LimitMemory(*check);
  std::string why;
  bool passed = false;
  try {
    passed = Check(*check, argv[2], why);
  } catch (...) {
    why = "erreur inattendue pendant la lecture";
  }
  WriteAll((passed ? "1" : "0") + why);
  // The libraries' exit handlers may trip on what a damaged file left.
  ::_exit(0);
}
