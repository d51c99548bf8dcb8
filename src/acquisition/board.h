#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "acquisition/analog_output.h"
#include "acquisition/daq_status.h"
#include "acquisition/gain_codes.h"
#include "model/board_reading.h"
#include "model/volt_scale.h"

namespace tavril {

// How every analog input of a board measures.
enum class InputMode {
  kDifferential,  // against the other input of a pair (DIFF)
  kReferenced,    // against the board's ground (RSE)
  kNonReferenced  // against the common sense input (NRSE)
};
enum class Polarity { kBipolar, kUnipolar };

struct InputSettings {
  InputMode mode = InputMode::kReferenced;
  Polarity polarity = Polarity::kBipolar;
};

// The settings the configuration's codes stand for (input mode 0 DIFF, 1 RSE,
// 2 NRSE; polarity 0 bipolar, 1 unipolar), or the status a board gives for a
// code it does not know.
struct InputSettingsOrStatus {
  InputSettings settings;
  DaqStatus status = kDaqNoError;
};
InputSettingsOrStatus InputSettingsFromCodes(std::int16_t inputMode, std::int16_t polarity);

// One acquisition: `channels` are converted in this order in every scan, one
// scan after another. A finite acquisition takes `scans` scans; 0 asks for
// scans without end, until Stop(), for boards that can stream.
struct AcquisitionRequest {
  std::vector<int> channels;
  std::int16_t gain = 1;  // the board family's gain code (GainFactor)
  double sampleRate = 0;  // conversions per second
  double scanRate = 0;    // scans per second; 0: each scan follows the last at sampleRate
  std::uint64_t scans = 0;
};

struct ReadResult {
  DaqStatus status = kDaqNoError;
  std::size_t count = 0;  // readings written
};

// An analog-input board: the simulated one, a Comedi board, a test fake.
// Statuses keep the board driver's numbers (daq_status.h): 0 success, a
// negative number an error the user is told about.
//
// An acquisition is a stream: Start() it, Read() its readings as they come,
// Stop() it. A finite acquisition is a stream of known length, read to its
// end. A stream without end (scans 0) is read piece by piece until Stop():
// the simulated board then hands out readings as the clock reaches them, a
// Comedi board runs a command without stop count and hands out what the
// kernel's buffer holds. A reader that falls too far behind overflows the
// board's buffer: Read() then gives what the buffer held with the status
// overWriteError, and the stream is over. Boards that cannot stream refuse
// scans 0 with badCountError. A board serves one thread at a time: a stream's
// reader stops it between reads (a Read waits no longer than its readings
// take to come). Stop() alone may also come from another thread, to give up
// a Read that waits: that Read returns soon, and Stop() waits for it.
//
// A board may have analog outputs (Outputs()). An output run updates its
// channels at its own rate with values in volts, each quantised by the board
// to the code the output really holds. While inputs and outputs run at once,
// one thread makes the output calls (StartOutput, WriteOutput) and another
// the input calls (Start, Read); Stop(), StopOutput() and ZeroOutputs() may
// come from any thread. A streamed output can so be written block by block
// from what the input thread has just read, the two threads handing blocks
// to each other. An output run started with the input shares the input's
// clock and time 0: update k and scan j line up sample for sample.
class Board {
 public:
  virtual ~Board() = default;

  // Applies to every channel from now on.
  virtual DaqStatus Configure(const InputSettings& settings) = 0;

  // Acquisitions started from now on give up after `ticks` of 55 ms; -1 lets
  // them take as long as they take.
  virtual DaqStatus SetTimeout(std::int32_t ticks) = 0;

  virtual DaqStatus Start(const AcquisitionRequest& request) = 0;

  // Fills `readings` with the next readings of the acquisition started,
  // scan after scan, each scan in the request's channel order; waits until
  // `readings` is full. Fewer readings at the end of a finite acquisition,
  // or with a status other than 0 when it failed, timed out or was not
  // started.
  virtual ReadResult Read(std::span<BoardReading> readings) = 0;

  // Ends the acquisition started, cancelling it if it still runs; nothing
  // when none was started. Safe from another thread than the reader's.
  virtual void Stop() = 0;

  // How the readings of `channel` at `gain` become volts, with the present
  // configuration.
  virtual DaqStatus ScaleFor(int channel, std::int16_t gain, VoltScale& scale) = 0;

  // Scans per second the acquisition started really runs at: its board may
  // round the rate asked to its clock's ticks. 0 when none was started.
  virtual double RateUsed() const { return 0.0; }

  // What the board's description adds about its present state, asked each
  // time the description is shown (a calibration missing, for one); empty
  // when nothing. Called from the thread that shows it.
  virtual std::string DescriptionRemark() const { return {}; }

  // The same in a few words, for a short description.
  virtual std::string BriefRemark() const { return {}; }

  // The board's analog outputs; none by default.
  virtual std::vector<OutputDescription> Outputs() const { return {}; }

  // Starts an output run, replacing any run before it. Refused with
  // kNoOutputError by a board without outputs.
  virtual DaqStatus StartOutput(const OutputRequest& request) {
    (void)request;
    return kNoOutputError;
  }

  // Appends updates (one value per channel each, in the run's order) to a
  // streamed run, waiting for room in the board's buffer. A run that ran
  // out of values before they came has stopped with every output at 0 V:
  // the call then gives kOutputUnderrunError and writes nothing. A run
  // waiting for the input's start fills its buffer, then waits for that
  // start: a writer need not know when the input starts.
  virtual DaqStatus WriteOutput(std::span<const double> volts) {
    (void)volts;
    return kNoOutputError;
  }

  // Ends the output run, every output of the run at 0 V; nothing when none
  // runs. kOutputUnderrunError when a streamed run had run out of values
  // before. Safe from any thread; a WriteOutput that waits returns soon.
  virtual DaqStatus StopOutput() { return kNoOutputError; }

  // Puts every output of the board at 0 V, ending any run.
  virtual DaqStatus ZeroOutputs() { return kNoOutputError; }

  // What a status of this board means, in one line of French.
  virtual std::string StatusMessage(DaqStatus status) const { return DaqStatusMessage(status); }
};

}  // namespace tavril
