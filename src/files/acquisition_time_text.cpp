#include "files/acquisition_time_text.h"

#include <cstdint>
#include <cstdio>

namespace tavril {
namespace {

using Nanoseconds = std::chrono::duration<std::int64_t, std::nano>;

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's
// civil calendar algorithms), so that no time zone or locale is involved.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

// `width` decimal digits at `text`, nothing else.
bool Digits(std::string_view text, std::size_t at, std::size_t width, unsigned& value) {
  if (at + width > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return true;
}

}  // namespace

std::string FormatAcquisitionTime(std::chrono::system_clock::time_point time) {
  const std::int64_t ns = std::chrono::duration_cast<Nanoseconds>(time.time_since_epoch()).count();
  constexpr std::int64_t kPerDay = 86'400'000'000'000;
  std::int64_t days = ns / kPerDay;
  std::int64_t inDay = ns % kPerDay;
  if (inDay < 0) {
    inDay += kPerDay;
    --days;
  }
  std::int64_t year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilFromDays(days, year, month, day);
  const std::int64_t seconds = inDay / 1'000'000'000;
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%09lldZ",
                static_cast<long long>(year), month, day, static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60),
                static_cast<long long>(inDay % 1'000'000'000));
  return text;
}

std::optional<std::chrono::system_clock::time_point> ParseAcquisitionTime(std::string_view text) {
  // YYYY-MM-DDTHH:MM:SS.nnnnnnnnnZ
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, fraction = 0;
  if (text.size() != 30 || !Digits(text, 0, 4, year) || text[4] != '-' ||
      !Digits(text, 5, 2, month) || text[7] != '-' || !Digits(text, 8, 2, day) || text[10] != 'T' ||
      !Digits(text, 11, 2, hour) || text[13] != ':' || !Digits(text, 14, 2, minute) ||
      text[16] != ':' || !Digits(text, 17, 2, second) || text[19] != '.' ||
      !Digits(text, 20, 9, fraction) || text[29] != 'Z') {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
    return std::nullopt;
  const std::int64_t days = DaysFromCivil(year, month, day);
  std::int64_t y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(days, y, m, d);
  if (m != month || d != day) return std::nullopt;  // 31 April and the like
  const std::int64_t ns =
      ((days * 24 + hour) * 60 + minute) * 60'000'000'000LL + second * 1'000'000'000LL + fraction;
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(Nanoseconds(ns)));
}

}  // namespace tavril
