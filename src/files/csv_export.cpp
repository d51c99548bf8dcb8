#include "files/csv_export.h"

#include "files/csv_file.h"

namespace tavril {

void WriteCsvFile(const ChannelRecord& record, AtomicFileWriter& out) {
  const SlotView view{0, &record};
  WriteCsvFile(std::span<const SlotView>(&view, 1), out);
}

}  // namespace tavril
