#include "cli_arguments.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <utility>

#include "cli_option_table.h"

namespace tavril::cli {
namespace {

struct NamedOperation {
  std::string_view name;
  MathOperation operation;
};

constexpr std::array<NamedOperation, 6> kOperations = {{
    {"sum", MathOperation::kSum},
    {"difference", MathOperation::kDifference},
    {"product", MathOperation::kProduct},
    {"quotient", MathOperation::kQuotient},
    {"rectangle", MathOperation::kRectangle},
    {"midpoint", MathOperation::kMidpoint},
}};

// What the scan of the options found, before the command is known.
struct Scan {
  std::vector<std::string> positionals;
  // The values of each option given, by its place in AllOptions().
  std::vector<std::optional<std::vector<std::string>>> given;
  std::string error;  // the first problem met
  // When that problem is an option's value missing or given twice: which
  // option, so that the command can name what it expects.
  std::optional<std::size_t> errorOption;
  bool errorRepeated = false;
};

ParsedArguments Refuse(std::string error) {
  ParsedArguments parsed;
  parsed.error = std::move(error);
  return parsed;
}

void NoteError(Scan& scan, std::string error) {
  if (scan.error.empty()) scan.error = std::move(error);
}

std::optional<std::size_t> FindOption(std::string_view name) {
  const std::span<const OptionSpec* const> options = AllOptions();
  for (std::size_t i = 0; i < options.size(); ++i) {
    if (options[i]->name == name ||
        (!options[i]->shortName.empty() && options[i]->shortName == name))
      return i;
  }
  return std::nullopt;
}

Scan ScanArguments(const std::vector<std::string>& args) {
  Scan scan;
  scan.given.resize(AllOptions().size());
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // A lone "-" is a name, as it is for most tools.
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      scan.positionals.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string_view written = arg;
    std::optional<std::string_view> inlineValue;
    if (written.starts_with("--")) {
      if (const std::size_t equals = written.find('='); equals != std::string_view::npos) {
        inlineValue = written.substr(equals + 1);
        written = written.substr(0, equals);
      }
    }
    const std::optional<std::size_t> found = FindOption(written);
    if (!found) {
      NoteError(scan, "Option inconnue : " + arg);
      continue;
    }
    const OptionSpec& option = *AllOptions()[*found];
    std::optional<std::vector<std::string>>& given = scan.given[*found];
    const std::string named = "L'option " + std::string(written);
    if (option.valueCount == 0) {
      if (inlineValue) {
        NoteError(scan, named + " ne prend pas de valeur");
      } else {
        given.emplace();
      }
      continue;
    }
    // A value written after "=" stands for a single one.
    std::vector<std::string> values;
    if (inlineValue && option.valueCount == 1) {
      values.emplace_back(*inlineValue);
    } else if (!inlineValue && args.size() - i > static_cast<std::size_t>(option.valueCount)) {
      values.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                    args.begin() + static_cast<std::ptrdiff_t>(i) + 1 + option.valueCount);
      i += static_cast<std::size_t>(option.valueCount);
    } else {
      if (scan.error.empty()) scan.errorOption = *found;
      NoteError(scan, named + " attend " + std::string(option.expects));
      continue;
    }
    if (given && option.repeatable) {
      given->insert(given->end(), values.begin(), values.end());
      continue;
    }
    if (given) {
      if (scan.error.empty()) {
        scan.errorOption = *found;
        scan.errorRepeated = true;
      }
      NoteError(scan, option.repeated.empty()
                          ? "L'option " + std::string(option.name) + " est donnée plusieurs fois"
                          : std::string(option.repeated));
      continue;
    }
    given = std::move(values);
  }
  return scan;
}

const CommandSpec* FindCommand(std::string_view name) {
  for (const CommandSpec& command : AllCommands()) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

const CommandOption* FindCommandOption(const CommandSpec& command, std::string_view name) {
  for (const CommandOption& taken : command.options) {
    if (taken.option->name == name) return &taken;
  }
  return nullptr;
}

// The scan's problem, in the words of the command named first when it gives
// the option its own meaning.
std::string ScanError(const Scan& scan, std::span<const std::string> args) {
  if (!scan.errorOption || scan.positionals.empty()) return scan.error;
  const CommandSpec* command = FindCommand(scan.positionals[0]);
  const OptionSpec& option = *AllOptions()[*scan.errorOption];
  const CommandOption* taken = command ? FindCommandOption(*command, option.name) : nullptr;
  if (taken == nullptr) return scan.error;
  if (scan.errorRepeated)
    return taken->repeated.empty() ? scan.error : std::string(taken->repeated);
  if (taken->expects.empty()) return scan.error;
  // The option as it was written: its name or its short name.
  std::string_view written = option.name;
  for (const std::string& arg : args) {
    if (!option.shortName.empty() && arg == option.shortName) written = option.shortName;
    if (arg.starts_with(option.name)) written = option.name;
  }
  return "L'option " + std::string(written) + " attend " + std::string(taken->expects);
}

// The first option given, in AllOptions()'s order, that `command` does not take.
std::string CheckOptions(const Scan& scan, const CommandSpec& command) {
  const std::span<const OptionSpec* const> options = AllOptions();
  for (std::size_t i = 0; i < options.size(); ++i) {
    if (scan.given[i] && FindCommandOption(command, options[i]->name) == nullptr) {
      return "L'option " + std::string(ShownName(*options[i])) +
             " ne s'applique pas à la commande " + std::string(command.name);
    }
  }
  return {};
}

// Reads the options `command` takes into `into`, in the order they are checked.
std::string ReadOptions(const Scan& scan, const CommandSpec& command, CommandLine& into) {
  std::vector<const CommandOption*> order;
  for (const CommandOption& taken : command.options) order.push_back(&taken);
  if (!command.checkOrder.empty()) {
    const auto place = [&command](const CommandOption* taken) {
      return std::find(command.checkOrder.begin(), command.checkOrder.end(), taken->option->name) -
             command.checkOrder.begin();
    };
    std::stable_sort(
        order.begin(), order.end(),
        [&](const CommandOption* a, const CommandOption* b) { return place(a) < place(b); });
  }
  for (const CommandOption* taken : order) {
    const std::size_t index = *FindOption(taken->option->name);
    const std::optional<std::vector<std::string>>& given = scan.given[index];
    const bool missing =
        !given || (taken->presence == Presence::kRequiredNotEmpty && given->front().empty());
    if (missing) {
      if (taken->presence != Presence::kOptional) {
        return "La commande " + std::string(command.name) + " attend " +
               std::string(taken->whenMissing);
      }
      continue;
    }
    if (std::string error = taken->read(*given, into); !error.empty()) return error;
  }
  return {};
}

}  // namespace

std::optional<MathOperation> MathOperationFromName(std::string_view name) {
  for (const NamedOperation& named : kOperations) {
    if (named.name == name) return named.operation;
  }
  return std::nullopt;
}

ParsedArguments ParseArguments(const std::vector<std::string>& args) {
  const Scan scan = ScanArguments(args);
  if (scan.given[*FindOption("--help")]) return {};  // whatever else is wrong
  if (scan.given[*FindOption("--version")]) {
    ParsedArguments version;
    version.command.kind = CommandKind::kVersion;
    return version;
  }
  if (!scan.error.empty()) return Refuse(ScanError(scan, args));
  if (scan.positionals.empty()) return Refuse("Aucune commande indiquée");

  const std::string& name = scan.positionals[0];
  const CommandSpec* command = FindCommand(name);
  if (command == nullptr) return Refuse("Commande inconnue : " + name);
  CommandLine line;
  line.kind = command->kind;
  std::string error = CheckOptions(scan, *command);
  if (error.empty()) {
    error = command->read(command->name, std::span(scan.positionals).subspan(1), line);
  }
  if (error.empty()) error = ReadOptions(scan, *command, line);
  if (!error.empty()) return Refuse(std::move(error));
  return {std::move(line), {}};
}

}  // namespace tavril::cli
