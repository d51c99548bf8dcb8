#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "display/view_state.h"
#include "model/session.h"
#include "support/record_checks.h"
#include "ui/display/graph_painter.h"

namespace tavril::testing {

enum class Signal {
  kRandomWalk,
  kSineWithNoise,
  kSpikes,
  kSteps,
  kFullHeightNoise,
  kNaNBursts,
  kHugeValues,
  kAlternatingExtremes,
};
inline constexpr Signal kAllSignals[] = {
    Signal::kRandomWalk, Signal::kSineWithNoise,       Signal::kSpikes,
    Signal::kSteps,      Signal::kFullHeightNoise,     Signal::kNaNBursts,
    Signal::kHugeValues, Signal::kAlternatingExtremes,
};
std::string SignalName(Signal signal);

// `count` samples of the kind, the same for the same seed, mostly within -1..1 V.
std::vector<double> MakeSignal(Signal signal, std::size_t count, std::uint32_t seed);

// The whole graph drawn the straightforward way: backdrop, then every curve
// one segment per pair of samples.
QImage ReferenceFrame(const Session& session, const ViewState& view, QSize area);

// The backdrop with the layer's cached curve image composed on top.
QImage LayeredFrame(const Session& session, const ViewState& view, QSize area, CurveLayer& layer);

// The curves alone, segment by segment, on a transparent image.
QImage ReferenceCurves(const Session& session, const ViewState& view, QSize area);

struct ImageDifference {
  int count = 0;
  QPoint first{-1, -1};
};
// Pixels whose ARGB values differ; images of different sizes differ everywhere.
ImageDifference CompareImages(const QImage& actual, const QImage& expected);

}  // namespace tavril::testing
