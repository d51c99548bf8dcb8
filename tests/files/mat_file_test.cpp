#include "files/mat_file.h"

#include <gtest/gtest.h>
#include <matio.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "files/file_writer.h"
#include "model/allocation.h"
#include "support/record_checks.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "text/iso_time.h"

namespace tavril {
namespace {

using testing::Values;

using testing::SetSamples;

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

constexpr double kInf = std::numeric_limits<double>::infinity();

ChannelRecord MakeRecord(std::int16_t chan, double rate, std::vector<double> samples,
                         std::string title) {
  ChannelRecord record;
  record.device = 1;
  record.chan = chan;
  record.gain = -5;
  record.rate = rate;
  SetSamples(record, std::move(samples));
  record.title = std::move(title);
  return record;
}

// Three channels: two rates, two lengths, one without samples, values that
// text would not carry exactly.
struct Example {
  ChannelRecord a = MakeRecord(3, 1000.0,
                               {0.1 + 0.2, -1.0 / 3.0, std::nan(""), -kInf, -0.0, 5e-324,
                                std::numeric_limits<double>::max()},
                               "l'\xE9t\xE9 \x80 \xFF");
  ChannelRecord b = MakeRecord(-7, 44100.0, {1.25, 2.5}, "");
  ChannelRecord c = MakeRecord(0, 3.0, {}, "vide");
  Example() {
    a.acquiredAt = ParseIsoUtc("2026-12-07T12:45:36.123456789Z");
    c.SetCount(1000);
  }
  std::vector<SlotView> Views() const { return {{0, &a}, {2, &c}, {6, &b}}; }
};

std::vector<std::uint64_t> Bits(const std::vector<double>& values) {
  std::vector<std::uint64_t> bits;
  for (const double v : values) bits.push_back(std::bit_cast<std::uint64_t>(v));
  return bits;
}

void ExpectSameBits(const ChannelRecord& actual, const ChannelRecord& expected) {
  EXPECT_EQ(actual.title, expected.title);
  EXPECT_EQ(actual.device, expected.device);
  EXPECT_EQ(actual.chan, expected.chan);
  EXPECT_EQ(actual.gain, expected.gain);
  EXPECT_EQ(actual.count(), expected.count());
  EXPECT_EQ(std::bit_cast<std::uint64_t>(actual.rate), std::bit_cast<std::uint64_t>(expected.rate));
  EXPECT_EQ(Bits(Values(actual)), Bits(Values(expected)));
  EXPECT_EQ(actual.acquiredAt, expected.acquiredAt);
  EXPECT_EQ(
      Bits({actual.statistics().maxValue, actual.statistics().minValue, actual.statistics().mean}),
      Bits({expected.statistics().maxValue, expected.statistics().minValue,
            expected.statistics().mean}));
  EXPECT_EQ(actual.statistics().maxIndex, expected.statistics().maxIndex);
  EXPECT_EQ(actual.statistics().minIndex, expected.statistics().minIndex);
}

TEST(MatFile, RoundTripKeepsEveryFieldBitForBitInBothVersions) {
  const Example example;
  TempDir dir;
  // A limit of 16 bytes sends any longer vector to version 7.3 (HDF5).
  for (const std::uint64_t limit : {mat_detail::kMat5MaxVariableBytes, std::uint64_t{16}}) {
    SCOPED_TRACE(limit);
    std::string why;
    ASSERT_TRUE(mat_detail::WriteMatFile(example.Views(), dir / "essai.mat", &why, limit)) << why;
    // Version 7.3 is an HDF5 file after a 512-byte block that starts as version 5 does.
    const std::string bytes = ReadFileBytes(dir / "essai.mat");
    EXPECT_EQ(bytes.substr(0, 6), "MATLAB");
    EXPECT_EQ(bytes.substr(512, 4) == "\x89HDF", limit == 16);
    ChannelSet set;
    ASSERT_TRUE(ReadMatFile(dir / "essai.mat", set, &why)) << why;
    ASSERT_EQ(set.size(), 3u);
    EXPECT_EQ(set[0].slot, 0);
    EXPECT_EQ(set[1].slot, 2);
    EXPECT_EQ(set[2].slot, 6);
    ExpectSameBits(set[0].record, example.a);
    ExpectSameBits(set[1].record, example.c);
    ExpectSameBits(set[2].record, example.b);
  }
}

// Loads the file and writes every variable: vectors as num2hex, texts as
// their UTF-8 byte values, one line each, in name order.
constexpr const char* kOctaveDump = R"(data = load(FILE);
fid = fopen(OUT, 'w');
names = sort(fieldnames(data));
for k = 1:numel(names)
  v = data.(names{k});
  if isstruct(v)
    for e = 1:numel(v)
      fields = fieldnames(v);
      for j = 1:numel(fields)
        x = v(e).(fields{j});
        fprintf(fid, '%s(%d).%s %s %dx%d', names{k}, e, fields{j}, class(x), rows(x), columns(x));
        for i = 1:numel(x)
          if ischar(x) fprintf(fid, ' %d', double(x(i))); else fprintf(fid, ' %s', num2hex(x(i))); end
        end
        fprintf(fid, '\n');
      end
    end
  else
    fprintf(fid, '%s %s %dx%d', names{k}, class(v), rows(v), columns(v));
    for i = 1:numel(v) fprintf(fid, ' %s', num2hex(v(i))); end
    fprintf(fid, '\n');
  end
end
fclose(fid);
)";

std::string Hex(double value) {
  char text[20];
  std::snprintf(text, sizeof text, " %016llx",
                static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(value)));
  return text;
}

std::string Vector(const std::string& name, const std::vector<double>& values) {
  std::string line = name + " double " + std::to_string(values.size()) + "x1";
  for (const double v : values) line += Hex(v);
  return line + "\n";
}

std::string Field(int element, const std::string& name, const std::string& value) {
  return "channels(" + std::to_string(element) + ")." + name + " " + value + "\n";
}

std::string Text(const std::string& utf8) {
  std::string line =
      "char " + std::string(utf8.empty() ? "0x0" : "1x" + std::to_string(utf8.size()));
  for (const char c : utf8) line += " " + std::to_string(static_cast<unsigned char>(c));
  return line;
}

TEST(MatFile, OctaveLoadsVectorsAndFieldsBitForBit) {
  if (std::system("command -v octave-cli >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "octave-cli is not on PATH";
  const Example example;
  TempDir dir;
  std::string why;
  ASSERT_TRUE(WriteMatFile(example.Views(), dir / "essai.mat", &why)) << why;
  WriteFileBytes(dir / "dump.m", "FILE = '" + (dir / "essai.mat").string() + "';\nOUT = '" +
                                     (dir / "dump.txt").string() + "';\n" + kOctaveDump);
  const std::string command = "octave-cli --no-gui --norc --quiet --no-window-system '" +
                              (dir / "dump.m").string() + "' >'" + (dir / "octave.log").string() +
                              "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadFileBytes(dir / "octave.log");

  std::string expected;
  const struct {
    int slot;
    const ChannelRecord* record;
    std::string title, acquired;
  } channels[] = {{0, &example.a, "l'été € ÿ", "2026-12-07T12:45:36.123456789Z"},
                  {2, &example.c, "vide", ""},
                  {6, &example.b, "", ""}};
  for (int e = 1; e <= 3; ++e) {
    const auto& ch = channels[e - 1];
    const auto number = [](double v) { return "double 1x1" + Hex(v); };
    expected +=
        Field(e, "slot", number(ch.slot)) + Field(e, "title", Text(ch.title)) +
        Field(e, "device", number(ch.record->device)) + Field(e, "chan", number(ch.record->chan)) +
        Field(e, "gain", number(ch.record->gain)) + Field(e, "rate", number(ch.record->rate)) +
        Field(e, "count", number(ch.record->count())) + Field(e, "unit", Text("V")) +
        Field(e, "acquired", Text(ch.acquired));
  }
  const auto times = [](const ChannelRecord& r) {
    std::vector<double> t;
    for (std::size_t i = 0; i < r.sampleCount(); ++i) t.push_back(i / r.rate);
    return t;
  };
  expected += Vector("t0", times(example.a)) + Vector("t2", {}) + Vector("t6", times(example.b)) +
              Vector("y0", Values(example.a)) + Vector("y2", {}) + Vector("y6", Values(example.b));
  EXPECT_EQ(ReadFileBytes(dir / "dump.txt"), expected);
}

// Changes one variable of a written file through matio.
void Rewrite(const std::filesystem::path& file, const char* name,
             const std::function<matvar_t*(matvar_t*)>& change,
             matio_compression compression = MAT_COMPRESSION_NONE) {
  mat_t* mat = Mat_Open(file.c_str(), MAT_ACC_RDWR);
  ASSERT_NE(mat, nullptr);
  matvar_t* variable = Mat_VarRead(mat, name);
  ASSERT_NE(variable, nullptr);
  Mat_VarDelete(mat, name);
  matvar_t* replaced = change(variable);
  if (replaced != nullptr) Mat_VarWrite(mat, replaced, compression);
  if (replaced != variable) Mat_VarFree(replaced);
  Mat_VarFree(variable);
  Mat_Close(mat);
}

TEST(MatFile, RefusesOtherFilesSayingWhyAndKeepsTheRecords) {
  const Example example;
  TempDir dir;
  std::string why;
  ASSERT_TRUE(WriteMatFile(example.Views(), dir / "good.mat", &why)) << why;
  const std::string good = ReadFileBytes(dir / "good.mat");
  std::size_t doubles[2] = {3, 1};
  double three[3] = {1.0, 2.0, 3.0};
  const struct {
    std::function<void(const std::filesystem::path&)> damage;
    std::string why;
  } cases[] = {
      {[](auto& f) { WriteFileBytes(f, "bonjour"); },
       "ce n'est pas un fichier MATLAB de version 5 ou 7.3"},
      {[&](auto& f) { WriteFileBytes(f, good.substr(0, good.size() - 3)); },
       "le fichier est tronqué ou endommagé"},
      {[](auto& f) { Rewrite(f, "channels", [](matvar_t*) { return nullptr; }); },
       "la variable « channels » manque : ce n'est pas un fichier de TAVRIL"},
      {[&](auto& f) {
         Rewrite(f, "y6", [&](matvar_t*) {
           return Mat_VarCreate("y6", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, doubles, three, 0);
         });
       },
       "la variable « y6 » a 3 valeurs alors que son canal en annonce 2"},
      {[](auto& f) {
         Rewrite(
             f, "y0", [](matvar_t* v) { return v; }, MAT_COMPRESSION_ZLIB);
       },
       "la variable « y0 » est compressée ; enregistrez-la avec save -v6 ou -v7.3"},
      {[](auto& f) {
         Rewrite(f, "channels", [](matvar_t* v) {
           std::size_t one[2] = {1, 1};
           char text[] = "x";
           Mat_VarFree(Mat_VarSetStructFieldByName(
               v, "rate", 1, Mat_VarCreate(nullptr, MAT_C_CHAR, MAT_T_UINT8, 2, one, text, 0)));
           return v;
         });
       },
       "le champ « rate » de l'élément 2 de « channels » n'est pas un nombre"},
  };
  for (const auto& c : cases) {
    WriteFileBytes(dir / "bad.mat", good);
    c.damage(dir / "bad.mat");
    ChannelSet set(1);
    set[0].slot = 5;
    EXPECT_FALSE(ReadMatFile(dir / "bad.mat", set, &why));
    EXPECT_EQ(why, c.why);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].slot, 5);
  }
  ASSERT_TRUE(mat_detail::WriteMatFile(example.Views(), dir / "hdf5.mat", &why, 16)) << why;
  const std::string hdf5 = ReadFileBytes(dir / "hdf5.mat");
  WriteFileBytes(dir / "hdf5.mat", hdf5.substr(0, hdf5.size() - 100));
  ChannelSet set;
  EXPECT_FALSE(ReadMatFile(dir / "hdf5.mat", set, &why));
  EXPECT_EQ(why, "le fichier est tronqué ou endommagé");
  ScopedMemoryLimit memory(16);
  EXPECT_FALSE(ReadMatFile(dir / "good.mat", set, &why));
  EXPECT_EQ(why,
            "la mémoire ne peut pas contenir les 9 valeurs du fichier (72 octets, 16 octets "
            "disponibles)");
}

TEST(MatFile, FailedWriteLeavesThePreviousFileAndNothingBehind) {
  const Example example;
  TempDir dir;
  WriteFileBytes(dir / "old.mat", "previous");
  std::string why;
  {
    testing::FileSizeLimit lowered(300);
    if (!lowered.active()) GTEST_SKIP() << "cannot lower the file size limit";
    EXPECT_FALSE(WriteMatFile(example.Views(), dir / "old.mat", &why));
    EXPECT_EQ(why, "le fichier écrit est incomplet (disque plein ou erreur d'écriture)");
  }
  for (int step = 1;; ++step) {
    ScopedWriteFailure failure(step);
    const bool written = WriteMatFile(example.Views(), dir / "old.mat", &why);
    if (failure.steps() < step) {
      EXPECT_TRUE(written);
      break;
    }
    EXPECT_FALSE(written) << step;
    EXPECT_EQ(ReadFileBytes(dir / "old.mat"), "previous") << step;
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"old.mat"}) << step;
  }
}

}  // namespace
}  // namespace tavril
