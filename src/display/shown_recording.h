#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "display/recording_curve.h"
#include "display/view_state.h"
#include "files/isolated_check.h"
#include "files/recording_reader.h"
#include "model/channel_record.h"
#include "model/recording_overview.h"

namespace tavril {

// A recording the graph shows in place of the records: its channels stay in
// the file and are read by range as the view asks, so that a recording of
// any length opens at once. Slots are the channel table's: a recording's
// channel keeps the slot it was recorded from.
class ShownRecording {
 public:
  // Opens the recording at `path`; nothing, with `why` in French, when it is
  // no recording or a damaged one.
  static std::unique_ptr<ShownRecording> Open(const std::filesystem::path& path, std::string* why,
                                              CheckPlace check = CheckPlace::kAside);
  ShownRecording(std::unique_ptr<RecordingReader> reader, std::filesystem::path path);
  ShownRecording(const ShownRecording&) = delete;
  ShownRecording& operator=(const ShownRecording&) = delete;

  const std::filesystem::path& path() const { return path_; }
  RecordingReader& reader() { return *reader_; }

  // The channel recorded from `slot`; null when the recording has none.
  const RecordedChannel* Channel(int slot) const;
  std::uint64_t SampleCount(int slot) const;
  // The most samples of any channel.
  std::uint64_t LongestCount() const;
  // The lowest slot recorded (-1 for a recording without channels).
  int FirstSlot() const;

  // Level statistics of the whole channel of `slot`, from its overview: kept
  // until the channel grows. False, with `why`, when the file cannot be read.
  bool WholeStatistics(int slot, OverviewStatistics& statistics, std::string* why);
  // Sample `index` of the channel of `slot`, in volts; false past its count
  // or when the file cannot be read.
  bool ReadSample(int slot, std::uint64_t index, double& volts);
  // Samples [first, first + volts.size()) of the channel of `slot`.
  bool ReadVolts(int slot, std::uint64_t first, std::span<double> volts, std::string* why);
  OverviewSource& Source(int slot);
  RecordingCurve& Curve(int slot);

  // Reads the counts of a file still being written again; true when a
  // channel grew, the revision then changing.
  bool Refresh(std::string* why);
  // Changes whenever the samples shown may have changed.
  std::uint64_t revision() const { return revision_; }

 private:
  std::unique_ptr<RecordingReader> reader_;
  std::filesystem::path path_;
  std::array<std::optional<std::size_t>, kChannelCount> indexOfSlot_{};
  std::array<std::unique_ptr<RecordingCurve>, kChannelCount> curves_{};
  struct KeptStatistics {
    std::uint64_t count = 0;  // of the samples they describe; 0 for none
    OverviewStatistics statistics;
  };
  std::array<KeptStatistics, kChannelCount> statistics_{};
  std::uint64_t revision_ = 1;
};

// Shows `recording` in the graph in place of the records (or of the
// recording shown before), the records' scale, cursors and zoom steps kept
// for when they come back. The scale is then the recording's, to be fitted.
void ShowRecordingInView(ViewState& view, std::shared_ptr<ShownRecording> recording);
// Shows the records again, as they were shown before; nothing when they are.
void ShowRecordsInView(ViewState& view);
// The view as the records have it, for what saves it with them.
ViewState RecordsViewOf(const ViewState& view);

}  // namespace tavril
