#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/continuous_trigger.h"
#include "acquisition/generated_outputs.h"
#include "acquisition/wave_generator.h"
#include "model/channel_record.h"
#include "processing/math_operation.h"
#include "processing/spectrum.h"

namespace tavril::cli {

enum class CommandKind {
  kHelp,
  kInfo,
  kConvert,
  kMath,
  kConfig,
  kAcquire,
  kRecord,
  kMeasure,
  kSpectrum,
  kOverview,
  kZeroOutputs,
  kBode,
  kVersion
};

// What `acquire` asks of the board, as the acquisition panel would.
struct AcquireRequest {
  int firstChannel = 0;  // one channel, or channels 0 to lastChannel
  int lastChannel = 0;
  std::uint32_t count = 1000;
  double rate = 100000.0;
  double scanRate = 0.0;
  std::int16_t gain = 1;
  std::string title;         // UTF-8
  std::string outputPrefix;  // each record goes to <prefix><channel>.tvr

  bool operator==(const AcquireRequest&) const = default;
};

// The sweeps a recording's run looks for, as the display's trigger would.
// The file keeps every sample whatever the trigger.
struct RecordTrigger {
  int channel = 0;  // one of the channels recorded
  double level = 0.0;
  TriggerEdge edge = TriggerEdge::kRising;

  bool operator==(const RecordTrigger&) const = default;
};

// What `record` asks: a continuous run of channels into one HDF5 file.
struct RecordRequest {
  int firstChannel = 0;  // one channel, or channels 0 to lastChannel
  int lastChannel = 0;
  double rate = 0.0;
  double scanRate = 0.0;
  std::int16_t gain = 1;
  double durationSeconds = 0.0;  // 0: until interrupted
  std::optional<RecordTrigger> trigger;
  std::string output;
  // The simulated board's samples as fast as they can be written, rather
  // than at its pace; only with a duration.
  bool unpaced = false;

  bool operator==(const RecordRequest&) const = default;
};

// What `bode` sweeps: a sine on one output, read where it enters the circuit
// (the stimulus input) and where it leaves it (the response input).
struct BodeRequest {
  int output = 0;
  int stimulus = 0;
  int response = 0;
  double fromHz = 0.0;
  double toHz = 0.0;
  int points = 0;
  double amplitude = 1.0;  // V, peak
  bool csv = false;        // the points as CSV rather than a table

  bool operator==(const BodeRequest&) const = default;
};

// Seconds from each record's start, from <= to.
struct TimeInterval {
  double from = 0;
  double to = 0;
  bool operator==(const TimeInterval&) const = default;
};

// The channels of the input files a command takes, by slot: slot i when
// entry i is true.
using SlotSelection = std::array<bool, kChannelCount>;

// What `spectrum` computes: blocks of at most blockSize points, at most
// maxBlocks of them unless more are needed to hold every sample
// (PlanSpectrumBlocks).
struct SpectrumRequest {
  SpectrumWindow window = SpectrumWindow::kHann;
  std::size_t blockSize = 65536;
  int maxBlocks = 16;
  bool csv = false;  // the bins as CSV rather than the summary

  bool operator==(const SpectrumRequest&) const = default;
};

// One command line, checked: every field the command needs is filled and no
// option it does not take was given.
struct CommandLine {
  CommandKind kind = CommandKind::kHelp;
  bool json = false;   // info, config, measure
  bool force = false;  // convert, math, acquire, record: replace an existing output
  MathOperation operation = MathOperation::kSum;  // math
  std::string input;                              // math: operand A; spectrum
  std::optional<int> channel;       // spectrum: the slot of a file of several channels
  std::vector<std::string> inputs;  // info, convert, measure: the files, in the order given
  // info, measure, spectrum, convert: only the samples within, and only
  // these channels of files of several channels.
  std::optional<TimeInterval> between;
  std::optional<SlotSelection> slots;
  std::string secondInput;                // math: operand B of sum, difference, product, quotient
  std::string output;                     // convert, math
  AcquireRequest acquire;                 // acquire
  RecordRequest record;                   // record
  std::vector<GeneratedOutput> generate;  // acquire, record: --generate, in the order given
  SpectrumRequest spectrum;               // spectrum
  BodeRequest bode;                       // bode

  bool operator==(const CommandLine&) const = default;
};

// Either a command line or, when `error` is not empty, why the arguments were
// refused (one line of French, without the program's name).
struct ParsedArguments {
  CommandLine command;
  std::string error;

  bool ok() const { return error.empty(); }
};

// Reads the arguments after the program's name. Pure: no I/O, no file is
// looked at, and any argument list gives a result. Options may stand before,
// between or after the positional arguments; "--" ends the options. A help
// option anywhere before "--" asks for help whatever else is wrong; then
// --version the same way.
ParsedArguments ParseArguments(const std::vector<std::string>& args);

// The operation an operation's name gives (sum, difference, product,
// quotient, rectangle, midpoint); none for any other name.
std::optional<MathOperation> MathOperationFromName(std::string_view name);

// The help text printed by --help, in French, ending with a line end.
std::string_view UsageText();

}  // namespace tavril::cli
