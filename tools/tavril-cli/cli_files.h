#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/channel_set.h"
#include "model/channel_record.h"

namespace tavril::cli {

// One line on `err`, "tavril-cli: " first, whatever the message holds: a
// file name with a line break in it must not split the line scripts read.
void ReportError(std::ostream& err, std::string_view message);

// Without `force`, refuses (and reports) an output that exists already. A
// dangling link counts as existing: replacing it would lose it too.
bool MayReplace(const std::string& path, bool force, std::ostream& err);

// Reads a .tvr file with its statistics; reports why it cannot.
bool LoadRecord(const std::string& path, ChannelRecord& record, std::ostream& err);

// Reads a file of several channels as "Importer des canaux" reads it; reports
// why it cannot, and what the reader noticed (empty CSV cells read as NaN),
// one line each on `err`.
bool ReadChannels(const std::string& path, ChannelSet& set, std::ostream& err);

// A record of an input file; `slot` for a channel of a file of several.
struct InputRecord {
  std::optional<int> slot;
  ChannelRecord record;
};

// Every record of `path`, with its statistics: the one of a data file, or
// each channel of a file of several channels (ChannelFormatOfFile tells
// which). Reports why it cannot, as the two readers above.
bool LoadInputRecords(const std::string& path, std::vector<InputRecord>& records,
                      std::ostream& err);

// True when `path` names a format a record can be written in.
bool IsOutputFormat(const std::string& path);
// The message for an output whose extension names no format.
std::string UnknownOutputMessage(const std::string& path);

// Writes one record in the format of the extension, whole or nothing; a
// file of several channels gets it as channel 0. Reports why it cannot.
bool WriteRecord(const std::string& path, const ChannelRecord& record, std::ostream& err);

}  // namespace tavril::cli
