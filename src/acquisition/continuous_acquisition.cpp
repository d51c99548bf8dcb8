#include "acquisition/continuous_acquisition.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace tavril {
namespace {

// A block holds about this long of readings: the display and the stop
// request follow within that time, and the calls per second stay few.
constexpr double kBlockSeconds = 0.01;
constexpr std::size_t kMaxBlockScans = std::size_t{1} << 16;
constexpr double kFlushSeconds = 1.0;
// Samples a snapshot copies at a time: a fraction of a millisecond.
constexpr std::size_t kSnapshotPiece = std::size_t{1} << 15;
constexpr const char* kBoardEndedMessage = "La carte a cessé de fournir des mesures.";

}  // namespace

ContinuousAcquisition::~ContinuousAcquisition() {
  Stop();
}

bool ContinuousAcquisition::Start(Board& board, const ContinuousSettings& settings) {
  if (thread_.joinable()) {
    {
      const std::lock_guard lock(mutex_);
      if (running_) return false;
    }
    thread_.join();
  }
  const AcquisitionRequest& request = settings.plan.request;
  const std::size_t channels = request.channels.size();
  const bool triggered = settings.trigger.mode != SweepMode::kRoll;
  if (channels == 0 || settings.window == 0 || (triggered && settings.trigger.source >= channels)) {
    return false;
  }
  const double scansPerSecond =
      request.scanRate > 0 ? request.scanRate : request.sampleRate / static_cast<double>(channels);
  if (!std::isfinite(scansPerSecond) || scansPerSecond <= 0) return false;

  const std::lock_guard lock(mutex_);
  board_ = &board;
  settings_ = settings;
  settings_.plan.request.scans = 0;  // streams until stopped
  channels_ = channels;
  scansPerSecond_ = scansPerSecond;
  rateUsed_.store(0.0, std::memory_order_relaxed);
  blockScans_ = std::clamp<std::size_t>(
      static_cast<std::size_t>(std::ceil(scansPerSecond * kBlockSeconds)), 1, kMaxBlockScans);
  readings_.resize(channels * blockScans_);
  block_.resize(channels);
  for (std::vector<double>& column : block_) column.resize(blockScans_);
  blockColumns_.resize(channels);
  sinkColumns_.resize(channels);
  // A sweep completed in a block is still whole in the rings after it, and
  // stays there for a window more before it must be copied aside.
  rings_.resize(channels);
  for (SampleRing& ring : rings_) ring.Reset(2 * std::size_t{settings.window} + blockScans_);
  sweeps_.resize(triggered ? channels : 0);
  for (std::vector<double>& sweep : sweeps_) sweep.resize(settings.window);
  lastSweep_.reset();
  sweepCount_ = 0;
  triggerState_ = triggered ? std::optional(TriggerState::kWaiting) : std::nullopt;
  outcome_.reset();
  boardStarted_.reset();
  convert_.reset();
  stopRequested_ = false;
  forceRequested_ = false;
  samplesRecorded_ = 0;
  bytesRecorded_ = 0;
  started_ = clock_.Now();
  running_ = true;
  try {
    thread_ = std::thread(&ContinuousAcquisition::Run, this);
  } catch (const std::system_error&) {
    running_ = false;
    return false;
  }
  return true;
}

void ContinuousAcquisition::Stop() {
  stopRequested_ = true;
  if (thread_.joinable()) thread_.join();
}

void ContinuousAcquisition::Wait() {
  if (thread_.joinable()) thread_.join();
}

void ContinuousAcquisition::Run() {
  Board& board = *board_;
  const AcquisitionPlan& plan = settings_.plan;
  VoltScale scale;
  DaqStatus status = board.SetTimeout(plan.timeoutTicks);
  if (status == kDaqNoError) status = board.ScaleFor(plan.scaleChannel, plan.request.gain, scale);
  if (status == kDaqNoError && !(std::isfinite(plan.gainAdjust) && plan.gainAdjust != 0.0)) {
    status = kInvalidValueError;
  }
  if (status == kDaqNoError) status = board.Start(plan.request);
  if (status != kDaqNoError) {
    board.Stop();
    End(ContinuousEnd::kBoardError, status, board.StatusMessage(status));
    return;
  }
  {
    const std::lock_guard lock(mutex_);
    boardStarted_ = std::chrono::system_clock::now();
  }
  // A board that cannot say runs at the rate asked.
  const double rateUsed = board.RateUsed() > 0.0 ? board.RateUsed() : scansPerSecond_;
  conversion_ = {scale, plan.gainAdjust, plan.offset};
  if (std::string why;
      settings_.sink != nullptr && !settings_.sink->Started(rateUsed, conversion_, &why)) {
    board.Stop();
    End(ContinuousEnd::kSinkError, kDaqNoError, why);
    return;
  }
  // Once the sink has taken it: the rate of every sample it keeps.
  rateUsed_.store(rateUsed, std::memory_order_relaxed);
  if (settings_.sink != nullptr) NoteSink();
  convert_.emplace(scale, plan.gainAdjust, plan.offset, true);
  SweepFinder finder(settings_.trigger, settings_.window, scansPerSecond_);
  SampleSink* const sink = settings_.sink;
  std::uint64_t scansLeft = std::numeric_limits<std::uint64_t>::max();
  if (settings_.seconds > 0.0) {
    scansLeft = static_cast<std::uint64_t>(std::llround(settings_.seconds * rateUsed));
  }
  double lastFlush = clock_.Now();
  ContinuousEnd end = ContinuousEnd::kStoppedByUser;
  std::string message;
  while (scansLeft > 0 && !stopRequested_.load(std::memory_order_relaxed)) {
    const ReadResult read = board.Read(readings_);
    // A failed read may still hand out readings: whole scans are kept, up
    // to the duration.
    const std::size_t scans = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::min(read.count, readings_.size()) / channels_, scansLeft));
    scansLeft -= scans;
    if (scans > 0) {
      const bool singleShotTaken = ProcessBlock(scans, finder);
      if (sink != nullptr && !Record(scans, lastFlush, message)) {
        end = ContinuousEnd::kSinkError;
        break;
      }
      if (singleShotTaken) break;
    }
    if (scansLeft == 0) break;
    if (read.status != kDaqNoError) {
      end = ContinuousEnd::kBoardError;
      status = read.status;
      message = board.StatusMessage(read.status);
      break;
    }
    if (read.count < readings_.size()) {
      end = ContinuousEnd::kBoardEnded;
      message = kBoardEndedMessage;
      break;
    }
  }
  board.Stop();
  board.SetTimeout(-1);
  // What was recorded before a board failure or the user's stop is made to last.
  std::string why;
  if (sink != nullptr && end != ContinuousEnd::kSinkError && !sink->Flush(&why)) {
    if (end == ContinuousEnd::kStoppedByUser) {
      end = ContinuousEnd::kSinkError;
      message = why;
    } else {
      message += " " + why;
    }
  }
  if (sink != nullptr) NoteSink();
  End(end, status, std::move(message));
}

bool ContinuousAcquisition::ProcessBlock(std::size_t scans, SweepFinder& finder) {
  for (std::size_t j = 0; j < channels_; ++j) blockColumns_[j] = std::span(block_[j]).first(scans);
  ConvertScans(std::span(readings_).first(scans * channels_), channels_, *convert_, blockColumns_);
  std::optional<Sweep> sweep;
  std::optional<TriggerState> state;
  if (settings_.trigger.mode != SweepMode::kRoll) {
    if (forceRequested_.exchange(false, std::memory_order_relaxed)) finder.Force();
    sweep = finder.Feed(blockColumns_[settings_.trigger.source]);
    state = finder.State();
  }
  const std::lock_guard lock(mutex_);
  triggerState_ = state;
  // The last sweep is copied aside only when the rings are about to lose it:
  // at most once a window, however often sweeps complete.
  if (lastSweep_ && !lastSweep_->saved &&
      lastSweep_->sweep.first + rings_[0].Capacity() < rings_[0].Total() + scans) {
    for (std::size_t j = 0; j < channels_; ++j) {
      rings_[j].CopyOut(lastSweep_->sweep.first, sweeps_[j]);
    }
    lastSweep_->saved = true;
  }
  for (std::size_t j = 0; j < channels_; ++j) rings_[j].Append(blockColumns_[j]);
  if (sweep) {
    lastSweep_ = StoredSweep{*sweep, false};
    ++sweepCount_;
  }
  return sweep && settings_.trigger.mode == SweepMode::kSingle;
}

bool ContinuousAcquisition::Record(std::size_t scans, double& lastFlush, std::string& why) {
  for (std::size_t j = 0; j < channels_; ++j) sinkColumns_[j] = blockColumns_[j].first(scans);
  const SampleBlock block{sinkColumns_, std::span(readings_).first(scans * channels_),
                          &conversion_};
  if (!settings_.sink->Append(block, &why)) return false;
  const double now = clock_.Now();
  bool kept = true;
  if (now - lastFlush >= kFlushSeconds) {
    lastFlush = now;
    kept = settings_.sink->Flush(&why);
  }
  NoteSink();
  return kept;
}

void ContinuousAcquisition::NoteSink() {
  samplesRecorded_.store(settings_.sink->SamplesPerChannel(), std::memory_order_relaxed);
  bytesRecorded_.store(settings_.sink->BytesOnDisk(), std::memory_order_relaxed);
}

void ContinuousAcquisition::End(ContinuousEnd end, DaqStatus status, std::string message) {
  const std::uint64_t recorded =
      settings_.sink != nullptr ? settings_.sink->SamplesPerChannel() : 0;
  const std::lock_guard lock(mutex_);
  outcome_ = ContinuousOutcome{end, status, std::move(message), rings_[0].Total(), recorded};
  running_ = false;
  ended_ = clock_.Now();
}

void ContinuousAcquisition::TakeSnapshot(ContinuousSnapshot& snapshot) const {
  // A copy the run overtook is taken again, at last in one piece.
  for (int attempt = 0; !TryTakeSnapshot(snapshot, attempt < 2 ? kSnapshotPiece : SIZE_MAX);) {
    ++attempt;
  }
}

bool ContinuousAcquisition::TryTakeSnapshot(ContinuousSnapshot& snapshot, std::size_t piece) const {
  std::unique_lock lock(mutex_);
  const std::uint64_t total = rings_.empty() ? 0 : rings_[0].Total();
  const bool roll = settings_.trigger.mode == SweepMode::kRoll;
  snapshot.trigger = lastSweep_ ? lastSweep_->sweep.trigger : std::nullopt;
  snapshot.sweeps = sweepCount_;
  snapshot.triggerState = triggerState_;
  snapshot.samplesRead = total;
  snapshot.running = running_;
  snapshot.elapsedSeconds = rings_.empty() ? 0.0 : (running_ ? clock_.Now() : ended_) - started_;
  snapshot.outcome = outcome_;
  snapshot.rateUsed = rateUsed_.load(std::memory_order_relaxed);
  snapshot.samplesRecorded = samplesRecorded_.load(std::memory_order_relaxed);
  snapshot.bytesRecorded = bytesRecorded_.load(std::memory_order_relaxed);
  snapshot.channels.resize(rings_.size());
  const std::size_t count =
      !roll && !lastSweep_
          ? 0
          : static_cast<std::size_t>(std::min<std::uint64_t>(settings_.window, total));
  const std::uint64_t first = roll ? total - count : count > 0 ? lastSweep_->sweep.first : 0;
  const std::uint64_t sweep = sweepCount_;
  snapshot.first = first;
  snapshot.boardStarted = boardStarted_;
  for (std::vector<double>& shown : snapshot.channels) shown.resize(count);
  // The lock is let go between pieces, and the run given its turn, so that
  // it never waits long for a large window's copy.
  for (std::size_t j = 0; j < snapshot.channels.size(); ++j) {
    for (std::size_t at = 0; at < count; at += piece) {
      if (at > 0 || j > 0) {
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
      }
      const std::span<double> out =
          std::span(snapshot.channels[j]).subspan(at, std::min(piece, count - at));
      if (!roll && lastSweep_->saved && sweepCount_ == sweep) {
        std::copy_n(sweeps_[j].begin() + static_cast<std::ptrdiff_t>(at), out.size(), out.begin());
      } else if ((roll || sweepCount_ == sweep) && first + at >= rings_[j].Oldest()) {
        rings_[j].CopyOut(first + at, out);
      } else {
        return false;
      }
    }
  }
  return true;
}

}  // namespace tavril
