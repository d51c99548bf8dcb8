#include "config/config_file.h"

#include <cerrno>
#include <charconv>
#include <string_view>

#include "files/file_writer.h"
#include "text/number_text.h"
#include "text/system_error_text.h"

namespace tavril {
namespace {

// The header line and the first key are compared as one block.
constexpr std::string_view kHeaderAndInputModeKey = "[Tavril]\r\nInput Mode =";
constexpr std::size_t kLongestKeyBytes = kHeaderAndInputModeKey.size();

void AppendInteger(std::string& out, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

// The reader ends a value at its first ';' and caps its length, and a NUL
// would end the path when it is handed to the system.
bool ViewerPathReadsBack(std::string_view path) {
  return path.size() <= kMaxHtmlViewerBytes && path.find(';') == std::string_view::npos &&
         path.find('\0') == std::string_view::npos;
}

bool ReadKey(ByteReader& in, std::string_view key) {
  char bytes[kLongestKeyBytes];
  return in.Read(bytes, key.size()) == key.size() && std::string_view(bytes, key.size()) == key;
}

// Says, when the caller wants to know, which key or value broke the layout.
class KeyReader {
 public:
  KeyReader(ByteReader& in, std::string* why) : in_(in), why_(why) {}

  // The key must start exactly where the previous value's skip left the reader.
  bool KeyAndValue(std::string_view key, std::string& value) {
    const std::uint64_t keyOffset = in_.Position();
    if (!ReadKey(in_, key)) {
      std::string shown(key);
      if (const std::size_t lineEnd = shown.find("\r\n"); lineEnd != std::string::npos) {
        shown.replace(lineEnd, 2, " ");
      }
      return Fail("« " + shown + " » attendu à l'octet " + std::to_string(keyOffset));
    }
    if (ReadConfigField(in_, value)) return true;
    return Fail(value.size() == kMaxConfigFieldBytes
                    ? "la valeur de « " + std::string(key) + " » est trop longue"
                    : "la valeur de « " + std::string(key) + " » n'a pas son « ; » final");
  }

  bool Fail(std::string reason) {
    if (why_ != nullptr) *why_ = std::move(reason);
    return false;
  }

 private:
  ByteReader& in_;
  std::string* why_;
};

}  // namespace

std::string ConfigFileText(const BoardConfig& config) {
  std::string text = "[Tavril]\r\nInput Mode =";
  AppendInteger(text, config.inputMode);
  text += ";\r\nPolar =";
  AppendInteger(text, config.polar);
  text += ";\r\nDevice =";
  AppendInteger(text, config.device);
  text += ";\r\nTimeOut =";
  AppendInteger(text, config.timeOut);
  // At most 317 bytes even for the largest double, so always within the
  // reader's field limit.
  text += ";\r\nGainAdjust =";
  text += FormatFixed(config.gainAdjust, 6);
  text += ";\r\nOffset =";
  text += FormatFixed(config.offset, 6);
  text += ";\r\nHtml =";
  text += config.htmlViewer;
  text += ';';
  return text;
}

bool ReadConfigField(ByteReader& in, std::string& value) {
  value.clear();
  for (;;) {
    const int byte = in.Get();
    if (byte < 0) return false;
    if (byte == ';') break;
    if (value.size() == kMaxConfigFieldBytes) return false;
    value.push_back(static_cast<char>(byte));
  }
  // The writer puts CR LF here; after the last value the file simply ends.
  in.Skip(2);
  return true;
}

int ReadConfigFile(BoardConfig& config, const std::filesystem::path& startDirectory,
                   std::string* why) {
  ByteReader in;
  KeyReader keys(in, why);
  if (!in.Open(startDirectory / kConfigFileName)) {
    return keys.Fail(SystemErrorText(errno));
  }

  // Filled aside so that a failed read leaves `config` as it was.
  BoardConfig read;
  std::string value;
  if (!keys.KeyAndValue(kHeaderAndInputModeKey, value)) return 0;
  read.inputMode = LowBits16(ParseDecimalInt32(value));
  if (!keys.KeyAndValue("Polar =", value)) return 0;
  read.polar = LowBits16(ParseDecimalInt32(value));
  if (!keys.KeyAndValue("Device =", value)) return 0;
  read.device = LowBits16(ParseDecimalInt32(value));
  if (!keys.KeyAndValue("TimeOut =", value)) return 0;
  read.timeOut = ParseDecimalInt32(value);
  if (!keys.KeyAndValue("GainAdjust =", value)) return 0;
  read.gainAdjust = ParseDecimalDouble(value).value;
  if (!keys.KeyAndValue("Offset =", value)) return 0;
  read.offset = ParseDecimalDouble(value).value;
  if (!keys.KeyAndValue("Html =", value)) return 0;
  // The path ends at a NUL when it is handed to the system; the writer
  // refuses such a path, so the record never holds one.
  read.htmlViewer = value.substr(0, value.find('\0'));

  if (in.HadReadError()) return keys.Fail(SystemErrorText(in.ReadErrorNumber()));
  if (!in.Close()) return keys.Fail(SystemErrorText(errno));
  config = std::move(read);
  return 1;
}

int WriteConfigFile(const BoardConfig& config, const std::filesystem::path& startDirectory) {
  if (!ViewerPathReadsBack(config.htmlViewer)) return 0;
  // The new content goes to TAVRIL.$$$, which replaces TAVRIL.INI only once
  // it is complete: a failed write leaves the previous file as it was.
  AtomicFileWriter writer;
  if (!writer.OpenWithTemporary(startDirectory / kConfigFileName, kConfigTemporaryName)) {
    return 0;
  }
  writer.Append(ConfigFileText(config));
  return writer.Commit() ? 1 : 0;
}

}  // namespace tavril
