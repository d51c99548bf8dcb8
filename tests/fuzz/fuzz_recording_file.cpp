// Any bytes as a recording read by range: the reader must refuse them with a
// reason, or give channels whose every read, inside their counts, either
// succeeds or fails with a reason, and whose overview and envelope answer
// for any stretch. As for sessions, the library's own faults are left to the helper
// program (libhdf5_faults/).
#include <cstdlib>
#include <string>
#include <vector>

#include "display/recording_envelope.h"
#include "files/recording_reader.h"
#include "fuzz_scratch.h"
#include "model/allocation.h"

// libhdf5 leaks when a root object header fails to decode (FAULTS.md).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libhdf5\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (tavril::fuzz::MayReachALibraryFault(tavril::fuzz::AsText(data, size))) return 0;
  const tavril::ScopedMemoryLimit memory(std::size_t{4} << 20);
  const std::filesystem::path input = tavril::fuzz::ScratchFolder() / "input.h5";
  tavril::fuzz::WriteWhole(input, tavril::fuzz::AsText(data, size));
  std::string why;
  const auto reader = tavril::RecordingReader::Open(input, &why, tavril::CheckPlace::kInProcess);
  if (!reader) {
    if (why.empty()) std::abort();
    return 0;
  }
  std::vector<double> volts(1000);
  std::vector<tavril::ValueExtent> columns(7);
  for (std::size_t k = 0; k < reader->Channels().size(); ++k) {
    const std::uint64_t count = reader->Channels()[k].sampleCount;
    const std::uint64_t first = count > volts.size() ? count - volts.size() : 0;
    const std::span<double> tail(volts.data(), static_cast<std::size_t>(count - first));
    why.clear();
    if (!reader->ReadVolts(k, first, tail, &why) && why.empty()) std::abort();
    if (reader->ReadVolts(k, count, std::span<double>(volts.data(), 1), nullptr)) std::abort();
    tavril::OverviewStatistics statistics;
    const std::uint64_t end = std::min<std::uint64_t>(count, 100'000);
    if (tavril::OverviewRange(reader->Source(k), 0, end, statistics) &&
        statistics.sampleCount != end)
      std::abort();
    std::vector<std::uint64_t> bounds;
    for (std::uint64_t c = 0; c <= columns.size(); ++c) bounds.push_back(end * c / columns.size());
    tavril::RecordingEnvelope envelope(*reader, k, {64, 1000, 8, 16});
    if (!envelope.Extents(bounds, columns) && envelope.LastFailure().empty()) std::abort();
  }
  return 0;
}
