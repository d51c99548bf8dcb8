#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The cells of one line of a CSV file, as spreadsheet programs, Python's csv
// module and numpy write them.
namespace tavril {

// The separator a line uses: a tab when it holds one outside quotes, else ';'
// when it holds one, else ','.
char DetectCsvSeparator(std::string_view line);

enum class CsvSplit {
  kDone,
  kUnclosedQuote,   // a quoted cell runs to the end of the line
  kTextAfterQuote,  // something other than spaces between a closing quote and the separator
  kTooManyCells,
};

// Cuts `line` (without its line end) into cells. A cell that starts with '"'
// (after spaces) is quoted: separators inside it are text, "" is one quote,
// and it ends on its own line. More than `maxCells` cells stop the split.
CsvSplit SplitCsvLine(std::string_view line, char separator, std::size_t maxCells,
                      std::vector<std::string>& cells);

enum class CsvCell { kEmpty, kNumber, kText };

// What a cell holds, spaces around it aside: nothing, a number (decimal with
// '.', or nan, inf, infinity in any case, signed) or other text. Under ';'
// and tab a decimal comma is read as the point ("0,5" is 0.5), as French
// spreadsheet programs write it.
CsvCell ReadCsvCell(std::string_view cell, char separator, double& value);

// The cell without the spaces and tabs around it.
std::string_view TrimCsvCell(std::string_view cell);

// A text of the file, in « », cut to 40 bytes and to one line, for a message.
std::string QuotedForMessage(std::string_view text);

// A name of the file as Windows-1252 bytes: read as UTF-8 when it is valid
// UTF-8, else taken as Windows-1252 already (what spreadsheet programs write
// in their plain CSV).
std::string CsvTextToWindows1252(std::string_view text);

}  // namespace tavril
