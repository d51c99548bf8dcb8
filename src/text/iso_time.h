#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tavril {

// A time as ISO 8601 in UTC: "2026-12-07T12:45:36Z", with a fraction of the
// second when it is not whole, in groups of three digits up to the
// nanosecond: "2026-12-07T12:45:36.250Z", "...36.000001500Z".
std::string FormatIsoUtc(std::chrono::system_clock::time_point time);

// Reads exactly that form back: four-digit year, 'T', a fraction of 1 to 9
// digits or none, 'Z'. Nothing when the text is anything else, names a day
// or time that does not exist, or lies beyond what a time point holds.
std::optional<std::chrono::system_clock::time_point> ParseIsoUtc(std::string_view text);

}  // namespace tavril
