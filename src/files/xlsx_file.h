#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "files/channel_set.h"

namespace tavril {

// Rows of one worksheet of an Excel workbook.
inline constexpr std::uint32_t kXlsxSheetRows = 1'048'576;

// Writes `records` as an Excel workbook (.xlsx), whole or not at all; false
// with the reason in French in `why` (when given) on failure, the previous
// file then intact.
//
// Layout of each sheet:
// - row 1: a note (program, which samples the sheet holds, which sheet follows);
// - rows 2 to 10: each channel's fields under its column: slot ("Canal"),
//   title, device, chan, gain, rate, count, unit (V), acquisition time (UTC,
//   ISO 8601, empty when unknown); the labels are in the time columns;
// - row 11: the column headings, "Temps (s)" and "Canal <slot> (V)";
// - then one row per sample index i: the time i / rate and the samples.
// Channels whose rates are equal (bit for bit) share one time column, placed
// before them: the groups come in the order of their first slot and keep
// slot order inside. A shorter channel leaves empty cells below its end.
// Values are numbers; infinities and NaN, which a workbook cannot hold as
// numbers, are the texts "Inf", "-Inf" and "NaN". libxlsxwriter writes a
// number with 16 significant digits ("%.16G"), so a double that needs 17 is
// read back as the nearest 16-digit decimal (a relative difference below
// 5e-16); numbers are written in the C locale whatever the user's.
// A record longer than a sheet continues on sheets "Données 2", "Données 3",
// ... (the first is then "Données 1"), each with the same header rows.
// The library's temporary files are created (and at once unlinked) beside
// the target, or in the system's temporary folder when the target's folder
// takes no new file; the written workbook is read back to make sure every
// sheet is complete, since the library does not report a failed write to its
// temporary files.
bool WriteXlsxFile(std::span<const SlotView> records, const std::filesystem::path& path,
                   std::string* why);

namespace xlsx_detail {
// As WriteXlsxFile, with sheets of `sheetRows` rows (at least the 11 header
// rows and one data row), so that tests reach a continuation sheet.
bool WriteXlsxFile(std::span<const SlotView> records, const std::filesystem::path& path,
                   std::string* why, std::uint32_t sheetRows);
}  // namespace xlsx_detail

}  // namespace tavril
