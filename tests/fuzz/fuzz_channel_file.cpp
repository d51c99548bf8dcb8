// Any bytes as a data file: the reader must end in its failure path or give a
// record whose count its samples hold, and what it read must come back the
// same through the writer.
#include <cstdlib>
#include <string>

#include "files/channel_file.h"
#include "files/file_writer.h"
#include "fuzz_scratch.h"
#include "model/allocation.h"
#include "model/channel_record.h"

namespace {

using tavril::ChannelRecord;

std::string Written(const ChannelRecord& record, const std::filesystem::path& path) {
  tavril::AtomicFileWriter out;
  if (!out.Open(path)) std::abort();
  tavril::WriteChannelFile(out, record);
  if (!out.Commit()) std::abort();
  std::string bytes;
  tavril::ByteReader in;
  if (!in.Open(path)) std::abort();
  for (int c = in.Get(); c >= 0; c = in.Get()) bytes += static_cast<char>(c);
  return bytes;
}

bool Consistent(const ChannelRecord& record) {
  return record.sampleCount() == record.count() && record.title.size() <= tavril::kMaxTitleBytes &&
         record.title.find('\0') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A file may announce any count and leave the rest zeros; memory bounds it.
  // A small bound keeps such inputs fast and within the fuzzer's own limits.
  const tavril::ScopedMemoryLimit memory(std::size_t{4} << 20);
  const std::filesystem::path& folder = tavril::fuzz::ScratchFolder();
  const std::filesystem::path input = folder / "input.tvr";
  tavril::fuzz::WriteWhole(input, tavril::fuzz::AsText(data, size));

  ChannelRecord record;
  record.title = "untouched";
  record.SetCount(7);
  if (tavril::LoadChannelFile(input, record) != 1) {
    // A refused file leaves the record as it was.
    if (record.title != "untouched" || record.count() != 7 || !record.samples().empty())
      std::abort();
    return 0;
  }
  if (!Consistent(record)) std::abort();

  // The writer's text is a fixed point of reading and writing again.
  const std::string first = Written(record, folder / "first.tvr");
  ChannelRecord again;
  if (tavril::LoadChannelFile(folder / "first.tvr", again) != 1 || !Consistent(again)) std::abort();
  if (again.count() != record.count() || again.device != record.device ||
      again.chan != record.chan || again.gain != record.gain) {
    std::abort();
  }
  if (Written(again, folder / "second.tvr") != first) std::abort();
  return 0;
}
