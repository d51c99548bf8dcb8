#include "support/recorded_signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "acquisition/scan_timing.h"
#include "acquisition/simulated_board.h"
#include "files/hdf5_file.h"
#include "support/python_client.h"

namespace tavril::testing {
namespace {

// The simulated board's reading of `volts`, bipolar at gain 1, back in volts.
double Quantised(double volts) {
  const double x = std::clamp(volts * 409.6, -2048.0, 2047.0);
  return std::trunc(x + std::copysign(0.5, x)) / 409.6;
}

}  // namespace

std::uint64_t ExpectRecordedSignal(const std::filesystem::path& path,
                                   const AcquisitionRequest& request) {
  ChannelSet read;
  std::string why;
  EXPECT_TRUE(ReadHdf5File(path, read, &why)) << why;
  const ScanTiming timing = ScanTiming::For(request);
  EXPECT_EQ(read.size(), request.channels.size());
  if (read.size() != request.channels.size()) return 0;
  const std::uint64_t count = read[0].record.samples.size();
  for (const SlotRecord& entry : read) {
    EXPECT_EQ(entry.record.rate, timing.scansPerSecond);
    EXPECT_EQ(entry.record.samples.size(), count) << entry.slot;
    const auto at = std::find(request.channels.begin(), request.channels.end(), entry.slot);
    const std::size_t position = static_cast<std::size_t>(at - request.channels.begin());
    for (std::uint64_t i = 0; i < entry.record.samples.size(); ++i) {
      const double expected =
          Quantised(SimulatedBoard::SignalVolts(entry.slot, timing.Seconds(i, position)));
      if (!(std::abs(entry.record.samples[i] - expected) <= 1.0001 / 409.6)) {
        ADD_FAILURE() << "channel " << entry.slot << " sample " << i << ": "
                      << entry.record.samples[i] << " instead of " << expected;
        return 0;
      }
    }
  }
  if (PythonHas("h5py")) {
    const std::string script = "import h5py\nwith h5py.File('" + path.filename().string() +
                               "', 'r') as f:\n    print(sorted({(len(d), int(d.attrs['count']), "
                               "float(d.attrs['rate'])) for d in f['channels'].values()}))\n";
    EXPECT_EQ(RunPython(path.parent_path(), script),
              "[(" + std::to_string(count) + ", " + std::to_string(count) + ", " +
                  std::to_string(static_cast<long long>(timing.scansPerSecond)) + ".0)]\n");
  }
  return count;
}

}  // namespace tavril::testing
