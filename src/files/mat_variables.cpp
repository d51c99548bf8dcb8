#include "files/mat_variables.h"

#include <mutex>

#include "text/text_encoding.h"

namespace tavril::mat_variables {

std::u16string Windows1252ToUtf16(std::string_view bytes) {
  const std::string utf8 = Windows1252ToUtf8(bytes);
  std::u16string units;
  for (std::size_t i = 0; i < utf8.size();) {
    // Windows-1252 gives code points below U+10000: one to three bytes.
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3;
    char32_t point = length == 1 ? lead : length == 2 ? lead & 0x1F : lead & 0x0F;
    for (int k = 1; k < length && i + k < utf8.size(); ++k)
      point = point << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    units.push_back(static_cast<char16_t>(point));
    i += static_cast<std::size_t>(length);
  }
  return units;
}

std::string Utf16ToWindows1252(std::u16string_view units) {
  std::string utf8;
  for (const char16_t unit : units) {
    if (unit < 0x80) {
      utf8 += static_cast<char>(unit);
    } else if (unit < 0x800) {
      utf8 += static_cast<char>(0xC0 | unit >> 6);
      utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit >= 0xD800 && unit < 0xE000) {
      utf8 += '?';
    } else {
      utf8 += static_cast<char>(0xE0 | unit >> 12);
      utf8 += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return Utf8ToWindows1252(utf8);
}

void SilenceMatioLog() {
  static std::once_flag once;
  std::call_once(once, [] { Mat_LogInitFunc("tavril", [](int, char*) {}); });
}

}  // namespace tavril::mat_variables
