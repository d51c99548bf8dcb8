#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavril::cli {

// One JSON object on one line, built key by key in the order the keys are
// added. Texts must be UTF-8; they are escaped, not checked.
class JsonObject {
 public:
  void AddString(std::string_view key, std::string_view utf8);
  void AddInteger(std::string_view key, std::int64_t value);
  // The shortest text that reads back as the same double. JSON has no number
  // for infinities and NaN: they are the strings "Infinity", "-Infinity" and
  // "NaN", which every JSON reader takes and which float() in Python and
  // Number() in JavaScript turn back into the value.
  void AddDouble(std::string_view key, double value);
  // A value that is not there: `value` or null.
  void AddOptionalDouble(std::string_view key, std::optional<double> value);

  // The object's text, without a line end.
  std::string Text() const { return text_ + '}'; }

 private:
  void AddKey(std::string_view key);

  std::string text_ = "{";
};

// A JSON string literal, quotes included: \" \\ \n \r \t, other control
// characters as \u00XX, everything else byte for byte.
void AppendJsonString(std::string& out, std::string_view utf8);

void AppendJsonDouble(std::string& out, double value);

}  // namespace tavril::cli
