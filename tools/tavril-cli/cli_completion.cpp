#include "cli_completion.h"

#include <string_view>

#include "cli_option_table.h"

namespace tavril::cli {
namespace {

constexpr std::string_view kHead =
    R"(# bash completion for tavril-cli, made from its table of options.
_tavril_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local command="" i=1
    while ((i < COMP_CWORD)); do
        case ${COMP_WORDS[i]} in
)";

// Between the skipping of the options' values and the options of each command.
constexpr std::string_view kMiddle = R"(            -*) ;;
            *) [[ -z $command ]] && command=${COMP_WORDS[i]} ;;
        esac
        ((i++))
    done
    # A value of an option, or an argument: file names, from the default.
    case $prev in
)";

constexpr std::string_view kTail = R"(    esac
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
}
complete -o default -F _tavril_cli tavril-cli
)";

// "--a|-a|--b" for the options taking `valueCount` values.
std::string NamesTaking(int valueCount) {
  std::string names;
  for (const OptionSpec* option : AllOptions()) {
    if (option->valueCount != valueCount) continue;
    for (const std::string_view name : {option->shortName, option->name}) {
      if (name.empty()) continue;
      if (!names.empty()) names += '|';
      names += name;
    }
  }
  return names;
}

int MostValues() {
  int most = 0;
  for (const OptionSpec* option : AllOptions()) most = std::max(most, option->valueCount);
  return most;
}

void AppendNames(const OptionSpec& option, std::string& words) {
  for (const std::string_view name : {option.shortName, option.name}) {
    if (name.empty()) continue;
    if (!words.empty()) words += ' ';
    words += name;
  }
}

}  // namespace

std::string BashCompletionScript() {
  std::string script(kHead);
  for (int count = 1; count <= MostValues(); ++count) {
    const std::string names = NamesTaking(count);
    if (names.empty()) continue;
    script +=
        "            " + names + ") ((i += " + std::to_string(count + 1) + ")); continue ;;\n";
  }
  script += kMiddle;
  script += "        " + NamesTaking(1) + "|" + NamesTaking(2) + ") return ;;\n";
  script += "    esac\n";
  script += "    [[ $cur != -* && -n $command ]] && return\n";

  // Options every command takes: the help and the version.
  std::string everywhere;
  for (const OptionSpec* option : AllOptions()) {
    if (option->name == "--help" || option->name == "--version") AppendNames(*option, everywhere);
  }
  std::string commands;
  for (const CommandSpec& command : AllCommands()) {
    if (!commands.empty()) commands += ' ';
    commands += command.name;
  }
  script += "    local words\n";
  script += "    case $command in\n";
  script += "        \"\") [[ $cur == -* ]] && words=\"" + everywhere + "\" || words=\"" +
            commands + "\" ;;\n";
  for (const CommandSpec& command : AllCommands()) {
    std::string words;
    for (const CommandOption& taken : command.options) AppendNames(*taken.option, words);
    if (!words.empty()) words += ' ';
    words += everywhere;
    script += "        " + std::string(command.name) + ") words=\"" + words + "\" ;;\n";
  }
  script += "        *) return ;;\n";
  script += kTail;
  return script;
}

}  // namespace tavril::cli
