#include "ui/app/window_command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tavril_version.h"

namespace tavril {
namespace {

using Args = std::vector<std::string>;

struct CommandLineCase {
  Args args;
  WindowCommand command;
  Args files;
  bool refused = false;
};

TEST(WindowCommandLine, ReadsFilesHelpAndVersion) {
  const CommandLineCase cases[] = {
      {{}, WindowCommand::kRun, {}},
      {{"a.tvr", "b.h5"}, WindowCommand::kRun, {"a.tvr", "b.h5"}},
      {{"--help"}, WindowCommand::kHelp, {}},
      {{"a.tvr", "-h"}, WindowCommand::kHelp, {}},
      {{"--version"}, WindowCommand::kVersion, {}},
      // Before Qt has taken its own options, the help and version still win.
      {{"-platform", "offscreen", "--version"}, WindowCommand::kVersion, {}},
      {{"--version", "--help"}, WindowCommand::kHelp, {}},
      {{"--", "--version", "-x.tvr"}, WindowCommand::kRun, {"--version", "-x.tvr"}},
      {{"-"}, WindowCommand::kRun, {"-"}},
      {{"--bogus", "a.tvr"}, WindowCommand::kRun, {"a.tvr"}, true},
  };
  for (const CommandLineCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const WindowCommandLine line = ReadWindowCommandLine(c.args);
    EXPECT_EQ(line.command, c.command);
    EXPECT_EQ(line.files, c.files);
    EXPECT_EQ(!line.error.empty(), c.refused);
  }
}

TEST(WindowCommandLine, RefusalNamesTheOptionAndTheHelp) {
  EXPECT_EQ(ReadWindowCommandLine({"--bogus"}).error,
            "Option inconnue : --bogus (voir « tavril --help »)");
}

TEST(WindowCommandLine, VersionIsTheProjectsOne) {
  EXPECT_EQ(WindowVersionText().substr(0, WindowVersionText().find('\n')),
            "tavril " + std::string(kTavrilVersion));
  EXPECT_FALSE(kTavrilVersion.empty());
}

}  // namespace
}  // namespace tavril
