#include "config/work_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace tavril {
namespace {

namespace fs = std::filesystem;

struct WorkFolderCase {
  const char* what;
  StartPlace place;
  fs::path expected;
};

// Where TAVRIL.INI goes: a terminal keeps the start directory whatever it
// is; without one, the home folder and / give the program's own folder.
TEST(WorkFolder, FollowsTheTerminalAndTheStartDirectory) {
  const WorkFolderCase cases[] = {
      {"terminal elsewhere", {"/srv/labo", "/home/ana", "", true}, "/srv/labo"},
      {"terminal in the home folder", {"/home/ana", "/home/ana", "", true}, "/home/ana"},
      {"menu in the home folder",
       {"/home/ana", "/home/ana", "", false},
       "/home/ana/.local/share/tavril"},
      {"menu, home given with a slash",
       {"/home/ana", "/home/ana/", "", false},
       "/home/ana/.local/share/tavril"},
      {"menu in /", {"/", "/home/ana", "", false}, "/home/ana/.local/share/tavril"},
      {"menu with XDG_DATA_HOME",
       {"/home/ana", "/home/ana", "/data/ana", false},
       "/data/ana/tavril"},
      {"relative XDG_DATA_HOME ignored",
       {"/home/ana", "/home/ana", "data", false},
       "/home/ana/.local/share/tavril"},
      {"script elsewhere without a terminal", {"/srv/labo", "/home/ana", "", false}, "/srv/labo"},
      {"no home folder", {"/", "", "", false}, "/"},
  };
  for (const WorkFolderCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(WorkFolder(c.place), c.expected);
  }
}

// The home folder reached through a link is the home folder all the same.
TEST(WorkFolder, KnowsTheHomeFolderThroughALink) {
  testing::TempDir root;
  fs::create_directory(root / "home");
  fs::create_directory_symlink(root / "home", root / "link");
  const StartPlace place{root / "link", root / "home", "", false};
  EXPECT_TRUE(StartedFromDesktopMenu(place));
  EXPECT_EQ(WorkFolder(place), root / "home" / ".local" / "share" / "tavril");
}

}  // namespace
}  // namespace tavril
