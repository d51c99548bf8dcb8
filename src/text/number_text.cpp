#include "text/number_text.h"

#include <locale.h>
#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace tavril {
namespace {

char* AppendText(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

char* AppendNonFinite(char* out, double value) {
  if (std::isnan(value)) return AppendText(out, "nan");
  return AppendText(out, value < 0 ? "-inf" : "inf");
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes `value` in decimal; returns one past the last digit.
char* AppendUnsigned(char* out, unsigned __int128 value) {
  char digits[40];
  char* p = digits + sizeof digits;
  while (value >> 64) {
    const unsigned __int128 q = value / 10;
    *--p = static_cast<char>('0' + static_cast<unsigned>(value - q * 10));
    value = q;
  }
  std::uint64_t small = static_cast<std::uint64_t>(value);
  while (small >= 100) {
    const unsigned pair = static_cast<unsigned>(small % 100) * 2;
    small /= 100;
    *--p = kDigitPairs[pair + 1];
    *--p = kDigitPairs[pair];
  }
  if (small >= 10) {
    const unsigned pair = static_cast<unsigned>(small) * 2;
    *--p = kDigitPairs[pair + 1];
    *--p = kDigitPairs[pair];
  } else {
    *--p = static_cast<char>('0' + small);
  }
  const std::size_t length = static_cast<std::size_t>(digits + sizeof digits - p);
  std::memcpy(out, p, length);
  return out + length;
}

// Exactly 12 digits, with leading zeros.
char* AppendTwelveDigits(char* out, std::uint64_t value) {
  for (int i = 10; i >= 0; i -= 2) {
    const unsigned pair = static_cast<unsigned>(value % 100) * 2;
    value /= 100;
    out[i] = kDigitPairs[pair];
    out[i + 1] = kDigitPairs[pair + 1];
  }
  return out + 12;
}

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

// The C library's own conversion, pinned to the C locale, for the rare
// decimal texts from_chars leaves aside (overflow, underflow).
ParsedDouble ParseWithCLibrary(std::string_view text) {
  const std::string copy(text);
  char* end = nullptr;
  const double value = strtod_l(copy.c_str(), &end, CLocale());
  return {value, static_cast<std::size_t>(end - copy.c_str())};
}

bool IsCSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

char* AppendFixed(char* out, double value, int decimals) {
  if (!std::isfinite(value)) return AppendNonFinite(out, value);
  if (decimals == 12) return AppendFixed12(out, value);
  const auto result =
      std::to_chars(out, out + kMaxFixedChars, value, std::chars_format::fixed, decimals);
  return result.ptr;
}

char* AppendFixed12(char* out, double value) {
  if (!std::isfinite(value)) return AppendNonFinite(out, value);
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const int biasedExponent = static_cast<int>((bits >> 52) & 0x7ff);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  // value = mantissa * 2^exponent, exactly.
  const std::uint64_t mantissa =
      biasedExponent == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  const int exponent = biasedExponent == 0 ? -1074 : biasedExponent - 1075;
  if (exponent > 34) {
    // value * 10^12 no longer fits 128 bits; such magnitudes are rare.
    return std::to_chars(out, out + kMaxFixedChars, value, std::chars_format::fixed, 12).ptr;
  }
  constexpr std::uint64_t kScale = 1000000000000ULL;                                   // 10^12
  const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * kScale;  // < 2^93
  unsigned __int128 units;  // value * 10^12, rounded half to even
  if (exponent >= 0) {
    units = scaled << exponent;
  } else if (exponent <= -94) {
    units = 0;  // below half a unit of the 12th decimal
  } else {
    const int shift = -exponent;
    unsigned __int128 quotient = scaled >> shift;
    const unsigned __int128 remainder = scaled - (quotient << shift);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    if (remainder > half || (remainder == half && (quotient & 1))) ++quotient;
    units = quotient;
  }
  if (bits >> 63) *out++ = '-';
  unsigned __int128 integerPart;
  std::uint64_t decimalPart;
  if ((units >> 64) == 0) {
    // The common case, kept to 64-bit division: a 128-bit one is a library call.
    const std::uint64_t small = static_cast<std::uint64_t>(units);
    integerPart = small / kScale;
    decimalPart = small % kScale;
  } else {
    integerPart = units / kScale;
    decimalPart = static_cast<std::uint64_t>(units - integerPart * kScale);
  }
  out = AppendUnsigned(out, integerPart);
  *out++ = '.';
  return AppendTwelveDigits(out, decimalPart);
}

char* AppendShortest(char* out, double value) {
  if (!std::isfinite(value)) return AppendNonFinite(out, value);
  const double magnitude = std::fabs(value);
  const bool plain = magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 1e16);
  return std::to_chars(out, out + kMaxShortestChars, value,
                       plain ? std::chars_format::fixed : std::chars_format::scientific)
      .ptr;
}

std::string ShortestText(double value) {
  char text[kMaxShortestChars];
  return std::string(text, AppendShortest(text, value));
}

void AppendShortestDecimals(std::string& text, double value) {
  // 309 digits before the point, 17 after, and the sign.
  char digits[340];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed);
  text.append(digits, end.ptr);
}

std::string FormatFixed(double value, int decimals) {
  char buffer[kMaxFixedChars];
  return std::string(buffer, AppendFixed(buffer, value, decimals));
}

std::string FormatExponent4(double value) {
  char buffer[64];
  if (!std::isfinite(value)) return std::string(buffer, AppendNonFinite(buffer, value));
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 4);
  std::string text(buffer, result.ptr);
  const std::size_t e = text.find('e');
  // to_chars writes e+05; the original C library writes e+005.
  const std::size_t digits = text.size() - (e + 2);
  if (digits < 3) text.insert(e + 2, 3 - digits, '0');
  return text;
}

namespace {

// The decimal number at `p`, sign excluded: digits with an optional '.'
// fraction (at least one digit in all) and an optional exponent, which counts
// only when digits follow its 'e'. Returns one past its end, or `p` when the
// text there is no number.
const char* DecimalNumberEnd(const char* p, const char* end) {
  const char* q = p;
  bool anyDigit = false;
  while (q < end && IsDigit(*q)) {
    ++q;
    anyDigit = true;
  }
  if (q < end && *q == '.') {
    ++q;
    while (q < end && IsDigit(*q)) {
      ++q;
      anyDigit = true;
    }
  }
  if (!anyDigit) return p;
  if (q < end && (*q == 'e' || *q == 'E')) {
    const char* e = q + 1;
    if (e < end && (*e == '+' || *e == '-')) ++e;
    if (e < end && IsDigit(*e)) {
      while (e < end && IsDigit(*e)) ++e;
      q = e;
    }
  }
  return q;
}

// Lower-case "inf" or "nan" at `p`, as the sample writer spells them.
bool StartsWithNonFiniteName(const char* p, const char* end, double& value) {
  if (end - p < 3) return false;
  const std::string_view name(p, 3);
  if (name == "inf") {
    value = std::numeric_limits<double>::infinity();
    return true;
  }
  if (name == "nan") {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  return false;
}

ParsedDouble ParseNumber(std::string_view text, bool acceptNonFiniteNames) {
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* p = begin;
  while (p < end && IsCSpace(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  double value = 0.0;
  if (acceptNonFiniteNames && StartsWithNonFiniteName(p, end, value)) {
    return {negative ? -value : value, static_cast<std::size_t>(p + 3 - begin)};
  }
  const char* const numberEnd = DecimalNumberEnd(p, end);
  if (numberEnd == p) return {};
  const std::from_chars_result result =
      std::from_chars(p, numberEnd, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone on overflow and underflow; strtod
    // gives the infinity or the rounded tiny value. The text is plain
    // decimal here, so the C library reads exactly what was measured.
    value = ParseWithCLibrary(std::string_view(p, static_cast<std::size_t>(numberEnd - p))).value;
  } else if (result.ec != std::errc() || result.ptr != numberEnd) {
    return {};
  }
  return {negative ? -value : value, static_cast<std::size_t>(numberEnd - begin)};
}

}  // namespace

ParsedDouble ParseDecimalDouble(std::string_view text) {
  return ParseNumber(text, false);
}

ParsedDouble ParseSampleValue(std::string_view text) {
  return ParseNumber(text, true);
}

std::int32_t ParseDecimalInt32(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate the magnitude with saturation, as strtol clamps to LONG_MIN/LONG_MAX.
  constexpr std::uint64_t kLimitPositive = std::numeric_limits<std::int32_t>::max();
  const std::uint64_t limit = negative ? kLimitPositive + 1 : kLimitPositive;
  std::uint64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const std::uint64_t digit = static_cast<std::uint64_t>(text[i] - '0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;
      for (; i < text.size() && IsDigit(text[i]); ++i) {
      }
      break;
    }
    magnitude = magnitude * 10 + digit;
  }
  const auto value = static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace tavril
