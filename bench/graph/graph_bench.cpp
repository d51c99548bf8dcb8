// The graph at 1920 x 1000 with eight channels of 1,000,000 and of 10,000,000
// samples, realistic (sines, a square wave and a drift, +-5 mV of noise) and
// full-height noise as the worst case:
// - FullRepaint: the widget repainted with its curves redrawn from the pyramids;
// - DecoratedRepaint: the same with axes, grid, a colour per channel and the
//   legend;
// - CurveLayerRedraw, CurveSegments: the curve image alone, and the column
//   summaries alone (with the number of runs and of lines left to QPainter);
// - CursorMoveRepaint: one step of a cursor drag through the event loop,
//   graph and strip, with the curves from the cache;
// - CachedRepaint: the whole graph repainted with the curves from the cache;
// - PyramidBuild: one record's pyramid, in ns per sample;
// - Straightforward: one segment per pair of samples, the baseline, run once.
// The ratios printed at the end are baseline time / full repaint time.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "display/curve_raster.h"
#include "display/graph_scale.h"
#include "display/sample_pyramid.h"
#include "display/view_state.h"
#include "model/session.h"
#include "ui/display/graph_painter.h"
#include "ui/display/graph_widget.h"
#include "ui/display/info_strip_widget.h"

namespace {

constexpr int kAreaWidth = 1920;
constexpr int kAreaHeight = 1000;

enum class Kind { kRealistic, kFullHeightNoise };

struct Workload {
  Kind kind;
  std::size_t samplesPerChannel;
  std::string name;
};

const Workload kWorkloads[] = {
    {Kind::kRealistic, 1'000'000, "8x1M_realistic"},
    {Kind::kRealistic, 10'000'000, "8x10M_realistic"},
    {Kind::kFullHeightNoise, 10'000'000, "8x10M_full_height_noise"},
};

// A small fast generator; the quality of std's engines is not needed here.
class XorShift {
 public:
  explicit XorShift(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  double Unit() {  // -1 .. 1
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<double>(state_ >> 11) * (2.0 / 9007199254740992.0) - 1.0;
  }

 private:
  std::uint64_t state_;
};

// Realistic channels: sines of a few periods with +-5 mV of noise, a square wave and
// a slow drift, as acquisitions of lab signals look.
std::vector<double> MakeChannel(Kind kind, std::size_t count, int channel) {
  std::vector<double> samples(count);
  XorShift random(static_cast<std::uint64_t>(channel) + 1);
  if (kind == Kind::kFullHeightNoise) {
    for (double& sample : samples) sample = random.Unit();
    return samples;
  }
  const double periods = 3.0 + 2.0 * channel;
  double drift = 0.0;
  for (std::size_t j = 0; j < count; ++j) {
    const double phase = 2.0 * std::numbers::pi * periods * static_cast<double>(j) / count;
    double value = 0.0;
    switch (channel % 4) {
      case 0:
      case 1:
        value = std::sin(phase) * (0.5 + 0.1 * channel);
        break;
      case 2:
        value = std::sin(phase) >= 0.0 ? 0.6 : -0.6;
        break;
      case 3:
        drift += 0.0005 * random.Unit();
        value = drift;
        break;
    }
    samples[j] = value + 0.005 * random.Unit();
  }
  return samples;
}

// One workload's records, and a shown graph widget and information strip on
// them, connected as the main window connects them.
struct Scene {
  tavril::Session session;
  tavril::ViewState view;
  std::unique_ptr<tavril::GraphWidget> widget;
  std::unique_ptr<tavril::InfoStripWidget> strip;
};

// The scene in use; released before the application object goes.
std::unique_ptr<Scene>& CurrentScene() {
  static std::unique_ptr<Scene> scene;
  return scene;
}

Scene& SceneFor(const Workload& workload) {
  static std::string current;
  std::unique_ptr<Scene>& scene = CurrentScene();
  if (scene && current == workload.name) return *scene;
  scene.reset();  // frees the previous workload before building the next
  scene = std::make_unique<Scene>();
  current = workload.name;
  for (int channel = 0; channel < tavril::kChannelCount; ++channel) {
    tavril::ChannelRecord& record = scene->session.channels[channel];
    std::vector<double> samples = MakeChannel(workload.kind, workload.samplesPerChannel, channel);
    record.TakeSamples(samples);
    record.rate = 100000.0;
  }
  scene->widget = std::make_unique<tavril::GraphWidget>(scene->session, scene->view);
  scene->strip = std::make_unique<tavril::InfoStripWidget>(scene->session, scene->view);
  QObject::connect(scene->widget.get(), &tavril::GraphWidget::CursorsOrScrollMoved,
                   scene->strip.get(), [strip = scene->strip.get()] { strip->update(); });
  scene->strip->resize(kAreaWidth, 70);
  scene->strip->show();
  const int barHeight = scene->widget->findChild<QScrollBar*>()->sizeHint().height();
  scene->widget->resize(kAreaWidth, kAreaHeight + barHeight);
  scene->widget->show();
  QApplication::processEvents();
  tavril::ComputeAutoScale(scene->view.scale, scene->session.channels[0],
                           scene->widget->DrawingArea());
  scene->view.cursors = tavril::GraphCursors{400, 1500, true, tavril::CursorDrag::kNone};
  scene->widget->repaint();  // builds the pyramids once
  return *scene;
}

bool CheckArea(benchmark::State& state, const Scene& scene) {
  const tavril::ClientSize area = scene.widget->DrawingArea();
  if (area.width == kAreaWidth && area.height == kAreaHeight) return true;
  state.SkipWithError("the drawing area is not 1920 x 1000");
  return false;
}

void FullRepaint(benchmark::State& state, const Workload& workload) {
  Scene& scene = SceneFor(workload);
  if (!CheckArea(state, scene)) return;
  for (auto _ : state) {
    scene.widget->RefreshCurves();
    scene.widget->repaint();
  }
}

void DecoratedRepaint(benchmark::State& state, const Workload& workload) {
  Scene& scene = SceneFor(workload);
  if (!CheckArea(state, scene)) return;
  scene.view.options = tavril::GraphOptions{true, true, true};
  for (auto _ : state) {
    scene.widget->RefreshCurves();
    scene.widget->repaint();
  }
  scene.view.options = tavril::GraphOptions{};
}

void SendMouse(QWidget& widget, QEvent::Type type, int x, Qt::MouseButton button,
               Qt::MouseButtons held) {
  const QPointF local(x, 100);
  QMouseEvent event(type, local, widget.mapToGlobal(local), button, held, Qt::NoModifier);
  QApplication::sendEvent(&widget, &event);
}

// A step of a cursor drag as the user makes it: the mouse moves one pixel,
// the event loop repaints what changed in the graph and the strip.
void CursorMoveRepaint(benchmark::State& state, const Workload& workload) {
  Scene& scene = SceneFor(workload);
  if (!CheckArea(state, scene)) return;
  tavril::GraphWidget& graph = *scene.widget;
  SendMouse(graph, QEvent::MouseButtonPress, 400, Qt::LeftButton, Qt::LeftButton);
  SendMouse(graph, QEvent::MouseMove, 400, Qt::NoButton, Qt::LeftButton);
  QApplication::processEvents();
  int x = 400;
  for (auto _ : state) {
    x = x == 400 ? 401 : 400;
    SendMouse(graph, QEvent::MouseMove, x, Qt::NoButton, Qt::LeftButton);
    QApplication::processEvents();
  }
  SendMouse(graph, QEvent::MouseButtonRelease, x, Qt::LeftButton, Qt::NoButton);
  QApplication::processEvents();
}

// The whole graph repainted with its curves from the cache, as after a
// window expose or a cursor change made by other code.
void CachedRepaint(benchmark::State& state, const Workload& workload) {
  Scene& scene = SceneFor(workload);
  if (!CheckArea(state, scene)) return;
  for (auto _ : state) scene.widget->repaint();
}

void CurveLayerRedraw(benchmark::State& state, const Workload& workload) {
  Scene& scene = SceneFor(workload);
  tavril::CurveLayer layer;
  const tavril::GraphPens pens;
  const QSize area(kAreaWidth, kAreaHeight);
  layer.Render(scene.session, scene.view, pens, area);
  for (auto _ : state) {
    layer.Invalidate();
    benchmark::DoNotOptimize(layer.Render(scene.session, scene.view, pens, area).constBits());
  }
}

// The column-by-column summary alone, without any drawing.
void CurveSegments(benchmark::State& state, const Workload& workload) {
  Scene& scene = SceneFor(workload);
  std::vector<tavril::SamplePyramid> pyramids(tavril::kChannelCount);
  for (int channel = 0; channel < tavril::kChannelCount; ++channel) {
    tavril::BuildSamplePyramid(pyramids[channel], scene.session.channels[channel].samples());
  }
  tavril::CurveStrokes strokes;
  std::size_t runs = 0;
  std::size_t lines = 0;
  for (auto _ : state) {
    runs = 0;
    lines = 0;
    for (int channel = 0; channel < tavril::kChannelCount; ++channel) {
      strokes.clear();
      tavril::ComputeCurveStrokes(scene.view.scale, scene.session.channels[channel].samples(),
                                  pyramids[channel], -2, kAreaWidth + 1, strokes);
      benchmark::DoNotOptimize(strokes.runs.data());
      runs += strokes.runs.size();
      lines += strokes.lines.size();
    }
  }
  state.counters["runs"] = static_cast<double>(runs);
  state.counters["lines"] = static_cast<double>(lines);
}

void PyramidBuild(benchmark::State& state, const Workload& workload) {
  Scene& scene = SceneFor(workload);
  const std::span<const double> samples = scene.session.channels[1].samples();
  tavril::SamplePyramid pyramid;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    tavril::BuildSamplePyramid(pyramid, samples);
    benchmark::DoNotOptimize(pyramid.levels.data());
  }
  const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
  state.counters["ns_per_sample"] = elapsed.count() / (static_cast<double>(samples.size()) *
                                                       static_cast<double>(state.iterations()));
}

void Straightforward(benchmark::State& state, const Workload& workload) {
  Scene& scene = SceneFor(workload);
  const tavril::GraphPens pens;
  QImage frame(kAreaWidth, kAreaHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&frame);
    tavril::PaintGraphBackdrop(painter, pens, scene.view.scale, scene.view.cursors, frame.size());
    tavril::DrawCurvesSegmentBySegment(painter, pens, scene.session, scene.view);
  }
}

void RegisterAll() {
  for (const Workload& workload : kWorkloads) {
    auto add = [&](const char* what, void (*function)(benchmark::State&, const Workload&)) {
      return benchmark::RegisterBenchmark((std::string(what) + "/" + workload.name).c_str(),
                                          function, workload)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    };
    add("PyramidBuild", PyramidBuild)->Iterations(5);
    add("FullRepaint", FullRepaint)->MinTime(1.0);
    add("DecoratedRepaint", DecoratedRepaint)->MinTime(1.0);
    add("CurveLayerRedraw", CurveLayerRedraw)->MinTime(1.0);
    add("CurveSegments", CurveSegments)->MinTime(1.0);
    add("CursorMoveRepaint", CursorMoveRepaint)->MinTime(1.0);
    add("CachedRepaint", CachedRepaint)->MinTime(1.0);
    if (workload.kind == Kind::kRealistic) add("Straightforward", Straightforward)->Iterations(1);
  }
}

// Prints as usual and remembers each benchmark's best time for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const std::string name = run.run_name.function_name + "/";
      const double time = run.GetAdjustedRealTime();
      const auto known = times_.find(name);
      if (known == times_.end() || time < known->second) times_[name] = time;
    }
  }
  void PrintRatios() const {
    std::printf("\nSpeed-up of a full repaint against the straightforward drawing:\n");
    for (const Workload& workload : kWorkloads) {
      const double baseline = Find("Straightforward/" + workload.name + "/");
      const double fast = Find("FullRepaint/" + workload.name + "/");
      if (baseline > 0.0 && fast > 0.0) {
        std::printf("  %-26s %8.1fx\n", workload.name.c_str(), baseline / fast);
      }
    }
    std::printf("\nA decorated repaint against a classic one:\n");
    for (const Workload& workload : kWorkloads) {
      const double classic = Find("FullRepaint/" + workload.name + "/");
      const double decorated = Find("DecoratedRepaint/" + workload.name + "/");
      if (classic > 0.0 && decorated > 0.0) {
        std::printf("  %-26s %8.2fx (%.2f ms)\n", workload.name.c_str(), decorated / classic,
                    decorated);
      }
    }
  }

 private:
  double Find(const std::string& name) const {
    const auto found = times_.find(name);
    return found == times_.end() ? 0.0 : found->second;
  }
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  RegisterAll();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  CurrentScene().reset();
  benchmark::Shutdown();
  return 0;
}
