#include "files/xlsx_file.h"

#include <fcntl.h>
#include <locale.h>
#include <unistd.h>
#include <xlsxwriter.h>
#include <zip.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_writer.h"
#include "model/program.h"
#include "text/iso_time.h"
#include "text/system_error_text.h"
#include "text/text_encoding.h"

namespace tavril {
namespace {

constexpr const char* kFieldLabels[] = {"Canal",
                                        "Titre",
                                        "Device",
                                        "Chan",
                                        "Gain",
                                        "Fréquence (Hz)",
                                        "Nombre de points",
                                        "Unité",
                                        "Acquisition (UTC)"};
constexpr std::uint32_t kFieldRows = std::size(kFieldLabels);
constexpr std::uint32_t kHeadingRow = 1 + kFieldRows;
constexpr std::uint32_t kHeaderRows = kHeadingRow + 1;
// Beyond this the archive may pass 4 GB and needs the ZIP64 extensions, which
// some readers lack: they are used only then.
constexpr double kZip64Bytes = 3.5e9;
constexpr double kBytesPerCell = 40.0;

// Channels of one rate, after their time column.
struct RateGroup {
  double rate = 0.0;
  std::size_t rows = 0;  // the longest channel's samples
  std::vector<SlotView> channels;
};

std::vector<RateGroup> GroupByRate(std::span<const SlotView> records) {
  std::vector<RateGroup> groups;
  for (const SlotView& view : records) {
    const ChannelRecord& record = *view.record;
    auto group = std::find_if(groups.begin(), groups.end(), [&](const RateGroup& g) {
      return std::bit_cast<std::uint64_t>(g.rate) == std::bit_cast<std::uint64_t>(record.rate);
    });
    if (group == groups.end()) group = groups.insert(groups.end(), RateGroup{record.rate, 0, {}});
    group->rows = std::max(group->rows, record.sampleCount());
    group->channels.push_back(view);
  }
  return groups;
}

// Numbers in the C locale, on this thread only, while it lives: the library
// formats them with the C library's printf, which would otherwise write a
// French decimal comma.
class ScopedCLocale {
 public:
  ScopedCLocale() : c_(::newlocale(LC_ALL_MASK, "C", nullptr)) {
    if (c_ != nullptr) previous_ = ::uselocale(c_);
  }
  ~ScopedCLocale() {
    if (c_ == nullptr) return;
    ::uselocale(previous_);
    ::freelocale(c_);
  }
  ScopedCLocale(const ScopedCLocale&) = delete;
  ScopedCLocale& operator=(const ScopedCLocale&) = delete;

 private:
  locale_t c_;
  locale_t previous_ = nullptr;
};

// The target's folder when it takes new files (tried with an unnamed file,
// which leaves nothing), else the system's temporary folder.
std::string TemporaryFolderFor(const std::filesystem::path& written) {
  std::filesystem::path folder = written.parent_path();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
    return folder.string();
  }
  std::error_code error;
  return std::filesystem::temp_directory_path(error).string();
}

std::string ErrorText(lxw_error error) {
  switch (error) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
      return "mémoire insuffisante";
    case LXW_ERROR_CREATING_XLSX_FILE:
      return "impossible de créer le fichier";
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
      return "erreur sur un fichier temporaire";
    default:
      return "erreur d'écriture du classeur";
  }
}

std::string SheetName(std::size_t sheet, std::size_t sheets) {
  return sheets == 1 ? "Données" : "Données " + std::to_string(sheet + 1);
}

class WorkbookWriter {
 public:
  WorkbookWriter(std::span<const SlotView> records, std::uint32_t sheetRows)
      : groups_(GroupByRate(records)), perSheet_(sheetRows - kHeaderRows) {
    std::size_t rows = 0;
    std::size_t columns = 0;
    for (const RateGroup& group : groups_) {
      rows = std::max(rows, group.rows);
      columns += 1 + group.channels.size();
    }
    rows_ = rows;
    sheets_ = rows == 0 ? 1 : (rows + perSheet_ - 1) / perSheet_;
    estimatedBytes_ = static_cast<double>(rows) * static_cast<double>(columns) * kBytesPerCell;
  }

  std::size_t sheets() const { return sheets_; }

  // Writes the whole workbook to `file`; the library's error, or
  // LXW_NO_ERROR.
  lxw_error Write(const std::filesystem::path& file, std::string& temporaryFolder) {
    ScopedCLocale numbers;
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = temporaryFolder.data();
    options.use_zip64 = estimatedBytes_ > kZip64Bytes ? LXW_TRUE : LXW_FALSE;
    workbook_ = workbook_new_opt(file.c_str(), &options);
    if (workbook_ == nullptr) return LXW_ERROR_CREATING_XLSX_FILE;
    bold_ = workbook_add_format(workbook_);
    if (bold_ != nullptr) format_set_bold(bold_);
    lxw_error error = LXW_NO_ERROR;
    for (std::size_t sheet = 0; sheet < sheets_ && error == LXW_NO_ERROR; ++sheet) {
      error = WriteSheet(sheet);
    }
    const lxw_error closed = workbook_close(workbook_);
    return error != LXW_NO_ERROR ? error : closed;
  }

 private:
  lxw_error WriteSheet(std::size_t sheet) {
    sheet_ = workbook_add_worksheet(workbook_, SheetName(sheet, sheets_).c_str());
    if (sheet_ == nullptr) return LXW_ERROR_CREATING_TMPFILE;
    const std::size_t first = sheet * perSheet_;
    const std::size_t end = std::min(rows_, first + perSheet_);
    Text(0, 0, Note(sheet, first, end), nullptr);
    // Row after row: the library keeps one row in memory and writes it out
    // once the next one begins.
    lxw_col_t column = 0;
    for (lxw_row_t row = 1; row <= kHeadingRow; ++row) {
      column = 0;
      for (const RateGroup& group : groups_) {
        Text(row, column++, row < kHeadingRow ? kFieldLabels[row - 1] : "Temps (s)", bold_);
        for (const SlotView& view : group.channels) WriteField(view, row, column++);
      }
    }
    for (std::size_t i = first; i < end && error_ == LXW_NO_ERROR; ++i) {
      const auto row = static_cast<lxw_row_t>(kHeaderRows + (i - first));
      column = 0;
      for (const RateGroup& group : groups_) {
        if (i < group.rows) Number(row, column, static_cast<double>(i) / group.rate);
        ++column;
        for (const SlotView& view : group.channels) {
          if (i < view.record->sampleCount()) Number(row, column, view.record->sample(i));
          ++column;
        }
      }
    }
    return error_;
  }

  std::string Note(std::size_t sheet, std::size_t first, std::size_t end) const {
    std::string note = std::string("Exporté par ") + kProgramName;
    if (rows_ == 0) return note + " : aucun échantillon.";
    note += " : échantillons " + std::to_string(first) + " à " + std::to_string(end - 1);
    if (sheets_ == 1) return note + ".";
    note += " (feuille " + std::to_string(sheet + 1) + " sur " + std::to_string(sheets_) + ")";
    if (sheet + 1 == sheets_) return note + ".";
    return note + " ; la suite est sur la feuille « " + SheetName(sheet + 1, sheets_) + " ».";
  }

  // Row `row` of the header under the channel's column.
  void WriteField(const SlotView& view, lxw_row_t row, lxw_col_t column) {
    const ChannelRecord& record = *view.record;
    switch (row) {
      case 1:
        return Number(row, column, view.slot);
      case 2:
        return Text(row, column, Windows1252ToUtf8(record.title), nullptr);
      case 3:
        return Number(row, column, record.device);
      case 4:
        return Number(row, column, record.chan);
      case 5:
        return Number(row, column, record.gain);
      case 6:
        return Number(row, column, record.rate);
      case 7:
        return Number(row, column, record.count());
      case 8:
        return Text(row, column, "V", nullptr);
      case 9:
        if (record.acquiredAt) Text(row, column, FormatIsoUtc(*record.acquiredAt), nullptr);
        return;
      default:
        return Text(row, column, "Canal " + std::to_string(view.slot) + " (V)", bold_);
    }
  }

  void Text(lxw_row_t row, lxw_col_t column, const std::string& text, lxw_format* format) {
    Keep(worksheet_write_string(sheet_, row, column, text.c_str(), format));
  }

  // A workbook has no number for infinities and NaN: they are written as text.
  void Number(lxw_row_t row, lxw_col_t column, double value) {
    if (std::isfinite(value)) {
      Keep(worksheet_write_number(sheet_, row, column, value, nullptr));
    } else {
      Text(row, column, std::isnan(value) ? "NaN" : value < 0 ? "-Inf" : "Inf", nullptr);
    }
  }

  void Keep(lxw_error error) {
    if (error_ == LXW_NO_ERROR) error_ = error;
  }

  std::vector<RateGroup> groups_;
  std::size_t perSheet_;
  std::size_t rows_ = 0;
  std::size_t sheets_ = 1;
  double estimatedBytes_ = 0.0;
  lxw_workbook* workbook_ = nullptr;
  lxw_worksheet* sheet_ = nullptr;
  lxw_format* bold_ = nullptr;
  lxw_error error_ = LXW_NO_ERROR;
};

// A sheet cut short by a failed write to a temporary file, which the library
// does not report, lacks its end. libzip refuses a damaged archive and a
// member whose length or CRC-32 differs from the one its directory records.
bool SheetsAreComplete(const std::filesystem::path& path, std::size_t sheets) {
  int error = 0;
  const std::unique_ptr<zip_t, decltype(&zip_discard)> archive(
      zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error), zip_discard);
  if (archive == nullptr) return false;
  constexpr std::string_view kSheetEnd = "</worksheet>";
  std::vector<char> chunk(std::size_t{1} << 20);
  for (std::size_t sheet = 1; sheet <= sheets; ++sheet) {
    const std::string name = "xl/worksheets/sheet" + std::to_string(sheet) + ".xml";
    const std::unique_ptr<zip_file_t, decltype(&zip_fclose)> member(
        zip_fopen(archive.get(), name.c_str(), 0), zip_fclose);
    if (member == nullptr) return false;
    std::string tail;
    zip_int64_t got = 0;
    while ((got = zip_fread(member.get(), chunk.data(), chunk.size())) > 0) {
      tail.append(chunk.data(), static_cast<std::size_t>(got));
      if (tail.size() > kSheetEnd.size()) tail.erase(0, tail.size() - kSheetEnd.size());
    }
    if (got < 0 || tail != kSheetEnd) return false;
  }
  return true;
}

bool Fail(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
  return false;
}

}  // namespace

namespace xlsx_detail {

bool WriteXlsxFile(std::span<const SlotView> records, const std::filesystem::path& path,
                   std::string* why, std::uint32_t sheetRows) {
  if (records.empty()) return Fail(why, "aucun canal à exporter");
  if (sheetRows <= kHeaderRows || sheetRows > kXlsxSheetRows)
    return Fail(why, "nombre de lignes par feuille impossible");
  AtomicFileWriter writer;
  if (!writer.Open(path))
    return Fail(why, "impossible de créer le fichier (" + SystemErrorText(writer.Error()) + ")");
  const std::filesystem::path written = writer.HandOverPath();
  std::string temporaryFolder = TemporaryFolderFor(written);
  WorkbookWriter workbook(records, sheetRows);
  const lxw_error error = workbook.Write(written, temporaryFolder);
  if (error != LXW_NO_ERROR) return Fail(why, ErrorText(error));
  if (!SheetsAreComplete(written, workbook.sheets()))
    return Fail(why, "le classeur écrit est incomplet (disque plein ou erreur d'écriture)");
  if (!writer.Commit())
    return Fail(why,
                "impossible d'enregistrer le fichier (" + SystemErrorText(writer.Error()) + ")");
  return true;
}

}  // namespace xlsx_detail

bool WriteXlsxFile(std::span<const SlotView> records, const std::filesystem::path& path,
                   std::string* why) {
  return xlsx_detail::WriteXlsxFile(records, path, why, kXlsxSheetRows);
}

}  // namespace tavril
