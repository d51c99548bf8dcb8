#include "files/csv_fields.h"

#include <algorithm>
#include <limits>

#include "text/number_text.h"
#include "text/text_encoding.h"

namespace tavril {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// nan, inf and infinity in any case; the sign is the caller's.
bool ReadNonFiniteName(std::string_view text, double& value) {
  if (text.size() > 8) return false;
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  if (lower == "nan") {
    value = std::numeric_limits<double>::quiet_NaN();
  } else if (lower == "inf" || lower == "infinity") {
    value = std::numeric_limits<double>::infinity();
  } else {
    return false;
  }
  return true;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80                   ? 1
                               : lead >= 0xC2 && lead < 0xE0 ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

std::string QuotedForMessage(std::string_view text) {
  std::string shown = IsValidUtf8(text) ? std::string(text) : Windows1252ToUtf8(text);
  std::size_t length = std::min<std::size_t>(shown.size(), 40);
  // Never half a UTF-8 character.
  while (length < shown.size() && length > 0 && (shown[length] & 0xC0) == 0x80) --length;
  const bool cut = length < shown.size();
  shown.resize(length);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return "« " + shown + (cut ? "… »" : " »");
}

std::string CsvTextToWindows1252(std::string_view text) {
  return IsValidUtf8(text) ? Utf8ToWindows1252(text) : std::string(text);
}

char DetectCsvSeparator(std::string_view line) {
  bool quoted = false;
  bool semicolon = false;
  bool tab = false;
  for (char c : line) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    tab = tab || c == '\t';
    semicolon = semicolon || c == ';';
  }
  return tab ? '\t' : semicolon ? ';' : ',';
}

std::string_view TrimCsvCell(std::string_view cell) {
  while (!cell.empty() && IsBlank(cell.front())) cell.remove_prefix(1);
  while (!cell.empty() && IsBlank(cell.back())) cell.remove_suffix(1);
  return cell;
}

CsvSplit SplitCsvLine(std::string_view line, char separator, std::size_t maxCells,
                      std::vector<std::string>& cells) {
  std::size_t count = 0;
  std::size_t at = 0;
  for (;;) {
    if (count == maxCells) return CsvSplit::kTooManyCells;
    if (cells.size() <= count) cells.emplace_back();
    std::string& cell = cells[count++];
    cell.clear();
    std::size_t start = at;
    while (start < line.size() && line[start] == ' ') ++start;
    if (start < line.size() && line[start] == '"') {
      at = start + 1;
      for (;;) {
        const std::size_t quote = line.find('"', at);
        if (quote == std::string_view::npos) return CsvSplit::kUnclosedQuote;
        cell.append(line.substr(at, quote - at));
        at = quote + 1;
        if (at < line.size() && line[at] == '"') {
          cell += '"';
          ++at;
          continue;
        }
        break;
      }
      while (at < line.size() && line[at] == ' ') ++at;
      if (at < line.size() && line[at] != separator) return CsvSplit::kTextAfterQuote;
    } else {
      const std::size_t end = std::min(line.find(separator, at), line.size());
      cell.assign(line.substr(at, end - at));
      at = end;
    }
    if (at >= line.size()) break;
    ++at;  // the separator
  }
  cells.resize(count);
  return CsvSplit::kDone;
}

CsvCell ReadCsvCell(std::string_view cell, char separator, double& value) {
  cell = TrimCsvCell(cell);
  if (cell.empty()) return CsvCell::kEmpty;
  std::string_view unsigned_part = cell;
  const bool negative = cell.front() == '-';
  if (cell.front() == '-' || cell.front() == '+') unsigned_part.remove_prefix(1);
  if (ReadNonFiniteName(unsigned_part, value)) {
    if (negative) value = -value;
    return CsvCell::kNumber;
  }
  // Number text is short; anything longer is no number a writer makes.
  char text[400];
  if (cell.size() >= sizeof text) return CsvCell::kText;
  std::copy(cell.begin(), cell.end(), text);
  if (separator != ',') std::replace(text, text + cell.size(), ',', '.');
  const std::string_view number(text, cell.size());
  const ParsedDouble parsed = ParseDecimalDouble(number);
  if (parsed.consumed == 0 || parsed.consumed != number.size()) return CsvCell::kText;
  value = parsed.value;
  return CsvCell::kNumber;
}

}  // namespace tavril
