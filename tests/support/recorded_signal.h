#pragma once

#include <cstdint>
#include <filesystem>

#include "acquisition/board.h"

namespace tavril::testing {

// Reads the recording at `path` (ReadHdf5File, then h5py) of a continuous run
// of the simulated board for `request` (gain 1, bipolar, no adjustment): one
// channel per slot = board channel, each at the request's scan rate, every
// sample the board's quantised signal at its exact time, within one LSB.
// Gives the samples per channel found (0 on a failure).
std::uint64_t ExpectRecordedSignal(const std::filesystem::path& path,
                                   const AcquisitionRequest& request);

}  // namespace tavril::testing
