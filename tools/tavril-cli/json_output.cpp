#include "json_output.h"

#include <charconv>
#include <cmath>

namespace tavril::cli {

void AppendJsonString(std::string& out, std::string_view utf8) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  out += '"';
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += kHexDigits[byte >> 4];
          out += kHexDigits[byte & 0x0F];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void AppendJsonDouble(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "\"NaN\"";
    return;
  }
  if (std::isinf(value)) {
    out += value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
    return;
  }
  // to_chars without a precision gives the shortest round-trip form in the C
  // locale's spelling, whatever the process locale is.
  char digits[32];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

void JsonObject::AddKey(std::string_view key) {
  if (text_.size() > 1) text_ += ',';
  AppendJsonString(text_, key);
  text_ += ':';
}

void JsonObject::AddString(std::string_view key, std::string_view utf8) {
  AddKey(key);
  AppendJsonString(text_, utf8);
}

void JsonObject::AddInteger(std::string_view key, std::int64_t value) {
  AddKey(key);
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text_.append(digits, result.ptr);
}

void JsonObject::AddDouble(std::string_view key, double value) {
  AddKey(key);
  AppendJsonDouble(text_, value);
}

void JsonObject::AddOptionalDouble(std::string_view key, std::optional<double> value) {
  if (!value) {
    AddKey(key);
    text_ += "null";
    return;
  }
  AddDouble(key, *value);
}

}  // namespace tavril::cli
