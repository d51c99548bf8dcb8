#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

#include "processing/spectrum.h"
#include "ui/common/session_model.h"

class QComboBox;
class QLabel;
class QSpinBox;

namespace tavril {

class SpectrumPlot;

// The "Spectre" tool window: the spectrum of the master channel, or of every
// shown channel that holds samples, each in its channel's colour, with the
// window and the number of blocks averaged to choose, and a marker on the
// master's peak (on the first curve's when the master is not drawn).
//
// Modeless, visible from construction; closing it emits closed() and deletes
// it, so the owner keeps it in a QPointer and unchecks its menu item. It
// follows the model: records, master and shown channels; it computes again
// only when what it shows was computed from something else.
class SpectrumPanel : public QWidget {
  Q_OBJECT

 public:
  // Blocks of this many points at most, as tavril-cli's spectrum command.
  static constexpr std::size_t kBlockSize = 65536;

  explicit SpectrumPanel(SessionModel& model, QWidget* owner = nullptr);

  SpectrumPlot* plot() const { return plot_; }

 signals:
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::vector<int> ChannelsToShow() const;
  // Computes the curves again when `force` or when their inputs changed.
  void Update(bool force);

  SessionModel& model_;
  QComboBox* window_ = nullptr;
  QComboBox* channels_ = nullptr;
  QSpinBox* blocks_ = nullptr;
  SpectrumPlot* plot_ = nullptr;
  QLabel* averaged_ = nullptr;  // the blocks the marked curve averages
  SpectrumCalculator calculator_;
  std::vector<std::uint64_t> computedFrom_;
};

}  // namespace tavril
