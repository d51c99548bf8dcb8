#pragma once

#include <string>
#include <string_view>

#include "model/channel_record.h"

// The comment line of a CSV file that describes one of its channels, so that
// reading the file restores every field of the record:
//
//   # channel slot=0 title="Essai \"A\"" device=1 chan=0 gain=1 rate=1000 count=3 unit=V
//     acquired=2026-12-07T12:45:36.250Z
//
// (one line). Keys and values are separated by single spaces. The title is
// UTF-8 between double quotes, where \" \\ \n \r \t and \xHH (other control
// bytes) stand for themselves, so the line stays one line. rate is the
// shortest text that reads back as the same double (or inf, -inf, nan);
// acquired, ISO 8601 in UTC, is there only when the time is known. Readers
// need slot, rate and count; a missing title is empty, device 0, chan the
// slot, gain 1; unit, when given, must be V; keys they do not know are skipped.
namespace tavril {

inline constexpr std::string_view kCsvChannelLineStart = "# channel ";

std::string CsvChannelLine(int slot, const ChannelRecord& record);

bool IsCsvChannelLine(std::string_view line);

// The slot and the fields of `record` (samples aside) that `line` gives;
// false with the reason, in French, in `why`.
bool ParseCsvChannelLine(std::string_view line, int& slot, ChannelRecord& record, std::string& why);

}  // namespace tavril
