#include "text/iso_time.h"

#include <cstdint>
#include <cstdio>

namespace tavril {
namespace {

using namespace std::chrono;
using Ticks = system_clock::duration;

bool ReadDigits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::string FormatIsoUtc(system_clock::time_point time) {
  const sys_days day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss<nanoseconds> clock(duration_cast<nanoseconds>(time - day));
  char text[48];
  int length = std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
      static_cast<int>(clock.seconds().count()));
  const long long nanos = clock.subseconds().count();
  if (nanos != 0) {
    long long shown = nanos;
    int digits = 9;
    while (digits > 3 && shown % 1000 == 0) {
      shown /= 1000;
      digits -= 3;
    }
    length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length),
                            ".%0*lld", digits, shown);
  }
  return std::string(text, static_cast<std::size_t>(length)) + "Z";
}

std::optional<system_clock::time_point> ParseIsoUtc(std::string_view text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (!ReadDigits(text, 0, 4, y) || text.substr(4, 1) != "-" || !ReadDigits(text, 5, 2, mo) ||
      text.substr(7, 1) != "-" || !ReadDigits(text, 8, 2, d) || text.substr(10, 1) != "T" ||
      !ReadDigits(text, 11, 2, h) || text.substr(13, 1) != ":" || !ReadDigits(text, 14, 2, mi) ||
      text.substr(16, 1) != ":" || !ReadDigits(text, 17, 2, s)) {
    return std::nullopt;
  }
  std::size_t at = 19;
  std::int64_t nanos = 0;
  if (text.substr(at, 1) == ".") {
    const std::size_t first = ++at;
    while (at < text.size() && at - first < 9 && text[at] >= '0' && text[at] <= '9') {
      nanos = nanos * 10 + (text[at++] - '0');
    }
    if (at == first) return std::nullopt;
    for (std::size_t i = at - first; i < 9; ++i) nanos *= 10;
  }
  if (text.substr(at) != "Z" || h > 23 || mi > 59 || s > 59) return std::nullopt;
  const year_month_day date{year{y}, month{static_cast<unsigned>(mo)},
                            day{static_cast<unsigned>(d)}};
  if (!date.ok()) return std::nullopt;
  // Nanosecond ticks in 64 bits reach from 1677 to 2262; keep well inside.
  if (y < 1678 || y > 2261) return std::nullopt;
  const nanoseconds since =
      sys_days(date).time_since_epoch() + hours{h} + minutes{mi} + seconds{s} + nanoseconds{nanos};
  return system_clock::time_point(duration_cast<Ticks>(since));
}

}  // namespace tavril
