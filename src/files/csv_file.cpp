#include "files/csv_file.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string_view>
#include <vector>

#include "files/blocks_in_order.h"
#include "files/csv_channel_line.h"
#include "model/program.h"
#include "text/number_text.h"
#include "text/sample_time_text.h"
#include "text/system_error_text.h"

namespace tavril {
namespace {

bool SameRate(std::span<const SlotView> records) {
  return std::all_of(records.begin(), records.end(), [&](const SlotView& view) {
    return std::bit_cast<std::uint64_t>(view.record->rate) ==
           std::bit_cast<std::uint64_t>(records.front().record->rate);
  });
}

// The cells of one row and its line end, at `out`; one past the end is
// returned. Cells are apart by ',' with none before the first.
struct RowFormat {
  RowFormat(std::span<const SlotView> views, bool oneTime)
      : records(views),
        oneTimeColumn(oneTime),
        maxLineChars((2 * views.size() + 1) * (kMaxShortestChars + 1) + 2) {
    for (const SlotView& view : views) times.emplace_back(view.record->rate);
  }

  std::span<const SlotView> records;
  bool oneTimeColumn;
  std::size_t maxLineChars;
  std::vector<SampleTimeText> times;  // one per record

  char* Row(std::size_t i, char* out) const {
    bool first = true;
    const auto separate = [&] {
      if (!first) *out++ = ',';
      first = false;
    };
    if (oneTimeColumn) {
      separate();
      out = times[0].Append(out, i);
    }
    for (std::size_t k = 0; k < records.size(); ++k) {
      const std::span<const double> samples = records[k].record->samples();
      const bool present = i < samples.size();
      if (!oneTimeColumn) {
        separate();
        if (present) out = times[k].Append(out, i);
      }
      separate();
      if (present) out = AppendShortest(out, samples[i]);
    }
    *out++ = '\r';
    *out++ = '\n';
    return out;
  }
};

}  // namespace

void WriteCsvFile(std::span<const SlotView> records, AtomicFileWriter& out) {
  out.Append(std::string("# ") + kProgramName + "\r\n");
  for (const SlotView& view : records) out.Append(CsvChannelLine(view.slot, *view.record) + "\r\n");

  const bool oneTimeColumn = !records.empty() && SameRate(records);
  std::string names = oneTimeColumn ? ",time_s" : "";
  std::size_t rows = 0;
  for (const SlotView& view : records) {
    const std::string slot = "slot" + std::to_string(view.slot);
    if (!oneTimeColumn) names += "," + slot + "_time_s";
    names += "," + slot + "_V";
    rows = std::max(rows, view.record->sampleCount());
  }
  out.Append(names.empty() ? "time_s\r\n" : names.substr(1) + "\r\n");

  // Formatting the shortest exact text of each number is what takes the time:
  // two threads share it, a block of rows at a time.
  const RowFormat format{records, oneTimeColumn};
  constexpr std::size_t kBlockBytes = std::size_t{4} << 20;
  const std::size_t blockRows = std::max<std::size_t>(1, kBlockBytes / format.maxLineChars);
  WriteBlocksInOrder((rows + blockRows - 1) / blockRows, blockRows * format.maxLineChars,
                     [&format, rows, blockRows](std::size_t block, char* out) {
                       const std::size_t end = std::min(rows, (block + 1) * blockRows);
                       for (std::size_t i = block * blockRows; i < end; ++i)
                         out = format.Row(i, out);
                       return out;
                     },
                     out);
}

bool WriteCsvFile(std::span<const SlotView> records, const std::filesystem::path& path,
                  std::string* why) {
  AtomicFileWriter writer;
  if (writer.Open(path)) {
    WriteCsvFile(records, writer);
    if (writer.Commit()) return true;
  }
  if (why != nullptr) *why = SystemErrorText(writer.Error());
  return false;
}

}  // namespace tavril
