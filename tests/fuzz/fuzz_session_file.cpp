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

// Whether the bytes may reach a fault that libhdf5 survives in no build
// (libhdf5_faults/FAULTS.md), so that the in-process fuzzer leaves them to the
// check in the helper program: a global heap ("GCOL", whose decoder loops or
// crashes), or a chunked data layout message (versions 3 and 4, after the
// message header of type 8) without dimensions or with a dimension of 0 (a
// division by zero).
bool MayReachALibraryFault(std::string_view bytes) {
  if (bytes.find("GCOL") != std::string_view::npos) return true;
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
  const auto zeroFrom = [&](std::size_t at, std::size_t width) {
    bool zero = true;
    for (std::size_t k = 0; k < width; ++k) zero = zero && byte(at + k) == 0;
    return zero;
  };
  for (std::size_t at = 8; at + 4 <= bytes.size(); ++at) {
    if (byte(at - 8) != 8 || byte(at - 7) != 0 || byte(at + 1) != 2) continue;
    const unsigned version = byte(at);
    if (version == 3) {
      const std::size_t dims = byte(at + 2);
      if (dims == 0) return true;
      for (std::size_t d = 0; d < dims && at + 15 + 4 * d <= bytes.size(); ++d) {
        if (zeroFrom(at + 11 + 4 * d, 4)) return true;
      }
    } else if (version == 4) {
      const std::size_t dims = byte(at + 3);
      const std::size_t width = at + 4 < bytes.size() ? byte(at + 4) : 0;
      if (dims == 0 || width == 0) return true;
      for (std::size_t d = 0; d < dims && at + 5 + width * (d + 1) <= bytes.size(); ++d) {
        if (zeroFrom(at + 5 + width * d, width)) return true;
      }
    }
  }
  return false;
}

}  // namespace

// libhdf5 leaks when a root object header fails to decode (FAULTS.md).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libhdf5\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A damaged file may announce any length; a small bound keeps such inputs
  // fast and within the fuzzer's own limits.
  if (MayReachALibraryFault(tavril::fuzz::AsText(data, size))) return 0;
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
