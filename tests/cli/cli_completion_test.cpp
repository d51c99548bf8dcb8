#include "cli_completion.h"

#include <gtest/gtest.h>

#include <string>

#include "cli_option_table.h"

namespace tavril::cli {
namespace {

// The line of the script's `case $command` that lists `command`'s words.
std::string WordsOf(const std::string& script, std::string_view command) {
  const std::string start = "        " + std::string(command) + ") words=\"";
  const std::size_t at = script.find(start);
  if (at == std::string::npos) return {};
  const std::size_t from = at + start.size();
  return " " + script.substr(from, script.find('"', from) - from) + " ";
}

// Each command offers exactly the options its synopsis takes, and the help
// and version, whatever the table says next.
TEST(CliCompletion, OffersEachCommandItsOwnOptions) {
  const std::string script = BashCompletionScript();
  for (const CommandSpec& command : AllCommands()) {
    SCOPED_TRACE(command.name);
    const std::string words = WordsOf(script, command.name);
    ASSERT_FALSE(words.empty());
    for (const OptionSpec* option : AllOptions()) {
      bool taken = option->name == "--help" || option->name == "--version";
      for (const CommandOption& given : command.options) taken |= given.option == option;
      EXPECT_EQ(words.find(" " + std::string(option->name) + " ") != std::string::npos, taken)
          << option->name;
    }
  }
}

// Options' values are skipped when looking for the command, by their count.
TEST(CliCompletion, SkipsEachOptionsValues) {
  const std::string script = BashCompletionScript();
  for (const OptionSpec* option : AllOptions()) {
    if (option->valueCount == 0) continue;
    SCOPED_TRACE(option->name);
    const std::size_t at = script.find(std::string(option->name));
    ASSERT_NE(at, std::string::npos);
    const std::size_t skip = script.find("((i += ", at);
    EXPECT_EQ(script.substr(skip + 7, 1), std::to_string(option->valueCount + 1));
  }
}

}  // namespace
}  // namespace tavril::cli
