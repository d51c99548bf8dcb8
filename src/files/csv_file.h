#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "files/channel_set.h"
#include "files/file_writer.h"

// CSV files of several channels.
//
// What the writer puts down, lines ending with CR LF (as spreadsheet programs
// write them; Python's csv module and numpy read both CR LF and LF):
//
//   # TAVRIL v1.02
//   # channel slot=0 title="Essai" device=1 chan=0 gain=1 rate=1000 count=3 unit=V
//   # channel slot=3 title="Été" device=1 chan=3 gain=1 rate=1000 count=2 unit=V
//   time_s,slot0_V,slot3_V
//   0,0.5,-1
//   0.001,-0.25,2.5e-07
//   0.002,1,
//
// - One '#' line per channel (files/csv_channel_line.h) carries every field of
//   its record, in the order of the value columns.
// - Then one line of column names and the values: '.' as decimal point and ','
//   as separator whatever the locale, each value the shortest text that reads
//   back as the same double (std::to_chars: "-0", "5e-324"), and inf, -inf,
//   nan for values that are not finite (Python's float() and numpy read these
//   three words; a NaN's sign and payload are not kept).
// - When every channel has the same rate, one time column, time_s, holds
//   i / rate down to the longest channel. Otherwise each channel has its own
//   time column before its values: slot0_time_s,slot0_V,slot3_time_s,slot3_V.
// - A channel shorter than others leaves its cells (and those of its own time
//   column) empty below its end; a record without samples has an empty column.
//
// With Python: rows = [r for r in csv.reader(f) if r and not r[0].startswith('#')],
// whose first row is the names. With numpy: genfromtxt(path, delimiter=',',
// skip_header=N+2) for N channels (empty cells become nan); loadtxt with
// skiprows=N+2 when no cell is empty.
namespace tavril {

// Writes `records` (at most kChannelCount, each slot once) as above.
void WriteCsvFile(std::span<const SlotView> records, AtomicFileWriter& out);
// The same at `path`, whole or not at all; false with the system's reason in
// `why`.
bool WriteCsvFile(std::span<const SlotView> records, const std::filesystem::path& path,
                  std::string* why);

// Reads a CSV file into `set`, in slot order, each record with its statistics.
// It takes the files written above, every field restored, and also what
// spreadsheet programs, Python's csv module and numpy write:
// - separator ',', ';' or tab, found on the first line that is not a comment;
//   CR LF or LF; a UTF-8 byte order mark is skipped; empty lines and lines
//   starting with '#' are skipped (other than channel lines before the
//   values);
// - cells in double quotes ("" for a quote) within one line; numbers with '.'
//   as decimal point, or with ',' under ';' and tab separators (French
//   spreadsheets), and nan, inf, infinity in any case;
// - a first line holding any cell that is not a number names the columns. A
//   column named t, time..., temps... or ..._time_s is a time column, which
//   gives the rate of the columns after it up to the next time column; every
//   other column is a channel, titled by its name. Without names, the first
//   column is time when there are two or more, it starts at 0 and it steps
//   evenly (to 1% of a step) over two values or more; every other column is
//   a channel, untitled.
// - a channel's values end at its last value: the empty cells below it end
//   a channel shorter than others, an empty cell above it is a value missing,
//   read as NaN (and counted in `notices`); every line has as many cells as
//   the first.
// Channels without channel lines get slots 0, 1, ... in column order, device
// 0, chan their slot, gain 1, and the rate 1 / step of their time column,
// rounded to 10 significant digits (0 with no time column, or fewer than two
// times); a named time column must step evenly (to 1% of a step), and where it
// starts is not kept. At most kChannelCount channels.
// False with the reason in French, which names the line (lines count from 1,
// comments and empty lines included), in `why`; `set` is then untouched.
// On success `notices` (when given) receives what the user should know of
// the reading, in French: one line per column with empty cells read as NaN.
// Memory: two passes over the file, a line at most 65,536 bytes, and sample
// arrays of the exact size found, taken through the allocation seam.
bool ReadCsvFile(const std::filesystem::path& path, ChannelSet& set, std::string* why,
                 std::vector<std::string>* notices = nullptr);

}  // namespace tavril
