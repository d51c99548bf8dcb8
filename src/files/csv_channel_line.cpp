#include "files/csv_channel_line.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "files/csv_fields.h"
#include "text/iso_time.h"
#include "text/number_text.h"
#include "text/text_encoding.h"

namespace tavril {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string EscapedTitle(const std::string& title) {
  std::string text = "\"";
  for (const char c : Windows1252ToUtf8(title)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      text += '\\';
      text += c;
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else if (c == '\t') {
      text += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      text += "\\x";
      text += kHexDigits[byte >> 4];
      text += kHexDigits[byte & 15];
    } else {
      text += c;
    }
  }
  return text + "\"";
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The quoted title at the start of `text`, unescaped; `text` then starts after
// the closing quote. False when the quotes or an escape are broken.
bool ReadQuotedTitle(std::string_view& text, std::string& utf8) {
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      text.remove_prefix(i + 1);
      return true;
    }
    if (c != '\\') {
      utf8 += c;
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '"':
      case '\\':
        utf8 += text[i];
        break;
      case 'n':
        utf8 += '\n';
        break;
      case 'r':
        utf8 += '\r';
        break;
      case 't':
        utf8 += '\t';
        break;
      case 'x': {
        if (i + 2 >= text.size() || HexValue(text[i + 1]) < 0 || HexValue(text[i + 2]) < 0) {
          return false;
        }
        utf8 += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return false;
}

bool ReadInteger(std::string_view text, std::int64_t low, std::int64_t high, std::int64_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

}  // namespace

std::string CsvChannelLine(int slot, const ChannelRecord& record) {
  char rate[kMaxShortestChars];
  std::string line =
      std::string(kCsvChannelLineStart) + "slot=" + std::to_string(slot) +
      " title=" + EscapedTitle(record.title) + " device=" + std::to_string(record.device) +
      " chan=" + std::to_string(record.chan) + " gain=" + std::to_string(record.gain) +
      " rate=" + std::string(rate, AppendShortest(rate, record.rate)) +
      " count=" + std::to_string(record.count()) + " unit=V";
  if (record.acquiredAt) line += " acquired=" + FormatIsoUtc(*record.acquiredAt);
  return line;
}

bool IsCsvChannelLine(std::string_view line) {
  return line.substr(0, kCsvChannelLineStart.size()) == kCsvChannelLineStart;
}

bool ParseCsvChannelLine(std::string_view line, int& slot, ChannelRecord& record,
                         std::string& why) {
  static constexpr std::string_view kKeys[] = {"slot", "title", "device", "chan",    "gain",
                                               "rate", "count", "unit",   "acquired"};
  std::string_view rest = line.substr(kCsvChannelLineStart.size());
  ChannelRecord fields;
  fields.gain = 1;
  std::int64_t slotNumber = 0;
  unsigned seen = 0;  // a bit for each of kKeys
  while (!rest.empty()) {
    if (rest.front() == ' ') {
      rest.remove_prefix(1);
      continue;
    }
    const std::size_t equals = rest.find('=');
    if (equals == std::string_view::npos || equals > rest.find(' ')) {
      why = QuotedForMessage(rest.substr(0, rest.find(' '))) + " n'est pas de la forme clé=valeur";
      return false;
    }
    const std::string_view key = rest.substr(0, equals);
    rest.remove_prefix(equals + 1);
    unsigned bit = 0;
    for (std::size_t k = 0; k < std::size(kKeys); ++k) {
      if (kKeys[k] == key) bit = 1u << k;
    }
    if ((seen & bit) != 0) {
      why = "la clé " + QuotedForMessage(key) + " apparaît deux fois";
      return false;
    }
    seen |= bit;
    if (key == "title") {
      std::string utf8;
      if (rest.empty() || rest.front() != '"' || !ReadQuotedTitle(rest, utf8)) {
        why = "le titre n'est pas un texte entre guillemets bien formé";
        return false;
      }
      fields.title = Utf8ToWindows1252(utf8);
      if (fields.title.size() > kMaxTitleBytes || fields.title.find('\0') != std::string::npos) {
        why = "le titre dépasse 255 caractères ou contient un caractère nul";
        return false;
      }
      continue;
    }
    const std::string_view value = rest.substr(0, rest.find(' '));
    rest.remove_prefix(value.size());
    std::int64_t number = 0;
    bool good = true;
    if (key == "slot") {
      good = ReadInteger(value, 0, kChannelCount - 1, slotNumber);
    } else if (key == "device" || key == "chan" || key == "gain") {
      good = ReadInteger(value, std::numeric_limits<std::int16_t>::min(),
                         std::numeric_limits<std::int16_t>::max(), number);
      std::int16_t& field = key == "device" ? fields.device
                            : key == "chan" ? fields.chan
                                            : fields.gain;
      field = static_cast<std::int16_t>(number);
    } else if (key == "count") {
      good = ReadInteger(value, 0, std::numeric_limits<std::uint32_t>::max(), number);
      fields.SetCount(static_cast<std::uint32_t>(number));
    } else if (key == "rate") {
      const ParsedDouble parsed = ParseSampleValue(value);
      good = !value.empty() && value.front() > ' ' && parsed.consumed == value.size();
      fields.rate = parsed.value;
    } else if (key == "unit") {
      good = value == "V";
    } else if (key == "acquired") {
      fields.acquiredAt = ParseIsoUtc(value);
      good = fields.acquiredAt.has_value();
    }
    if (!good) {
      why = "valeur " + QuotedForMessage(value) + " impossible pour " + std::string(key);
      return false;
    }
  }
  constexpr unsigned kSlotRateCount = 1u << 0 | 1u << 5 | 1u << 6;
  if ((seen & kSlotRateCount) != kSlotRateCount) {
    why = "slot, rate et count sont nécessaires";
    return false;
  }
  slot = static_cast<int>(slotNumber);
  if ((seen & 1u << 3) == 0) fields.chan = static_cast<std::int16_t>(slot);
  record = std::move(fields);
  return true;
}

}  // namespace tavril
