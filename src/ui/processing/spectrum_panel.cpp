#include "ui/processing/spectrum_panel.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include <array>
#include <bit>

#include "display/channel_colours.h"
#include "processing/spectrum_text.h"
#include "text/number_text.h"
#include "ui/processing/spectrum_plot_widget.h"

namespace tavril {
namespace {

constexpr std::array<SpectrumWindow, 3> kWindows = {
    SpectrumWindow::kRectangular, SpectrumWindow::kHann, SpectrumWindow::kFlatTop};

}  // namespace

SpectrumPanel::SpectrumPanel(SessionModel& model, QWidget* owner)
    : QWidget(owner, Qt::Tool), model_(model) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Spectre"));

  window_ = new QComboBox(this);
  window_->setObjectName(QStringLiteral("window"));
  for (const SpectrumWindow window : kWindows)
    window_->addItem(QString::fromUtf8(SpectrumWindowLabel(window).data(),
                                       static_cast<int>(SpectrumWindowLabel(window).size())));
  window_->setCurrentIndex(1);  // Hann, as tavril-cli
  channels_ = new QComboBox(this);
  channels_->setObjectName(QStringLiteral("channels"));
  channels_->addItems({QStringLiteral("Canal maître"), QStringLiteral("Canaux affichés")});
  blocks_ = new QSpinBox(this);
  blocks_->setObjectName(QStringLiteral("blocks"));
  blocks_->setRange(1, 64);
  blocks_->setValue(16);
  blocks_->setSuffix(QStringLiteral(" blocs"));
  plot_ = new SpectrumPlot(this);
  averaged_ = new QLabel(this);
  averaged_->setObjectName(QStringLiteral("averaged"));

  auto* options = new QHBoxLayout;
  options->addWidget(new QLabel(QStringLiteral("Fenêtre :"), this));
  options->addWidget(window_);
  options->addSpacing(12);
  options->addWidget(channels_);
  options->addSpacing(12);
  options->addWidget(new QLabel(QStringLiteral("Moyenne : au plus"), this));
  options->addWidget(blocks_);
  options->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(options);
  layout->addWidget(plot_, 1);
  layout->addWidget(averaged_);
  resize(640, 420);

  const auto follow = [this] { Update(false); };
  connect(window_, &QComboBox::currentIndexChanged, this, follow);
  connect(channels_, &QComboBox::currentIndexChanged, this, follow);
  connect(blocks_, &QSpinBox::valueChanged, this, follow);
  connect(&model_, &SessionModel::masterChannelChanged, this, follow);
  connect(&model_, &SessionModel::viewRefreshed, this, follow);
  // A record may change in place and keep every field the key below reads.
  connect(&model_, &SessionModel::recordsChanged, this, [this] { Update(true); });
  Update(true);
  show();
}

void SpectrumPanel::closeEvent(QCloseEvent* event) {
  emit closed();
  QWidget::closeEvent(event);
}

std::vector<int> SpectrumPanel::ChannelsToShow() const {
  const Session& session = model_.session();
  if (channels_->currentIndex() == 0) {
    if (HoldsSamples(session.channels[session.masterChannel])) return {session.masterChannel};
    return {};
  }
  std::vector<int> shown;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if (model_.view().channelShown[channel] && HoldsSamples(session.channels[channel]))
      shown.push_back(channel);
  }
  return shown;
}

void SpectrumPanel::Update(bool force) {
  const Session& session = model_.session();
  const SpectrumWindow window = kWindows[static_cast<std::size_t>(window_->currentIndex())];
  const std::vector<int> channels = ChannelsToShow();
  std::vector<std::uint64_t> from = {static_cast<std::uint64_t>(window_->currentIndex()),
                                     static_cast<std::uint64_t>(blocks_->value()),
                                     static_cast<std::uint64_t>(session.masterChannel)};
  for (const int channel : channels) {
    const ChannelRecord& record = session.channels[channel];
    from.insert(from.end(), {static_cast<std::uint64_t>(channel), record.revision(),
                             std::bit_cast<std::uint64_t>(record.rate)});
  }
  if (!force && from == computedFrom_) return;
  computedFrom_ = std::move(from);

  std::vector<SpectrumPlot::Curve> curves;
  std::optional<std::size_t> marked;
  for (const int channel : channels) {
    const ChannelRecord& record = session.channels[channel];
    SpectrumPlot::Curve& curve = curves.emplace_back();
    curve.colour = QColor::fromRgb(kChannelColours[static_cast<std::size_t>(channel)]);
    calculator_.Compute(record.samples(), record.rate, window, kBlockSize, blocks_->value(),
                        curve.spectrum);
    if (channel == session.masterChannel) marked = curves.size() - 1;
  }
  if (!marked && !curves.empty()) marked = 0;
  // The record may give fewer blocks than asked for, or need more to count
  // every sample: say what was averaged.
  QString averaged = QStringLiteral("—");
  if (marked && !curves[*marked].spectrum.dbv.empty()) {
    const Spectrum& spectrum = curves[*marked].spectrum;
    averaged = QStringLiteral("Moyenne de %1 ; raies de %2 Hz")
                   .arg(QString::fromStdString(SpectrumBlocksText(spectrum)),
                        QString::fromStdString(FormatFixed(spectrum.binHz, 3)));
  }
  averaged_->setText(averaged);
  plot_->SetCurves(std::move(curves), marked);
}

}  // namespace tavril
