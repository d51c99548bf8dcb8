// Any bytes as TAVRIL.INI: the reader must end in its failure path, leaving
// the configuration untouched, or give values that the writer writes and the
// reader reads back unchanged.
#include <cstdlib>

#include "config/config_file.h"
#include "fuzz_scratch.h"
#include "model/board_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path& folder = tavril::fuzz::ScratchFolder();
  tavril::fuzz::WriteWhole(folder / tavril::kConfigFileName, tavril::fuzz::AsText(data, size));

  const tavril::BoardConfig before = tavril::DefaultBoardConfig();
  tavril::BoardConfig config = before;
  if (tavril::ReadConfigFile(config, folder) != 1) {
    if (tavril::ConfigFileText(config) != tavril::ConfigFileText(before)) std::abort();
    return 0;
  }
  if (config.htmlViewer.size() > tavril::kMaxHtmlViewerBytes) std::abort();

  // Whatever was read is written (through the real writer) and read back; a
  // second round must change nothing more.
  if (tavril::WriteConfigFile(config, folder) != 1) std::abort();
  tavril::BoardConfig first;
  if (tavril::ReadConfigFile(first, folder) != 1) std::abort();
  const std::string text = tavril::ConfigFileText(first);
  if (tavril::WriteConfigFile(first, folder) != 1) std::abort();
  tavril::BoardConfig second;
  // Compared as text: a NaN offset never equals itself.
  if (tavril::ReadConfigFile(second, folder) != 1) std::abort();
  if (tavril::ConfigFileText(second) != text) std::abort();
  std::error_code error;
  if (std::filesystem::exists(folder / tavril::kConfigTemporaryName, error)) std::abort();
  return 0;
}
