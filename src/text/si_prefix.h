#pragma once

#include <array>
#include <string_view>

namespace tavril {

struct SiPrefix {
  int exponent;  // a power of ten, a multiple of three
  std::string_view symbol;
};

// From pico to tera; "µ" is the micro sign U+00B5, in UTF-8.
inline constexpr std::array<SiPrefix, 9> kSiPrefixes{{{-12, "p"},
                                                      {-9, "n"},
                                                      {-6, "\xC2\xB5"},
                                                      {-3, "m"},
                                                      {0, ""},
                                                      {3, "k"},
                                                      {6, "M"},
                                                      {9, "G"},
                                                      {12, "T"}}};

}  // namespace tavril
