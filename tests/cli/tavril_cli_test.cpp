#include <fcntl.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include "tavril_version.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "cli_arguments.h"
#include "cli_commands.h"
#include "cli_files.h"
#include "cli_option_table.h"
#include "config/config_file.h"
#include "files/channel_file.h"
#include "files/channel_formats.h"
#include "files/hdf5_file.h"
#include "json_output.h"
#include "processing/channel_arithmetic.h"
#include "support/record_checks.h"
#include "support/temp_dir.h"

extern char** environ;

namespace tavril::cli {
namespace {

using testing::SetSamples;

using testing::ReadFileBytes;
using testing::TempDir;
using testing::TestDataPath;
using testing::WriteFileBytes;
using Args = std::vector<std::string>;

// ---------------------------------------------------------------------------
// Argument parsing

CommandLine Command(CommandKind kind) {
  CommandLine command;
  command.kind = kind;
  return command;
}

CommandLine Info(std::string input, bool json) {
  CommandLine command = Command(CommandKind::kInfo);
  command.inputs = {std::move(input)};
  command.json = json;
  return command;
}

CommandLine Convert(std::string input, std::string output, bool force) {
  CommandLine command = Command(CommandKind::kConvert);
  command.inputs = {std::move(input)};
  command.output = std::move(output);
  command.force = force;
  return command;
}

CommandLine Math(MathOperation operation, std::string a, std::string b, std::string output,
                 bool force) {
  CommandLine command = Command(CommandKind::kMath);
  command.operation = operation;
  command.input = std::move(a);
  command.secondInput = std::move(b);
  command.output = std::move(output);
  command.force = force;
  return command;
}

CommandLine Config(bool json) {
  CommandLine command = Command(CommandKind::kConfig);
  command.json = json;
  return command;
}

struct AcceptedCase {
  Args args;
  CommandLine expected;
};

void ExpectAccepted(const std::vector<AcceptedCase>& cases) {
  for (const AcceptedCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const ParsedArguments parsed = ParseArguments(c.args);
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.command, c.expected);
  }
}

struct RefusedCase {
  Args args;
  std::string error;
};

void ExpectRefused(const std::vector<RefusedCase>& cases) {
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const ParsedArguments parsed = ParseArguments(c.args);
    EXPECT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.error, c.error);
  }
}

TEST(CliArguments, ReadsEveryCommand) {
  ExpectAccepted({
      {{"info", "a.tvr"}, Info("a.tvr", false)},
      {{"info", "a.tvr", "--json"}, Info("a.tvr", true)},
      {{"convert", "a.tvr", "b.m"}, Convert("a.tvr", "b.m", false)},
      {{"convert", "a.tvr", "b.csv", "--force"}, Convert("a.tvr", "b.csv", true)},
      {{"math", "sum", "a.tvr", "b.tvr", "-o", "r.tvr"},
       Math(MathOperation::kSum, "a.tvr", "b.tvr", "r.tvr", false)},
      {{"math", "difference", "a", "b", "-o", "r"},
       Math(MathOperation::kDifference, "a", "b", "r", false)},
      {{"math", "product", "a", "b", "-o", "r"},
       Math(MathOperation::kProduct, "a", "b", "r", false)},
      {{"math", "quotient", "a", "b", "-o", "r"},
       Math(MathOperation::kQuotient, "a", "b", "r", false)},
      {{"math", "rectangle", "a", "-o", "r"}, Math(MathOperation::kRectangle, "a", "", "r", false)},
      {{"math", "midpoint", "a", "--output", "r", "--force"},
       Math(MathOperation::kMidpoint, "a", "", "r", true)},
      {{"math", "midpoint", "a", "--output=r"},
       Math(MathOperation::kMidpoint, "a", "", "r", false)},
      {{"config"}, Config(false)},
      {{"config", "--json"}, Config(true)},
      {{"zero-outputs"}, Command(CommandKind::kZeroOutputs)},
      {{"help"}, Command(CommandKind::kHelp)},
      {{"--help"}, Command(CommandKind::kHelp)},
      {{"-h"}, Command(CommandKind::kHelp)},
      {{"--version"}, Command(CommandKind::kVersion)},
      {{"measure", "--bogus", "--version"}, Command(CommandKind::kVersion)},
      {{"--version", "-h"}, Command(CommandKind::kHelp)},
  });
}

TEST(CliArguments, OptionsMayStandBeforeBetweenOrAfterPositionals) {
  ExpectAccepted({
      {{"--json", "info", "a.tvr"}, Info("a.tvr", true)},
      {{"info", "--json", "a.tvr"}, Info("a.tvr", true)},
      {{"--force", "convert", "a.tvr", "b.m"}, Convert("a.tvr", "b.m", true)},
      {{"-o", "r.csv", "math", "sum", "a", "b"},
       Math(MathOperation::kSum, "a", "b", "r.csv", false)},
      {{"math", "-o", "r.csv", "sum", "--force", "a", "b"},
       Math(MathOperation::kSum, "a", "b", "r.csv", true)},
  });
}

TEST(CliArguments, DoubleDashMakesTheRestPositional) {
  ExpectAccepted({
      {{"info", "--", "--json"}, Info("--json", false)},
      {{"convert", "--force", "--", "-in.tvr", "-o"}, Convert("-in.tvr", "-o", true)},
      {{"--", "info", "-h"}, Info("-h", false)},
      // A lone dash is a name, not an option.
      {{"info", "-"}, Info("-", false)},
      // The output option's value is taken whatever it looks like.
      {{"math", "rectangle", "a", "-o", "--json"},
       Math(MathOperation::kRectangle, "a", "", "--json", false)},
  });
}

TEST(CliArguments, HelpWinsOverOtherProblems) {
  ExpectAccepted({
      {{"info", "--help"}, Command(CommandKind::kHelp)},
      {{"--bogus", "-h"}, Command(CommandKind::kHelp)},
      {{"math", "nothing", "-h"}, Command(CommandKind::kHelp)},
  });
}

TEST(CliArguments, RefusesBadUsageWithAFrenchReason) {
  ExpectRefused({
      {{}, "Aucune commande indiquée"},
      {{"--json"}, "Aucune commande indiquée"},
      {{"inf0", "a.tvr"}, "Commande inconnue : inf0"},
      {{"INFO", "a.tvr"}, "Commande inconnue : INFO"},
      {{"info"}, "La commande info attend au moins un fichier .tvr"},
      {{"info", "a.tvr", "--verbose"}, "Option inconnue : --verbose"},
      {{"info", "a.tvr", "-j"}, "Option inconnue : -j"},
      {{"info", "a.tvr", "--json=yes"}, "L'option --json ne prend pas de valeur"},
      {{"info", "a.tvr", "--force"}, "L'option --force ne s'applique pas à la commande info"},
      {{"info", "a.tvr", "-o", "x"}, "L'option -o ne s'applique pas à la commande info"},
      {{"convert", "a.tvr"},
       "La commande convert attend des fichiers d'entrée et un fichier de sortie"},
      {{"convert", "a.tvr", "b.m", "--json"},
       "L'option --json ne s'applique pas à la commande convert"},
      {{"math"}, "La commande math attend une opération et ses fichiers"},
      {{"math", "sqrt", "a", "-o", "r"},
       "Opération inconnue : sqrt (sum, difference, product, quotient, rectangle, midpoint)"},
      {{"math", "sum", "a", "-o", "r"}, "L'opération sum attend deux fichiers, A et B"},
      {{"math", "quotient", "a", "b", "c", "-o", "r"},
       "L'opération quotient attend deux fichiers, A et B"},
      {{"math", "rectangle", "a", "b", "-o", "r"}, "L'opération rectangle attend un seul fichier"},
      {{"math", "midpoint", "-o", "r"}, "L'opération midpoint attend un seul fichier"},
      {{"math", "sum", "a", "b"}, "La commande math attend un fichier de sortie (-o FICHIER)"},
      {{"math", "sum", "a", "b", "-o"}, "L'option -o attend un nom de fichier"},
      {{"math", "sum", "a", "b", "-o", "r", "-o", "s"},
       "Le fichier de sortie est donné plusieurs fois"},
      {{"math", "sum", "a", "b", "-o", "r", "--json"},
       "L'option --json ne s'applique pas à la commande math"},
      {{"config", "TAVRIL.INI"}, "La commande config n'attend aucun argument"},
      {{"help", "info"}, "La commande help n'attend aucun argument"},
      {{"help", "--json"}, "L'option --json ne s'applique pas à la commande help"},
      {{"record", "--channels", "0", "--rate", "1", "--out", "r.h5", "--unpaced"},
       "L'option --unpaced demande une durée (--duration S) : sans elle, l'enregistrement "
       "remplirait le disque au plus vite"},
  });
}

// Where several things are wrong, the one reported depends on the tables'
// order: options a command does not take, then its arguments, then its
// options' values in the order it checks them.
TEST(CliArguments, GenerateGathersEachOutputAndRefusesWhatIsNotOne) {
  const Args acquire = {"acquire", "--channels", "5", "--out", "a"};
  Args two = acquire;
  two.insert(two.end(), {"--generate", "1:square:500:5", "--generate=0:dc:0:0:-2.5"});
  EXPECT_EQ(ParseArguments(two).command.generate,
            (std::vector<GeneratedOutput>{{1, WaveShape::kSquare, 500, 5, 0},
                                          {0, WaveShape::kDc, 0, 0, -2.5}}));
  const std::pair<Args, std::string> refused[] = {
      {{"--generate", "0:sine:1000"},
       "Sortie non valide : 0:sine:1000 (SORTIE:FORME:FREQUENCE:AMPLITUDE[:DECALAGE], FORME "
       "parmi sine, square, triangle, sawtooth, dc, noise)"},
      {{"--generate", "0:chirp:1000:1"}, ""},
      {{"--generate", "-1:sine:1000:1"}, ""},
      {{"--generate", "0:sine:1e3:1:2:3"}, ""},
      {{"--generate", "0:sine:1000:1", "--generate", "0:dc:0:0:1"},
       "La sortie 0 est donnée deux fois à --generate"},
  };
  for (const auto& [extra, why] : refused) {
    Args args = acquire;
    args.insert(args.end(), extra.begin(), extra.end());
    const ParsedArguments parsed = ParseArguments(args);
    EXPECT_FALSE(parsed.ok()) << extra.back();
    if (!why.empty()) {
      EXPECT_EQ(parsed.error, why);
    }
  }
  EXPECT_EQ(ParseArguments({"record", "--channels", "5", "--rate", "1e5", "--out", "r.h5",
                            "--duration", "1", "--unpaced", "--generate", "0:sine:10:1"})
                .error,
            "L'option --generate ne va pas avec --unpaced : les sorties suivent le temps réel");
  EXPECT_EQ(ParseArguments({"info", "f.tvr", "--generate", "0:sine:10:1"}).error,
            "L'option --generate ne s'applique pas à la commande info");
}

TEST(CliArguments, TheFirstOfSeveralProblemsIsTheOneReported) {
  ExpectRefused({
      {{"info", "a", "--between", "1", "2", "--force"},
       "L'option --force ne s'applique pas à la commande info"},
      {{"info", "a", "--rate", "1", "--count", "3"},
       "L'option --count ne s'applique pas à la commande info"},
      {{"info", "--csv", "--window", "w"}, "L'option --csv ne s'applique pas à la commande info"},
      {{"math", "sqrt", "a"},
       "Opération inconnue : sqrt (sum, difference, product, quotient, "
       "rectangle, midpoint)"},
      {{"measure", "--between", "2", "1"}, "La commande measure attend au moins un fichier .tvr"},
      {{"record", "--channels", "0"}, "La commande record attend --out FICHIER.h5"},
      {{"record", "--channels", "9", "--out", "r.h5"},
       "Voies non valides : 9 (une voie de 0 à 7, ou 0-N)"},
      {{"record", "--channels", "0", "--out", "", "--rate", "1"},
       "La commande record attend --out FICHIER.h5"},
      {{"record", "--channels", "0", "--out", "r.h5", "--rate", "1", "--trigger", "x", "--duration",
        "0", "--gain", "g", "--scan-rate", "-1"},
       "Fréquence de balayage non valide : -1"},
      {{"acquire", "--channels", "0", "--out", "x", "--scan-rate", "s", "--rate", "r", "--gain",
        "g"},
       "Gain non valide : g"},
      {{"acquire", "--channels", "0", "--out", "x", "--scan-rate", "s", "--rate", "r"},
       "Fréquence d'échantillonnage non valide : r"},
      {{"spectrum", "a", "--channel", "9", "--blocks", "0", "--block-size", "3"},
       "Taille de bloc non valide : 3 (une puissance de deux de 16 à 1048576)"},
      {{"spectrum", "a", "--channel", "9", "--blocks", "0"},
       "Nombre de blocs non valide : 0 (de 1 à 1048576)"},
      {{"spectrum", "a", "--channel", "9", "--window", "w"},
       "Fenêtre inconnue : w (rectangulaire, hann, flattop)"},
  });
}

// The help is made from the tables: it stays the text users know.
TEST(CliUsage, IsTheTextUsersKnow) {
  EXPECT_EQ(UsageText(), ReadFileBytes(TestDataPath("cli/usage.txt")));
}

// The tables can be walked (for the help, or a shell's completion) and agree.
TEST(CliOptionTable, EveryOptionACommandTakesIsKnownAndChecked) {
  const auto known = AllOptions();
  for (const CommandSpec& command : AllCommands()) {
    SCOPED_TRACE(command.name);
    std::vector<std::string_view> valued;
    for (const CommandOption& taken : command.options) {
      EXPECT_NE(std::find(known.begin(), known.end(), taken.option), known.end());
      EXPECT_NE(taken.read, nullptr);
      EXPECT_EQ(taken.presence != Presence::kOptional, !taken.whenMissing.empty());
      EXPECT_EQ(taken.option->valueCount > 0, !taken.placeholder.empty());
      if (taken.option->valueCount > 0) valued.push_back(taken.option->name);
    }
    if (command.checkOrder.empty()) continue;
    std::vector<std::string_view> checked(command.checkOrder.begin(), command.checkOrder.end());
    std::sort(valued.begin(), valued.end());
    std::sort(checked.begin(), checked.end());
    EXPECT_EQ(checked, valued);
  }
  for (const OptionSpec* option : known)
    EXPECT_EQ(option->valueCount > 0, !option->expects.empty());
}

// Every list drawn from the words the parser reacts to gives either an error or
// a command with no field that the command does not take.
TEST(CliArguments, AnyArgumentListGivesACheckedResult) {
  const std::string words[] = {"info",     "convert", "math",    "config", "help",      "sum",
                               "midpoint", "--json",  "--force", "-o",     "--output=", "--",
                               "-",        "",        "-h",      "--x",    "a.tvr",     "b.m"};
  std::uint32_t seed = 12345;
  const auto next = [&seed](std::uint32_t bound) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % bound;
  };
  for (int round = 0; round < 20000; ++round) {
    Args args(next(7));
    for (std::string& arg : args) arg = words[next(std::size(words))];
    SCOPED_TRACE(::testing::PrintToString(args));
    const ParsedArguments parsed = ParseArguments(args);
    if (!parsed.ok()) {
      EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
      continue;
    }
    const CommandLine& c = parsed.command;
    const bool takesOutput = c.kind == CommandKind::kConvert || c.kind == CommandKind::kMath;
    // Names may be empty, so only fields a command does not take are known.
    EXPECT_TRUE(c.output.empty() || takesOutput);
    EXPECT_TRUE(c.secondInput.empty() || TakesSecondOperand(c.operation));
    EXPECT_TRUE(c.operation == MathOperation::kSum || c.kind == CommandKind::kMath);
    EXPECT_TRUE(c.input.empty() || c.kind != CommandKind::kHelp);
    EXPECT_TRUE(!c.json || c.kind == CommandKind::kInfo || c.kind == CommandKind::kConfig);
    EXPECT_TRUE(!c.force || takesOutput);
  }
}

// ---------------------------------------------------------------------------
// Text and JSON forms

TEST(JsonOutput, EscapesQuotesBackslashesAndControlCharacters) {
  const struct {
    std::string text;
    std::string json;
  } cases[] = {
      {"plain", "\"plain\""},           {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\n\r\t", "\"\\n\\r\\t\""},      {std::string("\0\x01\x1f", 3), "\"\\u0000\\u0001\\u001f\""},
      {"\x7f été €", "\"\x7f été €\""},
  };
  for (const auto& c : cases) {
    std::string out;
    AppendJsonString(out, c.text);
    EXPECT_EQ(out, c.json);
  }
}

TEST(JsonOutput, DoublesAreShortestRoundTripAndNonFiniteAreNamedStrings) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double value;
    std::string json;
  } cases[] = {
      {0.0, "0"},
      {-0.25, "-0.25"},
      {1000.0, "1000"},
      {100000.0, "1e+05"},
      {0.1, "0.1"},
      {1.0 / 3.0, "0.3333333333333333"},
      {inf, "\"Infinity\""},
      {-inf, "\"-Infinity\""},
      {std::numeric_limits<double>::quiet_NaN(), "\"NaN\""},
  };
  for (const auto& c : cases) {
    std::string out;
    AppendJsonDouble(out, c.value);
    EXPECT_EQ(out, c.json) << c.value;
  }
  JsonObject object;
  EXPECT_EQ(object.Text(), "{}");
  object.AddInteger("a", -3);
  object.AddDouble("b", inf);
  object.AddString("c", "x");
  EXPECT_EQ(object.Text(), "{\"a\":-3,\"b\":\"Infinity\",\"c\":\"x\"}");
}

TEST(CliInfoText, NonFiniteStatisticsKeepTheirSpelling) {
  ChannelRecord record;
  record.title = "t";
  record.gain = -2;
  record.rate = std::numeric_limits<double>::infinity();
  SetSamples(record, {std::numeric_limits<double>::quiet_NaN()});
  record.SetCount(4000000000u);
  EXPECT_EQ(InfoText(record),
            "Titre: t\nGain= -2\nNb Points= 4000000000\nSample rate= inf\n"
            "YMax= nan\nYMin= nan\nMoy =  nan\n");
  EXPECT_EQ(InfoJson(record),
            "{\"title\":\"t\",\"device\":0,\"chan\":0,\"gain\":-2,\"count\":4000000000,"
            "\"rate\":\"Infinity\",\"maxIndex\":0,\"maxValue\":\"NaN\",\"minIndex\":0,"
            "\"minValue\":\"NaN\",\"mean\":\"NaN\"}");
}

TEST(CliViewerPath, KeepsUtf8AndConvertsWindows1252) {
  const struct {
    std::string path;
    std::string utf8;
  } cases[] = {
      {"/usr/bin/xdg-open", "/usr/bin/xdg-open"},
      {"/opt/visionneuse-\xc3\xa9t\xc3\xa9", "/opt/visionneuse-\xc3\xa9t\xc3\xa9"},
      {"c:\\visionneuse-\xe9t\xe9.exe", "c:\\visionneuse-\xc3\xa9t\xc3\xa9.exe"},
      // Overlong, surrogate, truncated and out-of-range sequences are not UTF-8.
      {"\xc0\xa9", "\xc3\x80\xc2\xa9"},
      {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xe2\x82\xac"},
      {"a\xc3", "a\xc3\x83"},
      {"\xf4\x90\x80\x80", "\xc3\xb4\xc2\x90\xe2\x82\xac\xe2\x82\xac"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ViewerPathUtf8(c.path), c.utf8) << c.path;
  }
  EXPECT_TRUE(IsValidUtf8("\xf4\x8f\xbf\xbf"));  // U+10FFFF
  EXPECT_TRUE(IsValidUtf8("\xe2\x82\xac"));
}

TEST(CliMathTitle, NamesTheFilesWithoutTheirFolders) {
  const struct {
    MathOperation operation;
    std::string title;
  } cases[] = {
      {MathOperation::kSum, "a.tvr + b.tvr"},
      {MathOperation::kDifference, "a.tvr - b.tvr"},
      {MathOperation::kProduct, "a.tvr * b.tvr"},
      {MathOperation::kQuotient, "a.tvr / b.tvr"},
      {MathOperation::kRectangle, "Integrale de a.tvr (Rectangle)"},
      {MathOperation::kMidpoint, "Integrale de a.tvr (Point milieu)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResultTitleForFiles(c.operation, "dir/sub/a.tvr", "../b.tvr"), c.title);
  }
}

TEST(CliMathTitle, IsWindows1252CutToTheTitleSize) {
  EXPECT_EQ(ResultTitleForFiles(MathOperation::kRectangle, "mesur\xc3\xa9.tvr", ""),
            "Integrale de mesur\xe9.tvr (Rectangle)");
  const std::string longName(300, 'x');
  const std::string title = ResultTitleForFiles(MathOperation::kSum, longName, "b");
  EXPECT_EQ(title, std::string(kMaxTitleBytes, 'x'));
}

// ---------------------------------------------------------------------------
// The real program, run in a folder of its own

struct RunResult {
  int status = -1;  // exit status, or 128 + signal when it was killed
  std::string out;
  std::string err;
};

// Runs the built program with `args` in `folder`; `environment` entries are
// added to this process's environment.
RunResult RunProgram(const std::filesystem::path& folder, const Args& args,
                     const Args& environment = {}) {
  TempDir capture;
  const std::string outPath = (capture / "stdout").string();
  const std::string errPath = (capture / "stderr").string();
  // Everything the child needs is built before fork.
  std::vector<std::string> argvStrings = {TAVRIL_CLI_PATH};
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argvStrings) argv.push_back(s.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStrings = environment;
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
  envp.push_back(nullptr);
  const std::string folderText = folder.string();

  const int outFd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  RunResult result;
  if (outFd < 0 || errFd < 0) {
    ADD_FAILURE() << "cannot create the capture files";
    return result;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(folderText.c_str()) != 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0) {
      ::_exit(126);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(outFd);
  ::close(errFd);
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
    return result;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFileBytes(outPath);
  result.err = ReadFileBytes(errPath);
  return result;
}

std::string DataFile(std::string_view name) {
  return ReadFileBytes(TestDataPath(std::string("cli/") + std::string(name)));
}

// Copies test data files into `dir` under their own names.
void CopyIn(const TempDir& dir, std::initializer_list<std::string_view> names) {
  for (const std::string_view name : names) WriteFileBytes(dir / name, DataFile(name));
}

const std::string kEssaiInfo =
    "Titre: Essai\n"
    "Gain= 1\n"
    "Nb Points= 3\n"
    "Sample rate= 1.0000e+003\n"
    "YMax= 1.000000\n"
    "YMin= -0.250000\n"
    "Moy =  0.416667\n";

TEST(CliInfo, PrintsTheInformationStripTexts) {
  TempDir dir;
  CopyIn(dir, {"essai.tvr"});
  const RunResult run = RunProgram(dir.path(), {"info", "essai.tvr"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kEssaiInfo);
  EXPECT_EQ(run.err, "");
}

TEST(CliInfo, JsonHoldsEveryFieldInOrderOnOneLine) {
  TempDir dir;
  CopyIn(dir, {"gain_double.tvr"});
  const RunResult run = RunProgram(dir.path(), {"info", "--json", "gain_double.tvr"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "{\"title\":\"Gain double\",\"device\":1,\"chan\":3,\"gain\":2,\"count\":3,"
            "\"rate\":1000,\"maxIndex\":1,\"maxValue\":0.5,\"minIndex\":2,\"minValue\":-1,"
            "\"mean\":-0.08333333333333333}\n");
  EXPECT_EQ(run.err, "");
}

TEST(CliInfo, RecordWithoutSamplesShowsNoStatisticsAndTitleInUtf8) {
  TempDir dir;
  CopyIn(dir, {"empty_accents.tvr"});
  RunResult run = RunProgram(dir.path(), {"info", "empty_accents.tvr"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "Titre: Mesure à vide été\n"
            "Gain= 1\n"
            "Nb Points= 0\n"
            "Sample rate= 1.0000e+005\n");
  run = RunProgram(dir.path(), {"info", "empty_accents.tvr", "--json"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "{\"title\":\"Mesure à vide été\",\"device\":1,\"chan\":2,\"gain\":1,\"count\":0,"
            "\"rate\":1e+05,\"maxIndex\":0,\"maxValue\":0,\"minIndex\":0,\"minValue\":0,"
            "\"mean\":0}\n");
}

TEST(CliInfo, NumbersIgnoreTheUsersLocale) {
  TempDir dir;
  CopyIn(dir, {"essai.tvr"});
  const RunResult run =
      RunProgram(dir.path(), {"info", "essai.tvr"}, {"LC_ALL=fr_FR.UTF-8", "LANG=fr_FR.UTF-8"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kEssaiInfo);
}

TEST(CliInfo, DamagedOrMissingFileIsReported) {
  TempDir dir;
  CopyIn(dir, {"damaged.tvr"});
  const std::pair<std::string, std::string> cases[] = {
      {"damaged.tvr", "« Rate = » attendu à l'octet 63"},
      {"missing.tvr", "impossible de l'ouvrir (fichier ou dossier introuvable)"},
      {".", "impossible de l'ouvrir (c'est un dossier)"},
  };
  for (const auto& [name, why] : cases) {
    const RunResult run = RunProgram(dir.path(), {"info", name});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "tavril-cli: Erreur lors de l'ouverture du fichier : " + name + " : " + why + "\n");
  }
}

// Several files: one block (or JSON line) each, in order; a file that cannot
// be read is reported and the others are still shown.
TEST(CliInfo, ShowsEveryFileGivenAndKeepsTitlesOnOneLine) {
  TempDir dir;
  CopyIn(dir, {"essai.tvr"});
  ChannelRecord record;
  record.title = "ligne 1\r\nligne 2\\";
  WriteFileBytes(dir / "lignes.tvr", testing::BytesWrittenBy([&](AtomicFileWriter& out) {
                   WriteChannelFile(out, record);
                 }));
  RunResult run = RunProgram(dir.path(), {"info", "essai.tvr", "absent.tvr", "lignes.tvr"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Fichier: essai.tvr\n" + kEssaiInfo +
                         "\nFichier: lignes.tvr\nTitre: ligne 1\\r\\nligne 2\\\\\n"
                         "Gain= 0\nNb Points= 0\nSample rate= 0.0000e+000\n");
  EXPECT_EQ(run.err,
            "tavril-cli: Erreur lors de l'ouverture du fichier : absent.tvr : impossible de "
            "l'ouvrir (fichier ou dossier introuvable)\n");
  run = RunProgram(dir.path(), {"info", "--json", "lignes.tvr", "essai.tvr"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.substr(0, run.out.find('\n') + 1),
            "{\"file\":\"lignes.tvr\",\"title\":\"ligne 1\\r\\nligne 2\\\\\",\"device\":0,"
            "\"chan\":0,\"gain\":0,\"count\":0,\"rate\":0,\"maxIndex\":0,\"maxValue\":0,"
            "\"minIndex\":0,\"minValue\":0,\"mean\":0}\n");
  EXPECT_EQ(run.out.substr(run.out.find('\n') + 1, 20), "{\"file\":\"essai.tvr\",");
}

// Every file "Importer des canaux" takes: one block (or JSON line) per
// channel, named by its file and slot.
TEST(CliInfo, ShowsEachChannelOfAFileOfSeveralChannels) {
  TempDir dir;
  CopyIn(dir, {"essai.tvr", "rate_2000.tvr"});
  const std::string rateInfo = RunProgram(dir.path(), {"info", "rate_2000.tvr"}).out;
  // An HDF5 file is read by range: its count in 64 bits, its duration, its RMS.
  const std::string essaiByRange =
      "Titre: Essai\nGain= 1\nNb Points= 3\nSample rate= 1.0000e+003\nDurée= 0.003000 s\n"
      "YMax= 1.000000\nYMin= -0.250000\nMoy =  0.416667\nRMS= 0.661438\n";
  for (const std::string name : {"voies.csv", "voies.mat", "voies.h5"}) {
    ASSERT_EQ(RunProgram(dir.path(), {"convert", "essai.tvr", "rate_2000.tvr", name}).status, 0);
    const std::string out = RunProgram(dir.path(), {"info", name}).out;
    if (name == "voies.h5") {
      EXPECT_EQ(out.find("Fichier: " + name + "\nCanal: 0\n" + essaiByRange + "\nFichier: " + name +
                         "\nCanal: 1\nTitre: Autre fréquence\n"),
                0u)
          << out;
    } else {
      EXPECT_EQ(out, "Fichier: " + name + "\nCanal: 0\n" + kEssaiInfo + "\nFichier: " + name +
                         "\nCanal: 1\n" + rateInfo);
    }
    const std::string json = RunProgram(dir.path(), {"info", "--json", name}).out;
    EXPECT_EQ(json.find("{\"file\":\"" + name + "\",\"slot\":0,\"title\":\"Essai\","), 0u);
    EXPECT_NE(json.find("\n{\"file\":\"" + name + "\",\"slot\":1,"), std::string::npos);
  }
  WriteFileBytes(dir / "trous.csv", "t;a\n0;1\n0,5;\n1;3\n");
  const RunResult run = RunProgram(dir.path(), {"measure", "trous.csv"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "tavril-cli: trous.csv : 1 case vide lue comme NaN dans la colonne 2 (« a »)\n");
  EXPECT_EQ(run.out.find("Fichier: trous.csv\nCanal: 0\nTitre : a\nPoints mesurés : 3"), 0u);
}

// Files read whole keep only the channels and samples asked too.
TEST(CliInfo, ChannelsAndBetweenKeepTheSlotsAndSamplesAsked) {
  TempDir dir;
  CopyIn(dir, {"essai.tvr", "rate_2000.tvr"});
  ASSERT_EQ(RunProgram(dir.path(), {"convert", "essai.tvr", "rate_2000.tvr", "voies.csv"}).status,
            0);
  // Samples [ceil(0.0004 × 2000), floor(0.0011 × 2000)] of slot 1: 2 and 3.
  RunResult run = RunProgram(
      dir.path(), {"info", "voies.csv", "--channels", "1", "--between", "0.0004", "0.0011"});
  EXPECT_EQ(run.out,
            "Fichier: voies.csv\nCanal: 1\nTitre: Autre fréquence\nGain= 1\nNb Points= 2\n"
            "Sample rate= 2.0000e+003\nYMax= 3.000000\nYMin= 2.000000\nMoy =  2.500000\n");
  run = RunProgram(dir.path(), {"convert", "voies.csv", "--channels", "0", "--between", "0.001",
                                "0.002", "part.tvr"});
  EXPECT_EQ(run.err, "");
  ChannelRecord part;
  ASSERT_EQ(LoadChannelFile(dir / "part.tvr", part), 1);
  EXPECT_EQ(std::vector<double>(part.samples().begin(), part.samples().end()),
            (std::vector<double>{-0.25, 1.0}));
}

TEST(CliInfo, FileNameWithALineBreakKeepsTheMessageOnOneLine) {
  TempDir dir;
  const RunResult run = RunProgram(dir.path(), {"info", "a\nb\r.tvr"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "tavril-cli: Erreur lors de l'ouverture du fichier : a?b?.tvr : impossible de "
            "l'ouvrir (fichier ou dossier introuvable)\n");
}

TEST(CliConvert, WritesTheFormatTheExtensionNames) {
  const std::string script =
      "% Fichier d'export vers MatLab pour TAVRIL\r\n\r\n"
      "x0=[\r\n0.000000000000\r\n0.001000000000\r\n0.002000000000\r\n];\r\n"
      "y0=[\r\n0.500000000000\r\n-0.250000000000\r\n1.000000000000\r\n];\r\n"
      "plot(x0,y0);\r\ngrid;\r\ntitle('Essai')\r\n\r\n";
  const std::string csv =
      "# TAVRIL v1.02\r\n"
      "# channel slot=0 title=\"Essai\" device=1 chan=0 gain=1 rate=1000 count=3 unit=V\r\n"
      "time_s,slot0_V\r\n"
      "0,0.5\r\n"
      "0.001,-0.25\r\n"
      "0.002,1\r\n";
  const struct {
    std::string output;
    std::string bytes;
  } cases[] = {
      // The data file as the program writes it is the file it was read from.
      {"copie.tvr", DataFile("essai.tvr")},
      {"COPIE.Tvr", DataFile("essai.tvr")},
      {"essai.m", script},
      {"essai.M", script},
      {"essai.csv", csv},
      {"essai.CSV", csv},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    TempDir dir;
    CopyIn(dir, {"essai.tvr"});
    const RunResult run = RunProgram(dir.path(), {"convert", "essai.tvr", c.output});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ReadFileBytes(dir / c.output), c.bytes);
    // Nothing but the input and the output: no temporary file stays behind.
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{c.output, "essai.tvr"}));
  }
}

// Data files go into one file of several channels and come back byte for
// byte, one file per channel.
// A .tvr file says its count in 32 bits; HDF5 has no such limit.
TEST(CliConvert, AChannelLongerThanItsFormatsCountIsRefused) {
  const std::uint64_t most = 4294967295u;
  EXPECT_EQ(SampleCountRefusal(ChannelFormat::kChannelFile, most), "");
  EXPECT_EQ(SampleCountRefusal(ChannelFormat::kChannelFile, most + 1),
            "4294967296 points par canal : trop pour un fichier .tvr, dont le nombre de points "
            "tient sur 32 bits (au plus 4294967295)");
  for (const ChannelFormat format :
       {ChannelFormat::kCsv, ChannelFormat::kMat, ChannelFormat::kXlsx})
    EXPECT_NE(SampleCountRefusal(format, most + 1), "");
  for (const ChannelFormat format : {ChannelFormat::kHdf5, ChannelFormat::kMatlabScript})
    EXPECT_EQ(SampleCountRefusal(format, std::uint64_t{1} << 40), "");
}

TEST(CliConvert, SeveralDataFilesMakeOneFileOfChannelsAndComeBack) {
  for (const std::string multi : {"all.csv", "all.mat", "all.h5"}) {
    SCOPED_TRACE(multi);
    TempDir dir;
    CopyIn(dir, {"essai.tvr", "rate_2000.tvr", "empty_accents.tvr"});
    RunResult run = RunProgram(
        dir.path(), {"convert", "essai.tvr", "rate_2000.tvr", "empty_accents.tvr", multi});
    ASSERT_EQ(run.status, 0) << run.err;
    run = RunProgram(dir.path(), {"convert", multi, "back.tvr"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFileBytes(dir / "back0.tvr"), DataFile("essai.tvr"));
    EXPECT_EQ(ReadFileBytes(dir / "back1.tvr"), DataFile("rate_2000.tvr"));
    EXPECT_EQ(ReadFileBytes(dir / "back2.tvr"), DataFile("empty_accents.tvr"));
  }
}

TEST(CliConvert, ChannelsOfTwoInputsMayNotMeet) {
  TempDir dir;
  CopyIn(dir, {"essai.tvr", "rate_2000.tvr"});
  ASSERT_EQ(RunProgram(dir.path(), {"convert", "essai.tvr", "a.h5"}).status, 0);
  RunResult run = RunProgram(dir.path(), {"convert", "a.h5", "a.h5", "b.csv"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "tavril-cli: Le canal 0 est dans a.h5 et dans a.h5\n");
  // Without --force, no file of several outputs is written when one exists.
  WriteFileBytes(dir / "out1.tvr", "ancien");
  run = RunProgram(dir.path(), {"convert", "essai.tvr", "rate_2000.tvr", "out.tvr"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(dir.Entries(),
            (std::vector<std::string>{"a.h5", "essai.tvr", "out1.tvr", "rate_2000.tvr"}));
}

TEST(CliConvert, RefusesToReplaceAFileWithoutForce) {
  TempDir dir;
  CopyIn(dir, {"essai.tvr"});
  WriteFileBytes(dir / "out.csv", "old content");
  RunResult run = RunProgram(dir.path(), {"convert", "essai.tvr", "out.csv"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "tavril-cli: Le fichier existe déjà : out.csv (utilisez --force pour le remplacer)\n");
  EXPECT_EQ(ReadFileBytes(dir / "out.csv"), "old content");

  run = RunProgram(dir.path(), {"convert", "--force", "essai.tvr", "out.csv"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFileBytes(dir / "out.csv").substr(0, 16), "# TAVRIL v1.02\r\n");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"essai.tvr", "out.csv"}));
}

TEST(CliConvert, ForceWritesThroughALinkAndKeepsIt) {
  TempDir dir;
  CopyIn(dir, {"essai.tvr"});
  WriteFileBytes(dir / "real.tvr", "old content");
  std::filesystem::create_symlink("real.tvr", dir / "link.tvr");
  const RunResult run = RunProgram(dir.path(), {"convert", "essai.tvr", "link.tvr", "--force"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.tvr"));
  EXPECT_EQ(ReadFileBytes(dir / "real.tvr"), DataFile("essai.tvr"));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"essai.tvr", "link.tvr", "real.tvr"}));
}

TEST(CliConvert, RefusesAnUnknownExtension) {
  TempDir dir;
  CopyIn(dir, {"essai.tvr"});
  for (const std::string output : {"out.txt", "out", "out.tvr.bak"}) {
    const RunResult run = RunProgram(dir.path(), {"convert", "essai.tvr", output});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tavril-cli: Extension de fichier non reconnue : " + output +
                           " (.tvr, .m, .csv, .mat, .h5 ou .xlsx attendu)\n");
  }
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"essai.tvr"}));
}

TEST(CliConvert, DamagedInputLeavesNothingBehind) {
  TempDir dir;
  CopyIn(dir, {"damaged.tvr"});
  const RunResult run = RunProgram(dir.path(), {"convert", "damaged.tvr", "out.m"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "tavril-cli: Erreur lors de l'ouverture du fichier : damaged.tvr : « Rate = » attendu "
            "à l'octet "
            "63\n");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"damaged.tvr"}));
}

TEST(CliConvert, UnwritableDestinationIsASaveError) {
  TempDir dir;
  CopyIn(dir, {"essai.tvr"});
  std::filesystem::create_directory(dir / "folder.tvr");
  const struct {
    Args args;
    std::string named;
  } cases[] = {
      {{"convert", "essai.tvr", "missing/out.csv"},
       "missing/out.csv : fichier ou dossier introuvable"},
      // A folder in the way is replaced by nothing, even with --force.
      {{"convert", "essai.tvr", "folder.tvr", "--force"}, "folder.tvr : c'est un dossier"},
  };
  for (const auto& c : cases) {
    const RunResult run = RunProgram(dir.path(), c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tavril-cli: Erreur lors de la sauvegarde du fichier : " + c.named + "\n");
  }
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"essai.tvr", "folder.tvr"}));
  EXPECT_TRUE(std::filesystem::is_empty(dir / "folder.tvr"));
}

TEST(CliMath, SumCombinesTheGainsAndKeepsTheFirstChannel) {
  TempDir dir;
  CopyIn(dir, {"essai.tvr", "gain_double.tvr"});
  const RunResult run =
      RunProgram(dir.path(), {"math", "sum", "essai.tvr", "gain_double.tvr", "-o", "somme.tvr"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  // 0.5 + 2 * 0.25, -0.25 + 2 * 0.5, 1.0 + 2 * -1.0; gain 1 and A's channel.
  EXPECT_EQ(ReadFileBytes(dir / "somme.tvr"),
            "Titre = essai.tvr + gain_double.tvr\xa7\r\nDevice = 1\xa7\r\nChan = 0\xa7\r\n"
            "Gain = 1\xa7\r\nCount = 3\xa7\r\nRate = 1000\xa7\r\nTableau :\r\n"
            "1.000000000000 0.750000000000 -1.000000000000 \xa7");
}

TEST(CliMath, MidpointGivesOneStripPerPairOfSamples) {
  TempDir dir;
  CopyIn(dir, {"gain_double.tvr", "essai.tvr"});
  RunResult run =
      RunProgram(dir.path(), {"math", "-o", "integrale.tvr", "midpoint", "gain_double.tvr"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  // (0.25 + 0.5) / 2 * 2 / 1000 and (0.5 - 1.0) / 2 * 2 / 1000, in A's channel 3.
  EXPECT_EQ(ReadFileBytes(dir / "integrale.tvr"),
            "Titre = Integrale de gain_double.tvr (Point milieu)\xa7\r\nDevice = 1\xa7\r\n"
            "Chan = 3\xa7\r\nGain = 1\xa7\r\nCount = 2\xa7\r\nRate = 1000\xa7\r\nTableau :\r\n"
            "0.000750000000 -0.000500000000 \xa7");

  run = RunProgram(dir.path(), {"math", "midpoint", "essai.tvr", "-o", "i.csv"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFileBytes(dir / "i.csv"),
            "# TAVRIL v1.02\r\n# channel slot=0 title=\"Integrale de essai.tvr (Point milieu)\" "
            "device=1 chan=0 gain=1 rate=1000 count=2 unit=V\r\n"
            "time_s,slot0_V\r\n0,0.000125\r\n0.001,0.000375\r\n");
}

TEST(CliMath, DifferentRatesAreRefusedAndWriteNothing) {
  TempDir dir;
  CopyIn(dir, {"essai.tvr", "rate_2000.tvr"});
  const RunResult run =
      RunProgram(dir.path(), {"math", "product", "essai.tvr", "rate_2000.tvr", "-o", "p.m"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "tavril-cli: Les deux canaux n'ont pas la même fréquence d'échantillonnage\n");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"essai.tvr", "rate_2000.tvr"}));
}

TEST(CliMath, EmptyOperandOfMidpointIsAnAllocationProblem) {
  TempDir dir;
  CopyIn(dir, {"empty_accents.tvr"});
  const RunResult run =
      RunProgram(dir.path(), {"math", "midpoint", "empty_accents.tvr", "-o", "r.tvr"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "tavril-cli: Problème d'allocation mémoire\n");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"empty_accents.tvr"}));
}

TEST(CliMath, DamagedSecondOperandWritesNothing) {
  TempDir dir;
  CopyIn(dir, {"essai.tvr", "damaged.tvr"});
  WriteFileBytes(dir / "r.tvr", "old");
  const RunResult run = RunProgram(
      dir.path(), {"math", "difference", "essai.tvr", "damaged.tvr", "-o", "r.tvr", "--force"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "tavril-cli: Erreur lors de l'ouverture du fichier : damaged.tvr : « Rate = » attendu "
            "à l'octet "
            "63\n");
  EXPECT_EQ(ReadFileBytes(dir / "r.tvr"), "old");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"damaged.tvr", "essai.tvr", "r.tvr"}));
}

TEST(CliConfig, PrintsTheValuesUnderTheFilesKeys) {
  TempDir dir;
  WriteFileBytes(dir / "TAVRIL.INI", DataFile("windows_viewer.ini"));
  RunResult run = RunProgram(dir.path(), {"config"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "Input Mode = 1\nPolar = 0\nDevice = 1\nTimeOut = 180\nGainAdjust = 1.000000\n"
            "Offset = 0.000000\nHtml = c:\\programmes\\visionneuse été.exe\n");
  run = RunProgram(dir.path(), {"config", "--json"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "{\"device\":1,\"inputMode\":1,\"polar\":0,\"timeOut\":180,\"gainAdjust\":1,"
            "\"offset\":0,\"htmlViewer\":\"c:\\\\programmes\\\\visionneuse été.exe\"}\n");
}

TEST(CliConfig, Utf8ViewerPathAndOtherValuesArePrintedAsRead) {
  TempDir dir;
  WriteFileBytes(dir / "TAVRIL.INI",
                 "[Tavril]\r\nInput Mode =0;\r\nPolar =1;\r\nDevice =-2;\r\nTimeOut =-1;\r\n"
                 "GainAdjust =0.5;\r\nOffset =-1e-3;\r\nHtml =/opt/visionneuse-été;");
  const RunResult run = RunProgram(dir.path(), {"--json", "config"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "{\"device\":-2,\"inputMode\":0,\"polar\":1,\"timeOut\":-1,\"gainAdjust\":0.5,"
            "\"offset\":-0.001,\"htmlViewer\":\"/opt/visionneuse-été\"}\n");
}

TEST(CliConfig, MissingOrDamagedFileIsReported) {
  TempDir dir;
  RunResult run = RunProgram(dir.path(), {"config"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "tavril-cli: Erreur lors de la lecture du fichier INI : fichier ou dossier "
            "introuvable\n");
  WriteFileBytes(dir / "TAVRIL.INI", DataFile("windows_viewer.ini").substr(0, 60));
  run = RunProgram(dir.path(), {"config", "--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "tavril-cli: Erreur lors de la lecture du fichier INI : la valeur de « TimeOut = » "
            "n'a pas son « ; » final\n");
  WriteFileBytes(dir / "TAVRIL.INI", "[Tavril]\r\nInput Mode =1;\r\nPolarity =0;");
  run = RunProgram(dir.path(), {"config"});
  EXPECT_EQ(run.err,
            "tavril-cli: Erreur lors de la lecture du fichier INI : « Polar = » attendu à "
            "l'octet 26\n");
}

TEST(CliUsage, HelpGoesToStandardOutput) {
  TempDir dir;
  for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"help"}, Args{"info", "-h"}}) {
    const RunResult run = RunProgram(dir.path(), args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, UsageText());
    EXPECT_EQ(run.err, "");
  }
}

TEST(CliUsage, VersionIsTheProjectsOne) {
  TempDir dir;
  const RunResult run = RunProgram(dir.path(), {"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "tavril-cli " + std::string(kTavrilVersion) + "\n");
  EXPECT_EQ(run.err, "");
}

TEST(CliUsage, BadUsageIsOneLineAndAHint) {
  TempDir dir;
  const struct {
    Args args;
    std::string message;
  } cases[] = {
      {{}, "Aucune commande indiquée"},
      {{"info", "a.tvr", "--bogus"}, "Option inconnue : --bogus"},
      {{"convert", "a.tvr"},
       "La commande convert attend des fichiers d'entrée et un fichier de sortie"},
  };
  for (const auto& c : cases) {
    const RunResult run = RunProgram(dir.path(), c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "tavril-cli: " + c.message + " (voir « tavril-cli --help »)\n");
  }
  EXPECT_TRUE(dir.Entries().empty());
}

}  // namespace
}  // namespace tavril::cli

namespace tavril::cli {
namespace {

TEST(CliAcquireArguments, ReadsChannelsAndTheAcquisitionValues) {
  ParsedArguments parsed =
      ParseArguments({"acquire", "--channels", "0-3", "--count", "500", "--rate", "2e5",
                      "--scan-rate=1000", "--gain", "-1", "--title", "l'entrée", "--out", "run_"});
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  const AcquireRequest& request = parsed.command.acquire;
  EXPECT_EQ(CommandKind::kAcquire, parsed.command.kind);
  EXPECT_EQ(0, request.firstChannel);
  EXPECT_EQ(3, request.lastChannel);
  EXPECT_EQ(500u, request.count);
  EXPECT_EQ(200000.0, request.rate);
  EXPECT_EQ(1000.0, request.scanRate);
  EXPECT_EQ(-1, request.gain);
  EXPECT_EQ("l'entrée", request.title);
  EXPECT_EQ("run_", request.outputPrefix);

  parsed = ParseArguments({"acquire", "--channels", "5", "--out", "x"});
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(5, parsed.command.acquire.firstChannel);
  EXPECT_EQ(5, parsed.command.acquire.lastChannel);
  EXPECT_EQ(1000u, parsed.command.acquire.count);
}

TEST(CliAcquireArguments, RefusesWhatThePanelCouldNotHold) {
  const std::string channels = " (une voie de 0 à 7, ou 0-N)";
  ExpectRefused({
      {{"acquire", "--out", "x"}, "La commande acquire attend --channels (3, ou 0-N)"},
      {{"acquire", "--channels", "2"}, "La commande acquire attend --out PREFIXE"},
      {{"acquire", "--channels", "8", "--out", "x"}, "Voies non valides : 8" + channels},
      {{"acquire", "--channels", "1-3", "--out", "x"}, "Voies non valides : 1-3" + channels},
      {{"acquire", "--channels", "0-", "--out", "x"}, "Voies non valides : 0-" + channels},
      {{"acquire", "--channels", "0", "--count", "-1", "--out", "x"},
       "Nombre de points non valide : -1"},
      {{"acquire", "--channels", "0", "--count", "4294967296", "--out", "x"},
       "Nombre de points non valide : 4294967296"},
      {{"acquire", "--channels", "0", "--rate", "1,5", "--out", "x"},
       "Fréquence d'échantillonnage non valide : 1,5"},
      {{"acquire", "--channels", "0", "--rate", "inf", "--out", "x"},
       "Fréquence d'échantillonnage non valide : inf"},
      {{"acquire", "--channels", "0", "--gain", "40000", "--out", "x"}, "Gain non valide : 40000"},
      {{"acquire", "--channels", "0", "--out", "x", "--out", "y"},
       "L'option --out est donnée plusieurs fois"},
      {{"acquire", "extra", "--channels", "0", "--out", "x"},
       "La commande acquire n'attend que des options"},
      {{"info", "a.tvr", "--count", "3"}, "L'option --count ne s'applique pas à la commande info"},
  });
}

TEST(CliAcquire, ScansIntoOneFilePerChannel) {
  TempDir dir;
  const RunResult run =
      RunProgram(dir.path(), {"acquire", "--channels", "0-1", "--count", "100", "--out", "run_"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(
      "Périphérique 1 : Carte simulée : 12 bits, 16 entrées analogiques, signaux de test\n"
      "Canal 0 : run_0.tvr\nCanal 1 : run_1.tvr\n",
      run.out);
  EXPECT_EQ((std::vector<std::string>{"run_0.tvr", "run_1.tvr"}),
            dir.Entries());  // INI not written
  for (int channel = 0; channel < 2; ++channel) {
    ChannelRecord record;
    ASSERT_EQ(1, LoadChannelFile(dir / ("run_" + std::to_string(channel) + ".tvr"), record));
    EXPECT_EQ(channel, record.chan);
    EXPECT_EQ(100u, record.sampleCount());
    EXPECT_EQ(50000.0, record.rate);
  }
}

TEST(CliZeroOutputs, PutsTheBoardsOutputsAt0VOrSaysWhyNot) {
  TempDir dir;
  RunResult run = RunProgram(dir.path(), {"zero-outputs"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Chaque sortie analogique est à 0 V.")) << run.out;
  WriteFileBytes(dir / "TAVRIL.INI", ConfigFileText([] {
                   BoardConfig config = DefaultBoardConfig();
                   config.device = 2;
                   return config;
                 }()));
  run = RunProgram(dir.path(), {"zero-outputs"});
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.err.find("les sorties n'ont pas été mises à 0 V")) << run.err;
}

TEST(CliAcquire, ABoardErrorIsPrintedWithItsStatusAndName) {
  TempDir dir;
  RunResult run =
      RunProgram(dir.path(), {"acquire", "--channels", "2", "--gain", "3", "--out", "g"});
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.err.find("DAQ_Op a renvoyé l'erreur -10080 (badGainError)"))
      << run.err;
  EXPECT_EQ(std::string::npos, run.err.find("Voulez-vous continuer"));
  EXPECT_TRUE(dir.Entries().empty());

  WriteFileBytes(dir / "TAVRIL.INI", ConfigFileText([] {
                   BoardConfig config = DefaultBoardConfig();
                   config.device = 2;
                   return config;
                 }()));
  run = RunProgram(dir.path(), {"acquire", "--channels", "2", "--out", "g"});
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.out.find("Aucune carte ne répond au numéro de périphérique 2"));
  EXPECT_NE(std::string::npos, run.err.find("AI_Configure a renvoyé l'erreur -10402"));
}

TEST(CliAcquire, ARateBeyondTheBoardIsRefusedWithTheBoardsLimit) {
  TempDir dir;
  const std::string limit =
      "ne peut pas être obtenue par la carte : au plus 1250000 conversions par seconde en tout, "
      "soit 312500 échantillons par seconde et par voie avec 4 voies.";
  RunResult run = RunProgram(
      dir.path(), {"acquire", "--channels", "0-3", "--rate", "2e6", "--count", "10", "--out", "a"});
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos,
            run.err.find("SCAN_Op a renvoyé l'erreur -10011 (badIntervalError) : "
                         "La fréquence d'échantillonnage ou de balayage " +
                         limit))
      << run.err;
  run = RunProgram(dir.path(), {"record", "--channels", "0-3", "--rate", "2e6", "--duration", "1",
                                "--out", "r.h5"});
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.err.find(limit)) << run.err;
  EXPECT_TRUE(dir.Entries().empty());
}

TEST(CliAcquire, KeepsExistingFilesWithoutForce) {
  TempDir dir;
  WriteFileBytes(dir / "run_4.tvr", "mine");
  const RunResult run = RunProgram(dir.path(), {"acquire", "--channels", "4", "--out", "run_"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("tavril-cli: Le fichier existe déjà : run_4.tvr (utilisez --force pour le remplacer)\n",
            run.err);
  EXPECT_EQ("mine", ReadFileBytes(dir / "run_4.tvr"));
  EXPECT_EQ(
      0, RunProgram(dir.path(), {"acquire", "--channels", "4", "--out", "run_", "--force"}).status);
}

TEST(CliRecord, ARefusedRateLeavesTheFileAndALevelOutOfReachIsWarnedOf) {
  TempDir dir;
  WriteFileBytes(dir / "keep.h5", "earlier");
  RunResult run = RunProgram(
      dir.path(), {"record", "--channels", "0-3", "--rate", "2e6", "--out", "keep.h5", "--force"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("earlier", ReadFileBytes(dir / "keep.h5"));
  EXPECT_EQ(std::vector<std::string>{"keep.h5"}, dir.Entries());
  // One channel has no scans: a scan rate changes nothing, and nothing is said of it.
  run = RunProgram(dir.path(), {"record", "--channels", "0", "--rate", "1e4", "--duration", "0.05",
                                "--trigger", "0:10", "--scan-rate", "1000", "--out", "r.h5"});
  EXPECT_EQ(run.err.rfind("tavril-cli: attention : Le niveau de déclenchement de 10 V", 0), 0u);
  EXPECT_EQ(run.err.find("Cadence"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("500 échantillons par voie, 0.050 s à 10000 échantillons/s"),
            std::string::npos);
}

// Both runs read the simulated board at every sample's index: only the pace differs.
TEST(CliRecord, UnpacedWritesThePacedSamplesAndOnlyFromTheSimulatedBoard) {
  TempDir dir;
  ChannelSet files[2];
  for (const bool unpaced : {false, true}) {
    Args args = {"record",     "--channels", "0-7",     "--rate", "8e5",
                 "--duration", "0.2",        "--force", "--out",  "r.h5"};
    if (unpaced) args.push_back("--unpaced");
    ASSERT_EQ(RunProgram(dir.path(), args).status, 0);
    ASSERT_TRUE(ReadHdf5File(dir / "r.h5", files[unpaced], nullptr));
  }
  ASSERT_EQ(files[1].size(), 8u);
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(files[1][i].record.sampleCount(), 20000u);
    EXPECT_TRUE(files[0][i].slot == files[1][i].slot &&
                std::ranges::equal(files[0][i].record.samples(), files[1][i].record.samples()));
  }
  std::filesystem::remove(dir / "r.h5");
  BoardConfig config = DefaultBoardConfig();
  config.device = 2;
  WriteFileBytes(dir / "TAVRIL.INI", ConfigFileText(config));
  EXPECT_EQ(RunProgram(dir.path(), {"record", "--channels", "0", "--rate", "1e3", "--duration", "1",
                                    "--out", "r.h5", "--unpaced"})
                .err,
            "tavril-cli: L'option --unpaced ne vaut que pour la carte simulée : une vraie carte "
            "donne ses mesures à son propre rythme.\n");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"TAVRIL.INI"});
}

}  // namespace
}  // namespace tavril::cli

namespace tavril::cli {
namespace {

TEST(CliMeasureArguments, ReadsTheFilesAndTheTimesAndRefusesTheRest) {
  CommandLine measure = Command(CommandKind::kMeasure);
  measure.inputs = {"a.tvr", "b.tvr"};
  measure.json = true;
  measure.between = TimeInterval{-0.5, 2e-3};
  ExpectAccepted({{{"measure", "--between", "-0.5", "2e-3", "a.tvr", "b.tvr", "--json"}, measure}});
  ExpectRefused({
      {{"measure"}, "La commande measure attend au moins un fichier .tvr"},
      {{"measure", "a", "--between", "1"}, "L'option --between attend deux temps, T1 et T2"},
      {{"measure", "a", "--between=1", "2"}, "L'option --between attend deux temps, T1 et T2"},
      {{"measure", "a", "--between", "1,5", "2"}, "Temps non valide : 1,5"},
      {{"measure", "a", "--between", "0", "inf"}, "Temps non valide : inf"},
      {{"measure", "a", "--between", "2", "1"},
       "L'intervalle --between va de T1 à T2 : T1 ne peut dépasser T2"},
      {{"config", "--between", "0", "1"},
       "L'option --between ne s'applique pas à la commande config"},
  });
}

TEST(CliRangeArguments, InfoMeasureSpectrumAndConvertTakeChannelListsAndTimes) {
  const auto slots = [](std::initializer_list<int> list) {
    SlotSelection selection{};
    for (const int slot : list) selection[static_cast<std::size_t>(slot)] = true;
    return selection;
  };
  CommandLine info = Info("r.h5", false);
  info.slots = slots({0, 2, 3});
  info.between = TimeInterval{1, 2.5};
  CommandLine convert = Convert("r.h5", "part.tvr", false);
  convert.slots = slots({1, 4, 5, 6, 7});
  convert.between = TimeInterval{0, 0};
  CommandLine spectrum = Command(CommandKind::kSpectrum);
  spectrum.input = "r.h5";
  spectrum.slots = slots({7});
  CommandLine measure = Command(CommandKind::kMeasure);
  measure.inputs = {"r.h5"};
  measure.slots = slots({2});
  ExpectAccepted({
      {{"info", "r.h5", "--channels", "0,2-3", "--between", "1", "2.5"}, info},
      {{"convert", "--between", "0", "0", "r.h5", "part.tvr", "--channels=4-7,1,5"}, convert},
      {{"spectrum", "r.h5", "--channels", "7"}, spectrum},
      {{"measure", "r.h5", "--channels", "2,2"}, measure},
  });
}

TEST(CliRangeArguments, RefusesBadChannelListsAndTimes) {
  const std::string hint = " (des canaux de 0 à 7 séparés par des virgules, ou des plages : 0,2-3)";
  ExpectRefused({
      {{"info", "a", "--channels", ""}, "Liste de canaux non valide : " + hint},
      {{"info", "a", "--channels", "8"}, "Liste de canaux non valide : 8" + hint},
      {{"measure", "a", "--channels", "3-1"}, "Liste de canaux non valide : 3-1" + hint},
      {{"convert", "a", "b", "--channels", "0,,1"}, "Liste de canaux non valide : 0,,1" + hint},
      {{"spectrum", "a", "--channels", "1-"}, "Liste de canaux non valide : 1-" + hint},
      {{"spectrum", "a", "--channels", " 1"}, "Liste de canaux non valide :  1" + hint},
      {{"spectrum", "a", "--channel", "1", "--channels", "1"},
       "Les options --channel et --channels ne vont pas ensemble"},
      {{"spectrum", "a", "--between", "1", "x"}, "Temps non valide : x"},
      {{"convert", "a", "b", "--between", "3", "2"},
       "L'intervalle --between va de T1 à T2 : T1 ne peut dépasser T2"},
      {{"math", "rectangle", "a", "-o", "r", "--channels", "1"},
       "L'option --channels ne s'applique pas à la commande math"},
  });
}

TEST(CliMeasure, TextJsonBetweenTwoTimesAndUnreadableFiles) {
  TempDir dir;
  ChannelRecord record;  // 1 kHz from -2 V to 3 V, high a quarter of the time, at 100 kHz
  std::vector<double> samples;
  for (int i = 0; i < 2000; ++i) samples.push_back((i + 10) % 100 < 25 ? 3 : -2);
  SetSamples(record, samples);
  record.rate = 100000;
  record.title = "Carr\xE9";
  std::ostringstream written;
  ASSERT_TRUE(WriteRecord((dir / "carre.tvr").string(), record, written)) << written.str();
  RunResult run = RunProgram(dir.path(), {"measure", "carre.tvr"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.find("Titre : Carré\nPoints mesurés : 2000 (échantillons 0 à 1999)\n"
                         "Minimum : -2.000 V\nMaximum : 3.000 V\n"),
            0u)
      << run.out;
  EXPECT_NE(run.out.find("Fréquence : 1.000 kHz\nPériode : 1.000 ms\nRapport cyclique : 25.00 %\n"),
            std::string::npos);

  WriteFileBytes(dir / "abime.tvr", "pas un enregistrement");
  run = RunProgram(dir.path(),
                   {"measure", "--json", "abime.tvr", "carre.tvr", "--between", "0.001", "0.0105"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.find("tavril-cli: "), 0u);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
  EXPECT_EQ(run.out.find("{\"file\":\"carre.tvr\",\"title\":\"Carré\",\"count\":951,\"first\":100,"
                         "\"last\":1050,\"minimum\":-2,\"maximum\":3,\"peakToPeak\":5,"),
            0u)
      << run.out;

  run = RunProgram(dir.path(), {"measure", "carre.tvr", "--json", "--between", "1", "2"});
  EXPECT_EQ(run.out,
            "{\"title\":\"Carré\",\"count\":0,\"minimum\":null,\"maximum\":null,"
            "\"peakToPeak\":null,\"mean\":null,\"rms\":null,\"acRms\":null,\"frequency\":null,"
            "\"period\":null,\"dutyCycle\":null,\"riseTime\":null,\"fallTime\":null}\n");
}

}  // namespace
}  // namespace tavril::cli
