// Any bytes as a CSV file: the reader must refuse them and leave the records
// alone, or give at most eight records in slot order whose counts their
// samples hold; and what it read must come back the same through the writer.
#include <cstdlib>
#include <string>

#include "files/byte_reader.h"
#include "files/csv_file.h"
#include "fuzz_scratch.h"
#include "model/allocation.h"

namespace {

using tavril::ChannelSet;

std::string Written(const ChannelSet& set, const std::filesystem::path& path) {
  tavril::AtomicFileWriter out;
  if (!out.Open(path)) std::abort();
  tavril::WriteCsvFile(tavril::ViewsOf(set), out);
  if (!out.Commit()) std::abort();
  std::string bytes;
  tavril::ByteReader in;
  if (!in.Open(path)) std::abort();
  for (int c = in.Get(); c >= 0; c = in.Get()) bytes += static_cast<char>(c);
  return bytes;
}

bool Consistent(const ChannelSet& set) {
  if (set.empty() || set.size() > tavril::kChannelCount) return false;
  for (std::size_t k = 0; k < set.size(); ++k) {
    const tavril::ChannelRecord& record = set[k].record;
    if (set[k].slot < 0 || set[k].slot >= tavril::kChannelCount) return false;
    if (k > 0 && set[k].slot <= set[k - 1].slot) return false;
    if (!record.samples().empty() && record.sampleCount() != record.count()) return false;
    if (record.title.size() > tavril::kMaxTitleBytes) return false;
    if (record.title.find('\0') != std::string::npos) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A small bound keeps large inputs within the fuzzer's own limits.
  const tavril::ScopedMemoryLimit memory(std::size_t{4} << 20);
  const std::filesystem::path& folder = tavril::fuzz::ScratchFolder();
  const std::filesystem::path input = folder / "input.csv";
  tavril::fuzz::WriteWhole(input, tavril::fuzz::AsText(data, size));

  ChannelSet set(1);
  set[0].slot = 6;
  set[0].record.title = "untouched";
  std::string why;
  if (!tavril::ReadCsvFile(input, set, &why)) {
    if (why.empty() || set.size() != 1 || set[0].slot != 6 || set[0].record.title != "untouched") {
      std::abort();
    }
    return 0;
  }
  if (!Consistent(set)) std::abort();

  // The writer's text reads back as records that it writes the same: the text
  // spells every field and every double uniquely (all NaNs as "nan"), so
  // these are the same records.
  const std::string first = Written(set, folder / "first.csv");
  ChannelSet again;
  if (!tavril::ReadCsvFile(folder / "first.csv", again, &why)) std::abort();
  if (Written(again, folder / "second.csv") != first) std::abort();
  return 0;
}
