#include "text/number_text.h"
#include "text/sample_time_text.h"

#include "support/scoped_environment.h"

#include <gtest/gtest.h>

#include <locale.h>
#include <algorithm>
#include <bit>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

namespace tavril {
namespace {

// The C library's answers in the C locale, the reference every helper must match.
std::string PrintfC(const char* format, double value) {
  const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  const locale_t previous = uselocale(c);
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, value);
  uselocale(previous);
  freelocale(c);
  return buffer;
}

struct StrtodAnswer {
  double value;
  std::size_t consumed;
};

StrtodAnswer StrtodC(const std::string& text) {
  const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  char* end = nullptr;
  const double value = strtod_l(text.c_str(), &end, c);
  freelocale(c);
  return {value, static_cast<std::size_t>(end - text.c_str())};
}

std::string Fixed12(double value) {
  char buffer[kMaxFixedChars];
  return std::string(buffer, AppendFixed12(buffer, value));
}

void ExpectSameDouble(double expected, double actual, const std::string& text) {
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(actual)) << text;
    EXPECT_EQ(std::signbit(expected), std::signbit(actual)) << text;
  } else {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(expected), std::bit_cast<std::uint64_t>(actual))
        << text << ": expected " << expected << ", got " << actual;
  }
}

TEST(FixedFormat, MatchesPrintfOnKnownValues) {
  const double values[] = {0.0,
                           -0.0,
                           0.5,
                           -0.25,
                           1.0,
                           -0.0000000000004,
                           0.0000000000005,
                           0.0001220703125,  // 2^-13: exactly half a unit of the 12th decimal
                           0.0003662109375,  // 3 * 2^-13: a tie that rounds up to even
                           1234.5678901234567,
                           1e-300,
                           4.9406564584124654e-324,
                           9007199254740993.0,
                           1e20,
                           1.5e26,
                           -1.7976931348623157e308,
                           123456789.123456789,
                           0.1,
                           0.7,
                           2.675};
  for (const double value : values) {
    EXPECT_EQ(PrintfC("%.12f", value), Fixed12(value)) << value;
    EXPECT_EQ(PrintfC("%.12f", value), FormatFixed(value, 12)) << value;
    EXPECT_EQ(PrintfC("%f", value), FormatFixed(value, 6)) << value;
    EXPECT_EQ(PrintfC("%.0f", value), FormatFixed(value, 0)) << value;
  }
}

TEST(FixedFormat, RoundsTiesToEvenLikePrintf) {
  EXPECT_EQ("0", FormatFixed(0.5, 0));
  EXPECT_EQ("2", FormatFixed(1.5, 0));
  EXPECT_EQ("2", FormatFixed(2.5, 0));
  EXPECT_EQ("1235", FormatFixed(1234.6, 0));
  EXPECT_EQ("0.000122070312", Fixed12(0.0001220703125));
  EXPECT_EQ("0.000366210938", Fixed12(0.0003662109375));
  EXPECT_EQ("-0.000000000000", Fixed12(-0.0000000000004));
  EXPECT_EQ("0.000000", FormatFixed(0.0000004, 6));
}

TEST(FixedFormat, MatchesPrintfOnRandomValues) {
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> volts(-20.0, 20.0);
  std::uniform_int_distribution<int> exponent(-60, 120);
  for (int i = 0; i < 100000; ++i) {
    const double value = i % 2 == 0 ? volts(random) : std::ldexp(volts(random), exponent(random));
    ASSERT_EQ(PrintfC("%.12f", value), Fixed12(value)) << value;
  }
  for (int i = 0; i < 20000; ++i) {
    const double value = std::bit_cast<double>(random());
    if (!std::isfinite(value)) continue;
    ASSERT_EQ(PrintfC("%.12f", value), Fixed12(value)) << value;
  }
}

TEST(FixedFormat, SpellsNonFiniteValuesPlainly) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ("inf", Fixed12(inf));
  EXPECT_EQ("-inf", Fixed12(-inf));
  EXPECT_EQ("nan", Fixed12(nan));
  EXPECT_EQ("nan", Fixed12(-nan));
  EXPECT_EQ("inf", FormatFixed(inf, 0));
  EXPECT_EQ("nan", FormatExponent4(nan));
}

TEST(ExponentFormat, WritesThreeExponentDigits) {
  EXPECT_EQ("1.0000e+005", FormatExponent4(100000.0));
  EXPECT_EQ("2.5000e-001", FormatExponent4(0.25));
  EXPECT_EQ("0.0000e+000", FormatExponent4(0.0));
  EXPECT_EQ("-0.0000e+000", FormatExponent4(-0.0));
  EXPECT_EQ("1.0000e+300", FormatExponent4(1e300));
  EXPECT_EQ("-1.2346e-007", FormatExponent4(-1.23456e-7));
  EXPECT_EQ("4.9407e-324", FormatExponent4(4.9406564584124654e-324));
  EXPECT_EQ("1.0000e+001", FormatExponent4(9.99995));  // rounds into the next decade
}

TEST(ExponentFormat, AgreesWithPrintfApartFromTheExponentWidth) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-300, 300);
  for (int i = 0; i < 20000; ++i) {
    const double value = std::ldexp(mantissa(random), exponent(random));
    std::string expected = PrintfC("%.4e", value);
    const std::size_t e = expected.find('e');
    if (expected.size() - (e + 2) == 2) expected.insert(e + 2, "0");
    ASSERT_EQ(expected, FormatExponent4(value)) << value;
  }
}

TEST(DecimalParse, MatchesStrtodOnEdgeTexts) {
  const char* texts[] = {"0",
                         "-0",
                         "-0.0",
                         "  1.5",
                         "\n\t-0.25",
                         "+2",
                         "+-1",
                         "-+1",
                         "",
                         "   ",
                         ".5",
                         "5.",
                         ".",
                         "-.",
                         "1e",
                         "1e+",
                         "1.0e-5x",
                         "1,5",
                         "abc",
                         "1e300",
                         "1e400",
                         "-1e400",
                         "1e-400",
                         "4.9e-324",
                         "2.4703282292062327e-324",
                         "2.2250738585072011e-308",
                         "0.500000000000",
                         "-0.250000000000",
                         "12345678901234567890123456789",
                         "0.1000000000000000055511151231257827021181583404541015625",
                         "2500.4",
                         "3.9 "};
  for (const char* text : texts) {
    const StrtodAnswer expected = StrtodC(text);
    const ParsedDouble actual = ParseDecimalDouble(text);
    ExpectSameDouble(expected.value, actual.value, text);
    EXPECT_EQ(expected.consumed, actual.consumed) << '"' << text << '"';
  }
}

// Hexadecimal and names are not decimal numbers: the parse stops where the
// decimal text does. Only samples take back the words the writer uses.
TEST(DecimalParse, ReadsDecimalTextOnly) {
  struct Case {
    const char* text;
    double decimal;
    std::size_t decimalConsumed;
    double sample;
    std::size_t sampleConsumed;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"0x10", 0.0, 1, 0.0, 1},
      {"-0x1p3", -0.0, 2, -0.0, 2},
      {"0X1P-2", 0.0, 1, 0.0, 1},
      {"inf", 0.0, 0, inf, 3},
      {"-inf", 0.0, 0, -inf, 4},
      {" +inf ", 0.0, 0, inf, 5},
      {"nan", 0.0, 0, nan, 3},
      {"infinity", 0.0, 0, inf, 3},
      {"Inf", 0.0, 0, 0.0, 0},
      {"NAN(1)", 0.0, 0, 0.0, 0},
      {"1e400", inf, 5, inf, 5},
      {"2.5e", 2.5, 3, 2.5, 3},
      {"-1.5e+2x", -150.0, 7, -150.0, 7},
  };
  for (const Case& c : cases) {
    const ParsedDouble decimal = ParseDecimalDouble(c.text);
    ExpectSameDouble(c.decimal, decimal.value, c.text);
    EXPECT_EQ(c.decimalConsumed, decimal.consumed) << '"' << c.text << '"';
    const ParsedDouble sample = ParseSampleValue(c.text);
    ExpectSameDouble(c.sample, sample.value, c.text);
    EXPECT_EQ(c.sampleConsumed, sample.consumed) << '"' << c.text << '"';
  }
}

TEST(DecimalParse, MatchesStrtodOnRandomNumbers) {
  std::mt19937_64 random(99);
  std::uniform_int_distribution<int> digitCount(1, 25);
  std::uniform_int_distribution<int> digit(0, 9);
  std::uniform_int_distribution<int> exponent(-330, 330);
  for (int i = 0; i < 50000; ++i) {
    std::string text = (i % 3 == 0) ? "-" : "";
    const int integerDigits = digitCount(random);
    for (int k = 0; k < integerDigits; ++k) text += static_cast<char>('0' + digit(random));
    text += '.';
    const int fractionDigits = digitCount(random);
    for (int k = 0; k < fractionDigits; ++k) text += static_cast<char>('0' + digit(random));
    if (i % 2 == 0) text += "e" + std::to_string(exponent(random));
    const StrtodAnswer expected = StrtodC(text);
    const ParsedDouble actual = ParseDecimalDouble(text);
    ExpectSameDouble(expected.value, actual.value, text);
    ASSERT_EQ(expected.consumed, actual.consumed) << text;
  }
}

TEST(DecimalParse, ReadsBackEveryFixedText) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> volts(-10.0, 10.0);
  for (int i = 0; i < 20000; ++i) {
    const std::string text = Fixed12(volts(random));
    ExpectSameDouble(StrtodC(text).value, ParseDecimalDouble(text).value, text);
  }
}

// The files come from a platform whose long has 32 bits: its strtol
// saturates there, and so does the reader.
TEST(IntegerParse, MatchesA32BitStrtol) {
  const char* texts[] = {"0",
                         "12",
                         " +12x",
                         "-1",
                         "-",
                         "",
                         "abc",
                         "  -32768",
                         "65537",
                         "2147483647",
                         "2147483648",
                         "-2147483648",
                         "-2147483649",
                         "9223372036854775808",
                         "99999999999999999999",
                         "-99999999999999999999",
                         "1.9",
                         "\t7"};
  for (const char* text : texts) {
    const long expected = std::clamp<long>(std::strtol(text, nullptr, 10), INT32_MIN, INT32_MAX);
    EXPECT_EQ(expected, ParseDecimalInt32(text)) << '"' << text << '"';
  }
}

TEST(IntegerParse, SixteenBitFieldsKeepTheLowBits) {
  EXPECT_EQ(1, LowBits16(ParseDecimalInt32("65537")));
  EXPECT_EQ(-1, LowBits16(ParseDecimalInt32("65535")));
  EXPECT_EQ(-32768, LowBits16(ParseDecimalInt32("32768")));
  EXPECT_EQ(-1, LowBits16(ParseDecimalInt32("99999999999")));  // saturated at 2^31 - 1
  EXPECT_EQ(-1, LowBits16(ParseDecimalInt32("-1")));
}

// A French locale writes 1,5 with printf; the file helpers must not.
TEST(NumberTextLocale, IgnoresTheProcessLocale) {
  testing::ScopedLocale french(testing::kFrenchLocale);
  if (!french.active()) GTEST_SKIP() << testing::kNoFrenchLocale;
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  EXPECT_STREQ("1,5", probe) << "the French locale should use a decimal comma";
  EXPECT_EQ("1.500000000000", Fixed12(1.5));
  EXPECT_EQ("1.500000", FormatFixed(1.5, 6));
  EXPECT_EQ("1.5000e+000", FormatExponent4(1.5));
  EXPECT_EQ(1.5, ParseDecimalDouble("1.5").value);
  EXPECT_EQ(1.0, ParseDecimalDouble("1,5").value);
  EXPECT_TRUE(std::isinf(ParseSampleValue("inf").value));
}

}  // namespace
}  // namespace tavril

namespace tavril {
namespace {

// The decimal shortcut for sample times must be digit for digit what the
// shortest-digit search writes, at each edge of where it applies.
TEST(SampleTimeText, WritesWhatAppendShortestWrites) {
  for (const double rate : {1.0, 3.0, 10.0, 1000.0, 1024.0, 2000.0, 44100.0, 100000.0, 2500000.0,
                            1e9, 536870912.0, 0.5, 12.5}) {
    const SampleTimeText times(rate);
    std::vector<std::uint64_t> indexes;
    for (std::uint64_t i = 0; i < 3000; ++i) indexes.push_back(i);
    for (std::uint64_t i = 1; i < (std::uint64_t{1} << 62); i = i * 3 + 1) {
      for (std::uint64_t near = i > 2 ? i - 2 : 0; near < i + 3; ++near) indexes.push_back(near);
    }
    // Where 15 digits end, for the decimal steps of these rates.
    for (const std::uint64_t step : {1ull, 5ull, 100ull, 400ull, 9765625ull}) {
      for (std::uint64_t d = 0; d < 3; ++d) indexes.push_back(999'999'999'999'999ull / step + d);
    }
    for (const std::uint64_t i : indexes) {
      char fast[kMaxShortestChars + 8];
      char plain[kMaxShortestChars + 8];
      const std::string got(fast, times.Append(fast, i));
      const std::string expected(plain, AppendShortest(plain, static_cast<double>(i) / rate));
      ASSERT_EQ(got, expected) << "index " << i << " at " << rate << " Hz";
    }
  }
}

}  // namespace
}  // namespace tavril
