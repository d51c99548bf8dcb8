// The help text, made from the tables of commands and options.
#include <algorithm>
#include <string>

#include "cli_arguments.h"
#include "cli_option_table.h"

namespace tavril::cli {
namespace {

constexpr std::string_view kHeader =
    "Usage : tavril-cli COMMANDE [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "Traitement en lot des fichiers enregistrés par TAVRIL.\n"
    "\n"
    "Commandes :\n";
constexpr std::string_view kFooter =
    "  --                la suite n'est faite que d'arguments\n"
    "\n"
    "Code de sortie : 0 en cas de succès, 1 en cas d'erreur.\n";
// Synopses are cut before this column; descriptions are written to fit it.
constexpr std::size_t kWidth = 80;
constexpr std::string_view kDescriptionIndent = "      ";
constexpr std::size_t kOptionColumn = 18;

// The options listed under "Options :", in their order there.
constexpr std::string_view kListedOptions[] = {"--json",    "--between",  "--force",   "--csv",
                                               "--channel", "--channels", "--unpaced", "--generate",
                                               "--output",  "--version",  "--help"};

std::string SynopsisWord(const CommandOption& taken) {
  std::string word(ShownName(*taken.option));
  if (!taken.placeholder.empty()) word += " " + std::string(taken.placeholder);
  return taken.presence != Presence::kOptional ? word : "[" + word + "]";
}

// "  NAME ARGUMENTS OPTIONS", carried over to lines aligned after the name.
void AppendSynopsis(const CommandSpec& command, std::string& text) {
  std::string line = "  " + std::string(command.name);
  const std::string indent(line.size() + 1, ' ');
  if (!command.arguments.empty()) line += " " + std::string(command.arguments);
  for (const CommandOption& taken : command.options) {
    const std::string word = SynopsisWord(taken);
    if (line.size() + 1 + word.size() > kWidth) {
      text += line + "\n";
      line = indent + word;
    } else {
      line += " " + word;
    }
  }
  text += line + "\n";
}

void AppendDescription(std::string_view description, std::string& text) {
  while (!description.empty()) {
    const std::size_t end = description.find('\n');
    text += std::string(kDescriptionIndent) + std::string(description.substr(0, end)) + "\n";
    if (end == std::string_view::npos) break;
    description.remove_prefix(end + 1);
  }
}

void AppendOption(const OptionSpec& option, std::string& text) {
  std::string label;
  if (!option.shortName.empty()) label = std::string(option.shortName) + ", ";
  label += option.name;
  if (!option.helpValue.empty()) label += " " + std::string(option.helpValue);
  label.resize(std::max(label.size(), kOptionColumn), ' ');
  text += "  " + label + std::string(option.help) + "\n";
}

std::string MakeUsage() {
  std::string text(kHeader);
  for (const CommandSpec& command : AllCommands()) {
    AppendSynopsis(command, text);
    AppendDescription(command.description, text);
  }
  text += "\nOptions :\n";
  for (const std::string_view name : kListedOptions) {
    for (const OptionSpec* option : AllOptions()) {
      if (option->name == name) AppendOption(*option, text);
    }
  }
  return text + std::string(kFooter);
}

}  // namespace

std::string_view UsageText() {
  static const std::string usage = MakeUsage();
  return usage;
}

}  // namespace tavril::cli
