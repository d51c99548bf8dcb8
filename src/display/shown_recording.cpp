#include "display/shown_recording.h"

#include <algorithm>

namespace tavril {

std::unique_ptr<ShownRecording> ShownRecording::Open(const std::filesystem::path& path,
                                                     std::string* why, CheckPlace check) {
  std::unique_ptr<RecordingReader> reader = RecordingReader::Open(path, why, check);
  if (reader == nullptr) return nullptr;
  return std::make_unique<ShownRecording>(std::move(reader), path);
}

ShownRecording::ShownRecording(std::unique_ptr<RecordingReader> reader, std::filesystem::path path)
    : reader_(std::move(reader)), path_(std::move(path)) {
  const std::span<const RecordedChannel> channels = reader_->Channels();
  for (std::size_t k = 0; k < channels.size(); ++k) {
    const int slot = channels[k].settings.slot;
    if (slot < 0 || slot >= kChannelCount) continue;
    indexOfSlot_[slot] = k;
    curves_[slot] = std::make_unique<RecordingCurve>(*reader_, k);
  }
}

const RecordedChannel* ShownRecording::Channel(int slot) const {
  if (slot < 0 || slot >= kChannelCount || !indexOfSlot_[slot]) return nullptr;
  return &reader_->Channels()[*indexOfSlot_[slot]];
}

std::uint64_t ShownRecording::SampleCount(int slot) const {
  const RecordedChannel* channel = Channel(slot);
  return channel == nullptr ? 0 : channel->sampleCount;
}

std::uint64_t ShownRecording::LongestCount() const {
  std::uint64_t longest = 0;
  for (const RecordedChannel& channel : reader_->Channels())
    longest = std::max(longest, channel.sampleCount);
  return longest;
}

int ShownRecording::FirstSlot() const {
  for (int slot = 0; slot < kChannelCount; ++slot) {
    if (indexOfSlot_[slot]) return slot;
  }
  return -1;
}

bool ShownRecording::WholeStatistics(int slot, OverviewStatistics& statistics, std::string* why) {
  const std::uint64_t count = SampleCount(slot);
  KeptStatistics& kept = statistics_[std::clamp(slot, 0, kChannelCount - 1)];
  if (count == 0 || kept.count != count) {
    if (count > 0 && !OverviewRange(Source(slot), 0, count, kept.statistics)) {
      if (why != nullptr) *why = reader_->LastFailure();
      return false;
    }
    kept.count = count;
  }
  statistics = count == 0 ? OverviewStatistics{} : kept.statistics;
  return true;
}

bool ShownRecording::ReadSample(int slot, std::uint64_t index, double& volts) {
  return ReadVolts(slot, index, std::span<double>(&volts, 1), nullptr);
}

bool ShownRecording::ReadVolts(int slot, std::uint64_t first, std::span<double> volts,
                               std::string* why) {
  if (Channel(slot) == nullptr) return false;
  return reader_->ReadVolts(*indexOfSlot_[slot], first, volts, why);
}

OverviewSource& ShownRecording::Source(int slot) {
  return reader_->Source(*indexOfSlot_[slot]);
}

RecordingCurve& ShownRecording::Curve(int slot) {
  return *curves_[slot];
}

bool ShownRecording::Refresh(std::string* why) {
  std::array<std::uint64_t, kChannelCount> counts{};
  for (int slot = 0; slot < kChannelCount; ++slot) counts[slot] = SampleCount(slot);
  if (!reader_->Refresh(why)) return false;
  for (int slot = 0; slot < kChannelCount; ++slot) {
    if (SampleCount(slot) != counts[slot]) {
      ++revision_;
      return true;
    }
  }
  return false;
}

void ShowRecordingInView(ViewState& view, std::shared_ptr<ShownRecording> recording) {
  if (!view.recording) {
    view.recordsView =
        ViewState::RecordsView{view.scale, view.cursors, view.zoomHistory, view.triggerMark};
  }
  view.recording = std::move(recording);
  view.zoomHistory.clear();
  view.scale.autoScale = false;
  view.triggerMark.reset();
}

void ShowRecordsInView(ViewState& view) {
  if (!view.recording) return;
  view.recording.reset();
  if (view.recordsView) {
    view.scale = view.recordsView->scale;
    view.cursors = view.recordsView->cursors;
    view.zoomHistory = std::move(view.recordsView->zoomHistory);
    view.triggerMark = view.recordsView->triggerMark;
  }
  view.recordsView.reset();
}

ViewState RecordsViewOf(const ViewState& view) {
  ViewState records = view;
  ShowRecordsInView(records);
  return records;
}

}  // namespace tavril
