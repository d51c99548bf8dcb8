#include "files/recording_reader.h"

#include <gtest/gtest.h>
#include <hdf5.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "display/recording_envelope.h"
#include "files/hdf5_attributes.h"
#include "files/hdf5_file.h"
#include "files/hdf5_handles.h"
#include "files/overview_file.h"
#include "model/code_polynomial.h"
#include "support/python_client.h"
#include "support/record_checks.h"
#include "support/recording_codes.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

using testing::TempDir;
using Range = std::pair<std::uint64_t, std::uint64_t>;

const RecordingChannel kChannels[] = {{1, "un", 0, 1, 1, 1000.0, {}},
                                      {4, "quatre", 0, 4, 1, 1000.0, {}}};

// A 12-bit board calibrated by a curved polynomial.
ReadingConversion Calibrated() {
  ReadingConversion conversion;
  VoltScale& scale = conversion.scale;
  scale.form = VoltScale::Form::kPolynomial;
  scale.lowestReading = -2048;
  scale.highestReading = 2047;
  scale.zeroCode = 2048;
  scale.coefficients[0] = -10.02;
  scale.coefficients[1] = 20.0 / 4095;
  scale.coefficients[2] = 1e-8;
  scale.order = 2;
  scale.origin = 0.0;
  conversion.gainAdjust = 1.01;
  conversion.offset = 3.0;
  return conversion;
}

BoardReading Code(std::uint64_t i, std::size_t channel) {
  return static_cast<BoardReading>((i * 37 + channel * 1000) % 4096) - 2048;
}

// Writes `count` scans of both channels in uneven pieces, then flushes.
void Record(Hdf5Recording& recording, std::uint64_t from, std::uint64_t count) {
  ASSERT_TRUE(testing::AppendCodesUnevenly(recording, Calibrated(), 2, from, count, &Code));
}

// The volts the file gives and the overview built from them in memory.
MemoryOverview Expected(std::uint64_t count, std::size_t channel) {
  const CodePolynomial polynomial = CodePolynomial::Of(Calibrated());
  std::vector<double> volts;
  for (std::uint64_t i = 0; i < count; ++i) volts.push_back(polynomial.Volts(Code(i, channel)));
  MemoryOverview overview;
  overview.Append(volts);
  return overview;
}

TEST(RecordingReader, ReadsAnyRangeAndTheOverviewAsTheyWereWritten) {
  TempDir dir;
  const std::uint64_t count = 3 * (std::uint64_t{1} << 19) + 5000;  // four chunks, the last partial
  auto recording = Hdf5Recording::Create(dir / "rec.h5", kChannels, nullptr);
  ASSERT_TRUE(recording && recording->Started(1000.0, Calibrated(), nullptr));
  Record(*recording, 0, count);
  ASSERT_TRUE(recording->Close(nullptr));

  std::string why;
  const auto reader = RecordingReader::Open(dir / "rec.h5", &why);
  ASSERT_TRUE(reader) << why;
  ASSERT_TRUE(reader->HoldsCodes());
  ASSERT_EQ(reader->Channels().size(), 2u);
  EXPECT_EQ(reader->Channels()[1].settings.slot, 4);
  EXPECT_EQ(reader->Channels()[1].settings.title, "quatre");
  for (std::size_t k = 0; k < 2; ++k) {
    MemoryOverview expected = Expected(count, k);
    EXPECT_EQ(reader->Channels()[k].sampleCount, count);
    for (const auto& [first, end] :
         {Range{0, 1}, Range{(1 << 19) - 3, (1 << 19) + 5}, Range{1234, 1234 + (1 << 19) + 17},
          Range{count - 700, count}}) {
      std::vector<double> got(end - first), want(end - first);
      std::vector<std::int32_t> codes(end - first);
      ASSERT_TRUE(reader->ReadVolts(k, first, got, &why)) << why;
      ASSERT_TRUE(expected.Samples(first, want));
      EXPECT_EQ(got, want) << first;
      ASSERT_TRUE(reader->ReadCodes(k, first, codes, &why)) << why;
      EXPECT_EQ(codes.back(), Code(end - 1, k));
      // The same nodes and samples read in the same order: the same sums.
      OverviewStatistics fromFile, inMemory;
      ASSERT_TRUE(OverviewRange(reader->Source(k), first, end, fromFile));
      ASSERT_TRUE(OverviewRange(expected, first, end, inMemory));
      EXPECT_EQ(fromFile.minimum, inMemory.minimum);
      EXPECT_EQ(fromFile.maximum, inMemory.maximum);
      EXPECT_EQ(fromFile.sum, inMemory.sum);
      EXPECT_EQ(fromFile.sumOfSquares, inMemory.sumOfSquares);
    }
    for (std::size_t level = 0; level < 4; ++level) {
      const std::vector<OverviewNode>& nodes = expected.Level(level);
      ASSERT_EQ(reader->Source(k).NodeCount(level), nodes.size()) << level;
      std::vector<OverviewNode> read(nodes.size());
      ASSERT_TRUE(reader->Source(k).Nodes(level, 0, read));
      EXPECT_EQ(read, nodes) << level;
    }
  }
  // numpy, through the layout's line, gets the very doubles of a curved calibration.
  if (testing::PythonHas("h5py, numpy")) {
    testing::RunPython(dir.path(), R"(
import h5py, numpy
d = h5py.File('rec.h5', 'r')['channels/channel_4']
volts = numpy.polynomial.polynomial.polyval(d[:d.attrs['count']] - d.attrs['code_origin'], d.attrs['volts_coefficients'])
volts.astype('<f8').tofile('volts.bin')
)");
    std::vector<double> all(count);
    ASSERT_TRUE(reader->ReadVolts(1, 0, all, &why)) << why;
    const std::string bytes = testing::ReadFileBytes(dir / "volts.bin");
    ASSERT_EQ(bytes.size(), count * sizeof(double));
    EXPECT_EQ(std::memcmp(bytes.data(), all.data(), bytes.size()), 0);
  }
  std::vector<double> pastTheEnd(2);
  EXPECT_FALSE(reader->ReadVolts(0, count - 1, pastTheEnd, &why));
  EXPECT_EQ(why, "les échantillons " + std::to_string(count - 1) + " à " +
                     std::to_string(count + 1) + " dépassent les " + std::to_string(count) +
                     " de /channels/channel_1");
}

TEST(RecordingReader, FollowsARecordingStillBeingWrittenUpToItsLastFlush) {
  TempDir dir;
  auto recording = Hdf5Recording::Create(dir / "rec.h5", kChannels, nullptr);
  ASSERT_TRUE(recording && recording->Started(1000.0, Calibrated(), nullptr));
  Record(*recording, 0, 1000);
  std::string why;
  const auto reader = RecordingReader::Open(dir / "rec.h5", &why);
  ASSERT_TRUE(reader) << why;
  EXPECT_EQ(reader->Channels()[0].sampleCount, 1000u);
  Record(*recording, 1000, 600000);
  EXPECT_EQ(reader->Channels()[0].sampleCount, 1000u);
  ASSERT_TRUE(reader->Refresh(&why)) << why;
  EXPECT_EQ(reader->Channels()[0].sampleCount, 601000u);
  std::vector<double> got(2000), want(2000);
  ASSERT_TRUE(reader->ReadVolts(1, 599000, got, &why)) << why;
  ASSERT_TRUE(Expected(601000, 1).Samples(599000, want));
  EXPECT_EQ(got, want);
  EXPECT_EQ(reader->Source(1).NodeCount(0), 601000u / kOverviewBlockSamples);
  ASSERT_TRUE(recording->Close(nullptr));
}

// A recording in the layout written directly through the library: one
// channel whose count goes past 2^32, of which only the chunks around 2^32
// were ever written; the others read as the fill value, code 0.
bool WriteSparseRecording(const std::filesystem::path& path, std::uint64_t count,
                          std::uint64_t length) {
  const Hdf5Use use;
  const Hdf5File file(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT));
  const Hdf5Group group(H5Gcreate2(file.get(), "channels", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
  const hsize_t dims = length, chunk = hsize_t{1} << 19, unlimited = H5S_UNLIMITED;
  const Hdf5Dataspace space(H5Screate_simple(1, &dims, &unlimited));
  const Hdf5PropertyList creation(H5Pcreate(H5P_DATASET_CREATE));
  H5Pset_chunk(creation.get(), 1, &chunk);
  const Hdf5Dataset dataset(H5Dcreate2(group.get(), "channel_0", H5T_STD_I16LE, space.get(),
                                       H5P_DEFAULT, creation.get(), H5P_DEFAULT));
  std::vector<std::int16_t> codes(20);
  for (std::size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<std::int16_t>(i + 1);
  const hsize_t start = (hsize_t{1} << 32) - 10, size = codes.size();
  const Hdf5Dataspace memory(H5Screate_simple(1, &size, nullptr));
  H5Sselect_hyperslab(space.get(), H5S_SELECT_SET, &start, nullptr, &size, nullptr);
  const double coefficients[] = {0.5, 0.25};
  Hdf5AttributeWriter(file.get())
      .Utf8("format", "TAVRIL recording")
      .Integer("format_version", H5T_STD_I32LE, 2);
  Hdf5AttributeWriter attributes(dataset.get());
  attributes.Integer("slot", H5T_STD_I32LE, 0)
      .Utf8("title", "")
      .Integer("device", H5T_STD_I16LE, 1)
      .Integer("chan", H5T_STD_I16LE, 0)
      .Integer("gain", H5T_STD_I16LE, 1)
      .Integer("count", H5T_STD_U64LE, static_cast<std::int64_t>(count))
      .Double("rate", 1e6)
      .Double("code_origin", 0.0)
      .Doubles("volts_coefficients", coefficients);
  return attributes.ok() && H5Dwrite(dataset.get(), H5T_NATIVE_INT16, memory.get(), space.get(),
                                     H5P_DEFAULT, codes.data()) >= 0;
}

TEST(RecordingReader, CountsPast32BitsInASparseRecording) {
  TempDir dir;
  const std::uint64_t count = (std::uint64_t{1} << 32) + (std::uint64_t{1} << 20);
  ASSERT_TRUE(WriteSparseRecording(dir / "sparse.h5", count, count + 7));
  std::string why;
  const auto reader = RecordingReader::Open(dir / "sparse.h5", &why);
  ASSERT_TRUE(reader) << why;
  EXPECT_EQ(reader->Channels()[0].sampleCount, count);
  std::vector<double> volts(24);
  ASSERT_TRUE(reader->ReadVolts(0, (std::uint64_t{1} << 32) - 12, volts, &why)) << why;
  EXPECT_EQ(volts[0], 0.5);   // never written
  EXPECT_EQ(volts[2], 0.75);  // code 1
  EXPECT_EQ(volts[21], 5.5);  // code 20
  EXPECT_EQ(volts[22], 0.5);
  OverviewStatistics statistics;
  ASSERT_TRUE(OverviewRange(reader->Source(0), (std::uint64_t{1} << 32) - 12,
                            (std::uint64_t{1} << 32) + 12, statistics));
  EXPECT_EQ(statistics.sampleCount, 24u);
  EXPECT_EQ(statistics.maximum, 5.5);
  EXPECT_EQ(statistics.sum, 4 * 0.5 + 20 * 0.5 + 0.25 * 210);
  // Columns whose bounds pass 2^32.
  RecordingEnvelope envelope(*reader, 0);
  const std::uint64_t bounds[] = {(std::uint64_t{1} << 32) - 12, (std::uint64_t{1} << 32) - 9,
                                  (std::uint64_t{1} << 32) + 9, (std::uint64_t{1} << 32) + 12};
  std::vector<ValueExtent> columns(3);
  ASSERT_TRUE(envelope.Extents(bounds, columns)) << envelope.LastFailure();
  EXPECT_EQ(columns[0].minimum, 0.5);
  EXPECT_EQ(columns[0].maximum, 0.75);
  EXPECT_EQ(columns[1].maximum, 5.25);
  EXPECT_EQ(columns[2].minimum, 0.5);
  EXPECT_EQ(columns[2].maximum, 5.5);

  // A count the dataset does not hold is refused.
  ASSERT_TRUE(WriteSparseRecording(dir / "short.h5", count, count - 1));
  EXPECT_FALSE(RecordingReader::Open(dir / "short.h5", &why));
  EXPECT_EQ(why, "/channels/channel_0 contient " + std::to_string(count - 1) +
                     " valeurs alors que son attribut « count » en annonce " +
                     std::to_string(count));
}

TEST(OverviewFile, IsBuiltBesideAFileWithoutOneAndUsedWhileItMatches) {
  TempDir dir;
  std::vector<double> samples;
  for (int i = 0; i < 300000; ++i) samples.push_back(std::sin(i * 0.001) + (i % 7) * 0.01);
  ChannelRecord record;
  testing::SetSamples(record, samples);
  record.rate = 1000.0;
  const auto path = dir / "voies.h5";
  ASSERT_TRUE(WriteHdf5File(std::vector<SlotView>{{2, &record}}, path, nullptr));
  std::string why;
  // Read in volts, and without an overview from the samples.
  const auto bare = RecordingReader::Open(path, &why);
  ASSERT_TRUE(bare) << why;
  EXPECT_FALSE(bare->HoldsCodes() || bare->HasOverview());
  EXPECT_EQ(bare->Channels()[0].settings.slot, 2);
  std::vector<double> three(3);
  ASSERT_TRUE(bare->ReadVolts(0, 1000, three, &why)) << why;
  EXPECT_TRUE(std::equal(three.begin(), three.end(), samples.begin() + 1000));
  OverviewStatistics statistics;
  ASSERT_TRUE(OverviewRange(bare->Source(0), 1000, 1003, statistics));
  EXPECT_EQ(statistics.sum, (samples[1000] + samples[1001]) + samples[1002]);
  std::vector<std::int32_t> codes(1);
  EXPECT_FALSE(bare->ReadCodes(0, 0, codes, &why));
  std::uint64_t told = 0;
  // Cancelled at its first progress: nothing left behind.
  EXPECT_EQ(BuildOverviewFile(
                path, [&](std::uint64_t, std::uint64_t) { return false; }, &why),
            OverviewBuild::kCancelled);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"voies.h5"});
  const auto count = [&](std::uint64_t done, std::uint64_t total) {
    told = done;
    return total == samples.size();
  };
  ASSERT_EQ(BuildOverviewFile(path, count, &why), OverviewBuild::kBuilt) << why;
  EXPECT_EQ(told, samples.size());
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"voies.h5", "voies.h5.overview"}));
  EXPECT_EQ(BuildOverviewFile(path, count, &why), OverviewBuild::kNotNeeded);

  const auto reader = RecordingReader::Open(path, &why);
  ASSERT_TRUE(reader && reader->HasOverview()) << why;
  MemoryOverview expected;
  expected.Append(samples);
  for (std::size_t level = 0; level < 3; ++level) {
    std::vector<OverviewNode> read(expected.Level(level).size());
    ASSERT_EQ(reader->Source(0).NodeCount(level), read.size());
    ASSERT_TRUE(reader->Source(0).Nodes(level, 0, read));
    EXPECT_EQ(read, expected.Level(level));
  }
  // The file changed since: its side file no longer describes it.
  ASSERT_TRUE(WriteHdf5File(std::vector<SlotView>{{2, &record}}, path, nullptr));
  const auto changed = RecordingReader::Open(path, &why);
  ASSERT_TRUE(changed);
  EXPECT_FALSE(changed->HasOverview());
  EXPECT_EQ(changed->Source(0).NodeCount(0), 0u);
}

}  // namespace
}  // namespace tavril
