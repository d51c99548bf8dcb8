#include "ui/app/window_command_line.h"

#include "tavril_version.h"

namespace tavril {

WindowCommandLine ReadWindowCommandLine(const std::vector<std::string>& args) {
  WindowCommandLine line;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
      line.files.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help" || arg == "-h") {
      return {WindowCommand::kHelp, {}, {}};
    } else if (arg == "--version") {
      line.command = WindowCommand::kVersion;
    } else if (line.error.empty()) {
      line.error = "Option inconnue : " + arg + " (voir « tavril --help »)";
    }
  }
  if (line.command == WindowCommand::kVersion) return {WindowCommand::kVersion, {}, {}};
  return line;
}

std::string_view WindowUsageText() {
  return "Usage : tavril [OPTIONS] [FICHIER...]\n"
         "\n"
         "Acquisition et affichage des tensions des cartes d'entrées analogiques.\n"
         "\n"
         "Chaque FICHIER est ouvert comme les menus l'ouvriraient : un fichier .tvr\n"
         "comme Ouvrir, une session comme Ouvrir une session, un enregistrement HDF5\n"
         "comme un enregistrement, les autres fichiers de canaux (.csv, .mat, .h5)\n"
         "comme Importer des canaux.\n"
         "\n"
         "Options :\n"
         "  -h, --help        affiche cette aide\n"
         "  --version         affiche la version\n"
         "  --                la suite n'est faite que de fichiers\n"
         "\n"
         "TAVRIL.INI est lu et écrit dans le dossier de départ ; lancé depuis le menu\n"
         "du bureau, dans $XDG_DATA_HOME/tavril (~/.local/share/tavril par défaut).\n";
}

std::string WindowVersionText() {
  return "tavril " + std::string(kTavrilVersion) +
         "\n"
         "Publié sous la licence MIT.\n";
}

}  // namespace tavril
