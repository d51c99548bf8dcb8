#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <vector>

#include "acquisition/board.h"
#include "acquisition/boards.h"
#include "model/board_config.h"
#include "model/channel_record.h"
#include "model/spare_samples.h"
#include "model/user_interaction.h"

namespace tavril {

using ChannelSelection = std::array<bool, kChannelCount>;

// One acquisition, worked out from the selected records before it starts.
struct AcquisitionPlan {
  std::int16_t device = 0;
  AcquisitionRequest request;  // the board's channels in scan order
  // The records filled, in the order of the request's channels: the single
  // channel, or N down to 0.
  std::vector<int> records;
  // Readings per channel: the records' count, but at least three.
  std::uint32_t readingsPerChannel = 0;
  // Samples each record keeps, in the order of `records`: its count, as a
  // record asked for fewer than three points keeps only those.
  std::vector<std::uint32_t> keep;
  // Every reading is converted with this channel's scale.
  int scaleChannel = 0;
  bool scan = false;
  std::int32_t timeoutTicks = -1;
  double gainAdjust = 1.0;
  double offset = 0.0;
};

// The plan for the selected channels: one channel by itself, with its own
// record's settings; two or more by one scan of channels N down to 0 with
// record 0's settings (the panel selects no other set). Empty when no channel
// is selected.
std::optional<AcquisitionPlan> PlanAcquisition(const ChannelTable& table,
                                               const ChannelSelection& selected, double scanRate,
                                               const BoardConfig& config);

enum class AcquisitionOutcome {
  kAcquired,
  kNoSampleMemory,   // a record's samples could not be taken
  kNoReadingMemory,  // the readings could not be taken
  kAbandoned,        // the user chose to stop after a board error, or gave up waiting
};

// What an acquisition left in the buffers for the records.
struct AcquisitionResult {
  AcquisitionOutcome outcome = AcquisitionOutcome::kAcquired;
  // Records whose new samples (and statistics) are ready in the buffers.
  std::array<bool, kChannelCount> filled{};
  std::array<ChannelStatistics, kChannelCount> statistics{};
  // Scans per second the board ran at, as it says (0: it does not say).
  double rateUsed = 0.0;
};

// Runs the plan on `board`: time-out, acquisition, conversion to volts and
// statistics, asking `ui` whether to go on after each board error. Touches no
// record, so it may run on any thread while the records are shown. A stop
// asked through `stop` (from another thread) stops the board and abandons
// the acquisition without a question.
AcquisitionResult RunAcquisition(const AcquisitionPlan& plan, Board& board, UserInteraction& ui,
                                 SpareSamples& buffers, std::stop_token stop = {});

// Gives the records what the acquisition left: each filled record takes its
// new samples and statistics (and, after a scan, the scan rate, or the sample
// rate shared by the channels when no scan rate was set); every other record
// of the plan is left without samples. When the board ran at another rate
// than that, the records take the board's and the user is told. A memory
// failure is told to the user. True when the acquisition succeeded.
bool FinishAcquisition(const AcquisitionPlan& plan, const AcquisitionResult& result,
                       ChannelTable& table, SpareSamples& buffers, UserInteraction& ui);

// What an acquisition needs besides the records.
struct AcquisitionContext {
  Boards& boards;
  UserInteraction& ui;
  const BoardConfig& config;
  SpareSamples& buffers;
};

// Plans, runs and finishes an acquisition of the selected channels on the
// calling thread. True on success; false on failure, when the user has
// already been told (by the engine's message or the board error question).
// No channel selected: a message, false, and no record changes.
bool AcquireChannels(const AcquisitionContext& context, ChannelTable& table,
                     const ChannelSelection& selected, double scanRate);

// Configures every channel of `device` with the configuration's input mode
// and polarity codes. True when the board took them or the user chose to go
// on after an error; false when the user chose to stop.
bool ConfigureBoard(Boards& boards, UserInteraction& ui, std::int16_t device,
                    std::int16_t inputMode, std::int16_t polarity);

}  // namespace tavril
