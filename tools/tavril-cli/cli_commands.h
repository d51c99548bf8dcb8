#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli_arguments.h"
#include "json_output.h"
#include "model/board_config.h"
#include "model/channel_record.h"
#include "processing/math_operation.h"

namespace tavril::cli {

// Parses `args` (without the program's name) and runs the command. What the
// command prints goes to `out`; usage errors and failures go to `err` as one
// line each. Returns the exit status: 0 on success, 1 on any failure.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Runs a checked command line; as RunCli.
int RunCommand(const CommandLine& command, std::ostream& out, std::ostream& err);

// Where a record shown comes from: its file, named when several records may
// be shown, and its slot when the file holds several channels.
struct RecordSource {
  std::string file;  // empty for the record of a lone data file
  std::optional<int> slot;
};

// Adds the "file" (when named) and "slot" (when known) of `source` to `json`.
void AddSource(JsonObject& json, const RecordSource& source);

// The fields `info` gives first of any channel: its source, then title
// (Windows-1252 bytes, given in UTF-8), device, chan, gain, count and rate.
void AddChannelFields(JsonObject& json, const RecordSource& source, std::string_view title,
                      int device, int chan, int gain, std::int64_t count, double rate);

// The information strip's texts for `record`, one per line, in UTF-8; the
// statistics lines only when the record holds samples. The title's line
// breaks and other control characters are written as C escapes (\r, \n,
// \xHH, and \\ for a backslash), so the title stays on its line.
std::string InfoText(const ChannelRecord& record);
// The same as one JSON object, `source`'s "file" and "slot" first.
std::string InfoJson(const ChannelRecord& record, const RecordSource& source = {});

// `text` on one line: control characters as C escapes, as InfoText writes the title.
std::string EscapedLine(std::string_view text);

struct InputChannel;

// Prints each channel of the command's inputs that its --channels selects
// (ForEachInputChannel): as one JSON line each, or as text blocks apart by
// an empty line, with "Fichier: NAME" and "Canal: N" lines before a block
// whose source is named. `describe` gives the line or the block, or nothing
// once it has reported why it could not. 1 when any failed, else 0.
int PrintEachChannel(
    const CommandLine& command, std::ostream& out, std::ostream& err,
    const std::function<std::optional<std::string>(const InputChannel&, const RecordSource&)>&
        describe);

// TAVRIL.INI's values under the file's key names, one per line, in the file's order.
std::string ConfigText(const BoardConfig& config);
std::string ConfigJson(const BoardConfig& config);

// The viewer path as UTF-8: kept when it already is, else read as Windows-1252.
std::string ViewerPathUtf8(std::string_view path);

bool IsValidUtf8(std::string_view text);

// The result record's title (Windows-1252, at most kMaxTitleBytes) for
// `operation` on the files `pathA` and `pathB` (B unused by integrations),
// named without their folders.
std::string ResultTitleForFiles(MathOperation operation, std::string_view pathA,
                                std::string_view pathB);

}  // namespace tavril::cli
