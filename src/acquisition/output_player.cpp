#include "acquisition/output_player.h"

#include <span>
#include <utility>

namespace tavril {

OutputPlayer::OutputPlayer(Board& board, std::function<void(DaqStatus)> failed)
    : board_(board), failed_(std::move(failed)) {}

OutputPlayer::~OutputPlayer() {
  Stop();
}

void OutputPlayer::FillBlock(std::size_t updates) {
  const std::size_t perUpdate = generators_.size();
  block_.resize(updates * perUpdate);
  column_.resize(updates);
  for (std::size_t out = 0; out < perUpdate; ++out) {
    generators_[out].Fill(column_);
    for (std::size_t k = 0; k < updates; ++k) block_[k * perUpdate + out] = column_[k];
  }
}

DaqStatus OutputPlayer::Start(const std::vector<PlayedOutput>& outputs, double updateRate,
                              bool withInput) {
  Stop();
  if (outputs.empty()) return kBadChanError;
  generators_.clear();
  OutputRequest request;
  request.updateRate = updateRate;
  request.mode = OutputMode::kStreamed;
  request.startWithInput = withInput;
  for (const PlayedOutput& output : outputs) {
    request.channels.push_back(output.channel);
    generators_.emplace_back(output.wave, updateRate);
  }
  FillBlock(kFirstUpdates);
  request.volts = block_;
  const DaqStatus status = board_.StartOutput(request);
  if (status != kDaqNoError) return status;
  written_.store(kFirstUpdates, std::memory_order_relaxed);
  failure_.store(kDaqNoError);
  stopping_.store(false);
  thread_ = std::thread([this] { Feed(); });
  return kDaqNoError;
}

void OutputPlayer::Feed() {
  while (!stopping_.load()) {
    FillBlock(kBlockUpdates);
    const DaqStatus status = board_.WriteOutput(block_);
    // A stop asked meanwhile cuts the write short; that is no failure.
    if (stopping_.load()) return;
    if (status != kDaqNoError) {
      board_.StopOutput();
      failure_.store(status);
      if (failed_) failed_(status);
      return;
    }
    written_.fetch_add(kBlockUpdates, std::memory_order_relaxed);
  }
}

void OutputPlayer::Halt() {
  stopping_.store(true);
  board_.StopOutput();
}

DaqStatus OutputPlayer::Stop() {
  if (!thread_.joinable()) return kDaqNoError;
  stopping_.store(true);
  const DaqStatus stopped = board_.StopOutput();
  thread_.join();
  const DaqStatus failure = failure_.load();
  return failure != kDaqNoError ? failure : stopped;
}

}  // namespace tavril
