#include "files/csv_file.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "files/csv_channel_line.h"
#include "files/number_text.h"
#include "files/system_error_text.h"
#include "model/program.h"

namespace tavril {
namespace {

bool SameRate(std::span<const SlotView> records) {
  return std::all_of(records.begin(), records.end(), [&](const SlotView& view) {
    return std::bit_cast<std::uint64_t>(view.record->rate) ==
           std::bit_cast<std::uint64_t>(records.front().record->rate);
  });
}

char* AppendCell(char* out, bool present, double value) {
  *out++ = ',';
  return present ? AppendShortest(out, value) : out;
}

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
    rows = std::max(rows, view.record->samples.size());
  }
  out.Append(names.empty() ? "time_s\r\n" : names.substr(1) + "\r\n");

  // Every cell with its separator, and the line end.
  const std::size_t maxLineChars = (2 * records.size() + 1) * (kMaxShortestChars + 1) + 2;
  for (std::size_t i = 0; i < rows; ++i) {
    char* const begin = out.Reserve(maxLineChars);
    char* end = begin;
    if (oneTimeColumn)
      end = AppendCell(end, true, static_cast<double>(i) / records[0].record->rate);
    for (const SlotView& view : records) {
      const std::vector<double>& samples = view.record->samples;
      const bool present = i < samples.size();
      if (!oneTimeColumn)
        end = AppendCell(end, present, static_cast<double>(i) / view.record->rate);
      end = AppendCell(end, present, present ? samples[i] : 0.0);
    }
    // The first cell's separator goes.
    std::copy(begin + 1, end, begin);
    end[-1] = '\r';
    *end++ = '\n';
    out.Advance(end);
  }
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
