#pragma once

#include <span>
#include <string>
#include <string_view>

#include "cli_arguments.h"

namespace tavril::cli {

// One option, whatever the command: how it is written and what follows it.
// An option with a value may be given once, unless it is repeatable: its
// values then gather, one set per time it is given. A flag any number of times.
struct OptionSpec {
  std::string_view name = {};       // "--channels"
  std::string_view shortName = {};  // "-o", or empty; shown rather than the name where it exists
  int valueCount = 0;               // 0 for a flag; --between takes two
  std::string_view expects = {};    // completes "L'option X attend ..." when the value is missing
  std::string_view repeated = {};   // the refusal of a second one, when not the usual one
  std::string_view helpValue = {};  // the value's name under "Options :"
  std::string_view help = {};       // its line under "Options :", or empty when it has none
  bool repeatable = false;
};

// Every option, in the order in which a command refuses those it does not take.
std::span<const OptionSpec* const> AllOptions();

// The shortest way to write `option`, as the help and the refusals show it.
std::string_view ShownName(const OptionSpec& option);

enum class Presence {
  kOptional,
  kRequired,
  kRequiredNotEmpty,  // an empty value counts as a missing one
};

// Reads an option's values (one, or two for --between) into the command line;
// gives why they are refused, or nothing.
using ReadOptionValues = std::string (*)(std::span<const std::string> values, CommandLine& command);

// An option as one command takes it.
struct CommandOption {
  const OptionSpec* option;
  std::string_view placeholder = {};  // the value's name in the command's synopsis
  Presence presence = Presence::kOptional;
  std::string_view whenMissing = {};  // for a required one, completes "La commande X attend ..."
  ReadOptionValues read = nullptr;
  // In place of the option's own texts, when this command gives it another meaning.
  std::string_view expects = {};
  std::string_view repeated = {};
};

// Reads a command's positional arguments (those after its name); gives why
// they are refused, or nothing.
using ReadArguments = std::string (*)(std::string_view command,
                                      std::span<const std::string> arguments, CommandLine& into);

struct CommandSpec {
  std::string_view name;
  CommandKind kind;
  std::string_view arguments;  // the positional arguments in the synopsis
  ReadArguments read;
  // In the order the synopsis shows them.
  std::span<const CommandOption> options;
  // The option names in the order their values are checked, when it is not
  // the synopsis's: the first refusal of several is the one it always was.
  std::span<const std::string_view> checkOrder;
  std::string_view description;  // its lines in the help, without their indent
};

// Every command, in the order the help lists them.
std::span<const CommandSpec> AllCommands();

}  // namespace tavril::cli
