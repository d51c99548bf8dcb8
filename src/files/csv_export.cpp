#include "files/csv_export.h"

#include <cstddef>

#include "files/number_text.h"

namespace tavril {

void WriteCsvFile(const ChannelRecord& record, AtomicFileWriter& out) {
  // Two values, the comma and CR LF.
  constexpr std::size_t kMaxLineChars = 2 * kMaxFixedChars + 3;

  out.Append("time_s,volts\r\n");
  const std::size_t size = record.samples.size();
  for (std::size_t i = 0; i < size; ++i) {
    char* const begin = out.Reserve(kMaxLineChars);
    char* end = AppendFixed12(begin, static_cast<double>(i) / record.rate);
    *end++ = ',';
    end = AppendFixed12(end, record.samples[i]);
    *end++ = '\r';
    *end++ = '\n';
    out.Advance(end);
  }
}

}  // namespace tavril
