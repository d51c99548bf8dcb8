#pragma once

#include <string>

namespace tavril::cli {

// The bash completion script of tavril-cli, made from the same tables as its
// help (cli_option_table.h): commands first, then the options of the command
// given, file names for the arguments and for the options' values.
std::string BashCompletionScript();

}  // namespace tavril::cli
