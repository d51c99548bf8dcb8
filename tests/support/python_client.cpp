#include "support/python_client.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "support/temp_dir.h"

namespace tavril::testing {

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

bool PythonHas(const std::string& modules) {
  const std::string command =
      std::string(kSystemPython) + " -c " + ShellQuoted("import " + modules) + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::string RunCommand(const std::string& command) {
  TempDir dir;
  const std::string full = command + " >" + ShellQuoted((dir / "out").string()) + " 2>" +
                           ShellQuoted((dir / "err").string());
  const int status = std::system(full.c_str());
  EXPECT_EQ(status, 0) << command << "\n" << ReadFileBytes(dir / "err");
  return ReadFileBytes(dir / "out");
}

std::string RunPython(const std::filesystem::path& folder, const std::string& script) {
  const std::filesystem::path file = folder / "client.py";
  WriteFileBytes(file, script);
  return RunCommand("cd " + ShellQuoted(folder.string()) + " && " + kSystemPython + " " +
                    ShellQuoted(file.string()));
}

}  // namespace tavril::testing
