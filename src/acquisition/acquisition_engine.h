#pragma once

#include <array>
#include <cstdint>

#include "acquisition/board_driver.h"
#include "app/channel_record.h"
#include "app/user_interaction.h"
#include "config/board_config.h"

namespace tavril {

// What an acquisition needs besides the records: the boards, the user (for
// the error handler's questions and the engine's messages) and the live
// configuration (time-out, gain adjustment, offset).
struct AcquisitionContext {
  BoardDriver& board;
  UserInteraction& ui;
  const BoardConfig& config;
};

enum AcquisitionCode : int {
  kAcquired = 0,
  kSamplesMemoryFailed = 1,  // a samples or volts buffer could not be allocated
  kRawMemoryFailed = 2,      // the raw readings buffer could not be allocated
  kAcquisitionAbandoned = -1,
};

inline constexpr const char* kAllocationErrorMessage = "Erreur d'allocation memoire";
inline constexpr const char* kNoChannelSelectedMessage =
    "Aucun canal n'est sélectionné : il n'y a rien à acquérir";

// Acquires the selected channels (flag 1) into their records: one channel by
// itself, two or more by one scan of channels 0 to N, after which each
// scanned record's rate is the scan rate, or, when the scan rate is 0, the
// sample rate divided by the number of channels.
// 1 on success; 0 on failure, when the user has already been told (by the
// engine's message or the error handler). No channel selected: a message, 0,
// and no record changes.
int AcquireChannels(const AcquisitionContext& context, ChannelTable& table,
                    const std::array<std::int32_t, kChannelCount>& selected, double scanRate);

// Acquires max(count, 3) readings into `record` and keeps the first `count`.
// Returns an AcquisitionCode; on kSamplesMemoryFailed and kRawMemoryFailed the
// record holds no samples.
int AcquireSingleChannel(const AcquisitionContext& context, ChannelRecord& record);

// Scans channels lastChannel down to 0 with record 0's device, chan, gain,
// count and rate, and fills records lastChannel down to 0. Returns an
// AcquisitionCode. A total count beyond the board's 32-bit counts gives
// kSamplesMemoryFailed before anything is allocated.
int AcquireScan(const AcquisitionContext& context, ChannelTable& table, std::int16_t lastChannel,
                double scanRate);

// Configures every channel of `device` (chan -1) or one channel. 1 when the
// board took it or the user chose to go on after an error, 0 when the user
// chose to stop.
int ConfigureBoard(BoardDriver& board, UserInteraction& ui, std::int16_t device, std::int16_t chan,
                   std::int16_t inputMode, std::int16_t polarity);

}  // namespace tavril
