#include "files/hdf5_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <future>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "files/file_writer.h"
#include "files/hdf5_handles.h"
#include "files/isolated_check.h"
#include "model/allocation.h"
#include "support/python_client.h"
#include "support/record_checks.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace tavril {
namespace {

using testing::Values;

using testing::SetSamples;

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

ChannelRecord Record(std::int16_t chan, double rate, std::vector<double> samples,
                     std::string title) {
  ChannelRecord record;
  record.chan = chan;
  record.rate = rate;
  SetSamples(record, std::move(samples));
  record.title = std::move(title);
  return record;
}

// 2026-12-07T12:45:36.123456789Z
const std::chrono::system_clock::time_point kAcquired{
    std::chrono::nanoseconds(1796647536123456789)};

// Slots 0, 3, 7, 5: accents and a time; non-finite values and extremes; more
// than two chunks and every title byte; no samples.
ChannelSet Records() {
  ChannelSet set;
  set.push_back({0, Record(0, 1000.0, {0.5, -0.25, 1.0}, "\xE9t\xE9 \x80 \xB5V \xA7 \xFF")});
  set[0].record.acquiredAt = kAcquired;
  set.push_back(
      {3, Record(-1, 0.0,
                 {kInf, -kInf, kNaN, std::bit_cast<double>(0x7ff8000000000123ull),
                  std::bit_cast<double>(0xfff0000000000001ull), -0.0,
                  std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::max(),
                  std::numeric_limits<double>::lowest()},
                 "")});
  set[1].record.device = -32768;
  set[1].record.gain = 32767;
  std::vector<double> wave(300000);
  for (std::size_t i = 0; i < wave.size(); ++i) wave[i] = 4.0 * std::sin(0.001 * i);
  std::string everyByte;
  for (int c = 1; c < 256; ++c) everyByte += static_cast<char>(c);
  set.push_back({7, Record(7, 44100.0, std::move(wave), everyByte)});
  set.push_back({5, Record(5, 100000.0, {}, "vide")});
  set[3].record.SetCount(1000);
  return set;
}

// libhdf5 1.10 does not free the chunk it was writing when the disk refuses
// it: while this lives, what the library allocates is not reported as leaked.
struct LibraryLeaksAllowed {
#if defined(__SANITIZE_ADDRESS__)
  LibraryLeaksAllowed() {
    __lsan_disable();
  }
  ~LibraryLeaksAllowed() {
    __lsan_enable();
  }
#endif
};

std::string Bytes(const std::vector<double>& samples) {
  return {reinterpret_cast<const char*>(samples.data()), samples.size() * sizeof(double)};
}

TEST(Hdf5File, ReadsBackEveryRecordBitForBitInSlotOrder) {
  TempDir dir;
  const ChannelSet written = Records();
  std::string why;
  ASSERT_TRUE(WriteHdf5File(ViewsOf(written), dir / "voies.h5", &why)) << why;
  ChannelSet read;
  ASSERT_TRUE(ReadHdf5File(dir / "voies.h5", read, &why)) << why;
  ASSERT_EQ(read.size(), 4u);
  const int slots[] = {0, 3, 5, 7};
  const int from[] = {0, 1, 3, 2};
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(slots[k]);
    EXPECT_EQ(read[k].slot, slots[k]);
    testing::ExpectSameRecordBits(read[k].record, written[from[k]].record);
  }
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"voies.h5"});
}

// Two outside readers: h5dump's binary dump of each dataset and h5py's values
// are the record's bytes; h5py sees the layout and attributes as documented.
TEST(Hdf5FileClients, H5dumpAndH5pyReadTheValuesAndAttributes) {
  if (!testing::PythonHas("h5py, numpy")) GTEST_SKIP() << "h5py and numpy are needed";
  TempDir dir;
  const ChannelSet written = Records();
  ASSERT_TRUE(WriteHdf5File(ViewsOf(written), dir / "voies.h5", nullptr));
  for (const int k : {0, 1, 2}) {
    const std::string name = "channel_" + std::to_string(written[k].slot);
    const std::string dump = (dir / (name + ".h5dump")).string();
    testing::RunCommand("h5dump -d /channels/" + name + " -b LE -o " + testing::ShellQuoted(dump) +
                        " " + testing::ShellQuoted((dir / "voies.h5").string()));
    EXPECT_TRUE(ReadFileBytes(dump) == Bytes(Values(written[k].record))) << name;
  }
  const std::string printed = testing::RunPython(dir.path(), R"(
import h5py, numpy
def show(attrs):
    for key in sorted(attrs):
        value = attrs[key]
        if isinstance(value, bytes):
            print(' ', key, 'bytes', repr(value.decode('utf-8')))
        else:
            print(' ', key, value.dtype.name, repr(value.item()))
with h5py.File('voies.h5', 'r') as f:
    show(f.attrs)
    for name, d in f['channels'].items():
        print(name, d.dtype.str, d.shape, d.maxshape, d.chunks, d.compression)
        d[...].astype('<f8').tofile(name + '.h5py')
    show(f['channels/channel_0'].attrs)
)");
  EXPECT_EQ(printed,
            "  creator bytes 'TAVRIL v1.02'\n"
            "  format bytes 'TAVRIL channels'\n"
            "  format_version int32 1\n"
            "channel_0 <f8 (3,) (None,) (3,) None\n"
            "channel_3 <f8 (9,) (None,) (9,) None\n"
            "channel_5 <f8 (0,) (None,) (131072,) None\n"
            "channel_7 <f8 (300000,) (None,) (131072,) None\n"
            "  acquired_at bytes '2026-12-07T12:45:36.123456789Z'\n"
            "  chan int16 0\n"
            "  count uint32 3\n"
            "  device int16 0\n"
            "  gain int16 0\n"
            "  max_index uint32 2\n"
            "  max_value float64 1.0\n"
            "  mean float64 0.4166666666666667\n"
            "  min_index uint32 1\n"
            "  min_value float64 -0.25\n"
            "  rate float64 1000.0\n"
            "  sample_interval float64 0.001\n"
            "  slot int32 0\n"
            "  time_unit bytes 's'\n"
            "  title bytes 'été € µV § ÿ'\n"
            "  unit bytes 'V'\n");
  for (const SlotRecord& entry : written) {
    const std::string name = "channel_" + std::to_string(entry.slot);
    EXPECT_TRUE(ReadFileBytes(dir / (name + ".h5py")) == Bytes(Values(entry.record))) << name;
  }
}

// Another writer's choices: other names, int64 and fixed-length string
// attributes, big-endian compressed samples.
TEST(Hdf5FileClients, ReadsAFileH5pyWroteInTheDocumentedLayout) {
  if (!testing::PythonHas("h5py, numpy")) GTEST_SKIP() << "h5py and numpy are needed";
  TempDir dir;
  testing::RunPython(dir.path(), R"(
import h5py, numpy
with h5py.File('h5py.h5', 'w') as f:
    f.attrs.update(creator='h5py', format='TAVRIL channels', format_version=1)
    d = f.create_dataset('channels/tension', compression='gzip',
                         data=numpy.array([1.5, -2.25, numpy.nan, 1e-300], dtype='>f8'))
    d.attrs.update(slot=2, title='Tension aux bornes é', device=1, chan=4, gain=10, count=4,
                   rate=2500, acquired_at='2026-12-07T12:45:36.5Z')
    e = f.create_dataset('channels/courant', data=numpy.zeros(0))
    e.attrs.update(slot=6, title=numpy.bytes_(b'I'), device=1, chan=5, gain=1,
                   count=numpy.uint32(1000), rate=100000.0)
)");
  ChannelSet read;
  std::string why;
  ASSERT_TRUE(ReadHdf5File(dir / "h5py.h5", read, &why)) << why;
  ASSERT_EQ(read.size(), 2u);
  ChannelRecord tension = Record(4, 2500.0, {1.5, -2.25, kNaN, 1e-300}, "Tension aux bornes \xE9");
  tension.device = 1;
  tension.gain = 10;
  tension.acquiredAt =
      std::chrono::system_clock::time_point(std::chrono::milliseconds(1796647536500));
  EXPECT_EQ(read[0].slot, 2);
  testing::ExpectSameRecordBits(read[0].record, tension);
  ChannelRecord current = Record(5, 100000.0, {}, "I");
  current.device = 1;
  current.gain = 1;
  current.SetCount(1000);
  EXPECT_EQ(read[1].slot, 6);
  testing::ExpectSameRecordBits(read[1].record, current);
}

struct Damage {
  const char* name;
  const char* python;  // changes the file `f` (h5py, open for writing); `d` is channel_0
  const char* why;
};

// Each damaged copy is refused with its reason, the records left as they were.
TEST(Hdf5FileRefusals, DamagedFilesAreRefusedWithTheirReason) {
  const Damage damages[] = {
      {"rate_missing", "del d.attrs['rate']", "l'attribut « rate » de /channels/channel_0 manque"},
      {"gain_float", "d.attrs['gain'] = 1.5",
       "l'attribut « gain » de /channels/channel_0 n'est pas un nombre entier"},
      {"title_long", "d.attrs['title'] = 'x' * 300",
       "le titre de /channels/channel_0 dépasse 255 caractères"},
      {"slot_9", "d.attrs['slot'] = 9",
       "l'attribut « slot » de /channels/channel_0 vaut 9, hors de 0 à 7"},
      {"slot_twice", "f['channels/channel_3'].attrs['slot'] = 0",
       "la voie 0 figure deux fois (/channels/channel_0 et /channels/channel_3)"},
      {"count_differs", "d.attrs['count'] = numpy.uint32(2)",
       "/channels/channel_0 contient 3 valeurs alors que son attribut « count » en annonce 2"},
      {"time_impossible", "d.attrs['acquired_at'] = '2026-02-30T00:00:00Z'",
       "l'attribut « acquired_at » de /channels/channel_0 n'est pas une date ISO 8601 en UTC "
       "(AAAA-MM-JJTHH:MM:SSZ)"},
      {"float32", "replace(d[...].astype('<f4'))",
       "/channels/channel_0 ne contient pas des nombres à virgule flottante de 64 bits (float64)"},
      {"two_dimensions", "replace(d[...].reshape(3, 1))",
       "/channels/channel_0 n'est pas un tableau à une dimension"},
      {"format_missing", "del f.attrs['format']",
       "l'attribut « format » du fichier manque : ce n'est pas un fichier écrit par TAVRIL"},
      {"version_2", "f.attrs['format_version'] = 2",
       "version 2 du format « TAVRIL channels » : ce programme lit la version 1"},
  };
  if (!testing::PythonHas("h5py, numpy")) GTEST_SKIP() << "h5py and numpy are needed";
  TempDir dir;
  const ChannelSet written = Records();
  ASSERT_TRUE(WriteHdf5File(ViewsOf(written), dir / "good.h5", nullptr));
  std::string script = R"(
import h5py, numpy, shutil
def replace(data):
    attrs = dict(d.attrs)
    del f['channels/channel_0']
    f.create_dataset('channels/channel_0', data=data).attrs.update(attrs)
)";
  // The index of channel 7's chunks sends its second chunk past the end.
  script += R"(
import struct
with h5py.File('good.h5', 'r') as f:
    chunk = struct.pack('<Q', f['channels/channel_7'].id.get_chunk_info(1).byte_offset)
b = bytearray(open('good.h5', 'rb').read())
assert b.count(chunk) == 1
k = b.find(chunk)
b[k:k + 8] = struct.pack('<Q', len(b) + 4096)
open('chunk_outside.h5', 'wb').write(b)
)";
  for (const Damage& damage : damages) {
    script += std::string("shutil.copy('good.h5', '") + damage.name + ".h5')\n" +
              "with h5py.File('" + damage.name + ".h5', 'r+') as f:\n" +
              "    d = f['channels/channel_0']\n    " + damage.python + "\n";
  }
  testing::RunPython(dir.path(), script);

  const std::string good = ReadFileBytes(dir / "good.h5");
  std::string signature = good;
  signature.replace(signature.find("TREE"), 4, "TRFE");
  WriteFileBytes(dir / "truncated.h5", good.substr(0, good.size() / 2));
  WriteFileBytes(dir / "signature.h5", signature);
  WriteFileBytes(dir / "text.h5", "Titre = essai\xA7\r\n");
  std::vector<std::pair<std::string, std::string>> cases{
      {"truncated.h5", "ouverture du fichier HDF5 : le fichier est tronqué"},
      {"signature.h5", "lecture de /channels : structures internes du fichier endommagées"},
      {"text.h5", "ce n'est pas un fichier HDF5"},
      {"missing.h5", "impossible de l'ouvrir (fichier ou dossier introuvable)"},
      {"chunk_outside.h5", "/channels/channel_7 : l'emplacement de ses valeurs est endommagé"},
  };
  for (const Damage& damage : damages)
    cases.push_back({std::string(damage.name) + ".h5", damage.why});
  for (const auto& [file, expected] : cases) {
    SCOPED_TRACE(file);
    ChannelSet records{{4, Record(4, 10.0, {1.0}, "avant")}};
    std::string why;
    EXPECT_FALSE(ReadHdf5File(dir / file, records, &why));
    EXPECT_EQ(why, expected);
    ASSERT_EQ(records.size(), 1u);
    testing::ExpectSameRecordBits(records[0].record, Record(4, 10.0, {1.0}, "avant"));
  }
}

TEST(Hdf5FileRefusals, MoreSamplesThanMemoryHoldsAreRefusedBeforeAllocating) {
  TempDir dir;
  ASSERT_TRUE(WriteHdf5File(ViewsOf(Records()), dir / "voies.h5", nullptr));
  const ScopedMemoryLimit memory(1 << 20);
  ChannelSet records;
  std::string why;
  EXPECT_FALSE(ReadHdf5File(dir / "voies.h5", records, &why));
  EXPECT_EQ(why,
            "la mémoire ne peut pas contenir les 300012 valeurs du fichier (2.4 Mo, 1.0 Mo "
            "disponibles)");
  EXPECT_TRUE(records.empty());
}

// Eight channels each small enough for the memory, too large together: the
// file is refused before any channel is read, with the memory it would take.
TEST(Hdf5FileRefusals, ChannelsTooLargeTogetherAreRefusedBeforeAnyIsRead) {
  TempDir dir;
  ChannelSet set;
  for (int slot = 0; slot < kChannelCount; ++slot) set.push_back({slot, Record(0, 1e3, {}, "")});
  ASSERT_TRUE(WriteHdf5File(ViewsOf(set), dir / "voies.h5", nullptr));
  {  // a million values per channel, in chunks never written
    const Hdf5Use use;
    const Hdf5File file(H5Fopen((dir / "voies.h5").c_str(), H5F_ACC_RDWR, H5P_DEFAULT));
    const hsize_t length = 1000000;
    for (int slot = 0; slot < kChannelCount; ++slot) {
      const std::string name = "/channels/channel_" + std::to_string(slot);
      const Hdf5Dataset dataset(H5Dopen2(file.get(), name.c_str(), H5P_DEFAULT));
      const Hdf5Attribute count(H5Aopen(dataset.get(), "count", H5P_DEFAULT));
      ASSERT_GE(H5Dset_extent(dataset.get(), &length), 0);
      ASSERT_GE(H5Awrite(count.get(), H5T_NATIVE_ULLONG, &length), 0);
    }
  }
  const ScopedMemoryLimit memory(16 << 20);
  const ScopedAllocationFailure requests(1000);
  ChannelSet records;
  std::string why;
  EXPECT_FALSE(ReadHdf5File(dir / "voies.h5", records, &why));
  EXPECT_EQ(why,
            "la mémoire ne peut pas contenir les 8000000 valeurs du fichier (64.0 Mo, 16.8 Mo "
            "disponibles)");
  EXPECT_EQ(requests.requests(), 0);
}

// Every step of the writer fails in turn, once and for good: the previous
// file stays byte for byte, no temporary is left, and the reason is given.
TEST(Hdf5FileWriteFailures, LeaveThePreviousFileIntact) {
  TempDir dir;
  const ChannelSet old{{1, Record(1, 10.0, {1.0, 2.0}, "ancien")}};
  ASSERT_TRUE(WriteHdf5File(ViewsOf(old), dir / "voies.h5", nullptr));
  const std::string before = ReadFileBytes(dir / "voies.h5");
  const ChannelSet records = Records();
  // Creating the temporary, fsync, close, rename: the library writes the rest.
  const char* reasons[] = {"impossible de créer le fichier (disque plein)",
                           "impossible d'écrire le fichier (erreur d'entrée-sortie du disque)",
                           "impossible d'écrire le fichier (erreur d'entrée-sortie du disque)",
                           "impossible d'écrire le fichier (disque plein)"};
  for (int nth = 1; nth <= 4; ++nth) {
    for (const bool andAfter : {false, true}) {
      SCOPED_TRACE(nth);
      std::string why;
      {
        ScopedWriteFailure failure(nth, andAfter);
        EXPECT_FALSE(WriteHdf5File(ViewsOf(records), dir / "voies.h5", &why));
      }
      EXPECT_EQ(why, reasons[nth - 1]);
      EXPECT_TRUE(ReadFileBytes(dir / "voies.h5") == before);
      EXPECT_EQ(dir.Entries(), std::vector<std::string>{"voies.h5"});
    }
  }
  // A disk that fills up while the library writes the samples.
  std::string why;
  {
    testing::FileSizeLimit limit(1 << 20);
    ASSERT_TRUE(limit.active());
    [[maybe_unused]] const LibraryLeaksAllowed leaks;
    EXPECT_FALSE(WriteHdf5File(ViewsOf(records), dir / "voies.h5", &why));
  }
  EXPECT_EQ(why, "écriture des valeurs de la voie 7 : erreur d'écriture (fichier trop grand)");
  EXPECT_TRUE(ReadFileBytes(dir / "voies.h5") == before);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"voies.h5"});
  // There is no fifth step; the same records give the same bytes.
  const ScopedWriteFailure fifth(5);
  EXPECT_TRUE(WriteHdf5File(ViewsOf(old), dir / "voies.h5", nullptr));
  EXPECT_TRUE(ReadFileBytes(dir / "voies.h5") == before);
}

// A check aside starts a program of its own: nothing another thread of this
// one holds, the library's lock during a recording for one, can stop it.
TEST(FileCheckAside, PassesWhileAnotherThreadHoldsTheHdf5Library) {
  TempDir dir;
  ASSERT_TRUE(WriteHdf5File(ViewsOf(Records()), dir / "voies.h5", nullptr));
  std::promise<void> held;
  std::promise<void> released;
  std::thread recording([&] {
    const Hdf5Use use;
    held.set_value();
    released.get_future().wait();
  });
  held.get_future().wait();
  std::string why;
  EXPECT_TRUE(CheckFileAside(FileCheck::kChannelsHdf5, dir / "voies.h5", &why)) << why;
  released.set_value();
  recording.join();
}

TEST(FileCheckAside, TheHelperIsLookedForBesideTheProgramThenInLibexec) {
  TempDir dir;
  const std::filesystem::path bin = dir / "bin";
  const std::filesystem::path libexec = dir / "libexec" / "tavril";
  std::filesystem::create_directories(bin);
  std::filesystem::create_directories(libexec);
  EXPECT_EQ(FindFileCheckProgram(bin), std::filesystem::path());
  const auto install = [](const std::filesystem::path& folder) {
    WriteFileBytes(folder / kFileCheckProgram, "");
    std::filesystem::permissions(folder / kFileCheckProgram, std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
  };
  install(libexec);
  EXPECT_EQ(FindFileCheckProgram(bin), bin / ".." / "libexec" / "tavril" / kFileCheckProgram);
  install(bin);
  EXPECT_EQ(FindFileCheckProgram(bin), bin / kFileCheckProgram);
}

}  // namespace
}  // namespace tavril
