#include "ui/processing/measurements_window.h"

#include <QBoxLayout>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>

#include "display/graph_scale.h"
#include "text/text_encoding.h"

namespace tavril {

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

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(choice);
  layout->addWidget(table_);
  layout->addLayout(bottom);

  pending_ = new QTimer(this);
  pending_->setSingleShot(true);
  pending_->setInterval(0);
  connect(pending_, &QTimer::timeout, this, &MeasurementsWindow::Update);
  connect(whole_, &QRadioButton::toggled, this, &MeasurementsWindow::ScheduleUpdate);
  connect(copy, &QPushButton::clicked, this, &MeasurementsWindow::CopyToClipboard);
  connect(&model_, &SessionModel::recordsChanged, this, &MeasurementsWindow::ScheduleUpdate);
  connect(&model_, &SessionModel::masterChannelChanged, this, &MeasurementsWindow::ScheduleUpdate);
  connect(&model_, &SessionModel::viewRefreshed, this, &MeasurementsWindow::ScheduleUpdate);

  resize(1180, 280);
  Update();
  show();
}

void MeasurementsWindow::ScheduleUpdate() {
  if (!pending_->isActive()) pending_->start();
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
