#pragma once

#include <QWidget>

#include <array>
#include <cstdint>
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

  void Update();
  MeasurementRow WholeRecordRow(int channel);
  void ShowRows();

  SessionModel& model_;
  QRadioButton* whole_ = nullptr;
  QRadioButton* betweenCursors_ = nullptr;
  QTableWidget* table_ = nullptr;
  std::array<QLabel*, 3> differences_{};
  QTimer* pending_ = nullptr;
  std::vector<MeasurementRow> rows_;
  std::array<WholeRecord, kChannelCount> wholeRecords_{};
};

}  // namespace tavril
