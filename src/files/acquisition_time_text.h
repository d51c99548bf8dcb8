#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tavril {

// When a record was acquired, as files of several channels write it: ISO 8601
// in UTC to the nanosecond, "2026-12-07T12:45:36.123456789Z", so that it reads
// the same wherever the file is opened and comes back to the same time point.
std::string FormatAcquisitionTime(std::chrono::system_clock::time_point time);

// The time point of such a text; empty for any other text.
std::optional<std::chrono::system_clock::time_point> ParseAcquisitionTime(std::string_view text);

}  // namespace tavril
