#include "support/scoped_environment.h"

#include <clocale>

namespace tavril::testing {

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
  previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
  if (previousHandler_ == SIG_ERR || ::getrlimit(RLIMIT_FSIZE, &saved_) != 0) return;
  rlimit lowered = saved_;
  lowered.rlim_cur = bytes;
  active_ = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
}

FileSizeLimit::~FileSizeLimit() {
  if (active_) ::setrlimit(RLIMIT_FSIZE, &saved_);
  if (previousHandler_ != SIG_ERR) ::signal(SIGXFSZ, previousHandler_);
}

ScopedLocale::ScopedLocale(const char* name) : saved_(std::setlocale(LC_ALL, nullptr)) {
  active_ = std::setlocale(LC_ALL, name) != nullptr;
}

ScopedLocale::~ScopedLocale() {
  std::setlocale(LC_ALL, saved_.c_str());
}

}  // namespace tavril::testing
