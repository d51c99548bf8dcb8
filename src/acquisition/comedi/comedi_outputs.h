#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "acquisition/analog_output.h"
#include "acquisition/comedi/comedi_library.h"
#include "acquisition/daq_status.h"

namespace tavril {

// The analog outputs of a Comedi board: its first analog-output subdevice,
// run as one Comedi command on the device file's write subdevice.
//
// A run's values become codes through the range picked (the narrowest that
// holds every value of a finite or regenerated run and 0 V, the widest for a
// streamed one), or through the calibration's polynomial on a board
// calibrated in software; values beyond the range are clamped. The command
// gets its first values before it is triggered, the rest as room comes: from
// WriteOutput for a streamed run, from a thread of the run's own for a
// finite run (whose last update puts 0 V back) and a regenerated one (its
// period again and again). That thread also watches the command: one that
// ended on an error (the kernel ends it so when its buffer ran dry) is an
// underrun, and the outputs go back to 0 V within kStopCheckMs.
//
// A run started with the input is armed on the input's start trigger where
// the driver allows it (NI boards: start_src TRIG_EXT from ai/StartTrigger),
// so that update k and scan k line up; a streamed run is armed by its first
// values, which must come before the input starts, and its writes then wait
// for that start once its buffer is full. Where the driver does not
// allow it (comedi_test's outputs run on their own timer), such a run starts
// at once, and Remark() says that outputs and inputs are not aligned.
//
// Every call is safe from any thread. Write() waits for room kStopCheckMs at
// a time, without holding the lock, so that a Stop() from another thread
// ends it soon.
class ComediOutputs {
 public:
  static constexpr int kStopCheckMs = 100;
  // The NI routing name of the analog input's start trigger
  // (NI_AI_StartTrigger in the kernel's comedi.h, newer than comedilib's).
  static constexpr unsigned kNiAiStartTrigger = 0x80A1;

  // Null when the device has no analog-output subdevice.
  static std::unique_ptr<ComediOutputs> Open(ComediLibrary& library, comedi_t* device,
                                             const std::string& path);
  ComediOutputs(const ComediOutputs&) = delete;
  ComediOutputs& operator=(const ComediOutputs&) = delete;
  // Ends the run, its outputs at 0 V.
  ~ComediOutputs();

  std::vector<OutputDescription> Describe() const;
  DaqStatus Start(const OutputRequest& request);
  DaqStatus Write(std::span<const double> volts);
  DaqStatus Stop();
  DaqStatus Zero();
  // The input's command has started: an armed run runs from now.
  void InputStarted();
  // What the board's description adds about its outputs; empty when nothing.
  std::string Remark() const;
  // Why the last Start() refused, when it says more than its status.
  std::string Refusal() const;

 private:
  struct Conversion;
  struct Run;

  ComediOutputs(ComediLibrary& library, comedi_t* device, unsigned subdevice, int channels,
                int flags, std::string commandRefusal);

  DaqStatus LibraryError() const;
  // By index, as the driver numbers them.
  std::vector<comedi_range> Ranges() const;
  // Command-test stages until the driver settles; the last stage's number.
  // Sets *periodLimited when the driver brought the period within its limits.
  int TestCommand(comedi_cmd& cmd, bool* periodLimited = nullptr) const;
  // How each entry of `chanlist` converts volts in `range`: through the
  // polynomial of a board calibrated in software, else through the range,
  // the board's hardware calibration applied.
  std::vector<Conversion> Conversions(const std::vector<unsigned>& chanlist,
                                      const comedi_range& range);
  DaqStatus BuildRun(const OutputRequest& request, Run& run);
  DaqStatus RunCommand(const OutputRequest& request, Run& run);
  // Under mutex_: writes what the buffer takes of a finite or regenerated
  // run's values; whether some are still to be written.
  bool FillLocked(Run& run);
  // Under mutex_: a bytes' write's result; false when the run is over.
  bool Wrote(Run& run, long result);
  // Under mutex_: ends a run whose command has ended by itself.
  void CheckLocked(Run& run);
  // Under mutex_: cancels the command, the run's outputs at 0 V.
  void EndLocked(Run& run);
  DaqStatus TriggerLocked(Run& run);
  void Feed(Run& run);

  ComediLibrary& library_;
  comedi_t* device_;
  unsigned subdevice_;
  int channels_;
  int flags_;
  std::string commandRefusal_;  // why the outputs cannot run commands, if they cannot
  bool followsInputs_ = false;
  double maxUpdateRate_ = 0;
  int fd_ = -1;

  mutable std::mutex mutex_;
  std::shared_ptr<Run> run_;
  std::string refusal_;
};

}  // namespace tavril
