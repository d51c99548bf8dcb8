#include "session/session_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "files/hdf5_file.h"
#include "support/python_client.h"
#include "support/record_checks.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;

// Eight records as a session holds them: reset ones (without samples, shown
// -1 to 1 V), acquired ones with their time, computed ones with NaN.
Session MakeSession() {
  Session session;
  ResetChannels(session.channels, 2);
  for (int k : {1, 4, 6}) {
    ChannelRecord& record = session.channels[k];
    record.title = "Voie " + std::to_string(k) + " \xE9t\xE9";
    record.gain = static_cast<std::int16_t>(k * 10);
    record.SetCount(static_cast<std::uint32_t>(100 * k + 7));
    record.rate = 2500.0 * k;
    std::vector<double> samples(record.count());
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = std::cos(k * 0.01 * i);
    if (k == 6) samples[3] = std::numeric_limits<double>::quiet_NaN();
    record.TakeSamples(samples);
    record.acquiredAt = std::chrono::system_clock::time_point(std::chrono::seconds(1796647536 + k));
  }
  session.channels[6].acquiredAt.reset();
  // A reset keeps the mean of the samples it dropped.
  session.channels[2].KeepStatistics({0, 1.0, 0, -1.0, 0.125});
  session.masterChannel = 6;
  return session;
}

ViewState MakeView() {
  ViewState view;
  view.scale = {0.125, 37.5, -20, 1234, true};
  view.cursors = {10, -5, true, CursorDrag::kCursor1};
  view.channelShown = {true, false, true, false, false, true, true, false};
  return view;
}

TEST(SessionFile, ReadsBackEveryFieldOfEveryRecordTheMasterAndTheView) {
  TempDir dir;
  const Session session = MakeSession();
  std::string why;
  ASSERT_TRUE(WriteSessionFile(session, MakeView(), dir / "session.h5", &why)) << why;
  SessionContents read;
  ASSERT_TRUE(ReadSessionFile(dir / "session.h5", read, &why)) << why;
  for (int k = 0; k < kChannelCount; ++k) {
    SCOPED_TRACE(k);
    testing::ExpectSameRecordBits(read.channels[k], session.channels[k]);
  }
  EXPECT_EQ(read.masterChannel, 6);
  const ViewState view = MakeView();
  EXPECT_EQ(read.view.scale.pixelsPerSample, view.scale.pixelsPerSample);
  EXPECT_EQ(read.view.scale.pixelsPerVolt, view.scale.pixelsPerVolt);
  EXPECT_EQ(read.view.scale.originY, view.scale.originY);
  EXPECT_EQ(read.view.scale.scrollOffset, view.scale.scrollOffset);
  EXPECT_EQ(read.view.scale.autoScale, view.scale.autoScale);
  EXPECT_EQ(read.view.cursors.cursor1X, view.cursors.cursor1X);
  EXPECT_EQ(read.view.cursors.cursor2X, view.cursors.cursor2X);
  EXPECT_EQ(read.view.cursors.cursorsShown, view.cursors.cursorsShown);
  EXPECT_EQ(read.view.cursors.drag, CursorDrag::kNone);  // a drag ends with the program
  EXPECT_EQ(read.view.channelShown, view.channelShown);
}

TEST(SessionFileRefusals, DamagedSessionsAreRefusedAndNothingChanges) {
  struct Damage {
    const char* name;
    const char* python;
    const char* why;
  };
  const Damage damages[] = {
      {"slot_missing", "del f['channels/channel_4']", "la voie 4 manque dans /channels"},
      {"master_8", "f.attrs['master_channel'] = 8",
       "l'attribut « master_channel » du fichier vaut 8, hors de 0 à 7"},
      {"statistics_missing", "del f['channels/channel_0'].attrs['min_value']",
       "l'attribut « min_value » de /channels/channel_0 manque"},
      {"volt_scale_zero", "f['view'].attrs['pixels_per_volt'] = 0.0",
       "l'attribut « pixels_per_volt » de /view n'est pas un nombre fini supérieur à 0"},
      {"view_missing", "del f['view']", "le groupe /view manque"},
  };
  if (!testing::PythonHas("h5py, numpy")) GTEST_SKIP() << "h5py and numpy are needed";
  TempDir dir;
  ASSERT_TRUE(WriteSessionFile(MakeSession(), MakeView(), dir / "good.h5", nullptr));
  std::string script = "import h5py, numpy, shutil\n";
  for (const Damage& damage : damages) {
    script += std::string("shutil.copy('good.h5', '") + damage.name + ".h5')\n" +
              "with h5py.File('" + damage.name + ".h5', 'r+') as f:\n    " + damage.python + "\n";
  }
  testing::RunPython(dir.path(), script);
  ChannelSet channels{{0, {}}};
  ASSERT_TRUE(WriteHdf5File(ViewsOf(channels), dir / "channels.h5", nullptr));

  std::vector<std::pair<std::string, std::string>> cases{
      {"channels.h5",
       "c'est un fichier de voies TAVRIL, pas une session : importez-le comme des voies"}};
  for (const Damage& damage : damages)
    cases.push_back({std::string(damage.name) + ".h5", damage.why});
  for (const auto& [file, expected] : cases) {
    SCOPED_TRACE(file);
    SessionContents contents;
    contents.masterChannel = 3;
    contents.channels[2].title = "avant";
    std::string why;
    EXPECT_FALSE(ReadSessionFile(dir / file, contents, &why));
    EXPECT_EQ(why, expected);
    EXPECT_EQ(contents.masterChannel, 3);
    EXPECT_EQ(contents.channels[2].title, "avant");
    EXPECT_EQ(contents.view.scale.scrollOffset, 0);
  }
}

// Files on which libhdf5 itself crashes, asks for gigabytes or loops: the
// program survives each and says why it refuses it.
TEST(SessionFileRefusals, FilesTheLibraryDoesNotSurviveAreRefused) {
  const std::filesystem::path folder =
      std::filesystem::path(TAVRIL_TEST_DATA_DIR) / ".." / "fuzz" / "libhdf5_faults";
  const std::string stopped =
      "la bibliothèque HDF5 s'est arrêtée sur ce fichier, sans doute endommagé";
  const std::pair<const char*, std::string> cases[] = {
      {"chunk_dimension_zero", stopped},
      {"global_heap_loop",
       "la bibliothèque HDF5 ne vient pas à bout de ce fichier, sans doute endommagé"},
      // What these give depends on the heap and the allocator: a refusal.
      {"attribute_decode_overread", ""},
      {"attribute_datatype_far_read", ""},
      {"object_header_4gib", ""},
      // The helper's memory runs out within its bound.
      {"local_heap_free_list_loop", ""},
  };
  for (const auto& [file, expected] : cases) {
    SCOPED_TRACE(file);
    SessionContents contents;
    contents.masterChannel = 3;
    std::string why;
    EXPECT_FALSE(ReadSessionFile(folder / file, contents, &why));
    if (!expected.empty()) {
      EXPECT_EQ(why, expected);
    }
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(contents.masterChannel, 3);
  }
}

}  // namespace
}  // namespace tavril
