#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "cli_arguments.h"
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

// The information strip's texts for `record`, one per line, in UTF-8; the
// statistics lines only when the record holds samples. The title's line
// breaks and other control characters are written as C escapes (\r, \n,
// \xHH, and \\ for a backslash), so the title stays on its line.
std::string InfoText(const ChannelRecord& record);
// The same as one JSON object; `file`, when not empty, comes first as "file".
std::string InfoJson(const ChannelRecord& record, std::string_view file = {});

// `text` on one line: control characters as C escapes, as InfoText writes the title.
std::string EscapedLine(std::string_view text);

// Loads each file of `paths` in turn and prints it: as one JSON line from
// `asJson` (given the file's name when there are several, else ""), or as
// the text of `asText`, each block after "Fichier: NAME" when there are
// several and apart by an empty line. A file that cannot be read is reported
// and the others are still shown; 1 when any failed, else 0.
int PrintEachRecord(
    const std::vector<std::string>& paths, bool json, std::ostream& out, std::ostream& err,
    const std::function<std::string(const ChannelRecord&, const std::string& file)>& asJson,
    const std::function<std::string(const ChannelRecord&)>& asText);

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
