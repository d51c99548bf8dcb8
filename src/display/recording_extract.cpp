#include "display/recording_extract.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>

#include "files/samples_memory.h"
#include "model/allocation.h"

namespace tavril {

bool ExtractRecording(ShownRecording& recording, std::uint64_t first, std::uint64_t end,
                      ChannelTable& table, ChannelSamples& spare, std::vector<int>& slots,
                      std::string* why) {
  const auto fail = [why](std::string text) {
    if (why != nullptr) *why = std::move(text);
    return false;
  };
  slots.clear();
  std::uint64_t values = 0;
  for (int slot = 0; slot < kChannelCount; ++slot) {
    const std::uint64_t count = recording.SampleCount(slot);
    if (recording.Channel(slot) == nullptr || first >= std::min(end, count)) continue;
    slots.push_back(slot);
    values += std::min(end, count) - first;
  }
  if (slots.empty()) return fail("les curseurs ne désignent aucun échantillon de l'enregistrement");
  for (const int slot : slots) {
    if (std::min(end, recording.SampleCount(slot)) - first >
        std::numeric_limits<std::uint32_t>::max())
      return fail(
          "un enregistrement en mémoire compte au plus 4294967295 points : rapprochez "
          "les curseurs");
  }
  if (!SamplesFitInMemory(values)) return fail(SamplesMemoryRefusal(values));

  std::array<std::vector<double>, kChannelCount> read;
  for (const int slot : slots) {
    const std::uint64_t count = std::min(end, recording.SampleCount(slot)) - first;
    if (!AllocateZeroed(read[slot], static_cast<std::size_t>(count)))
      return fail(SamplesMemoryRefusal(values));
    std::string reason;
    if (!recording.ReadVolts(slot, first, read[slot], &reason)) return fail(reason);
  }
  for (const int slot : slots) {
    const RecordingChannel& settings = recording.Channel(slot)->settings;
    ChannelRecord& record = table[slot];
    record.device = settings.device;
    record.chan = settings.chan;
    record.gain = settings.gain;
    record.rate = settings.rate;
    record.title = settings.title;
    record.acquiredAt.reset();
    if (settings.acquiredAt && settings.rate > 0.0 && std::isfinite(settings.rate)) {
      const std::chrono::duration<double> offset(static_cast<double>(first) / settings.rate);
      record.acquiredAt = *settings.acquiredAt +
                          std::chrono::duration_cast<std::chrono::system_clock::duration>(offset);
    }
    record.TakeSamples(read[slot]);
    spare[slot] = std::move(read[slot]);
  }
  return true;
}

}  // namespace tavril
