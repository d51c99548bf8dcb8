#include "acquisition/acquisition_settings.h"

namespace tavril {

void PrepareRecords(ChannelTable& table, const ChannelSelection& selected,
                    const AcquisitionSettings& settings, std::int16_t device) {
  for (int i = 0; i < kChannelCount; ++i) {
    if (!selected[i]) continue;
    ChannelRecord& record = table[i];
    record.rate = settings.sampleRate;
    record.SetCount(settings.count);
    record.gain = settings.gain;
    record.title = settings.title.substr(0, kMaxTitleBytes);
    record.device = device;
    record.chan = static_cast<std::int16_t>(i);
  }
}

}  // namespace tavril
