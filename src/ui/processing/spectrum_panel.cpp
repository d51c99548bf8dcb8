#include "ui/processing/spectrum_panel.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <array>
#include <bit>

#include "display/channel_colours.h"
#include "display/graph_scale.h"
#include "processing/spectrum_text.h"
#include "text/number_text.h"
#include "ui/processing/recording_measurements.h"

namespace tavril {
namespace {

constexpr std::array<SpectrumWindow, 3> kWindows = {
    SpectrumWindow::kRectangular, SpectrumWindow::kHann, SpectrumWindow::kFlatTop};

// How long the cursors or the view must rest before a recording's spectrum
// is computed again.
constexpr int kViewPauseMs = 250;

// Marks a key computed from a recording, so that it never equals a records' key.
constexpr std::uint64_t kRecordingKey = ~std::uint64_t{0};

}  // namespace

SpectrumPanel::SpectrumPanel(SessionModel& model, QWidget* owner,
                             std::function<ClientSize()> graphArea)
    : QWidget(owner, Qt::Tool), model_(model), graphArea_(std::move(graphArea)) {
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

  viewMoved_ = new QTimer(this);
  viewMoved_->setSingleShot(true);
  viewMoved_->setInterval(kViewPauseMs);
  const auto follow = [this] { Update(false); };
  connect(viewMoved_, &QTimer::timeout, this, follow);
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

void SpectrumPanel::FollowView() {
  // Records are transformed whole: only a recording's spectrum follows the view.
  if (model_.view().recording) viewMoved_->start();
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
  if (const std::shared_ptr<ShownRecording> recording = model_.view().recording) {
    UpdateRecording(recording, force);
    return;
  }
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
  ShowCurves(std::move(curves), marked, {});
}

std::optional<SampleRange> SpectrumPanel::RecordedStretch(ShownRecording& recording) const {
  const ViewState& view = model_.view();
  const std::uint64_t count = recording.SampleCount(model_.session().masterChannel);
  if (view.cursors.cursorsShown) {
    return RecordedSamplesBetween(PixelToSample64(view.scale, view.cursors.cursor1X),
                                  PixelToSample64(view.scale, view.cursors.cursor2X), count);
  }
  if (!graphArea_) return RecordedSamplesBetween(0, static_cast<std::int64_t>(count) - 1, count);
  const std::int64_t first = PixelToSample64(view.scale, 0);
  const std::int64_t end = PixelToSample64(view.scale, graphArea_().width);
  return RecordedSamplesBetween(first, std::max(first, end - 1), count);
}

void SpectrumPanel::UpdateRecording(const std::shared_ptr<ShownRecording>& recording, bool force) {
  const int master = model_.session().masterChannel;
  std::vector<int> channels;
  for (int slot = 0; slot < kChannelCount; ++slot) {
    const bool wanted =
        channels_->currentIndex() == 0 ? slot == master : model_.view().channelShown[slot];
    if (wanted && recording->SampleCount(slot) > 0) channels.push_back(slot);
  }
  const std::optional<SampleRange> stretch = RecordedStretch(*recording);
  // Each channel's part of the stretch. A recording only grows: the same
  // samples of the same channels transform the same.
  std::vector<std::optional<SampleRange>> ranges;
  std::vector<std::uint64_t> from = {static_cast<std::uint64_t>(window_->currentIndex()),
                                     static_cast<std::uint64_t>(blocks_->value()),
                                     static_cast<std::uint64_t>(master), kRecordingKey,
                                     reinterpret_cast<std::uintptr_t>(recording.get())};
  for (const int slot : channels) {
    const std::optional<SampleRange>& range = ranges.emplace_back(
        stretch ? RecordedSamplesBetween(static_cast<std::int64_t>(stretch->first),
                                         static_cast<std::int64_t>(stretch->last),
                                         recording->SampleCount(slot))
                : std::nullopt);
    from.insert(from.end(), {static_cast<std::uint64_t>(slot),
                             range ? std::uint64_t{range->first} : kRecordingKey,
                             range ? std::uint64_t{range->last} : kRecordingKey});
  }
  if (!force && from == computedFrom_) return;
  computedFrom_ = std::move(from);

  std::vector<SpectrumPlot::Curve> curves;
  std::optional<std::size_t> marked;
  const auto refuse = [&](const QString& why) {
    averaged_->setText(why);
    plot_->SetCurves({}, std::nullopt);
  };
  if (stretch && std::uint64_t{stretch->last} - stretch->first + 1 > kMaxRecordedSamples) {
    refuse(QStringLiteral("Spectre non calculé : %1 couvre %2 points, le spectre en prend au plus "
                          "%3 ; %4.")
               .arg(model_.view().cursors.cursorsShown ? QStringLiteral("l'écart des curseurs")
                                                       : QStringLiteral("la vue"))
               .arg(std::uint64_t{stretch->last} - stretch->first + 1)
               .arg(kMaxRecordedSamples)
               .arg(model_.view().cursors.cursorsShown ? QStringLiteral("rapprochez les curseurs")
                                                       : QStringLiteral("zoomez davantage")));
    return;
  }
  const SpectrumWindow window = kWindows[static_cast<std::size_t>(window_->currentIndex())];
  for (std::size_t i = 0; i < channels.size(); ++i) {
    const int slot = channels[i];
    const std::optional<SampleRange>& range = ranges[i];
    SpectrumPlot::Curve& curve = curves.emplace_back();
    curve.colour = QColor::fromRgb(kChannelColours[static_cast<std::size_t>(slot)]);
    if (slot == master) marked = curves.size() - 1;
    if (!range) continue;
    std::string why;
    const SpectrumSampleReader read = [&](std::uint64_t first, std::span<double> into) {
      return recording->ReadVolts(slot, range->first + first, into, &why);
    };
    if (!calculator_.ComputeByRange(read, std::uint64_t{range->last} - range->first + 1,
                                    recording->Channel(slot)->settings.rate, window, kBlockSize,
                                    blocks_->value(), curve.spectrum)) {
      refuse(QStringLiteral("Lecture de l'enregistrement impossible : %1")
                 .arg(QString::fromStdString(why)));
      return;
    }
  }
  if (!marked && !curves.empty()) marked = 0;
  ShowCurves(std::move(curves), marked,
             stretch ? QStringLiteral(" ; échantillons %1 à %2")
                           .arg(std::uint64_t{stretch->first})
                           .arg(std::uint64_t{stretch->last})
                     : QString());
}

void SpectrumPanel::ShowCurves(std::vector<SpectrumPlot::Curve> curves,
                               std::optional<std::size_t> marked, const QString& covered) {
  // The record may give fewer blocks than asked for, or need more to count
  // every sample: say what was averaged.
  QString averaged = QStringLiteral("—");
  if (marked && !curves[*marked].spectrum.dbv.empty()) {
    const Spectrum& spectrum = curves[*marked].spectrum;
    averaged = QStringLiteral("Moyenne de %1 ; raies de %2 Hz")
                   .arg(QString::fromStdString(SpectrumBlocksText(spectrum)),
                        QString::fromStdString(FormatFixed(spectrum.binHz, 3))) +
               covered;
  }
  averaged_->setText(averaged);
  plot_->SetCurves(std::move(curves), marked);
}

}  // namespace tavril
