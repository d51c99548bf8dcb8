#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "processing/measurement_table.h"
#include "ui/common/session_model.h"

class QLabel;
class QRadioButton;
class QTableWidget;
class QTimer;

namespace tavril {

// The measurements window ("Mesures"): one row per shown channel that holds
// samples, measured over the whole record or between the cursors, the
// cursors' differences on the master record, and "Copier", which puts the
// rows on the clipboard as tab-separated text.
//
// A modeless tool window, visible from construction; closing it emits
// closed() and deletes it, as the display panel does. It follows the model's
// signals by itself; the owner calls ScheduleUpdate() when the cursors move
// or the graph scrolls. Updates are gathered and run once at the next turn
// of the event loop, and whole records are measured again only when their
// samples changed.
//
// With a recording shown in the graph, the rows are its shown channels: the
// whole recording gives the level statistics of its overview; between the
// cursors, the stretch is measured from its samples read from the file, with
// a progress dialog that can stop it when it is long, and only once the
// cursors have paused.
class MeasurementsWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MeasurementsWindow(SessionModel& model, QWidget* owner = nullptr);

  void ScheduleUpdate();
  void CopyToClipboard();

 signals:
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // What a whole record measured, and which samples it measured.
  struct WholeRecord {
    std::uint64_t revision = 0;  // of the samples measured
    double rate = 0;
    WaveMeasurements values;
  };

  // What was last measured between the cursors of a recording. A recording
  // only grows: the same samples of the same channels measure the same.
  struct RecordedStretches {
    std::weak_ptr<ShownRecording> recording;
    std::vector<int> shownSlots;
    std::vector<std::optional<SampleRange>> ranges;
    std::vector<MeasurementRow> rows;
    QString status;
  };

  void Update();
  MeasurementRow WholeRecordRow(int channel);
  void UpdateRecording(const std::shared_ptr<ShownRecording>& recording);
  // Measures `ranges` of the channels of `shownSlots`, one each; the rows
  // stay in stretches_.
  void MeasureRecordedStretches(const std::shared_ptr<ShownRecording>& shown,
                                const std::vector<int>& shownSlots,
                                const std::vector<std::optional<SampleRange>>& ranges);
  void ShowRows();
  void ShowStatus(const QString& text);

  SessionModel& model_;
  QRadioButton* whole_ = nullptr;
  QRadioButton* betweenCursors_ = nullptr;
  QTableWidget* table_ = nullptr;
  std::array<QLabel*, 3> differences_{};
  QTimer* pending_ = nullptr;
  QElapsedTimer pendingSince_;
  std::vector<MeasurementRow> rows_;
  std::array<WholeRecord, kChannelCount> wholeRecords_{};
  QLabel* status_ = nullptr;  // why a recording's row is incomplete; hidden otherwise
  RecordedStretches stretches_;
  // Under its progress dialog, a long measurement lets the events through:
  // an update asked for meanwhile waits for it to end.
  bool measuring_ = false;
  bool updateAfterMeasuring_ = false;
};

}  // namespace tavril
