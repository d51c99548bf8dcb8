#include "cli_option_table.h"

#include <array>

#include "cli_option_values.h"
#include "processing/channel_arithmetic.h"

namespace tavril::cli {
namespace {

using Values = std::span<const std::string>;

constexpr OptionSpec Flag(std::string_view name, std::string_view help) {
  return {.name = name, .help = help};
}

constexpr OptionSpec kHelp{.name = "--help", .shortName = "-h", .help = "affiche cette aide"};
constexpr OptionSpec kVersion = Flag("--version", "affiche la version de tavril-cli");
constexpr OptionSpec kJson = Flag("--json", "un seul objet JSON sur une ligne");
constexpr OptionSpec kForce = Flag("--force", "remplace les fichiers de sortie qui existent déjà");
constexpr OptionSpec kCsv = Flag("--csv", "les raies du spectre, ou la réponse de bode, en CSV");
constexpr OptionSpec kUnpaced =
    Flag("--unpaced", "enregistre la carte simulée au plus vite (commande record)");
constexpr OptionSpec kOutput{.name = "--output",
                             .shortName = "-o",
                             .valueCount = 1,
                             .expects = "un nom de fichier",
                             .repeated = "Le fichier de sortie est donné plusieurs fois",
                             .helpValue = "F",
                             .help =
                                 "fichier de sortie de la commande math ; pour bode, la\n"
                                 "                    sortie analogique qui joue le sinus"};
constexpr OptionSpec kBetween{.name = "--between",
                              .valueCount = 2,
                              .expects = "deux temps, T1 et T2",
                              .helpValue = "T1 T2",
                              .help =
                                  "seulement les échantillons de T1 à T2 secondes depuis\n"
                                  "                    le début (info, measure, spectrum, "
                                  "convert)"};
constexpr OptionSpec kChannel{
    .name = "--channel",
    .valueCount = 1,
    .expects = "une valeur",
    .helpValue = "N",
    .help = "le canal N d'un fichier de plusieurs canaux (commande spectrum)"};
// Options whose value is "une valeur" and that have no line under "Options :".
constexpr OptionSpec Valued(std::string_view name) {
  return {.name = name, .valueCount = 1, .expects = "une valeur"};
}
constexpr OptionSpec kBlockSize = Valued("--block-size");
constexpr OptionSpec kBlocks = Valued("--blocks");
constexpr OptionSpec kChannels{
    .name = "--channels",
    .valueCount = 1,
    .expects = "une valeur",
    .helpValue = "LISTE",
    .help =
        "seulement ces canaux d'un fichier de plusieurs canaux, par\n"
        "                    exemple 0,2-3 (info, measure, spectrum, convert)"};
constexpr OptionSpec kCount = Valued("--count");
constexpr OptionSpec kDuration = Valued("--duration");
constexpr OptionSpec kGain = Valued("--gain");
constexpr OptionSpec kOut = Valued("--out");
constexpr OptionSpec kRate = Valued("--rate");
constexpr OptionSpec kScanRate = Valued("--scan-rate");
constexpr OptionSpec kTitle = Valued("--title");
constexpr OptionSpec kTrigger = Valued("--trigger");
constexpr OptionSpec kGenerate{
    .name = "--generate",
    .valueCount = 1,
    .expects = "SORTIE:FORME:FREQUENCE:AMPLITUDE[:DECALAGE]",
    .helpValue = "S:FORME:F:A[:D]",
    .help =
        "\n                    joue un signal sur la sortie analogique S pendant la\n"
        "                    mesure (acquire, record ; plusieurs permis) : FORME parmi\n"
        "                    sine, square, triangle, sawtooth, dc, noise ; F en Hz,\n"
        "                    A (crête) et D (décalage, 0 par défaut) en V",
    .repeatable = true};
constexpr OptionSpec kWindow = Valued("--window");
constexpr OptionSpec kAmplitude = Valued("--amplitude");
constexpr OptionSpec kFrom = Valued("--from");
constexpr OptionSpec kPoints = Valued("--points");
constexpr OptionSpec kResponse = Valued("--response");
constexpr OptionSpec kStimulus = Valued("--stimulus");
constexpr OptionSpec kTo = Valued("--to");

// The flags, the output and --between first, then the others by name.
constexpr std::array<const OptionSpec*, 28> kOptions = {
    &kHelp,     &kVersion,   &kJson,      &kForce,    &kOutput,  &kBetween,  &kCsv,
    &kUnpaced,  &kAmplitude, &kBlockSize, &kBlocks,   &kChannel, &kChannels, &kCount,
    &kDuration, &kFrom,      &kGain,      &kGenerate, &kOut,     &kPoints,   &kRate,
    &kResponse, &kScanRate,  &kStimulus,  &kTitle,    &kTo,      &kTrigger,  &kWindow};

constexpr CommandOption Optional(const OptionSpec& option, std::string_view placeholder,
                                 ReadOptionValues read) {
  return {&option, placeholder, Presence::kOptional, {}, read};
}

constexpr CommandOption Required(const OptionSpec& option, std::string_view placeholder,
                                 std::string_view whenMissing, ReadOptionValues read,
                                 Presence presence = Presence::kRequired) {
  return {&option, placeholder, presence, whenMissing, read};
}

// What each option puts into the command line. Those that `acquire` and
// `record` share are read once, into the request named by `Request`.

std::string SetJson(Values, CommandLine& c) {
  c.json = true;
  return {};
}
std::string SetForce(Values, CommandLine& c) {
  c.force = true;
  return {};
}
std::string SetOutput(Values v, CommandLine& c) {
  c.output = v[0];
  return {};
}
std::string SetBetween(Values v, CommandLine& c) {
  return ReadInterval(v[0], v[1], c.between);
}
std::string SetCsv(Values, CommandLine& c) {
  c.spectrum.csv = true;
  return {};
}
std::string SetFileChannel(Values v, CommandLine& c) {
  return ReadFileChannel(v[0], c.channel);
}
// Read after --channel, which names one channel of the same file.
std::string SetSlots(Values v, CommandLine& c) {
  if (c.channel) return "Les options --channel et --channels ne vont pas ensemble";
  return ReadSlotList(v[0], c.slots);
}
std::string SetWindow(Values v, CommandLine& c) {
  return ReadWindow(v[0], c.spectrum.window);
}
std::string SetBlocks(Values v, CommandLine& c) {
  return ReadBlockCount(v[0], c.spectrum.maxBlocks);
}
std::string SetBlockSize(Values v, CommandLine& c) {
  return ReadBlockSize(v[0], c.spectrum.blockSize);
}
template <auto Request>
std::string SetChannels(Values v, CommandLine& c) {
  return ReadChannels(v[0], (c.*Request).firstChannel, (c.*Request).lastChannel);
}
template <auto Request, RateFloor floor>
std::string SetSampleRate(Values v, CommandLine& c) {
  return ReadSampleRate(v[0], floor, (c.*Request).rate);
}
template <auto Request, RateFloor floor>
std::string SetScanRate(Values v, CommandLine& c) {
  return ReadScanRate(v[0], floor, (c.*Request).scanRate);
}
template <auto Request>
std::string SetGain(Values v, CommandLine& c) {
  return ReadGain(v[0], (c.*Request).gain);
}
// An option whose value is kept as it is typed.
template <auto Request, auto Field>
std::string SetText(Values v, CommandLine& c) {
  (c.*Request).*Field = v[0];
  return {};
}
std::string SetCount(Values v, CommandLine& c) {
  return ReadPointCount(v[0], c.acquire.count);
}
std::string SetDuration(Values v, CommandLine& c) {
  return ReadDuration(v[0], c.record.durationSeconds);
}
std::string SetTrigger(Values v, CommandLine& c) {
  return ReadTrigger(v[0], c.record.firstChannel, c.record.lastChannel, c.record.trigger);
}
std::string SetGenerate(Values v, CommandLine& c) {
  return ReadGeneratedOutputs(v, c.generate);
}
// Flags are read after the values checked, --duration among them.
std::string SetUnpaced(Values, CommandLine& c) {
  c.record.unpaced = true;
  if (!c.generate.empty()) {
    return "L'option --generate ne va pas avec --unpaced : les sorties suivent le temps réel";
  }
  if (c.record.durationSeconds > 0.0) return {};
  return "L'option --unpaced demande une durée (--duration S) : sans elle, l'enregistrement "
         "remplirait le disque au plus vite";
}

std::string SetBodeOutput(Values v, CommandLine& c) {
  return ReadBoardChannel(v[0], "Sortie analogique", c.bode.output);
}
std::string SetStimulus(Values v, CommandLine& c) {
  return ReadBoardChannel(v[0], "Entrée de la stimulation", c.bode.stimulus);
}
std::string SetResponse(Values v, CommandLine& c) {
  return ReadBoardChannel(v[0], "Entrée de la réponse", c.bode.response);
}
std::string SetFrom(Values v, CommandLine& c) {
  return ReadPositive(v[0], "Fréquence de départ", "en Hz", c.bode.fromHz);
}
std::string SetTo(Values v, CommandLine& c) {
  return ReadPositive(v[0], "Fréquence d'arrivée", "en Hz", c.bode.toHz);
}
std::string SetPoints(Values v, CommandLine& c) {
  return ReadSweepPoints(v[0], c.bode.points);
}
std::string SetAmplitude(Values v, CommandLine& c) {
  return ReadPositive(v[0], "Amplitude", "en V crête", c.bode.amplitude);
}
std::string SetBodeCsv(Values, CommandLine& c) {
  c.bode.csv = true;
  return {};
}

constexpr auto kAcquire = &CommandLine::acquire;
constexpr auto kRecord = &CommandLine::record;

// What a command's positional arguments put into the command line.

std::string CountError(std::string_view command, std::string_view expected) {
  return "La commande " + std::string(command) + " " + std::string(expected);
}

std::string NoArgument(std::string_view command, Values arguments, CommandLine&) {
  return arguments.empty() ? std::string() : CountError(command, "n'attend aucun argument");
}

std::string OnlyOptions(std::string_view command, Values arguments, CommandLine&) {
  return arguments.empty() ? std::string() : CountError(command, "n'attend que des options");
}

std::string Files(std::string_view command, Values arguments, CommandLine& into) {
  if (arguments.empty()) return CountError(command, "attend au moins un fichier .tvr");
  into.inputs.assign(arguments.begin(), arguments.end());
  return {};
}

std::string FilesAndOutput(std::string_view command, Values arguments, CommandLine& into) {
  if (arguments.size() < 2) {
    return CountError(command, "attend des fichiers d'entrée et un fichier de sortie");
  }
  into.inputs.assign(arguments.begin(), arguments.end() - 1);
  into.output = arguments.back();
  return {};
}

std::string OneFile(std::string_view command, Values arguments, CommandLine& into) {
  if (arguments.size() != 1) return CountError(command, "attend un seul fichier");
  into.input = arguments[0];
  return {};
}

std::string Operands(std::string_view, Values arguments, CommandLine& into) {
  if (arguments.empty()) return "La commande math attend une opération et ses fichiers";
  const std::string& name = arguments[0];
  const std::optional<MathOperation> operation = MathOperationFromName(name);
  if (!operation) {
    return "Opération inconnue : " + name +
           " (sum, difference, product, quotient, rectangle, midpoint)";
  }
  into.operation = *operation;
  const bool two = TakesSecondOperand(into.operation);
  const std::size_t files = arguments.size() - 1;
  if (two && files != 2) return "L'opération " + name + " attend deux fichiers, A et B";
  if (!two && files != 1) return "L'opération " + name + " attend un seul fichier";
  into.input = arguments[1];
  if (two) into.secondInput = arguments[2];
  return {};
}

// Each command's options, in the order its synopsis shows them.
// clang-format off
constexpr CommandOption kInfoOptions[] = {
    Optional(kBetween, "T1 T2", SetBetween),
    Optional(kChannels, "LISTE", SetSlots),
    Optional(kJson, {}, SetJson)};
constexpr CommandOption kConvertOptions[] = {
    Optional(kBetween, "T1 T2", SetBetween),
    Optional(kChannels, "LISTE", SetSlots),
    Optional(kForce, {}, SetForce)};
constexpr CommandOption kJsonOnly[] = {Optional(kJson, {}, SetJson)};
constexpr CommandOption kMathOptions[] = {
    Required(kOutput, "SORTIE", "un fichier de sortie (-o FICHIER)", SetOutput),
    Optional(kForce, {}, SetForce)};
constexpr CommandOption kMeasureOptions[] = {
    Optional(kBetween, "T1 T2", SetBetween),
    Optional(kChannels, "LISTE", SetSlots),
    Optional(kJson, {}, SetJson)};
constexpr CommandOption kSpectrumOptions[] = {
    Optional(kChannel, "N", SetFileChannel),
    Optional(kChannels, "LISTE", SetSlots),
    Optional(kBetween, "T1 T2", SetBetween),
    Optional(kWindow, "W", SetWindow),
    Optional(kBlocks, "N", SetBlocks),
    Optional(kBlockSize, "N", SetBlockSize),
    Optional(kCsv, {}, SetCsv)};
constexpr CommandOption kAcquireOptions[] = {
    Required(kChannels, "C", "--channels (3, ou 0-N)", SetChannels<kAcquire>),
    Required(kOut, "PREFIXE", "--out PREFIXE", SetText<kAcquire, &AcquireRequest::outputPrefix>, Presence::kRequiredNotEmpty),
    Optional(kCount, "N", SetCount),
    Optional(kRate, "F", SetSampleRate<kAcquire, RateFloor::kAnyFinite>),
    Optional(kScanRate, "F", SetScanRate<kAcquire, RateFloor::kAnyFinite>),
    Optional(kGain, "G", SetGain<kAcquire>),
    Optional(kTitle, "T", SetText<kAcquire, &AcquireRequest::title>),
    Optional(kGenerate, "S:FORME:F:A[:D]", SetGenerate),
    Optional(kForce, {}, SetForce)};
constexpr CommandOption kRecordOptions[] = {
    Required(kChannels, "C", "--channels (3, ou 0-N)", SetChannels<kRecord>),
    Required(kRate, "F", "--rate F", SetSampleRate<kRecord, RateFloor::kAboveZero>),
    Required(kOut, "FICHIER.h5", "--out FICHIER.h5", SetText<kRecord, &RecordRequest::output>, Presence::kRequiredNotEmpty),
    Optional(kScanRate, "F", SetScanRate<kRecord, RateFloor::kZeroOrMore>),
    Optional(kGain, "G", SetGain<kRecord>),
    Optional(kDuration, "S", SetDuration),
    Optional(kTrigger, "V:NIVEAU[:rising|falling]", SetTrigger),
    Optional(kGenerate, "S:FORME:F:A[:D]", SetGenerate),
    Optional(kUnpaced, {}, SetUnpaced),
    Optional(kForce, {}, SetForce)};
constexpr CommandOption kBodeOptions[] = {
    {.option = &kOutput, .placeholder = "S", .presence = Presence::kRequired, .whenMissing = "--output S, la sortie qui joue le sinus", .read = SetBodeOutput, .expects = "un numéro de sortie analogique", .repeated = "La sortie analogique est donnée plusieurs fois"},
    Required(kStimulus, "E", "--stimulus E, l'entrée qui lit la sortie", SetStimulus),
    Required(kResponse, "E", "--response E, l'entrée qui lit la réponse", SetResponse),
    Required(kFrom, "F1", "--from F1, la première fréquence", SetFrom),
    Required(kTo, "F2", "--to F2, la dernière fréquence", SetTo),
    Required(kPoints, "N", "--points N", SetPoints),
    Optional(kAmplitude, "A", SetAmplitude),
    Optional(kCsv, {}, SetBodeCsv)};

// The order in which values are checked, where it is not the synopsis's.
constexpr std::string_view kSpectrumChecks[] = {"--window",  "--block-size", "--blocks",
                                                "--channel", "--channels",   "--between"};
constexpr std::string_view kAcquireChecks[] = {
    "--channels", "--out", "--count", "--gain", "--rate", "--scan-rate", "--title", "--generate"};
constexpr std::string_view kRecordChecks[] = {
    "--channels", "--out", "--rate", "--scan-rate", "--gain", "--duration", "--trigger",
    "--generate"};
// clang-format on

// Every command, in the order the help lists them.
// clang-format off
constexpr std::array<CommandSpec, 12> kCommands = {{
    {"info", CommandKind::kInfo, "FICHIER...", Files, kInfoOptions, {},
     "Affiche le titre, les paramètres et les statistiques de chaque enregistrement\n"
     "d'un fichier .tvr, ou de chaque canal d'un fichier .csv, .mat ou .h5 (avec\n"
     "plusieurs fichiers, chacun précédé de « Fichier: NOM », chaque canal de\n"
     "« Canal: N »). En JSON, une ligne par enregistrement, avec \"file\" et\n"
     "\"slot\" ; les valeurs non finies s'écrivent \"NaN\", \"Infinity\" et\n"
     "\"-Infinity\". Un fichier .h5 est lu par morceaux, quelle que soit sa\n"
     "longueur : nombre de points, durée, puis minimum, maximum, moyenne et\n"
     "valeur efficace du canal entier, ou de T1 à T2 avec --between."},
    {"convert", CommandKind::kConvert, "ENTREE... SORTIE", FilesAndOutput, kConvertOptions, {},
     "Écrit les canaux des fichiers d'entrée (.tvr, .csv, .mat, .h5) dans SORTIE,\n"
     "au format donné par son extension : .tvr (fichier TAVRIL), .m (script\n"
     "MatLab), .csv, .mat (MATLAB), .h5 (HDF5) ou .xlsx (Excel). Chaque .tvr prend\n"
     "le premier canal libre, les autres fichiers gardent les leurs. En .tvr ou .m,\n"
     "plusieurs canaux donnent un fichier par canal : SORTIE0.tvr, SORTIE3.tvr...\n"
     "Avec --between, seulement les échantillons de T1 à T2 secondes : un\n"
     "morceau d'un fichier .h5 de toute longueur est lu seul. La sortie\n"
     "est écrite d'un bloc : la mémoire doit contenir ce morceau. Un morceau\n"
     "trop long pour le format de sortie (plus de 4294967295 points par canal\n"
     "en .tvr, .csv, .mat ou .xlsx) est refusé."},
    {"math", CommandKind::kMath, "OPERATION A.tvr [B.tvr]", Operands, kMathOptions, {},
     "Calcule un nouvel enregistrement et l'écrit dans SORTIE (.tvr, .m, .csv,\n"
     ".mat, .h5 ou .xlsx).\n"
     "Avec A et B : sum, difference, product, quotient.\n"
     "Avec A seul : rectangle, midpoint (intégrale)."},
    {"measure", CommandKind::kMeasure, "FICHIER...", Files, kMeasureOptions, {},
     "Mesure chaque enregistrement (chaque canal des fichiers .csv, .mat ou .h5)\n"
     "comme la fenêtre Mesures : minimum, maximum, crête à crête, moyenne,\n"
     "valeurs efficaces, fréquence, période, rapport cyclique, temps de montée\n"
     "et de descente. Avec --between, seulement les\n"
     "échantillons de T1 à T2 secondes depuis le début de l'enregistrement. En\n"
     "JSON, une ligne par enregistrement, null pour une mesure sans valeur.\n"
     "Un fichier .h5 est lu par morceaux, quelle que soit sa longueur : les\n"
     "niveaux viennent de l'aperçu d'un enregistrement, les temps d'une lecture\n"
     "des seuls échantillons mesurés."},
    {"spectrum", CommandKind::kSpectrum, "FICHIER", OneFile, kSpectrumOptions, kSpectrumChecks,
     "Spectre d'amplitude en dBV, comme la fenêtre Spectre : fenêtre W parmi\n"
     "rectangulaire, hann (par défaut) et flattop ; blocs de N points (une\n"
     "puissance de deux de 16 à 1048576, 65536 par défaut) ; moyenne d'au plus\n"
     "N blocs (16 par défaut). Affiche le pic, ou avec --csv chaque raie.\n"
     "Un fichier .csv, .mat ou .h5 de plusieurs canaux demande --channel N,\n"
     "le canal N du fichier, ou --channels LISTE pour le spectre de chacun.\n"
     "Un fichier .h5 est lu bloc par bloc, quelle que soit sa longueur."},
    {"config", CommandKind::kConfig, {}, NoArgument, kJsonOnly, {},
     "Affiche la configuration lue dans TAVRIL.INI du dossier courant."},
    {"acquire", CommandKind::kAcquire, {}, OnlyOptions, kAcquireOptions, kAcquireChecks,
     "Acquiert la voie C (par exemple 3) ou les voies 0 à N (0-N) avec la carte du\n"
     "périphérique de TAVRIL.INI et écrit chaque voie dans PREFIXE<voie>.tvr.\n"
     "Par défaut : 1000 points à 100000 échantillons/s, gain 1, balayage 0.\n"
     "Avec --generate, les sorties jouent leur signal dès le début de la mesure,\n"
     "sur la même horloge, puis reviennent à 0 V."},
    {"record", CommandKind::kRecord, {}, OnlyOptions, kRecordOptions, kRecordChecks,
     "Enregistre en continu chaque échantillon des voies C (3, ou 0-N) dans un\n"
     "seul fichier HDF5, pendant S secondes ou jusqu'à Ctrl+C.\n"
     "Le fichier est mis à jour au moins chaque seconde et reste lisible si le\n"
     "programme est tué ou si le disque se remplit. --trigger règle le\n"
     "déclenchement du balayage sur la voie V ; il ne change rien au fichier.\n"
     "Avec --unpaced, le fichier reçoit au plus vite les échantillons que la\n"
     "carte simulée donnerait à son rythme ; --duration est alors requis.\n"
     "Avec --generate, les sorties jouent leur signal pendant l'enregistrement,\n"
     "puis reviennent à 0 V ; si elles s'arrêtent, l'enregistrement s'arrête."},
    {"overview", CommandKind::kOverview, "FICHIER.h5", OneFile, {}, {},
     "Construit une fois l'aperçu d'un fichier .h5 de voies qui n'en a pas (un\n"
     "enregistrement de l'ancienne version, un fichier de voies exporté) dans\n"
     "FICHIER.h5.overview, à côté de lui, sans le modifier : info, measure et\n"
     "la fenêtre lisent ensuite ses niveaux sans parcourir ses échantillons.\n"
     "Ctrl+C l'interrompt sans rien laisser."},
    {"bode", CommandKind::kBode, {}, OnlyOptions, kBodeOptions, {},
     "Réponse en fréquence, par sinus pas à pas : la sortie S joue un sinus de A V\n"
     "crête (1 V par défaut) à N fréquences réparties en échelle logarithmique de\n"
     "F1 à F2 Hz ; l'entrée --stimulus lit la sortie, l'entrée --response ce que\n"
     "le circuit en rend. Affiche pour chaque fréquence le gain en dB et la phase\n"
     "en degrés de la réponse par rapport à la stimulation, ou avec --csv les\n"
     "colonnes frequence_hz,gain_db,phase_deg. Ctrl+C l'interrompt, sorties à 0 V."},
    {"zero-outputs", CommandKind::kZeroOutputs, {}, NoArgument, {}, {},
     "Met à 0 V chaque sortie analogique de la carte du périphérique de\n"
     "TAVRIL.INI, par exemple après un arrêt brutal du programme."},
    {"help", CommandKind::kHelp, {}, NoArgument, {}, {},
     "Affiche cette aide."},
}};
// clang-format on

}  // namespace

std::span<const OptionSpec* const> AllOptions() {
  return kOptions;
}

std::string_view ShownName(const OptionSpec& option) {
  return option.shortName.empty() ? option.name : option.shortName;
}

std::span<const CommandSpec> AllCommands() {
  return kCommands;
}

}  // namespace tavril::cli
