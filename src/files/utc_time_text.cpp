#include "files/utc_time_text.h"

#include <charconv>
#include <cstdint>

namespace tavril {
namespace {

using Nanoseconds = std::chrono::duration<std::int64_t, std::nano>;

void AppendPadded(std::string& out, long long value, int digits) {
  char text[24];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  for (int pad = digits - static_cast<int>(end - text); pad > 0; --pad) out += '0';
  out.append(text, end);
}

// `digits` decimal digits at `at`, or -1.
int Digits(std::string_view text, std::size_t at, std::size_t digits) {
  if (at + digits > text.size()) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::string FormatUtcTime(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const Nanoseconds since = duration_cast<Nanoseconds>(time.time_since_epoch());
  const sys_days day = floor<days>(sys_time<Nanoseconds>(since));
  const year_month_day date(day);
  std::int64_t rest = (since - day.time_since_epoch()).count();  // in [0, one day)
  const std::int64_t fraction = rest % 1'000'000'000;
  rest /= 1'000'000'000;
  std::string text;
  AppendPadded(text, int{date.year()}, 4);
  text += '-';
  AppendPadded(text, unsigned{date.month()}, 2);
  text += '-';
  AppendPadded(text, unsigned{date.day()}, 2);
  text += 'T';
  AppendPadded(text, rest / 3600, 2);
  text += ':';
  AppendPadded(text, rest / 60 % 60, 2);
  text += ':';
  AppendPadded(text, rest % 60, 2);
  if (fraction != 0) {
    std::string digits;
    AppendPadded(digits, fraction, 9);
    while (digits.back() == '0') digits.pop_back();
    text += '.' + digits;
  }
  text += 'Z';
  return text;
}

std::optional<std::chrono::system_clock::time_point> ParseUtcTime(std::string_view text) {
  using namespace std::chrono;
  const int y = Digits(text, 0, 4);
  const int mo = Digits(text, 5, 2);
  const int d = Digits(text, 8, 2);
  const int h = Digits(text, 11, 2);
  const int mi = Digits(text, 14, 2);
  const int s = Digits(text, 17, 2);
  if (y < 0 || mo < 0 || d < 0 || h < 0 || mi < 0 || s < 0 || text[4] != '-' || text[7] != '-' ||
      text[10] != 'T' || text[13] != ':' || text[16] != ':' || h > 23 || mi > 59 || s > 59) {
    return std::nullopt;
  }
  std::size_t at = 19;
  std::int64_t fraction = 0;
  if (at < text.size() && text[at] == '.') {
    int digits = 0;
    for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
      fraction = fraction * 10 + (text[at] - '0');
    }
    if (digits < 1 || digits > 9) return std::nullopt;
    for (; digits < 9; ++digits) fraction *= 10;
  }
  if (at + 1 != text.size() || text[at] != 'Z') return std::nullopt;
  const year_month_day date{year{y}, month{static_cast<unsigned>(mo)},
                            day{static_cast<unsigned>(d)}};
  if (!date.ok()) return std::nullopt;
  const std::int64_t seconds =
      std::int64_t{sys_days(date).time_since_epoch().count()} * 86400 + h * 3600 + mi * 60 + s;
  std::int64_t total = 0;
  if (__builtin_mul_overflow(seconds, std::int64_t{1'000'000'000}, &total) ||
      __builtin_add_overflow(total, fraction, &total)) {
    return std::nullopt;
  }
  const Nanoseconds since(total);
  const auto point = time_point_cast<system_clock::duration>(sys_time<Nanoseconds>(since));
  if (duration_cast<Nanoseconds>(point.time_since_epoch()) != since) return std::nullopt;
  return point;
}

}  // namespace tavril
