// Any bytes as a session file: the reader must end in its failure path,
// leaving what it reads into untouched, or give records whose counts their
// samples hold and a view the graph can draw; what it read must then come
// back the same through the writer. The reader runs its check in this
// process: what is fuzzed is the reader, not the helper program that keeps
// the program safe from the files libhdf5 itself does not survive (those
// are in libhdf5_faults/ and the session tests).
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "fuzz_scratch.h"
#include "model/allocation.h"
#include "session/session_file.h"

namespace {

using tavril::SessionContents;

constexpr tavril::CheckPlace kInProcess = tavril::CheckPlace::kInProcess;

bool Consistent(const SessionContents& contents) {
  for (const tavril::ChannelRecord& record : contents.channels) {
    if (!record.samples().empty() && record.sampleCount() != record.count()) return false;
    if (record.title.size() > tavril::kMaxTitleBytes) return false;
    if (record.title.find('\0') != std::string::npos) return false;
  }
  const tavril::GraphScale& scale = contents.view.scale;
  return contents.masterChannel >= 0 && contents.masterChannel < tavril::kChannelCount &&
         std::isfinite(scale.pixelsPerSample) && scale.pixelsPerSample > 0 &&
         std::isfinite(scale.pixelsPerVolt) && scale.pixelsPerVolt > 0 && scale.scrollOffset >= 0;
}

// The file the writer makes of `contents`, as bytes.
std::string Written(const SessionContents& contents, const std::filesystem::path& path) {
  tavril::Session session;
  session.channels = contents.channels;
  session.masterChannel = contents.masterChannel;
  if (!tavril::WriteSessionFile(session, contents.view, path, nullptr)) std::abort();
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

// libhdf5 leaks when a root object header fails to decode (FAULTS.md).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libhdf5\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A damaged file may announce any length; a small bound keeps such inputs
  // fast and within the fuzzer's own limits.
  if (tavril::fuzz::MayReachALibraryFault(tavril::fuzz::AsText(data, size))) return 0;
  const tavril::ScopedMemoryLimit memory(std::size_t{4} << 20);
  const std::filesystem::path& folder = tavril::fuzz::ScratchFolder();
  const std::filesystem::path input = folder / "input.h5";
  tavril::fuzz::WriteWhole(input, tavril::fuzz::AsText(data, size));

  SessionContents contents;
  contents.masterChannel = 5;
  contents.channels[3].title = "untouched";
  std::string why;
  if (!tavril::ReadSessionFile(input, contents, &why, nullptr, kInProcess)) {
    if (why.empty() || contents.masterChannel != 5 || contents.channels[3].title != "untouched") {
      std::abort();
    }
    return 0;
  }
  if (!Consistent(contents)) std::abort();

  // The writer's file is a fixed point of reading and writing again.
  const std::string first = Written(contents, folder / "first.h5");
  SessionContents again;
  if (!tavril::ReadSessionFile(folder / "first.h5", again, nullptr, nullptr, kInProcess) ||
      !Consistent(again)) {
    std::abort();
  }
  if (Written(again, folder / "second.h5") != first) std::abort();
  return 0;
}
