#include "config/work_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace tavril {
namespace {

// Without its "." and "..", and without a last slash ("/home/ana/").
std::filesystem::path Normal(const std::filesystem::path& path) {
  std::filesystem::path normal = path.lexically_normal();
  if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
  return normal;
}

bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code error;
  if (std::filesystem::equivalent(a, b, error)) return true;
  return Normal(a) == Normal(b);
}

std::filesystem::path Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::filesystem::path(value) : std::filesystem::path();
}

}  // namespace

bool StartedFromDesktopMenu(const StartPlace& place) {
  if (place.inputIsTerminal) return false;
  return SameFolder(place.startDirectory, place.home) ||
         Normal(place.startDirectory) == std::filesystem::path("/");
}

std::filesystem::path OwnDataFolder(const StartPlace& place) {
  // The base directory specification ignores a relative XDG_DATA_HOME.
  if (place.dataHome.is_absolute()) return place.dataHome / "tavril";
  return place.home / ".local" / "share" / "tavril";
}

std::filesystem::path WorkFolder(const StartPlace& place) {
  return StartedFromDesktopMenu(place) && !place.home.empty() ? OwnDataFolder(place)
                                                              : place.startDirectory;
}

StartPlace CurrentStartPlace() {
  StartPlace place;
  std::error_code error;
  place.startDirectory = std::filesystem::current_path(error);
  place.home = Variable("HOME");
  place.dataHome = Variable("XDG_DATA_HOME");
  place.inputIsTerminal = ::isatty(STDIN_FILENO) == 1;
  return place;
}

}  // namespace tavril
