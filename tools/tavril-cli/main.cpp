#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli_commands.h"

// No setlocale: the C++ and C locales stay "C", and every number is formatted
// by the locale-free helpers anyway.
int main(int argc, char** argv) {
  int status = 1;
  try {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    status = tavril::cli::RunCli(args, std::cout, std::cerr);
  } catch (const std::exception&) {
    std::cerr << "tavril-cli: Problème d'allocation mémoire\n";
    return 1;
  }
  // Output that never reached its file (a full disk, say) is a failure too.
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "tavril-cli: Erreur d'écriture sur la sortie standard\n";
    return 1;
  }
  return status;
}
