#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tavril {

// ISO 8601 in UTC, "2026-12-07T12:45:36.123456789Z": the fraction of a second
// has as many digits as it needs, up to nanoseconds, and none for a whole
// second, so that reading it back gives the same time point.
std::string FormatUtcTime(std::chrono::system_clock::time_point time);

// Reads "YYYY-MM-DDTHH:MM:SS[.F]Z" with 1 to 9 fraction digits; nothing for
// any other text, an impossible date or a time the clock cannot hold.
std::optional<std::chrono::system_clock::time_point> ParseUtcTime(std::string_view text);

}  // namespace tavril
