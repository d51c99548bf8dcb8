// Writes tavril-cli's bash completion script, for the build to install.
#include <iostream>

#include "cli_completion.h"

int main() {
  std::cout << tavril::cli::BashCompletionScript();
  std::cout.flush();
  return std::cout ? 0 : 1;
}
