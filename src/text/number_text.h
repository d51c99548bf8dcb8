#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Locale-free number text. Every formatter gives the bytes printf gives in the
// C locale, whatever the process locale is; every parser reads decimal text as
// the C library's strtod/strtol read it in the C locale, and nothing else (no
// hexadecimal, no names). Non-finite values are spelt "inf", "-inf" and "nan"
// (a NaN's sign is not written); only the sample reader takes them back.

namespace tavril {

// Room for any "%.Nf" of a double with N <= 17, plus sign and point.
inline constexpr std::size_t kMaxFixedChars = 330;

// printf("%.*f", decimals, value) into `out`, which has room for
// kMaxFixedChars; returns one past the last byte. decimals must be 0..17.
char* AppendFixed(char* out, double value, int decimals);

// printf("%.12f", value); the fast path for sample lists (exact, no rounding
// shortcut).
char* AppendFixed12(char* out, double value);

std::string FormatFixed(double value, int decimals);

// Room for the shortest round-trip text of any double: "-2.2250738585072014e-308".
inline constexpr std::size_t kMaxShortestChars = 24;

// The shortest text that reads back as exactly `value`, in plain decimals
// for magnitudes from 1e-4 up to 1e16 and zero ("0.0004", "100000", "-0"),
// in exponent form otherwise ("1e-05", "5e-324", "1e+300"), as Python's
// repr() chooses; or "inf", "-inf", "nan". `out` has room for
// kMaxShortestChars. Returns one past the last byte.
char* AppendShortest(char* out, double value);

// AppendShortest's text as a string.
std::string ShortestText(double value);

// The shortest plain decimals that read back as exactly `value` ("100000",
// "-3.0103", "0.00001"), never an exponent, which some spreadsheets read as
// text; appended to `text`.
void AppendShortestDecimals(std::string& text, double value);

// printf("%.4e") with the exponent written with at least three digits, as the
// original platform's C library does: 100000.0 gives "1.0000e+005".
std::string FormatExponent4(double value);

struct ParsedDouble {
  double value = 0.0;
  std::size_t consumed = 0;  // 0 when the text holds no number
};

// A decimal number as the C locale's strtod reads one: leading white space,
// an optional sign, digits with an optional '.' fraction and an optional
// exponent; it stops at the first byte that cannot continue the number.
// Decimal only: "0x10" reads 0 (one byte), "inf" and "nan" read nothing.
// Text without a number gives 0.0; a magnitude beyond the double's range
// gives an infinity, as strtod does.
ParsedDouble ParseDecimalDouble(std::string_view text);

// A sample of a data file: a decimal number as above, or "inf", "-inf" or
// "nan", the words the writer uses for samples that are not finite.
ParsedDouble ParseSampleValue(std::string_view text);

// strtol(text, nullptr, 10) with the 32-bit long of the platform the files
// come from: leading white space, optional sign, digits; saturates at the
// 32-bit range. Text without digits gives 0.
std::int32_t ParseDecimalInt32(std::string_view text);

// The value's low 16 bits, as a 16-bit field stores an int.
inline std::int16_t LowBits16(std::int32_t value) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint64_t>(value)));
}

}  // namespace tavril
