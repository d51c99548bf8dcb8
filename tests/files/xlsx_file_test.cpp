#include "files/xlsx_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "files/file_writer.h"
#include "support/record_checks.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "text/iso_time.h"

namespace tavril {
namespace {

using testing::SetSamples;

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;
using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kPython = "/usr/bin/python3";

ChannelRecord MakeRecord(std::int16_t chan, double rate, std::vector<double> samples,
                         std::string title) {
  ChannelRecord record;
  record.device = 1;
  record.chan = chan;
  record.gain = 2;
  record.rate = rate;
  SetSamples(record, std::move(samples));
  record.title = std::move(title);
  return record;
}

// Each sheet as openpyxl reads it: "sheet NAME", then one line per row, its
// cells separated by tabs: "" when empty, "n:" and the bits of the float for
// a number, "s:" and the text for a string.
constexpr const char* kDumpScript = R"(import struct, sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1], read_only=True)
for sheet in book.worksheets:
    print('sheet ' + sheet.title)
    for row in sheet.iter_rows(values_only=True):
        cells = []
        for v in row:
            if v is None: cells.append('')
            elif isinstance(v, str): cells.append('s:' + v)
            else: cells.append('n:%016x' % struct.unpack('<Q', struct.pack('<d', float(v)))[0])
        while cells and cells[-1] == '': cells.pop()
        print('\t'.join(cells))
)";

// The sheets openpyxl finds, by name.
std::vector<std::pair<std::string, Rows>> ReadWithOpenpyxl(const TempDir& dir,
                                                           const std::filesystem::path& book) {
  WriteFileBytes(dir / "dump.py", kDumpScript);
  const std::string command = std::string(kPython) + " '" + (dir / "dump.py").string() + "' '" +
                              book.string() + "' >'" + (dir / "dump.txt").string() + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << ReadFileBytes(dir / "dump.txt");
  std::vector<std::pair<std::string, Rows>> sheets;
  std::istringstream lines(ReadFileBytes(dir / "dump.txt"));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("sheet ", 0) == 0) {
      sheets.push_back({line.substr(6), {}});
      continue;
    }
    if (sheets.empty()) continue;
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
    sheets.back().second.push_back(cells);
  }
  return sheets;
}

// What a reader gets for `value`: libxlsxwriter writes 16 significant digits.
std::string Number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.16G", value);
  char bits[32];
  std::snprintf(
      bits, sizeof bits, "n:%016llx",
      static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(std::strtod(text, nullptr))));
  return bits;
}

bool HasOpenpyxl() {
  const std::string command = std::string(kPython) + " -c 'import openpyxl' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

TEST(XlsxFile, OpenpyxlReadsFieldsTimesAndSamplesAsNumbers) {
  if (!HasOpenpyxl()) GTEST_SKIP() << "/usr/bin/python3 with openpyxl is missing";
  const double inf = std::numeric_limits<double>::infinity();
  ChannelRecord a =
      MakeRecord(3, 1000.0, {0.5, -0.25, 1.0 / 3.0, 0.1 + 0.2, 1e-300}, "l'\xE9t\xE9 \x80");
  a.acquiredAt = ParseIsoUtc("2026-12-07T12:45:36.123456789Z");
  const ChannelRecord b = MakeRecord(4, 1000.0, {7.0, -inf}, "b");  // shorter, same rate
  const ChannelRecord c = MakeRecord(5, 3.0, {1.5, std::nan(""), 2.5, 1e300, 4.0}, "");
  const std::vector<SlotView> records = {{0, &a}, {2, &c}, {6, &b}};
  TempDir dir;
  std::string why;
  {
    testing::ScopedLocale french(testing::kFrenchLocale);  // no decimal comma in the file
    ASSERT_TRUE(WriteXlsxFile(records, dir / "essai.xlsx", &why)) << why;
  }
  const auto sheets = ReadWithOpenpyxl(dir, dir / "essai.xlsx");
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0].first, "Données");
  const Rows& rows = sheets[0].second;
  ASSERT_EQ(rows.size(), 16u);
  EXPECT_EQ(rows[0],
            (std::vector<std::string>{"s:Exporté par TAVRIL v1.02 : échantillons 0 à 4."}));
  // Channels 0 and 6 share the 1000 Hz time column; channel 2 has its own.
  const Rows header = {
      {"s:Canal", Number(0), Number(6), "s:Canal", Number(2)},
      {"s:Titre", "s:l'été €", "s:b", "s:Titre"},  // an empty title leaves an empty cell
      {"s:Device", Number(1), Number(1), "s:Device", Number(1)},
      {"s:Chan", Number(3), Number(4), "s:Chan", Number(5)},
      {"s:Gain", Number(2), Number(2), "s:Gain", Number(2)},
      {"s:Fréquence (Hz)", Number(1000), Number(1000), "s:Fréquence (Hz)", Number(3)},
      {"s:Nombre de points", Number(5), Number(2), "s:Nombre de points", Number(5)},
      {"s:Unité", "s:V", "s:V", "s:Unité", "s:V"},
      {"s:Acquisition (UTC)", "s:2026-12-07T12:45:36.123456789Z", "", "s:Acquisition (UTC)"},
      {"s:Temps (s)", "s:Canal 0 (V)", "s:Canal 6 (V)", "s:Temps (s)", "s:Canal 2 (V)"},
  };
  for (std::size_t r = 0; r < header.size(); ++r)
    EXPECT_EQ(rows[1 + r], header[r]) << "row " << r + 2;
  for (std::size_t i = 0; i < 5; ++i) {
    std::vector<std::string> expected = {Number(i / 1000.0), Number(a.samples()[i]),
                                         i < 2 ? Number(b.samples()[i]) : "", Number(i / 3.0),
                                         Number(c.samples()[i])};
    if (i == 1) expected[2] = "s:-Inf";
    if (i == 1) expected[4] = "s:NaN";
    EXPECT_EQ(rows[11 + i], expected) << "sample " << i;
  }
  // Known answers: a double that needs 17 digits comes back as its 16-digit
  // neighbour; one that 16 digits name comes back bit for bit.
  EXPECT_EQ(rows[14][1], Number(0.3));
  EXPECT_EQ(rows[13][1], "n:3fd5555555555555");
}

TEST(XlsxFile, LongRecordContinuesOnFurtherSheets) {
  if (!HasOpenpyxl()) GTEST_SKIP() << "/usr/bin/python3 with openpyxl is missing";
  const ChannelRecord a = MakeRecord(0, 10.0, {0, 1, 2, 3, 4, 5, 6}, "long");
  const std::vector<SlotView> records = {{1, &a}};
  TempDir dir;
  std::string why;
  // Sheets of 14 rows: the 11 header rows and 3 samples.
  ASSERT_TRUE(xlsx_detail::WriteXlsxFile(records, dir / "long.xlsx", &why, 14)) << why;
  const auto sheets = ReadWithOpenpyxl(dir, dir / "long.xlsx");
  ASSERT_EQ(sheets.size(), 3u);
  const char* notes[] = {
      "s:Exporté par TAVRIL v1.02 : échantillons 0 à 2 (feuille 1 sur 3) ; la suite est sur la "
      "feuille « Données 2 ».",
      "s:Exporté par TAVRIL v1.02 : échantillons 3 à 5 (feuille 2 sur 3) ; la suite est sur la "
      "feuille « Données 3 ».",
      "s:Exporté par TAVRIL v1.02 : échantillons 6 à 6 (feuille 3 sur 3)."};
  for (std::size_t s = 0; s < 3; ++s) {
    EXPECT_EQ(sheets[s].first, "Données " + std::to_string(s + 1));
    const Rows& rows = sheets[s].second;
    ASSERT_EQ(rows.size(), s < 2 ? 14u : 12u);
    EXPECT_EQ(rows[0], std::vector<std::string>{notes[s]});
    EXPECT_EQ(rows[1], (std::vector<std::string>{"s:Canal", Number(1)}));
    for (std::size_t r = 11; r < rows.size(); ++r) {
      const double i = static_cast<double>(s * 3 + r - 11);
      EXPECT_EQ(rows[r], (std::vector<std::string>{Number(i / 10.0), Number(i)}));
    }
  }
}

TEST(XlsxFile, FailedWriteLeavesThePreviousFileAndNothingBehind) {
  std::vector<double> noise(20000);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = std::sin(i * 0.37) * 1.234567;
  const ChannelRecord a = MakeRecord(0, 1000.0, noise, "a");
  const std::vector<SlotView> records = {{0, &a}};
  TempDir dir;
  WriteFileBytes(dir / "old.xlsx", "previous");
  std::string why;
  // A file size limit cuts the library's temporary sheet, whose failure the
  // library does not report, or the workbook itself.
  for (const rlim_t limit : {4096, 100000, 300000, 600000}) {
    testing::FileSizeLimit lowered(limit);
    if (!lowered.active()) GTEST_SKIP() << "cannot lower the file size limit";
    EXPECT_FALSE(WriteXlsxFile(records, dir / "old.xlsx", &why)) << limit;
  }
  EXPECT_EQ(why, "le classeur écrit est incomplet (disque plein ou erreur d'écriture)");
  // Each step of the whole-or-nothing writer failing in turn.
  for (int step = 1;; ++step) {
    ScopedWriteFailure failure(step);
    const bool written = WriteXlsxFile(records, dir / "old.xlsx", &why);
    if (failure.steps() < step) {
      EXPECT_TRUE(written);
      break;
    }
    EXPECT_FALSE(written) << step;
    EXPECT_EQ(ReadFileBytes(dir / "old.xlsx"), "previous") << step;
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"old.xlsx"}) << step;
  }
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"old.xlsx"});
}

}  // namespace
}  // namespace tavril
