#pragma once

#include <filesystem>
#include <string>

#include "files/byte_reader.h"
#include "model/board_config.h"

namespace tavril {

inline constexpr const char* kConfigFileName = "TAVRIL.INI";
// Exists only while a write is in progress.
inline constexpr const char* kConfigTemporaryName = "TAVRIL.$$$";
// No value of the file may be longer; the longest is a viewer path.
inline constexpr std::size_t kMaxConfigFieldBytes = kMaxHtmlViewerBytes;

// Reads `startDirectory`/TAVRIL.INI. 1 when all seven values were read, and
// `config` then holds them; 0 when the file is missing or breaks the fixed
// layout, and `config` is then untouched; `why`, when given, then says what
// was wrong, in one line of French.
int ReadConfigFile(BoardConfig& config, const std::filesystem::path& startDirectory,
                   std::string* why = nullptr);

// Writes `config` as the whole of `startDirectory`/TAVRIL.INI. 1 on success;
// 0 when it could not be written or `config` holds a value the reader could
// not read back, and the previous file is then intact.
int WriteConfigFile(const BoardConfig& config, const std::filesystem::path& startDirectory);

// Reads one value up to its ';' and skips the ';' and the two bytes after it.
// False when the file ends before the ';' or the value is longer than
// kMaxConfigFieldBytes.
bool ReadConfigField(ByteReader& in, std::string& value);

// The file's exact bytes for `config`.
std::string ConfigFileText(const BoardConfig& config);

}  // namespace tavril
