#include "files/csv_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "model/allocation.h"
#include "support/record_checks.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "text/number_text.h"

namespace tavril {
namespace {

using testing::SetSamples;

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kPython = "/usr/bin/python3";

SlotRecord Make(int slot, double rate, std::vector<double> samples, std::string title = "") {
  SlotRecord entry{slot, {}};
  entry.record.device = 1;
  entry.record.chan = static_cast<std::int16_t>(slot);
  entry.record.gain = 1;
  entry.record.rate = rate;
  SetSamples(entry.record, std::move(samples));
  entry.record.title = std::move(title);
  return entry;
}

std::string CsvOf(const ChannelSet& set) {
  return testing::BytesWrittenBy([&](AtomicFileWriter& out) { WriteCsvFile(ViewsOf(set), out); });
}

std::string Shortest(double value) {
  char text[kMaxShortestChars];
  return std::string(text, AppendShortest(text, value));
}

std::string Hex(double value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx",
                static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(value)));
  return text;
}

// Every field of every record, values by their bits, on one line each.
std::string Fields(const ChannelSet& set) {
  std::string text;
  for (const SlotRecord& e : set) {
    const ChannelRecord& r = e.record;
    text += std::to_string(e.slot) + " [" + r.title + "] " + std::to_string(r.device) + " " +
            std::to_string(r.chan) + " " + std::to_string(r.gain) + " " + Hex(r.rate) + " " +
            std::to_string(r.count()) + " " +
            (r.acquiredAt ? std::to_string(r.acquiredAt->time_since_epoch().count()) : "-") +
            " max " + std::to_string(r.statistics().maxIndex) + " min " +
            std::to_string(r.statistics().minIndex) + ":";
    for (double v : r.samples()) text += " " + Hex(v);
    text += "\n";
  }
  return text;
}

// The slot, title, rate and values of each record, as numbers read.
std::string Summary(const ChannelSet& set) {
  std::string text;
  for (const SlotRecord& e : set) {
    text += std::to_string(e.slot) + " [" + e.record.title + "] " + Shortest(e.record.rate) + ":";
    for (double v : e.record.samples()) text += " " + Shortest(v);
    text += "\n";
  }
  return text;
}

std::string Imported(std::string_view bytes) {
  TempDir dir;
  WriteFileBytes(dir / "in.csv", bytes);
  ChannelSet set;
  std::string why;
  return ReadCsvFile(dir / "in.csv", set, &why) ? Summary(set) : "refused: " + why;
}

std::string RunPython(const TempDir& dir, std::string_view script) {
  WriteFileBytes(dir / "script.py", script);
  const std::string command = std::string(kPython) + " " + (dir / "script.py").string() + " " +
                              dir.path().string() + " >" + (dir / "out").string() + " 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << ReadFileBytes(dir / "out");
  return ReadFileBytes(dir / "out");
}

// Accents, quotes, escapes and every kind of double, in records of
// different lengths, one of them holding no samples.
ChannelSet Awkward(double rateB, double rateC) {
  ChannelSet set;
  set.push_back(Make(0, 1000.0,
                     {0.1, -0.0, 5e-324, -2.2250738585072014e-308, 1.7976931348623157e308, kInf,
                      -kInf, kNaN, 1.0 / 3.0, -1e-13},
                     "\xC9t\xE9 \"q\" \\ \r\n\t\x01\x7F \x80\x81\xFF"));
  set[0].record.acquiredAt =
      std::chrono::system_clock::time_point(std::chrono::nanoseconds(1780000000123456789));
  set[0].record.gain = -32768;
  set.push_back(Make(3, rateB, {1e-300, 2.0, 4.9406564584124654e-324}));
  set[1].record.device = -3;
  set.push_back(Make(7, rateC, {}, "vide"));
  set[2].record.SetCount(1000);
  return set;
}

TEST(CsvFileWriter, OneTimeColumnForOneRateAndEmptyCellsBelowAShortChannel) {
  ChannelSet set;
  set.push_back(Make(0, 1000.0, {0.5, -0.25, 1.0}, "Essai"));
  set.push_back(Make(3, 1000.0, {-1.0, 2.5e-7}, "\xC9t\xE9 \"1\""));
  set[1].record.acquiredAt = std::chrono::system_clock::time_point(std::chrono::seconds(1));
  EXPECT_EQ(CsvOf(set),
            "# TAVRIL v1.02\r\n"
            "# channel slot=0 title=\"Essai\" device=1 chan=0 gain=1 rate=1000 count=3 unit=V\r\n"
            "# channel slot=3 title=\"Été \\\"1\\\"\" device=1 chan=3 gain=1 rate=1000 count=2 "
            "unit=V acquired=1970-01-01T00:00:01Z\r\n"
            "time_s,slot0_V,slot3_V\r\n0,0.5,-1\r\n0.001,-0.25,2.5e-07\r\n0.002,1,\r\n");
}

TEST(CsvFileWriter, EachChannelHasItsTimeColumnWhenRatesDiffer) {
  ChannelSet set;
  set.push_back(Make(1, 4.0, {1.0, 2.0}));
  set.push_back(Make(2, 0.0, {3.0}));
  const std::string csv = CsvOf(set);
  EXPECT_EQ(csv.substr(csv.find("slot1_time_s")),
            "slot1_time_s,slot1_V,slot2_time_s,slot2_V\r\n0,1,nan,3\r\n0.25,2,,\r\n");
}

TEST(CsvFileWriter, FrenchLocaleChangesNoByte) {
  const ChannelSet set = Awkward(0.5, kNaN);
  const std::string inC = CsvOf(set);
  testing::ScopedLocale french(testing::kFrenchLocale);
  if (!french.active()) GTEST_SKIP() << testing::kNoFrenchLocale;
  EXPECT_EQ(CsvOf(set), inC);
  EXPECT_EQ(Imported(inC), Summary(set));
}

TEST(CsvFileRoundTrip, EveryFieldAndValueComesBackBitForBit) {
  for (const ChannelSet& set : {Awkward(1000.0, 1000.0), Awkward(0.5, kNaN)}) {
    TempDir dir;
    WriteFileBytes(dir / "set.csv", CsvOf(set));
    ChannelSet read;
    std::string why;
    ASSERT_TRUE(ReadCsvFile(dir / "set.csv", read, &why)) << why;
    EXPECT_EQ(Fields(read), Fields(set));
  }
}

TEST(CsvFileInPython, CsvModuleAndNumpyReadTheSameDoubles) {
  if (::access(kPython, X_OK) != 0) GTEST_SKIP() << kPython << " is missing";
  TempDir dir;
  ChannelSet set = Awkward(1000.0, 1000.0);
  set.pop_back();  // an empty column is all nan to numpy: nothing to compare
  WriteFileBytes(dir / "set.csv", CsvOf(set));
  const std::string output = RunPython(dir, R"(import csv, struct, sys, numpy
path = sys.argv[1] + '/set.csv'
hex = lambda v: '%016x' % struct.unpack('<Q', struct.pack('<d', v))[0]
with open(path, newline='') as f:
    rows = [r for r in csv.reader(f) if r and not r[0].startswith('#')]
print(*rows[0])
for r in rows[1:]: print(*[hex(float(c)) if c else '-' for c in r])
# 3 comment lines, then the names; loadtxt takes no empty cell
for r in numpy.genfromtxt(path, delimiter=',', skip_header=4):
    print(*[hex(v) for v in r])
for r in numpy.loadtxt(path, delimiter=',', skiprows=4, max_rows=3):
    print(*[hex(v) for v in r]))");
  std::string expected = "time_s slot0_V slot3_V\n";
  std::string numpy;
  std::string loadtxt;
  const auto& a = set[0].record.samples();
  const auto& b = set[1].record.samples();
  for (std::size_t i = 0; i < a.size(); ++i) {
    const std::string front = Hex(i / 1000.0) + " " + Hex(a[i]) + " ";
    expected += front + (i < b.size() ? Hex(b[i]) : "-") + "\n";
    numpy += front + Hex(i < b.size() ? b[i] : kNaN) + "\n";
    if (i < b.size()) loadtxt += front + Hex(b[i]) + "\n";
  }
  EXPECT_EQ(output, expected + numpy + loadtxt);
}

TEST(CsvFileFromPython, FilesOfTheCsvModuleAndNumpySavetxtImport) {
  if (::access(kPython, X_OK) != 0) GTEST_SKIP() << kPython << " is missing";
  TempDir dir;
  RunPython(dir, R"(import csv, sys, numpy
d = sys.argv[1]
v = [0.1, -0.0, 5e-324, 1.7976931348623157e308, float('-inf'), float('nan'), 1 / 3]
t = [i / 250 for i in range(len(v))]
with open(d + '/semicolon.csv', 'w', newline='', encoding='utf-8') as f:
    csv.writer(f, delimiter=';').writerows([['Temps (s)', 'Tension é']] + list(zip(t, v)))
with open(d + '/tab.csv', 'w', newline='', encoding='cp1252') as f:
    csv.writer(f, delimiter='\t').writerows([['time', 'a é', 'b "c"']] + list(zip(t, v, v[::-1])))
numpy.savetxt(d + '/numpy.csv', numpy.column_stack([t, v]), delimiter=',', header='t,v')
numpy.savetxt(d + '/numpy1.csv', numpy.array(v)))");
  const std::vector<double> v{0.1, -0.0, 5e-324, 1.7976931348623157e308, -kInf, kNaN, 1.0 / 3};
  const auto read = [&](const char* name) {
    ChannelSet set;
    std::string why;
    EXPECT_TRUE(ReadCsvFile(dir / name, set, &why)) << name << ": " << why;
    return Fields(set);
  };
  const std::vector<double> reversed(v.rbegin(), v.rend());
  ChannelSet two{Make(0, 250.0, v, "a \xE9"), Make(1, 250.0, reversed, "b \"c\"")};
  ChannelSet one{Make(0, 250.0, v, "Tension \xE9")};
  // A file without channel lines does not say which board.
  for (SlotRecord& e : two) e.record.device = 0;
  one[0].record.device = 0;
  EXPECT_EQ(read("tab.csv"), Fields(two));
  EXPECT_EQ(read("semicolon.csv"), Fields(one));
  one[0].record.title.clear();
  EXPECT_EQ(read("numpy.csv"), Fields(one));
  one[0].record.rate = 0.0;
  EXPECT_EQ(read("numpy1.csv"), Fields(one));
}

TEST(CsvFileReader, SpreadsheetFormsImport) {
  EXPECT_EQ(Imported("\xEF\xBB\xBF\"Temps\";\"Canal \xE9\"\r\n0;0,5\r\n0,001;-1,25\r\n\r\n"),
            "0 [Canal \xE9] 1000: 0.5 -1.25\n");
  EXPECT_EQ(Imported("a, \"b, \"\"c\"\"\" \n1,\" 2 \"\n"), "0 [a] 0: 1\n1 [b, \"c\"] 0: 2\n");
  EXPECT_EQ(Imported("0,1\n"), "0 [] 0: 0\n1 [] 0: 1\n");
  EXPECT_EQ(Imported("0,1\n3,2\n"), "0 [] 0.3333333333: 1 2\n");
  EXPECT_EQ(Imported("t,a,time2,b\n0,1,0,5\n0.5,2,,\n"), "0 [a] 2: 1 2\n1 [b] 0: 5\n");
  EXPECT_EQ(Imported("# numpy\nx\n1\nNaN\n-Infinity\n+INF"), "0 [x] 0: 1 nan -inf inf\n");
}

// Empty cells: a value missing above a column's last value, the end of a
// shorter channel below it.
TEST(CsvFileReader, EmptyCellsAboveALastValueAreNaNAndCounted) {
  TempDir dir;
  WriteFileBytes(dir / "in.csv", "a;b;c\n;1;\n;;\n3;;\n4;2;\n");
  ChannelSet set;
  std::vector<std::string> notices{"stale"};
  ASSERT_TRUE(ReadCsvFile(dir / "in.csv", set, nullptr, &notices));
  EXPECT_EQ(Summary(set), "0 [a] 0: nan nan 3 4\n1 [b] 0: 1 nan nan 2\n2 [c] 0:\n");
  EXPECT_EQ(notices,
            (std::vector<std::string>{"2 cases vides lues comme NaN dans la colonne 1 (« a »)",
                                      "2 cases vides lues comme NaN dans la colonne 2 (« b »)"}));
  EXPECT_EQ(Imported("t,a,b\n0,1,2\n1,,3\n2,,\n"), "0 [a] 1: 1\n1 [b] 1: 2 3\n");
  EXPECT_EQ(Imported("0,1\n,2\n2,\n"), "0 [] 0: 0 nan 2\n1 [] 0: 1 2\n");  // not time then
}

TEST(CsvFileReader, DamagedFilesAreRefusedWithTheirLine) {
  const struct {
    std::string bytes;
    std::string why;
  } cases[] = {
      {"", "le fichier ne contient ni noms de colonnes ni valeurs"},
      {"time_s,a\r\n0,1\r\n0.001,2,3\r\n", "ligne 3 : 3 valeurs, 2 attendues"},
      {"t,a\n0,1\n\n0.001,abc\n", "ligne 4 : « abc » n'est pas un nombre"},
      {"t,a\n0,\"0,5\"\n", "ligne 2 : « 0,5 » n'est pas un nombre"},
      {"t,a\n0,1\n,2\n0.002,5\n",
       "ligne 3 : le temps de la colonne 1 n'avance pas d'un pas régulier"},
      {"t,a\n0,1\n1,2\n5,3\n", "ligne 4 : le temps de la colonne 1 n'avance pas d'un pas régulier"},
      {"a,\"b\n1,2\n", "ligne 1 : guillemet non fermé"},
      {"a,\"b\"c\n", "ligne 1 : texte après un guillemet fermant"},
      {"a,b,c,d,e,f,g,h,i\n", "ligne 1 : 9 colonnes de valeurs, de 1 à 8 attendues"},
      {std::string(70000, '1'), "ligne 1 : ligne de plus de 65536 octets"},
      {"# channel slot=0 rate=1000 count=4294967295\ntime_s,slot0_V\n0,1\n",
       "ligne 1 : count=4294967295, mais la colonne 2 contient 1 valeur"},
      {"# channel slot=9 rate=1 count=0\n", "ligne 1 : valeur « 9 » impossible pour slot"},
      {"# channel slot=1 rate=1 count=0 acquired=2026-02-30T00:00:00Z\n",
       "ligne 1 : valeur « 2026-02-30T00:00:00Z » impossible pour acquired"},
      {"# channel slot=1 rate=1 count=0 title=\"\\q\"\n",
       "ligne 1 : le titre n'est pas un texte entre guillemets bien formé"},
      {"# channel slot=1 rate=1 count=0\n\n# channel slot=1 rate=2 count=0\n",
       "ligne 3 : le slot 1 est déjà décrit ligne 1"},
      {"# channel slot=1 rate=1 count=0\n1,2\n",
       "ligne 2 : noms de colonnes attendus après les lignes « # channel »"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    WriteFileBytes(dir / "in.csv", c.bytes);
    ChannelSet set{Make(5, 1.0, {1.0})};
    std::string why;
    EXPECT_FALSE(ReadCsvFile(dir / "in.csv", set, &why));
    EXPECT_EQ(why, c.why);
    EXPECT_EQ(Summary(set), "5 [] 1: 1\n");
  }
}

TEST(CsvFileReader, ValuesBeyondMemoryAreRefusedBeforeTheyAreStored) {
  std::string bytes = "a,b\n";
  for (int i = 0; i < 100000; ++i) bytes += "1,2\n";
  TempDir dir;
  WriteFileBytes(dir / "big.csv", bytes);
  ChannelSet set;
  std::string why;
  {
    const ScopedMemoryLimit limit(1 << 20);
    EXPECT_FALSE(ReadCsvFile(dir / "big.csv", set, &why));
  }
  EXPECT_EQ(why,
            "la mémoire ne peut pas contenir les 200000 valeurs du fichier (1.6 Mo, 1.0 Mo "
            "disponibles)");
  const ScopedAllocationFailure failure(2);
  EXPECT_FALSE(ReadCsvFile(dir / "big.csv", set, &why));
  EXPECT_TRUE(set.empty());
}

}  // namespace
}  // namespace tavril
