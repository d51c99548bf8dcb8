#include "ui/processing/measurements_window.h"

#include <QBoxLayout>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>

#include "display/graph_scale.h"
#include "text/text_encoding.h"
#include "ui/processing/recording_measurements.h"

namespace tavril {
namespace {

// How long the cursors must rest before a recording's stretch is measured.
constexpr int kCursorPauseMs = 250;
constexpr qint64 kLongestWaitMs = 1000;
// Stretches of more samples than this are measured with a progress dialog.
constexpr std::uint64_t kLongStretchSamples = std::uint64_t{1} << 24;
constexpr int kProgressSteps = 1000;

QString ReadFailure(const std::string& why) {
  return QStringLiteral("Lecture de l'enregistrement impossible : %1")
      .arg(QString::fromStdString(why));
}

std::uint64_t LengthOf(const SampleRange& range) {
  return std::uint64_t{range.last} - range.first + 1;
}

}  // namespace

MeasurementsWindow::MeasurementsWindow(SessionModel& model, QWidget* owner)
    : QWidget(owner,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      model_(model) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Mesures"));

  whole_ = new QRadioButton(QStringLiteral("Tout l'enregistrement"), this);
  betweenCursors_ = new QRadioButton(QStringLiteral("Entre les curseurs"), this);
  whole_->setChecked(true);
  auto* choice = new QHBoxLayout;
  choice->addWidget(whole_);
  choice->addWidget(betweenCursors_);
  choice->addStretch();

  QStringList headers = {QStringLiteral("Canal"), QStringLiteral("Titre")};
  for (const MeasurementColumn& column : kMeasurementColumns) {
    headers << QString::fromUtf8(column.header.data(),
                                 static_cast<qsizetype>(column.header.size()));
  }
  table_ = new QTableWidget(0, static_cast<int>(headers.size()), this);
  table_->setHorizontalHeaderLabels(headers);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();

  auto* bottom = new QHBoxLayout;
  bottom->setSpacing(24);
  for (QLabel*& label : differences_) {
    label = new QLabel(this);
    bottom->addWidget(label);
  }
  bottom->addStretch();
  auto* copy = new QPushButton(QStringLiteral("Copier"), this);
  bottom->addWidget(copy);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  status_->hide();

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(choice);
  layout->addWidget(table_);
  layout->addWidget(status_);
  layout->addLayout(bottom);

  pending_ = new QTimer(this);
  pending_->setSingleShot(true);
  pending_->setInterval(0);
  connect(pending_, &QTimer::timeout, this, &MeasurementsWindow::Update);
  pendingSince_.start();
  connect(whole_, &QRadioButton::toggled, this, [this] {
    // Choosing the cursors again measures again, even a measurement cancelled.
    stretches_ = {};
    ScheduleUpdate();
  });
  connect(copy, &QPushButton::clicked, this, &MeasurementsWindow::CopyToClipboard);
  connect(&model_, &SessionModel::recordsChanged, this, &MeasurementsWindow::ScheduleUpdate);
  connect(&model_, &SessionModel::masterChannelChanged, this, &MeasurementsWindow::ScheduleUpdate);
  connect(&model_, &SessionModel::viewRefreshed, this, &MeasurementsWindow::ScheduleUpdate);

  resize(1180, 280);
  Update();
  show();
}

void MeasurementsWindow::ScheduleUpdate() {
  // Between the cursors of a recording, each measurement reads its stretch
  // from the file: a cursor dragged across it is measured once it rests.
  // Whatever else keeps asking, the update waits no more than kLongestWaitMs
  // unless a cursor is being dragged.
  const ViewState& view = model_.view();
  if (view.recording && view.cursors.cursorsShown && betweenCursors_->isChecked()) {
    if (!pending_->isActive()) pendingSince_.start();
    if (!pending_->isActive() || view.cursors.drag != CursorDrag::kNone ||
        pendingSince_.elapsed() < kLongestWaitMs) {
      pending_->start(kCursorPauseMs);
    }
    return;
  }
  if (!pending_->isActive()) pending_->start(0);
}

void MeasurementsWindow::CopyToClipboard() {
  // A copy reflects what has changed, even if the window has not shown it yet.
  if (pending_->isActive()) {
    pending_->stop();
    Update();
  }
  QGuiApplication::clipboard()->setText(QString::fromStdString(MeasurementsTsv(rows_)));
}

void MeasurementsWindow::closeEvent(QCloseEvent* event) {
  emit closed();
  QWidget::closeEvent(event);
}

MeasurementRow MeasurementsWindow::WholeRecordRow(int channel) {
  const Session& session = model_.session();
  const ChannelRecord& record = session.channels[channel];
  WholeRecord& whole = wholeRecords_[channel];
  if (whole.revision != record.revision() || whole.rate != record.rate) {
    whole = {record.revision(), record.rate, MeasureWave(record.samples(), record.rate)};
  }
  MeasurementRow row;
  row.channel = channel;
  row.title = Windows1252ToUtf8(record.title);
  row.master = channel == session.masterChannel;
  row.range = SamplesOf(MeasuredStretch::WholeRecord(), record.sampleCount(), record.rate);
  row.values = whole.values;
  return row;
}

void MeasurementsWindow::Update() {
  // A long measurement lets the events through under its progress dialog.
  if (measuring_) {
    updateAfterMeasuring_ = true;
    return;
  }
  if (const std::shared_ptr<ShownRecording> recording = model_.view().recording) {
    UpdateRecording(recording);
    return;
  }
  ShowStatus({});
  const Session& session = model_.session();
  const ViewState& view = model_.view();
  const bool cursorsShown = view.cursors.cursorsShown;
  betweenCursors_->setEnabled(cursorsShown);
  const std::int32_t index1 = PixelToSample(view.scale, view.cursors.cursor1X);
  const std::int32_t index2 = PixelToSample(view.scale, view.cursors.cursor2X);
  const bool betweenCursors = cursorsShown && betweenCursors_->isChecked();

  rows_.clear();
  for (int channel = 0; channel < kChannelCount; ++channel) {
    const ChannelRecord& record = session.channels[channel];
    if (!view.channelShown[channel] || !HoldsSamples(record)) continue;
    rows_.push_back(betweenCursors
                        ? MeasureChannel(record, channel, channel == session.masterChannel,
                                         MeasuredStretch::BetweenSamples(index1, index2),
                                         &Windows1252ToUtf8)
                        : WholeRecordRow(channel));
  }
  ShowRows();

  const CursorDifferences differences =
      cursorsShown ? MeasureCursorDifferences(session.Master(), index1, index2)
                   : CursorDifferences{};
  const std::array<std::string, 3> texts = CursorDifferenceTexts(differences);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    differences_[i]->setText(QString::fromStdString(texts[i]));
  }
}

void MeasurementsWindow::UpdateRecording(const std::shared_ptr<ShownRecording>& recording) {
  const ViewState& view = model_.view();
  const bool cursorsShown = view.cursors.cursorsShown;
  betweenCursors_->setEnabled(cursorsShown);
  const std::int64_t index1 = PixelToSample64(view.scale, view.cursors.cursor1X);
  const std::int64_t index2 = PixelToSample64(view.scale, view.cursors.cursor2X);
  std::vector<int> measuredSlots;
  for (int slot = 0; slot < kChannelCount; ++slot) {
    if (view.channelShown[slot] && recording->SampleCount(slot) > 0) measuredSlots.push_back(slot);
  }

  if (cursorsShown && betweenCursors_->isChecked()) {
    std::vector<std::optional<SampleRange>> ranges;
    for (const int slot : measuredSlots)
      ranges.push_back(RecordedSamplesBetween(index1, index2, recording->SampleCount(slot)));
    const RecordedStretches& kept = stretches_;
    if (kept.recording.lock() != recording || kept.shownSlots != measuredSlots ||
        kept.ranges != ranges) {
      MeasureRecordedStretches(recording, measuredSlots, ranges);
    }
    rows_ = stretches_.rows;
    ShowStatus(stretches_.status);
  } else {
    rows_.clear();
    QString status;
    for (const int slot : measuredSlots) {
      MeasurementRow& row = rows_.emplace_back();
      row.channel = slot;
      row.title = Windows1252ToUtf8(recording->Channel(slot)->settings.title);
      row.range = SampleRange{0, static_cast<std::size_t>(recording->SampleCount(slot) - 1)};
      OverviewStatistics statistics;
      std::string why;
      if (recording->WholeStatistics(slot, statistics, &why)) {
        row.values = LevelMeasurements(statistics);
      } else {
        status = ReadFailure(why);
      }
    }
    ShowStatus(status);
  }
  const int master = model_.session().masterChannel;
  for (MeasurementRow& row : rows_) row.master = row.channel == master;
  ShowRows();

  const CursorDifferences differences =
      cursorsShown ? RecordedCursorDifferences(*recording, master, index1, index2)
                   : CursorDifferences{};
  const std::array<std::string, 3> texts = CursorDifferenceTexts(differences);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    differences_[i]->setText(QString::fromStdString(texts[i]));
  }
}

void MeasurementsWindow::MeasureRecordedStretches(
    const std::shared_ptr<ShownRecording>& shown, const std::vector<int>& measuredSlots,
    const std::vector<std::optional<SampleRange>>& ranges) {
  ShownRecording& recording = *shown;
  std::uint64_t total = 0;
  for (const std::optional<SampleRange>& range : ranges) {
    if (range) total += LengthOf(*range);
  }
  std::unique_ptr<QProgressDialog> progress;
  if (total > kLongStretchSamples) {
    progress = std::make_unique<QProgressDialog>(
        QStringLiteral("Mesure de %1 points entre les curseurs…").arg(total),
        QStringLiteral("Annuler"), 0, kProgressSteps, this);
    progress->setWindowTitle(QStringLiteral("Mesures"));
    // Nothing may change the recording while it is read.
    progress->setWindowModality(Qt::ApplicationModal);
    progress->setMinimumDuration(0);
    progress->setValue(0);
  }

  measuring_ = true;
  std::vector<MeasurementRow> rows;
  QString status;
  bool stopped = false;
  std::uint64_t before = 0;  // samples of the channels already measured
  for (std::size_t i = 0; i < measuredSlots.size(); ++i) {
    const int slot = measuredSlots[i];
    MeasurementRow& row = rows.emplace_back();
    row.channel = slot;
    row.title = Windows1252ToUtf8(recording.Channel(slot)->settings.title);
    row.range = ranges[i];
    if (!row.range) continue;
    const SampleRange& range = *row.range;
    std::string why;
    if (!stopped) {
      const MeasureProgress step = [&](std::uint64_t done) {
        if (!progress) return true;
        progress->setValue(static_cast<int>(static_cast<double>(before + done) /
                                            static_cast<double>(total) * kProgressSteps));
        return !progress->wasCanceled();
      };
      const std::optional<WaveMeasurements> measured =
          MeasureRecordedStretch(recording, slot, range, step, &why);
      before += LengthOf(range);
      if (measured) {
        row.values = *measured;
        continue;
      }
      stopped = progress && progress->wasCanceled();
      if (!stopped) {
        status = ReadFailure(why);
        continue;
      }
    }
    // Stopped: the levels come from the overview at once, the timing stays empty.
    OverviewStatistics statistics;
    if (OverviewRange(recording.Source(slot), range.first, std::uint64_t{range.last} + 1,
                      statistics)) {
      row.values = LevelMeasurements(statistics);
    }
    status = QStringLiteral(
        "Mesure interrompue : fréquence, période, rapport cyclique et temps non mesurés ; "
        "déplacez un curseur pour mesurer de nouveau.");
  }
  progress.reset();
  measuring_ = false;

  stretches_ = {shown, measuredSlots, ranges, std::move(rows), status};
  if (updateAfterMeasuring_) {
    updateAfterMeasuring_ = false;
    ScheduleUpdate();
  }
}

void MeasurementsWindow::ShowStatus(const QString& text) {
  status_->setText(text);
  status_->setVisible(!text.isEmpty());
}

void MeasurementsWindow::ShowRows() {
  table_->setRowCount(static_cast<int>(rows_.size()));
  const auto put = [this](int row, int column, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    if (column != 1) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table_->setItem(row, column, item);
  };
  for (int r = 0; r < table_->rowCount(); ++r) {
    const MeasurementRow& row = rows_[static_cast<std::size_t>(r)];
    put(r, 0,
        row.master ? QStringLiteral("%1 (maître)").arg(row.channel) : QString::number(row.channel));
    put(r, 1, QString::fromStdString(row.title));
    for (std::size_t c = 0; c < kMeasurementColumns.size(); ++c) {
      const MeasurementColumn& column = kMeasurementColumns[c];
      put(r, static_cast<int>(c) + 2,
          QString::fromStdString(MeasurementText(column, row.values.*column.value)));
    }
  }
  table_->resizeColumnsToContents();
}

}  // namespace tavril
