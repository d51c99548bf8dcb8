#include "files/matlab_export.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "files/save_prompt.h"
#include "text/number_text.h"
#include "text/text_encoding.h"

namespace tavril {
namespace {

// One value line: the longest "%.12f" text and CR LF.
constexpr std::size_t kMaxValueLineChars = kMaxFixedChars + 2;

// "%.12f", except that non-finite values take the spelling MATLAB and Octave
// read back as the same value.
char* AppendScriptValue(char* out, double value) {
  if (std::isfinite(value)) return AppendFixed12(out, value);
  std::string_view text = "NaN";
  if (std::isinf(value)) text = value < 0 ? "-Inf" : "Inf";
  for (const char c : text) *out++ = c;
  return out;
}

void WriteValueLine(AtomicFileWriter& out, double value) {
  char* const begin = out.Reserve(kMaxValueLineChars);
  char* end = AppendScriptValue(begin, value);
  *end++ = '\r';
  *end++ = '\n';
  out.Advance(end);
}

// "3" for channel 3 and "m3" for channel -3: a minus sign cannot be part of a
// variable name.
std::string ChannelSuffix(int chan) {
  std::string suffix;
  if (chan < 0) suffix = "m";
  char digits[16];
  const unsigned magnitude =
      chan < 0 ? 0u - static_cast<unsigned>(chan) : static_cast<unsigned>(chan);
  const auto result = std::to_chars(digits, digits + sizeof digits, magnitude);
  suffix.append(digits, result.ptr);
  return suffix;
}

// The title's lines, split at CR LF, lone LF and lone CR.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      i += (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  lines.push_back(text.substr(start));
  return lines;
}

// A single-quoted MATLAB string literal; a quote inside is doubled.
void AppendQuoted(std::string& out, std::string_view text) {
  out += '\'';
  for (const char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
}

// title('...') for a one-line title; title({'line 1','line 2'}) otherwise,
// since a line break inside a string literal would end the script's statement.
std::string TitleCommand(std::string_view windows1252Title) {
  const std::string utf8 = Windows1252ToUtf8(windows1252Title);
  const std::vector<std::string_view> lines = SplitLines(utf8);
  std::string command = "title(";
  if (lines.size() == 1) {
    AppendQuoted(command, lines.front());
  } else {
    command += '{';
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i > 0) command += ',';
      AppendQuoted(command, lines[i]);
    }
    command += '}';
  }
  command += ")";
  return command;
}

}  // namespace

void WriteMatlabScript(const ChannelRecord& record, AtomicFileWriter& out) {
  const std::string suffix = ChannelSuffix(record.chan);
  const std::size_t size = record.sampleCount();

  out.Append("% Fichier d'export vers MatLab pour TAVRIL\r\n\r\nx");
  out.Append(suffix);
  out.Append("=[\r\n");
  for (std::size_t i = 0; i < size; ++i) {
    WriteValueLine(out, static_cast<double>(i) / record.rate);
  }

  out.Append("];\r\ny");
  out.Append(suffix);
  out.Append("=[\r\n");
  for (const double sample : record.samples()) WriteValueLine(out, sample);

  out.Append("];\r\nplot(x" + suffix + ",y" + suffix + ");\r\ngrid;\r\n");
  out.Append(TitleCommand(record.title));
  out.Append("\r\n\r\n");
}

SaveOutcome ExportMatlabFile(UserInteraction& ui, const std::filesystem::path& path,
                             const ChannelRecord& record) {
  return SaveWithOverwritePrompt(
      ui, path, [&record](AtomicFileWriter& out) { WriteMatlabScript(record, out); });
}

}  // namespace tavril
