#include "cli_arguments.h"

#include <array>
#include <cstddef>
#include <optional>
#include <utility>

#include "processing/channel_arithmetic.h"

namespace tavril::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage : tavril-cli COMMANDE [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "Traitement en lot des fichiers enregistrés par TAVRIL.\n"
    "\n"
    "Commandes :\n"
    "  info FICHIER.tvr [--json]\n"
    "      Affiche le titre, les paramètres et les statistiques de l'enregistrement.\n"
    "  convert ENTREE.tvr SORTIE [--force]\n"
    "      Écrit l'enregistrement dans SORTIE, au format donné par son extension :\n"
    "      .tvr (fichier TAVRIL), .m (script MatLab) ou .csv.\n"
    "  math OPERATION A.tvr [B.tvr] -o SORTIE [--force]\n"
    "      Calcule un nouvel enregistrement et l'écrit dans SORTIE (.tvr, .m ou .csv).\n"
    "      Avec A et B : sum, difference, product, quotient.\n"
    "      Avec A seul : rectangle, midpoint (intégrale).\n"
    "  config [--json]\n"
    "      Affiche la configuration lue dans TAVRIL.INI du dossier courant.\n"
    "  help\n"
    "      Affiche cette aide.\n"
    "\n"
    "Options :\n"
    "  --json            un seul objet JSON sur une ligne\n"
    "  --force           remplace le fichier de sortie s'il existe déjà\n"
    "  -o, --output F    fichier de sortie de la commande math\n"
    "  -h, --help        affiche cette aide\n"
    "  --                la suite n'est faite que d'arguments\n"
    "\n"
    "Code de sortie : 0 en cas de succès, 1 en cas d'erreur.\n";

struct NamedOperation {
  std::string_view name;
  int code;
};

constexpr std::array<NamedOperation, 6> kOperations = {{
    {"sum", kOpSum},
    {"difference", kOpDifference},
    {"product", kOpProduct},
    {"quotient", kOpQuotient},
    {"rectangle", kOpRectangle},
    {"midpoint", kOpMidpoint},
}};

// What the scan of the options found, before the command is known.
struct Scan {
  std::vector<std::string> positionals;
  bool help = false;
  bool json = false;
  bool force = false;
  std::optional<std::string> output;
  std::string error;  // the first problem met
};

ParsedArguments Refuse(std::string error) {
  ParsedArguments parsed;
  parsed.error = std::move(error);
  return parsed;
}

void NoteError(Scan& scan, std::string error) {
  if (scan.error.empty()) scan.error = std::move(error);
}

// A flag such as --json; "--json=x" is refused rather than read as --json.
void TakeFlag(Scan& scan, bool& flag, std::string_view name, bool hasValue) {
  if (hasValue) {
    NoteError(scan, "L'option " + std::string(name) + " ne prend pas de valeur");
    return;
  }
  flag = true;
}

Scan ScanArguments(const std::vector<std::string>& args) {
  Scan scan;
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
    std::string_view name = arg;
    std::optional<std::string_view> value;
    if (name.starts_with("--")) {
      if (const std::size_t equals = name.find('='); equals != std::string_view::npos) {
        value = name.substr(equals + 1);
        name = name.substr(0, equals);
      }
    }
    if (name == "--help" || name == "-h") {
      TakeFlag(scan, scan.help, name, value.has_value());
    } else if (name == "--json") {
      TakeFlag(scan, scan.json, name, value.has_value());
    } else if (name == "--force") {
      TakeFlag(scan, scan.force, name, value.has_value());
    } else if (name == "-o" || name == "--output") {
      if (!value) {
        if (i + 1 == args.size()) {
          NoteError(scan, "L'option " + std::string(name) + " attend un nom de fichier");
          continue;
        }
        value = args[++i];
      }
      if (scan.output) {
        NoteError(scan, "Le fichier de sortie est donné plusieurs fois");
        continue;
      }
      scan.output = std::string(*value);
    } else {
      NoteError(scan, "Option inconnue : " + arg);
    }
  }
  return scan;
}

// Refuses the options that `command` does not take.
std::string CheckOptions(const Scan& scan, std::string_view command, bool takesJson,
                         bool takesForce, bool takesOutput) {
  const std::string suffix = " ne s'applique pas à la commande " + std::string(command);
  if (scan.json && !takesJson) return "L'option --json" + suffix;
  if (scan.force && !takesForce) return "L'option --force" + suffix;
  if (scan.output && !takesOutput) return "L'option -o" + suffix;
  return {};
}

// `expected` completes "La commande X ...": "attend un fichier .tvr", "n'attend aucun argument".
std::string ArgumentCountError(std::string_view command, std::string_view expected) {
  return "La commande " + std::string(command) + " " + std::string(expected);
}

ParsedArguments ParseMath(const Scan& scan, CommandLine command) {
  const std::vector<std::string>& p = scan.positionals;
  if (p.size() < 2) return Refuse("La commande math attend une opération et ses fichiers");
  command.operation = MathOperationFromName(p[1]);
  if (command.operation == 0) {
    return Refuse("Opération inconnue : " + p[1] +
                  " (sum, difference, product, quotient, rectangle, midpoint)");
  }
  const bool two = TakesSecondOperand(command.operation);
  const std::size_t files = p.size() - 2;
  if (two && files != 2) {
    return Refuse("L'opération " + p[1] + " attend deux fichiers, A et B");
  }
  if (!two && files != 1) return Refuse("L'opération " + p[1] + " attend un seul fichier");
  if (!scan.output) return Refuse("La commande math attend un fichier de sortie (-o FICHIER)");
  command.input = p[2];
  if (two) command.secondInput = p[3];
  command.output = *scan.output;
  return {std::move(command), {}};
}

}  // namespace

int MathOperationFromName(std::string_view name) {
  for (const NamedOperation& operation : kOperations) {
    if (operation.name == name) return operation.code;
  }
  return 0;
}

bool TakesSecondOperand(int operation) {
  return operation >= kOpSum && operation <= kOpQuotient;
}

std::string_view UsageText() {
  return kUsage;
}

ParsedArguments ParseArguments(const std::vector<std::string>& args) {
  const Scan scan = ScanArguments(args);
  if (scan.help) return {};
  if (!scan.error.empty()) return Refuse(scan.error);
  const std::vector<std::string>& p = scan.positionals;
  if (p.empty()) return Refuse("Aucune commande indiquée");

  const std::string& name = p[0];
  CommandLine command;
  command.json = scan.json;
  command.force = scan.force;
  std::string error;
  if (name == "help") {
    command.kind = CommandKind::kHelp;
    error = CheckOptions(scan, name, false, false, false);
    if (error.empty() && p.size() != 1) error = ArgumentCountError(name, "n'attend aucun argument");
  } else if (name == "info") {
    command.kind = CommandKind::kInfo;
    error = CheckOptions(scan, name, true, false, false);
    if (error.empty() && p.size() != 2) error = ArgumentCountError(name, "attend un fichier .tvr");
    if (error.empty()) command.input = p[1];
  } else if (name == "convert") {
    command.kind = CommandKind::kConvert;
    error = CheckOptions(scan, name, false, true, false);
    if (error.empty() && p.size() != 3) {
      error = ArgumentCountError(name, "attend un fichier d'entrée et un fichier de sortie");
    }
    if (error.empty()) {
      command.input = p[1];
      command.output = p[2];
    }
  } else if (name == "math") {
    command.kind = CommandKind::kMath;
    error = CheckOptions(scan, name, false, true, true);
    if (error.empty()) return ParseMath(scan, std::move(command));
  } else if (name == "config") {
    command.kind = CommandKind::kConfig;
    error = CheckOptions(scan, name, true, false, false);
    if (error.empty() && p.size() != 1) error = ArgumentCountError(name, "n'attend aucun argument");
  } else {
    error = "Commande inconnue : " + name;
  }
  if (!error.empty()) return Refuse(std::move(error));
  return {std::move(command), {}};
}

}  // namespace tavril::cli
