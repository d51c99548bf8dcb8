#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <string>

namespace tavril::testing {

// Lowers the process's file size limit so that writes fail part-way with
// EFBIG, as on a full disk, whatever the user's rights. The signal such a
// write raises is ignored meanwhile; both are restored on destruction.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool active() const { return active_; }

 private:
  rlimit saved_{};
  sighandler_t previousHandler_ = SIG_ERR;
  bool active_ = false;
};

// Switches the whole process to a locale (such as fr_FR.UTF-8, whose decimal
// point is a comma) and back.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name);
  ~ScopedLocale();
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;
  bool active() const { return active_; }

 private:
  std::string saved_;
  bool active_ = false;
};

inline constexpr const char* kFrenchLocale = "fr_FR.UTF-8";
inline constexpr const char* kNoFrenchLocale =
    "the fr_FR.UTF-8 locale is not installed (scripts/install-deps.sh makes it)";

}  // namespace tavril::testing
