#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli_arguments.h"

// The readers of option values, shared by the commands that take the same
// option. Each gives why the text is refused (one line of French), or nothing.
namespace tavril::cli {

// The least value a rate may take.
enum class RateFloor { kAnyFinite, kZeroOrMore, kAboveZero };

// "3" is one channel; "0-N" the scan of channels 0 to N.
std::string ReadChannels(std::string_view text, int& firstChannel, int& lastChannel);
std::string ReadGain(std::string_view text, std::int16_t& gain);
std::string ReadPointCount(std::string_view text, std::uint32_t& count);
std::string ReadSampleRate(std::string_view text, RateFloor floor, double& rate);
std::string ReadScanRate(std::string_view text, RateFloor floor, double& rate);
std::string ReadDuration(std::string_view text, double& seconds);
// "CHANNEL:LEVEL", then ":rising" (the default) or ":falling", on a channel
// of the scan of firstChannel to lastChannel (0 to lastChannel for several).
std::string ReadTrigger(std::string_view text, int firstChannel, int lastChannel,
                        std::optional<RecordTrigger>& trigger);
std::string ReadInterval(std::string_view fromText, std::string_view toText,
                         std::optional<TimeInterval>& interval);
std::string ReadWindow(std::string_view text, SpectrumWindow& window);
std::string ReadBlockSize(std::string_view text, std::size_t& blockSize);
std::string ReadBlockCount(std::string_view text, int& blocks);
// Slots and ranges of slots of 0 to 7, apart by commas: "0,2-3".
std::string ReadSlotList(std::string_view text, std::optional<SlotSelection>& slots);
std::string ReadFileChannel(std::string_view text, std::optional<int>& channel);
// A board's input or output, by its number (0 to 255): `what` names it.
std::string ReadBoardChannel(std::string_view text, std::string_view what, int& channel);
// A number above 0; `unit` says how it is written.
std::string ReadPositive(std::string_view text, std::string_view what, std::string_view unit,
                         double& value);
// The points of a frequency sweep: 2 to 10000.
std::string ReadSweepPoints(std::string_view text, int& points);
// Each "OUTPUT:SHAPE:FREQUENCY:AMPLITUDE[:OFFSET]", an output at most once.
std::string ReadGeneratedOutputs(std::span<const std::string> texts,
                                 std::vector<GeneratedOutput>& outputs);

}  // namespace tavril::cli
