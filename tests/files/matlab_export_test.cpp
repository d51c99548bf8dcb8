#include "files/matlab_export.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "support/record_checks.h"
#include "support/scoped_environment.h"
#include "support/scripted_user.h"
#include "support/temp_dir.h"
#include "ui/app/command_ids.h"

namespace tavril {
namespace {

using testing::SetSamples;

using testing::FileSizeLimit;
using testing::ReadFileBytes;
using testing::ScriptedUser;
using testing::TempDir;

using testing::WriteFileBytes;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

ChannelRecord MakeRecord(std::int16_t chan, double rate, std::vector<double> samples,
                         std::string title) {
  ChannelRecord record;
  record.chan = chan;
  record.gain = 1;
  record.rate = rate;
  SetSamples(record, std::move(samples));
  record.title = std::move(title);
  return record;
}

std::string ScriptOf(const ChannelRecord& record) {
  return testing::BytesWrittenBy([&](AtomicFileWriter& out) { WriteMatlabScript(record, out); });
}

// The text between "<name>=[\r\n" and "];", one value per line.
std::vector<std::string> VectorLines(const std::string& script, const std::string& name) {
  std::vector<std::string> lines;
  const std::string opening = "\r\n" + name + "=[\r\n";
  std::size_t at = script.find(opening);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no vector " << name;
    return lines;
  }
  at += opening.size();
  while (script.compare(at, 2, "];") != 0) {
    const std::size_t end = script.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "vector " << name << " not closed";
      break;
    }
    lines.push_back(script.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

// The line after "grid;", which carries the title.
std::string TitleLine(const std::string& script) {
  const std::string grid = "\r\ngrid;\r\n";
  const std::size_t at = script.find(grid);
  if (at == std::string::npos || script.size() < at + grid.size() + 4 ||
      script.compare(script.size() - 4, 4, "\r\n\r\n") != 0) {
    ADD_FAILURE() << "no title line";
    return {};
  }
  return script.substr(at + grid.size(), script.size() - 4 - at - grid.size());
}

// printf("%.12f") as a reference.
std::string Fixed12(double value) {
  char text[400];
  std::snprintf(text, sizeof text, "%.12f", value);
  return text;
}

TEST(MatlabScript, WritesTheSixteenLineExampleByteForByte) {
  const ChannelRecord record = MakeRecord(3, 1000.0, {0.5, -0.25, 1.0}, "Essai");
  EXPECT_EQ(ScriptOf(record),
            "% Fichier d'export vers MatLab pour TAVRIL\r\n"
            "\r\n"
            "x3=[\r\n"
            "0.000000000000\r\n"
            "0.001000000000\r\n"
            "0.002000000000\r\n"
            "];\r\n"
            "y3=[\r\n"
            "0.500000000000\r\n"
            "-0.250000000000\r\n"
            "1.000000000000\r\n"
            "];\r\n"
            "plot(x3,y3);\r\n"
            "grid;\r\n"
            "title('Essai')\r\n"
            "\r\n");
}

TEST(MatlabScript, RecordWithoutSamplesGivesTwoEmptyVectors) {
  const std::string expected =
      "% Fichier d'export vers MatLab pour TAVRIL\r\n\r\nx5=[\r\n];\r\ny5=[\r\n];\r\n"
      "plot(x5,y5);\r\ngrid;\r\ntitle('vide')\r\n\r\n";
  EXPECT_EQ(ScriptOf(MakeRecord(5, 1000.0, {}, "vide")), expected);

  // The reset state: 1000 points described, none held.
  ChannelRecord described = MakeRecord(5, 100000.0, {}, "vide");
  described.SetCount(1000);
  EXPECT_EQ(ScriptOf(described), expected);
}

TEST(MatlabScript, TimesAreIndexOverRate) {
  struct Case {
    double rate;
    std::vector<std::string> times;
  };
  const Case cases[] = {
      {2500.0, {"0.000000000000", "0.000400000000", "0.000800000000", "0.001200000000"}},
      {3.0, {"0.000000000000", "0.333333333333", "0.666666666667", "1.000000000000"}},
      {0.5, {"0.000000000000", "2.000000000000", "4.000000000000", "6.000000000000"}},
      {-4.0, {"-0.000000000000", "-0.250000000000", "-0.500000000000", "-0.750000000000"}},
  };
  for (const Case& c : cases) {
    const std::string script = ScriptOf(MakeRecord(1, c.rate, {0.0, 0.0, 0.0, 0.0}, "t"));
    EXPECT_EQ(VectorLines(script, "x1"), c.times) << "rate " << c.rate;
  }
}

TEST(MatlabScript, SamplesAreWrittenAsStoredWithoutGain) {
  ChannelRecord record = MakeRecord(2, 1000.0, {0.5, -1.25, 1e-13, -1e-13, 2.0000000000005}, "g");
  record.gain = 10;
  EXPECT_EQ(VectorLines(ScriptOf(record), "y2"),
            (std::vector<std::string>{"0.500000000000", "-1.250000000000", "0.000000000000",
                                      "-0.000000000000", "2.000000000001"}));
}

TEST(MatlabScript, VeryLargeValuesAreWrittenWholeOnOneLine) {
  const double max = std::numeric_limits<double>::max();
  const std::string script = ScriptOf(MakeRecord(0, 1000.0, {max, -1e20}, "big"));
  const std::vector<std::string> lines = VectorLines(script, "y0");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "17976931348623157081452742373170435679807056752584499659891747680315726078002853876"
            "05895586327668781715404589535143824642343213268894641827684675467035375169860499105"
            "76551282076245490090389328944075868508455133942304583236903222948165808559332123348"
            "274797826204144723168738177180919299881250404026184124858368.000000000000");
  EXPECT_EQ(lines[1], "-100000000000000000000.000000000000");
}

TEST(MatlabScript, ManySamplesMatchPrintfLineForLine) {
  // Well beyond the writer's buffer, so lines cross its flushes.
  std::vector<double> samples(200000);
  std::uint64_t state = 12345;
  for (double& s : samples) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    s = std::ldexp(static_cast<double>(state >> 11), -53) * 2000.0 - 1000.0;
  }
  const ChannelRecord record = MakeRecord(4, 48000.0, samples, "many");
  const std::string script = ScriptOf(record);
  const std::vector<std::string> times = VectorLines(script, "x4");
  const std::vector<std::string> values = VectorLines(script, "y4");
  ASSERT_EQ(times.size(), samples.size());
  ASSERT_EQ(values.size(), samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    ASSERT_EQ(times[i], Fixed12(static_cast<double>(i) / 48000.0)) << "time " << i;
    ASSERT_EQ(values[i], Fixed12(samples[i])) << "sample " << i;
  }
}

TEST(MatlabScript, NonFiniteValuesTakeMatlabSpelling) {
  // Rate 0: 0/0 for the first time, i/0 after it.
  const std::string script = ScriptOf(MakeRecord(1, 0.0, {kInf, -kInf, kNaN, -kNaN}, "nf"));
  EXPECT_EQ(VectorLines(script, "x1"), (std::vector<std::string>{"NaN", "Inf", "Inf", "Inf"}));
  EXPECT_EQ(VectorLines(script, "y1"), (std::vector<std::string>{"Inf", "-Inf", "NaN", "NaN"}));

  const std::string negative = ScriptOf(MakeRecord(1, -0.0, {0.0, 0.0}, "nf"));
  EXPECT_EQ(VectorLines(negative, "x1"), (std::vector<std::string>{"NaN", "-Inf"}));
}

TEST(MatlabScript, NegativeChannelTakesMInsteadOfMinus) {
  struct Case {
    std::int16_t chan;
    std::string x, y, plot;
  };
  const Case cases[] = {
      {0, "x0", "y0", "plot(x0,y0);"},
      {7, "x7", "y7", "plot(x7,y7);"},
      {-3, "xm3", "ym3", "plot(xm3,ym3);"},
      {32767, "x32767", "y32767", "plot(x32767,y32767);"},
      {-32768, "xm32768", "ym32768", "plot(xm32768,ym32768);"},
  };
  for (const Case& c : cases) {
    const std::string script = ScriptOf(MakeRecord(c.chan, 10.0, {1.0}, "c"));
    EXPECT_EQ(VectorLines(script, c.x), std::vector<std::string>{"0.000000000000"}) << c.chan;
    EXPECT_EQ(VectorLines(script, c.y), std::vector<std::string>{"1.000000000000"}) << c.chan;
    EXPECT_NE(script.find("\r\n" + c.plot + "\r\n"), std::string::npos) << c.chan;
  }
}

TEST(MatlabScript, TitleIsQuotedUtf8WithOneStringPerLine) {
  struct Case {
    std::string title;  // Windows-1252
    std::string line;   // UTF-8
  };
  const Case cases[] = {
      {"", "title('')"},
      {"Essai", "title('Essai')"},
      {"l'entr\xE9"
       "e",
       "title('l''entrée')"},
      {"'", "title('''')"},
      {"\xE9t\xE9 \x80 \xB5V \xA7 \xFF", "title('été € µV § ÿ')"},
      {"a\\n %s\t50%", "title('a\\n %s\t50%')"},
      {"ligne 1\r\nligne 2", "title({'ligne 1','ligne 2'})"},
      {"a\nb\rc", "title({'a','b','c'})"},
      {"a\r\n", "title({'a',''})"},
      {"\r\n", "title({'',''})"},
      {"a\n\rb", "title({'a','','b'})"},
      {"a\r\r\nb", "title({'a','','b'})"},
      {"l'un\r\nl'autre", "title({'l''un','l''autre'})"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TitleLine(ScriptOf(MakeRecord(0, 1.0, {}, c.title))), c.line) << c.title;
  }
}

TEST(MatlabExport, NewFileIsWrittenWithoutQuestion) {
  TempDir dir;
  ScriptedUser user;
  EXPECT_EQ(ExportMatlabFile(user, dir / "NEW.M", MakeRecord(3, 1000.0, {0.5}, "Essai")),
            SaveOutcome::kWritten);
  EXPECT_TRUE(user.boxes().empty());
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"NEW.M"});
  EXPECT_EQ(ReadFileBytes(dir / "NEW.M"), ScriptOf(MakeRecord(3, 1000.0, {0.5}, "Essai")));
}

void ExpectOverwriteQuestion(const ScriptedUser& user) {
  ASSERT_EQ(user.boxes().size(), 1u);
  const MessageBoxRequest& box = user.boxes()[0];
  EXPECT_EQ(box.text, "Ce fichier existe deja.\r\nVoulez-vous l'écraser?");
  EXPECT_EQ(box.caption, "Exportation vers MatLab");
  EXPECT_EQ(box.icon, MessageIcon::kInformation);
  EXPECT_EQ(box.buttons, MessageButtons::kYesNo);
}

TEST(MatlabExport, YesReplacesTheExistingFile) {
  TempDir dir;
  WriteFileBytes(dir / "OLD.M", "old content");
  ScriptedUser user;
  user.Answer(MessageAnswer::kYes);
  const ChannelRecord record = MakeRecord(3, 1000.0, {0.5, -0.25, 1.0}, "Essai");
  EXPECT_EQ(ExportMatlabFile(user, dir / "OLD.M", record), SaveOutcome::kWritten);
  ExpectOverwriteQuestion(user);
  EXPECT_EQ(ReadFileBytes(dir / "OLD.M"), ScriptOf(record));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"OLD.M"});
}

TEST(MatlabExport, NoLeavesTheFile) {
  TempDir dir;
  const std::string old = "% old\r\n\xA7\r\n";
  WriteFileBytes(dir / "OLD.M", old);
  ScriptedUser user;
  user.Answer(MessageAnswer::kNo);
  EXPECT_EQ(ExportMatlabFile(user, dir / "OLD.M", MakeRecord(3, 1000.0, {0.5}, "Essai")),
            SaveOutcome::kDeclined);
  ExpectOverwriteQuestion(user);
  EXPECT_EQ(ReadFileBytes(dir / "OLD.M"), old);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"OLD.M"});
}

TEST(MatlabExport, MissingFolderShowsTheErrorBoxAndYieldsZero) {
  TempDir dir;
  ScriptedUser user;
  EXPECT_EQ(ExportMatlabFile(user, dir / "missing" / "A.M", MakeRecord(3, 1.0, {0.5}, "x")),
            SaveOutcome::kFailed);
  ASSERT_EQ(user.boxes().size(), 1u);
  const MessageBoxRequest& box = user.boxes()[0];
  EXPECT_EQ(box.text, "Impossible de créer ou\r\u00AD'ouvrir le fichier");
  EXPECT_EQ(box.caption, "Exportation vers MatLab");
  EXPECT_EQ(box.icon, MessageIcon::kError);
  EXPECT_EQ(box.buttons, MessageButtons::kOk);
  EXPECT_TRUE(dir.Entries().empty());
}

TEST(MatlabExport, WriteFailureKeepsTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string old = "old content\r\n";
  WriteFileBytes(dir / "OLD.M", old);
  ScriptedUser user;
  user.Answer(MessageAnswer::kYes);
  const ChannelRecord record = MakeRecord(3, 1000.0, std::vector<double>(5000, 0.125), "full");
  SaveOutcome result = SaveOutcome::kWritten;
  {
    FileSizeLimit limit(4096);
    if (!limit.active())
      GTEST_SKIP() << "cannot lower the file-size limit to provoke a write error";
    result = ExportMatlabFile(user, dir / "OLD.M", record);
  }
  EXPECT_EQ(result, SaveOutcome::kFailed);
  ExpectOverwriteQuestion(user);
  EXPECT_EQ(ReadFileBytes(dir / "OLD.M"), old);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"OLD.M"});
}

// ---------------------------------------------------------------------------
// The scripts as GNU Octave reads them.

std::string FindOnPath(std::string_view program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  std::string_view rest = path;
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    if (folder.empty()) continue;
    const std::string candidate = std::string(folder) + "/" + std::string(program);
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// A single-quoted Octave string literal.
std::string OctaveString(std::string_view text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

std::string ShellQuoted(std::string_view text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// Stand-ins for the plotting functions, which need a display: each records
// what it was given in a global that the dump reads.
constexpr std::string_view kPlotRecorder =
    "function plot(varargin)\n"
    "  global tavril_plot_calls tavril_plot_args\n"
    "  tavril_plot_calls = tavril_plot_calls + 1;\n"
    "  tavril_plot_args = varargin;\n"
    "end\n";
constexpr std::string_view kGridRecorder =
    "function grid(varargin)\n"
    "  global tavril_grid_calls\n"
    "  tavril_grid_calls = tavril_grid_calls + 1;\n"
    "end\n";
constexpr std::string_view kTitleRecorder =
    "function title(varargin)\n"
    "  global tavril_title_calls tavril_title_args\n"
    "  tavril_title_calls = tavril_title_calls + 1;\n"
    "  tavril_title_args = varargin;\n"
    "end\n";
// Writes what one script left behind: one item per line, vectors as num2hex,
// the title as its byte values (a cell's lines joined with "\n").
constexpr std::string_view kDump =
    "function tavril_dump(file, x, y, xexists, yexists)\n"
    "  global tavril_plot_calls tavril_plot_args tavril_grid_calls\n"
    "  global tavril_title_calls tavril_title_args\n"
    "  fid = fopen(file, 'w');\n"
    "  plotted = numel(tavril_plot_args) == 2 && isequaln(tavril_plot_args{1}, x) ...\n"
    "            && isequaln(tavril_plot_args{2}, y);\n"
    "  fprintf(fid, 'exists %d %d\\n', xexists, yexists);\n"
    "  fprintf(fid, 'calls %d %d %d %d\\n', tavril_plot_calls, plotted, tavril_grid_calls, "
    "tavril_title_calls);\n"
    "  vectors = {x, y};\n"
    "  for v = 1:2\n"
    "    fprintf(fid, 'size %d %d\\n', rows(vectors{v}), columns(vectors{v}));\n"
    "    for k = 1:numel(vectors{v})\n"
    "      fprintf(fid, '%s\\n', num2hex(vectors{v}(k)));\n"
    "    end\n"
    "  end\n"
    "  t = '';\n"
    "  if numel(tavril_title_args) == 1 && iscellstr(tavril_title_args{1})\n"
    "    parts = tavril_title_args{1};\n"
    "    for k = 1:numel(parts)\n"
    "      if k > 1\n"
    "        t = [t, char(10)];\n"
    "      end\n"
    "      t = [t, parts{k}];\n"
    "    end\n"
    "  elseif numel(tavril_title_args) == 1 && ischar(tavril_title_args{1})\n"
    "    t = tavril_title_args{1};\n"
    "  else\n"
    "    t = 'unexpected title arguments';\n"
    "  end\n"
    "  fprintf(fid, 'title %d\\n', numel(t));\n"
    "  for k = 1:numel(t)\n"
    "    fprintf(fid, '%d\\n', double(t(k)));\n"
    "  end\n"
    "  fclose(fid);\n"
    "end\n";

struct OctaveCase {
  std::string name;
  ChannelRecord record;
  std::string variableSuffix;
  std::string expectedTitle;  // UTF-8, lines joined with "\n"
};

// What Octave should hold: strtod of each line the script carries.
std::vector<std::uint64_t> ExpectedBits(const std::vector<std::string>& lines) {
  std::vector<std::uint64_t> bits;
  for (const std::string& line : lines) {
    bits.push_back(std::bit_cast<std::uint64_t>(std::strtod(line.c_str(), nullptr)));
  }
  return bits;
}

std::string Hex(std::uint64_t bits) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
  return text;
}

// Reads the dump line by line.
class DumpReader {
 public:
  explicit DumpReader(std::string text) : text_(std::move(text)) {}
  std::string Line() {
    const std::size_t end = text_.find('\n', at_);
    if (end == std::string::npos) {
      std::string last = text_.substr(at_);
      at_ = text_.size();
      return last;
    }
    std::string line = text_.substr(at_, end - at_);
    at_ = end + 1;
    return line;
  }
  long Number(std::string_view text) {
    long value = -1;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
  }

 private:
  std::string text_;
  std::size_t at_ = 0;
};

void CheckOctaveDump(const OctaveCase& c, const std::string& script, const std::string& dump) {
  SCOPED_TRACE(c.name);
  DumpReader in(dump);
  ASSERT_EQ(in.Line(), "exists 1 1") << dump;
  ASSERT_EQ(in.Line(), "calls 1 1 1 1") << dump;
  const std::string names[2] = {"x" + c.variableSuffix, "y" + c.variableSuffix};
  for (const std::string& name : names) {
    const std::vector<std::uint64_t> expected = ExpectedBits(VectorLines(script, name));
    ASSERT_EQ(expected.size(), c.record.sampleCount()) << name;
    // A column, or 0x0 for [] with nothing inside.
    const std::string size =
        expected.empty() ? "size 0 0" : "size " + std::to_string(expected.size()) + " 1";
    ASSERT_EQ(in.Line(), size) << name;
    for (std::size_t k = 0; k < expected.size(); ++k) {
      EXPECT_EQ(in.Line(), Hex(expected[k])) << name << "(" << k + 1 << ")";
    }
  }
  const std::string header = in.Line();
  ASSERT_EQ(header.rfind("title ", 0), 0u) << header;
  const long length = in.Number(std::string_view(header).substr(6));
  std::string title;
  for (long k = 0; k < length; ++k) title += static_cast<char>(in.Number(in.Line()));
  EXPECT_EQ(title, c.expectedTitle);
}

TEST(MatlabScriptInOctave, OctaveReadsTheWrittenValuesAndTitle) {
  const std::string octave = FindOnPath("octave-cli");
  if (octave.empty()) GTEST_SKIP() << "octave-cli is not on PATH; the Octave check is skipped";

  const double max = std::numeric_limits<double>::max();
  const double tiny = std::numeric_limits<double>::denorm_min();
  std::vector<OctaveCase> cases;
  cases.push_back({"accented",
                   MakeRecord(3, 1000.0, {0.5, -0.25, 1.0}, "\xE9t\xE9 \x80 \xB5V \xA7 \xFF"), "3",
                   "été € µV § ÿ"});
  cases.push_back({"quotes",
                   MakeRecord(0, 3.0, {-0.0, 1e-13, -1e-13, 0.1, 123456.789, max, -1e300, tiny},
                              "l'entr\xE9"
                              "e ''cit\xE9"
                              "e'' '"),
                   "0", "l'entrée ''citée'' '"});
  cases.push_back(
      {"line breaks",
       MakeRecord(1, 44100.0, {1.0 / 3.0, -2.0 / 3.0}, "ligne 1\r\nl'autre\nc\rd \\n %s\t\r\n"),
       "1", "ligne 1\nl'autre\nc\nd \\n %s\t\n"});
  cases.push_back(
      {"non-finite", MakeRecord(2, 0.0, {kInf, -kInf, kNaN, -kNaN, 2.5}, "nf"), "2", "nf"});
  ChannelRecord empty = MakeRecord(4, 1000.0, {}, "vide");
  empty.SetCount(1000);
  cases.push_back({"no samples", empty, "4", "vide"});
  cases.push_back({"negative chan", MakeRecord(-3, 2500.0, {7.0, -7.0, 0.0}, ""), "m3", ""});

  TempDir dir;
  std::filesystem::create_directory(dir / "recorders");
  WriteFileBytes(dir / "recorders" / "plot.m", kPlotRecorder);
  WriteFileBytes(dir / "recorders" / "grid.m", kGridRecorder);
  WriteFileBytes(dir / "recorders" / "title.m", kTitleRecorder);
  WriteFileBytes(dir / "recorders" / "tavril_dump.m", kDump);

  std::string driver =
      "warning('off', 'all');\n"
      "addpath(" +
      OctaveString((dir / "recorders").string()) +
      ");\n"
      "global tavril_plot_calls tavril_plot_args tavril_grid_calls\n"
      "global tavril_title_calls tavril_title_args\n";
  std::vector<std::string> scripts;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string file = (dir / ("case" + std::to_string(i) + ".M")).string();
    const std::string out = (dir / ("case" + std::to_string(i) + ".out")).string();
    ScriptedUser user;
    ASSERT_EQ(ExportMatlabFile(user, file, cases[i].record), SaveOutcome::kWritten);
    scripts.push_back(ReadFileBytes(file));
    const std::string x = "x" + cases[i].variableSuffix;
    const std::string y = "y" + cases[i].variableSuffix;
    driver +=
        "tavril_plot_calls = 0; tavril_plot_args = {}; tavril_grid_calls = 0;\n"
        "tavril_title_calls = 0; tavril_title_args = {};\n"
        "try\n"
        "  source(" +
        OctaveString(file) +
        ");\n"
        "  tavril_dump(" +
        OctaveString(out) + ", " + x + ", " + y + ", exist('" + x + "', 'var'), exist('" + y +
        "', 'var'));\n"
        "catch err\n"
        "  fid = fopen(" +
        OctaveString(out) +
        ", 'w'); fprintf(fid, 'error %s\\n', "
        "err.message); fclose(fid);\n"
        "end\n"
        "clear " +
        x + " " + y + "\n";
  }
  WriteFileBytes(dir / "driver.m", driver);

  const std::string command = ShellQuoted(octave) + " --no-gui --norc --quiet --no-window-system " +
                              ShellQuoted((dir / "driver.m").string()) + " >" +
                              ShellQuoted((dir / "octave.log").string()) + " 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_EQ(status, 0) << ReadFileBytes(dir / "octave.log");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CheckOctaveDump(cases[i], scripts[i],
                    ReadFileBytes(dir / ("case" + std::to_string(i) + ".out")));
  }
}

}  // namespace
}  // namespace tavril
