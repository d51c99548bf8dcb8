#pragma once

#include <string>

namespace tavril {

// What the board is doing for the program. The session model holds the one
// value; every window follows its changes.
enum class AcquisitionState {
  kIdle,
  kFinite,          // an acquisition of a set number of samples, aside behind the wait box
  kContinuous,      // a continuous run filling the records and maybe a recording
  kFrequencySweep,  // a stepped-sine sweep on the outputs and two inputs, records untouched
};

// What a command changes that a run may be using.
enum class RunNeed {
  kNothing,
  kRecords,  // it puts other samples in the records
  kBoard,    // it sets the board up again
};

// Why a command that changes `need` must wait while the board is in
// `state`, in one French sentence; empty when it may go on now.
std::string WhyItWaitsForTheRun(AcquisitionState state, RunNeed need);

}  // namespace tavril
