#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "processing/measurement_table.h"
#include "processing/spectrum.h"
#include "ui/common/session_model.h"
#include "ui/processing/spectrum_plot_widget.h"

class QComboBox;
class QLabel;
class QSpinBox;
class QTimer;

namespace tavril {

// The "Spectre" tool window: the spectrum of the master channel, or of every
// shown channel that holds samples, each in its channel's colour, with the
// window and the number of blocks averaged to choose, and a marker on the
// master's peak (on the first curve's when the master is not drawn).
//
// Modeless, visible from construction; closing it emits closed() and deletes
// it, so the owner keeps it in a QPointer and unchecks its menu item. It
// follows the model: records, master and shown channels; it computes again
// only when what it shows was computed from something else.
//
// With a recording shown in the graph, its channels are transformed over the
// samples across the graph's width, or between the cursors when they are
// shown, read from the file a block at a time; a stretch too long to
// transform is refused with a message. The owner calls FollowView() when the
// cursors move or the graph scrolls: the spectrum follows once they rest.
class SpectrumPanel : public QWidget {
  Q_OBJECT

 public:
  // Blocks of this many points at most, as tavril-cli's spectrum command.
  static constexpr std::size_t kBlockSize = 65536;
  // The most samples of a recording transformed at once.
  static constexpr std::uint64_t kMaxRecordedSamples = std::uint64_t{1} << 24;

  // `graphArea` gives the graph's drawing area, whose width a recording's
  // view spans; without it, that view is the whole recording.
  explicit SpectrumPanel(SessionModel& model, QWidget* owner = nullptr,
                         std::function<ClientSize()> graphArea = {});

  SpectrumPlot* plot() const { return plot_; }
  // The cursors or the view moved.
  void FollowView();

 signals:
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::vector<int> ChannelsToShow() const;
  // Computes the curves again when `force` or when their inputs changed.
  void Update(bool force);
  void UpdateRecording(const std::shared_ptr<ShownRecording>& recording, bool force);
  // The samples of the master's channel the recording's spectrum covers.
  std::optional<SampleRange> RecordedStretch(ShownRecording& recording) const;
  // Draws `curves`, and says under them what was averaged, then `covered`.
  void ShowCurves(std::vector<SpectrumPlot::Curve> curves, std::optional<std::size_t> marked,
                  const QString& covered);

  SessionModel& model_;
  QComboBox* window_ = nullptr;
  QComboBox* channels_ = nullptr;
  QSpinBox* blocks_ = nullptr;
  SpectrumPlot* plot_ = nullptr;
  QLabel* averaged_ = nullptr;  // the blocks the marked curve averages
  SpectrumCalculator calculator_;
  std::vector<std::uint64_t> computedFrom_;
  std::function<ClientSize()> graphArea_;
  QTimer* viewMoved_ = nullptr;
};

}  // namespace tavril
