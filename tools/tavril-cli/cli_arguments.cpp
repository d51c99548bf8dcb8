#include "cli_arguments.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <map>
#include <optional>
#include <utility>

#include "model/channel_record.h"
#include "processing/channel_arithmetic.h"
#include "processing/spectrum_text.h"
#include "text/number_text.h"

namespace tavril::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage : tavril-cli COMMANDE [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "Traitement en lot des fichiers enregistrés par TAVRIL.\n"
    "\n"
    "Commandes :\n"
    "  info FICHIER... [--json]\n"
    "      Affiche le titre, les paramètres et les statistiques de chaque enregistrement\n"
    "      d'un fichier .tvr, ou de chaque canal d'un fichier .csv, .mat ou .h5 (avec\n"
    "      plusieurs fichiers, chacun précédé de « Fichier: NOM », chaque canal de\n"
    "      « Canal: N »). En JSON, une ligne par enregistrement, avec \"file\" et\n"
    "      \"slot\" ; les valeurs non finies s'écrivent \"NaN\", \"Infinity\" et\n"
    "      \"-Infinity\".\n"
    "  convert ENTREE... SORTIE [--force]\n"
    "      Écrit les canaux des fichiers d'entrée (.tvr, .csv, .mat, .h5) dans SORTIE,\n"
    "      au format donné par son extension : .tvr (fichier TAVRIL), .m (script\n"
    "      MatLab), .csv, .mat (MATLAB), .h5 (HDF5) ou .xlsx (Excel). Chaque .tvr prend\n"
    "      le premier canal libre, les autres fichiers gardent les leurs. En .tvr ou .m,\n"
    "      plusieurs canaux donnent un fichier par canal : SORTIE0.tvr, SORTIE3.tvr...\n"
    "  math OPERATION A.tvr [B.tvr] -o SORTIE [--force]\n"
    "      Calcule un nouvel enregistrement et l'écrit dans SORTIE (.tvr, .m, .csv,\n"
    "      .mat, .h5 ou .xlsx).\n"
    "      Avec A et B : sum, difference, product, quotient.\n"
    "      Avec A seul : rectangle, midpoint (intégrale).\n"
    "  measure FICHIER... [--between T1 T2] [--json]\n"
    "      Mesure chaque enregistrement (chaque canal des fichiers .csv, .mat ou .h5)\n"
    "      comme la fenêtre Mesures : minimum, maximum, crête à crête, moyenne,\n"
    "      valeurs efficaces, fréquence, période, rapport cyclique, temps de montée\n"
    "      et de descente. Avec --between, seulement les\n"
    "      échantillons de T1 à T2 secondes depuis le début de l'enregistrement. En\n"
    "      JSON, une ligne par enregistrement, null pour une mesure sans valeur.\n"
    "  spectrum FICHIER [--channel N] [--window W] [--blocks N] [--block-size N]\n"
    "           [--csv]\n"
    "      Spectre d'amplitude en dBV, comme la fenêtre Spectre : fenêtre W parmi\n"
    "      rectangulaire, hann (par défaut) et flattop ; blocs de N points (une\n"
    "      puissance de deux de 16 à 1048576, 65536 par défaut) ; moyenne d'au plus\n"
    "      N blocs (16 par défaut). Affiche le pic, ou avec --csv chaque raie.\n"
    "      Un fichier .csv, .mat ou .h5 de plusieurs canaux demande --channel N,\n"
    "      le canal N du fichier.\n"
    "  config [--json]\n"
    "      Affiche la configuration lue dans TAVRIL.INI du dossier courant.\n"
    "  acquire --channels C --out PREFIXE [--count N] [--rate F] [--scan-rate F]\n"
    "          [--gain G] [--title T] [--force]\n"
    "      Acquiert la voie C (par exemple 3) ou les voies 0 à N (0-N) avec la carte du\n"
    "      périphérique de TAVRIL.INI et écrit chaque voie dans PREFIXE<voie>.tvr.\n"
    "      Par défaut : 1000 points à 100000 échantillons/s, gain 1, balayage 0.\n"
    "  record --channels C --rate F --out FICHIER.h5 [--scan-rate F] [--gain G]\n"
    "         [--duration S] [--trigger V:NIVEAU[:rising|falling]] [--force]\n"
    "      Enregistre en continu chaque échantillon des voies C (3, ou 0-N) dans un\n"
    "      seul fichier HDF5, pendant S secondes ou jusqu'à Ctrl+C.\n"
    "      Le fichier est mis à jour au moins chaque seconde et reste lisible si le\n"
    "      programme est tué ou si le disque se remplit. --trigger règle le\n"
    "      déclenchement du balayage sur la voie V ; il ne change rien au fichier.\n"
    "  help\n"
    "      Affiche cette aide.\n"
    "\n"
    "Options :\n"
    "  --json            un seul objet JSON sur une ligne\n"
    "  --between T1 T2   mesure seulement de T1 à T2 secondes (commande measure)\n"
    "  --force           remplace les fichiers de sortie qui existent déjà\n"
    "  --csv             les raies du spectre en CSV\n"
    "  --channel N       le canal N d'un fichier de plusieurs canaux (commande spectrum)\n"
    "  -o, --output F    fichier de sortie de la commande math\n"
    "  -h, --help        affiche cette aide\n"
    "  --                la suite n'est faite que d'arguments\n"
    "\n"
    "Code de sortie : 0 en cas de succès, 1 en cas d'erreur.\n";

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
  bool help = false;
  bool json = false;
  bool force = false;
  bool csv = false;
  std::optional<std::string> output;
  std::optional<std::pair<std::string, std::string>> between;
  std::map<std::string, std::string, std::less<>> values;  // acquire's and spectrum's options
  std::string error;                                       // the first problem met
};

constexpr std::array<std::string_view, 7> kAcquireOptions = {
    "--channels", "--count", "--rate", "--scan-rate", "--gain", "--title", "--out"};

constexpr std::array<std::string_view, 7> kRecordOptions = {
    "--channels", "--rate", "--scan-rate", "--gain", "--duration", "--trigger", "--out"};

constexpr std::array<std::string_view, 4> kSpectrumOptions = {"--window", "--blocks",
                                                              "--block-size", "--channel"};

template <std::size_t N>
bool IsAmong(std::string_view name, const std::array<std::string_view, N>& options) {
  for (const std::string_view option : options) {
    if (option == name) return true;
  }
  return false;
}

bool IsValueOption(std::string_view name) {
  return IsAmong(name, kAcquireOptions) || IsAmong(name, kRecordOptions) ||
         IsAmong(name, kSpectrumOptions);
}

bool TakesValueOption(std::string_view command, std::string_view name) {
  if (command == "acquire") return IsAmong(name, kAcquireOptions);
  if (command == "record") return IsAmong(name, kRecordOptions);
  if (command == "spectrum") return IsAmong(name, kSpectrumOptions);
  return false;
}

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
    } else if (name == "--csv") {
      TakeFlag(scan, scan.csv, name, value.has_value());
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
    } else if (name == "--between") {
      if (value || args.size() - i < 3) {
        NoteError(scan, "L'option --between attend deux temps, T1 et T2");
        continue;
      }
      if (scan.between) NoteError(scan, "L'option --between est donnée plusieurs fois");
      scan.between.emplace(args[i + 1], args[i + 2]);
      i += 2;
    } else if (IsValueOption(name)) {
      if (!value) {
        if (i + 1 == args.size()) {
          NoteError(scan, "L'option " + std::string(name) + " attend une valeur");
          continue;
        }
        value = args[++i];
      }
      if (!scan.values.emplace(std::string(name), std::string(*value)).second) {
        NoteError(scan, "L'option " + std::string(name) + " est donnée plusieurs fois");
      }
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
  if (scan.between && command != "measure") return "L'option --between" + suffix;
  if (scan.csv && command != "spectrum") return "L'option --csv" + suffix;
  for (const auto& [name, value] : scan.values) {
    if (!TakesValueOption(command, name)) return "L'option " + name + suffix;
  }
  return {};
}

// `expected` completes "La commande X ...": "attend un fichier .tvr", "n'attend aucun argument".
std::string ArgumentCountError(std::string_view command, std::string_view expected) {
  return "La commande " + std::string(command) + " " + std::string(expected);
}

ParsedArguments ParseMath(const Scan& scan, CommandLine command) {
  const std::vector<std::string>& p = scan.positionals;
  if (p.size() < 2) return Refuse("La commande math attend une opération et ses fichiers");
  const std::optional<MathOperation> operation = MathOperationFromName(p[1]);
  if (!operation) {
    return Refuse("Opération inconnue : " + p[1] +
                  " (sum, difference, product, quotient, rectangle, midpoint)");
  }
  command.operation = *operation;
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

// A whole number within [low, high], written in decimal and nothing else.
bool ReadWhole(std::string_view text, long long low, long long high, long long& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end && value >= low && value <= high;
}

// A finite number, read as the program reads the panel's fields, with nothing after it.
bool ReadNumber(std::string_view text, double& value) {
  const ParsedDouble parsed = ParseDecimalDouble(text);
  value = parsed.value;
  return parsed.consumed > 0 && parsed.consumed == text.size() && std::isfinite(value);
}

// "3" is one channel; "0-N" the scan of channels 0 to N.
bool ReadChannels(std::string_view text, int& firstChannel, int& lastChannel) {
  long long first = 0;
  long long last = 0;
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) {
    if (!ReadWhole(text, 0, kChannelCount - 1, first)) return false;
    last = first;
  } else if (!ReadWhole(text.substr(0, dash), 0, 0, first) ||
             !ReadWhole(text.substr(dash + 1), 0, kChannelCount - 1, last)) {
    return false;
  }
  firstChannel = static_cast<int>(first);
  lastChannel = static_cast<int>(last);
  return true;
}

ParsedArguments ParseMeasure(const Scan& scan, CommandLine command) {
  if (scan.positionals.size() < 2) {
    return Refuse(ArgumentCountError("measure", "attend au moins un fichier .tvr"));
  }
  command.inputs.assign(scan.positionals.begin() + 1, scan.positionals.end());
  if (!scan.between) return {std::move(command), {}};
  const auto& [fromText, toText] = *scan.between;
  TimeInterval interval;
  if (!ReadNumber(fromText, interval.from)) return Refuse("Temps non valide : " + fromText);
  if (!ReadNumber(toText, interval.to)) return Refuse("Temps non valide : " + toText);
  if (interval.from > interval.to) {
    return Refuse("L'intervalle --between va de T1 à T2 : T1 ne peut dépasser T2");
  }
  command.between = interval;
  return {std::move(command), {}};
}

ParsedArguments ParseAcquire(const Scan& scan, CommandLine command) {
  if (scan.positionals.size() != 1) return Refuse("La commande acquire n'attend que des options");
  AcquireRequest& request = command.acquire;
  const auto value = [&scan](std::string_view name) -> const std::string* {
    const auto found = scan.values.find(name);
    return found == scan.values.end() ? nullptr : &found->second;
  };
  const std::string* channels = value("--channels");
  if (channels == nullptr) return Refuse("La commande acquire attend --channels (3, ou 0-N)");
  if (!ReadChannels(*channels, request.firstChannel, request.lastChannel)) {
    return Refuse("Voies non valides : " + *channels + " (une voie de 0 à 7, ou 0-N)");
  }
  const std::string* prefix = value("--out");
  if (prefix == nullptr || prefix->empty()) {
    return Refuse("La commande acquire attend --out PREFIXE");
  }
  request.outputPrefix = *prefix;
  long long whole = 0;
  if (const std::string* text = value("--count")) {
    if (!ReadWhole(*text, 0, std::numeric_limits<std::uint32_t>::max(), whole)) {
      return Refuse("Nombre de points non valide : " + *text);
    }
    request.count = static_cast<std::uint32_t>(whole);
  }
  if (const std::string* text = value("--gain")) {
    if (!ReadWhole(*text, std::numeric_limits<std::int16_t>::min(),
                   std::numeric_limits<std::int16_t>::max(), whole)) {
      return Refuse("Gain non valide : " + *text);
    }
    request.gain = static_cast<std::int16_t>(whole);
  }
  if (const std::string* text = value("--rate"); text && !ReadNumber(*text, request.rate)) {
    return Refuse("Fréquence d'échantillonnage non valide : " + *text);
  }
  if (const std::string* text = value("--scan-rate");
      text && !ReadNumber(*text, request.scanRate)) {
    return Refuse("Fréquence de balayage non valide : " + *text);
  }
  if (const std::string* text = value("--title")) request.title = *text;
  return {std::move(command), {}};
}

// "CHANNEL:LEVEL", then ":rising" (the default) or ":falling".
bool ReadTrigger(std::string_view text, RecordTrigger& trigger) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  long long channel = 0;
  if (!ReadWhole(text.substr(0, colon), 0, kChannelCount - 1, channel)) return false;
  trigger.channel = static_cast<int>(channel);
  std::string_view level = text.substr(colon + 1);
  const std::size_t edge = level.find(':');
  if (edge != std::string_view::npos) {
    const std::string_view word = level.substr(edge + 1);
    if (word != "rising" && word != "falling") return false;
    trigger.edge = word == "rising" ? TriggerEdge::kRising : TriggerEdge::kFalling;
    level = level.substr(0, edge);
  }
  return ReadNumber(level, trigger.level);
}

ParsedArguments ParseRecord(const Scan& scan, CommandLine command) {
  if (scan.positionals.size() != 1) return Refuse("La commande record n'attend que des options");
  RecordRequest& request = command.record;
  const auto value = [&scan](std::string_view name) -> const std::string* {
    const auto found = scan.values.find(name);
    return found == scan.values.end() ? nullptr : &found->second;
  };
  const std::string* channels = value("--channels");
  if (channels == nullptr) return Refuse("La commande record attend --channels (3, ou 0-N)");
  if (!ReadChannels(*channels, request.firstChannel, request.lastChannel)) {
    return Refuse("Voies non valides : " + *channels + " (une voie de 0 à 7, ou 0-N)");
  }
  const std::string* output = value("--out");
  if (output == nullptr || output->empty()) {
    return Refuse("La commande record attend --out FICHIER.h5");
  }
  request.output = *output;
  const std::string* rate = value("--rate");
  if (rate == nullptr) return Refuse("La commande record attend --rate F");
  if (!ReadNumber(*rate, request.rate) || !(request.rate > 0)) {
    return Refuse("Fréquence d'échantillonnage non valide : " + *rate);
  }
  if (const std::string* text = value("--scan-rate");
      text && (!ReadNumber(*text, request.scanRate) || request.scanRate < 0)) {
    return Refuse("Fréquence de balayage non valide : " + *text);
  }
  long long whole = 0;
  if (const std::string* text = value("--gain")) {
    if (!ReadWhole(*text, std::numeric_limits<std::int16_t>::min(),
                   std::numeric_limits<std::int16_t>::max(), whole)) {
      return Refuse("Gain non valide : " + *text);
    }
    request.gain = static_cast<std::int16_t>(whole);
  }
  if (const std::string* text = value("--duration");
      text && (!ReadNumber(*text, request.durationSeconds) || !(request.durationSeconds > 0))) {
    return Refuse("Durée non valide : " + *text + " (en secondes, plus de 0)");
  }
  if (const std::string* text = value("--trigger")) {
    RecordTrigger trigger;
    const int first = request.firstChannel == request.lastChannel ? request.firstChannel : 0;
    if (!ReadTrigger(*text, trigger) || trigger.channel < first ||
        trigger.channel > request.lastChannel) {
      return Refuse("Déclenchement non valide : " + *text +
                    " (VOIE:NIVEAU[:rising|falling], sur une voie enregistrée)");
    }
    request.trigger = trigger;
  }
  return {std::move(command), {}};
}

ParsedArguments ParseSpectrum(const Scan& scan, CommandLine command) {
  if (scan.positionals.size() != 2) {
    return Refuse(ArgumentCountError("spectrum", "attend un seul fichier"));
  }
  command.input = scan.positionals[1];
  SpectrumRequest& request = command.spectrum;
  request.csv = scan.csv;
  if (const auto found = scan.values.find("--window"); found != scan.values.end()) {
    const std::optional<SpectrumWindow> window = SpectrumWindowFromWord(found->second);
    if (!window) {
      return Refuse("Fenêtre inconnue : " + found->second + " (rectangulaire, hann, flattop)");
    }
    request.window = *window;
  }
  long long whole = 0;
  if (const auto found = scan.values.find("--block-size"); found != scan.values.end()) {
    if (!ReadWhole(found->second, 16, 1 << 20, whole) || (whole & (whole - 1)) != 0) {
      return Refuse("Taille de bloc non valide : " + found->second +
                    " (une puissance de deux de 16 à 1048576)");
    }
    request.blockSize = static_cast<std::size_t>(whole);
  }
  if (const auto found = scan.values.find("--blocks"); found != scan.values.end()) {
    if (!ReadWhole(found->second, 1, 1 << 20, whole)) {
      return Refuse("Nombre de blocs non valide : " + found->second + " (de 1 à 1048576)");
    }
    request.maxBlocks = static_cast<int>(whole);
  }
  if (const auto found = scan.values.find("--channel"); found != scan.values.end()) {
    if (!ReadWhole(found->second, 0, kChannelCount - 1, whole)) {
      return Refuse("Canal non valide : " + found->second + " (de 0 à 7)");
    }
    command.channel = static_cast<int>(whole);
  }
  return {std::move(command), {}};
}

}  // namespace

std::optional<MathOperation> MathOperationFromName(std::string_view name) {
  for (const NamedOperation& named : kOperations) {
    if (named.name == name) return named.operation;
  }
  return std::nullopt;
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
    if (error.empty() && p.size() < 2) {
      error = ArgumentCountError(name, "attend au moins un fichier .tvr");
    }
    if (error.empty()) command.inputs.assign(p.begin() + 1, p.end());
  } else if (name == "convert") {
    command.kind = CommandKind::kConvert;
    error = CheckOptions(scan, name, false, true, false);
    if (error.empty() && p.size() < 3) {
      error = ArgumentCountError(name, "attend des fichiers d'entrée et un fichier de sortie");
    }
    if (error.empty()) {
      command.inputs.assign(p.begin() + 1, p.end() - 1);
      command.output = p.back();
    }
  } else if (name == "math") {
    command.kind = CommandKind::kMath;
    error = CheckOptions(scan, name, false, true, true);
    if (error.empty()) return ParseMath(scan, std::move(command));
  } else if (name == "acquire") {
    command.kind = CommandKind::kAcquire;
    error = CheckOptions(scan, name, false, true, false);
    if (error.empty()) return ParseAcquire(scan, std::move(command));
  } else if (name == "record") {
    command.kind = CommandKind::kRecord;
    error = CheckOptions(scan, name, false, true, false);
    if (error.empty()) return ParseRecord(scan, std::move(command));
  } else if (name == "measure") {
    command.kind = CommandKind::kMeasure;
    error = CheckOptions(scan, name, true, false, false);
    if (error.empty()) return ParseMeasure(scan, std::move(command));
  } else if (name == "spectrum") {
    command.kind = CommandKind::kSpectrum;
    error = CheckOptions(scan, name, false, false, false);
    if (error.empty()) return ParseSpectrum(scan, std::move(command));
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
