#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "files/byte_reader.h"
#include "files/csv_channel_line.h"
#include "files/csv_fields.h"
#include "files/csv_file.h"
#include "files/samples_memory.h"
#include "model/allocation.h"
#include "text/system_error_text.h"
#include "text/text_encoding.h"

namespace tavril {
namespace {

constexpr std::size_t kMaxLineBytes = 65536;
// A time column before each channel.
constexpr std::size_t kMaxColumns = 2 * kChannelCount;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Column {
  bool time = false;
  std::string name;             // Windows-1252; empty without a line of names
  std::uint64_t values = 0;     // up to the last value, gaps included
  std::uint64_t gaps = 0;       // empty cells above a value, read as NaN
  std::uint64_t trailing = 0;   // empty cells since the last value
  std::uint64_t emptyLine = 0;  // the first of those
  // Time columns: the first and last value, and the first line where the
  // values stop stepping evenly.
  double first = 0.0;
  double last = 0.0;
  std::uint64_t unevenLine = 0;
};

struct Described {
  std::uint64_t line = 0;
  int slot = 0;
  ChannelRecord fields;
};

std::string AtLine(std::uint64_t line, const std::string& text) {
  return "ligne " + std::to_string(line) + " : " + text;
}

// "1 valeur", "3 valeurs".
std::string Counted(std::uint64_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count > 1 ? "s" : "");
}

bool IsTimeName(std::string_view name) {
  std::string lower(name.substr(0, 16));
  for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  const auto startsWith = [&](std::string_view start) { return lower.rfind(start, 0) == 0; };
  return lower == "t" || startsWith("t ") || startsWith("t(") || startsWith("t[") ||
         startsWith("time") || startsWith("temps") ||
         (name.size() >= 7 && name.substr(name.size() - 7) == "_time_s");
}

// Whether the i-th time (i from 0) keeps the even step of those before it,
// allowing for times printed with as few as six significant digits.
bool StepsEvenly(const Column& column, std::uint64_t i, double time) {
  if (!std::isfinite(time)) return false;
  if (i == 0) return true;
  if (i == 1) return time > column.first;
  const double step = (column.last - column.first) / static_cast<double>(i - 1);
  const double expected = column.first + static_cast<double>(i) * step;
  return std::abs(time - expected) <= 0.01 * step + 2e-6 * std::abs(time);
}

// 1 / step, to 10 significant digits: times printed in decimal give the rate
// that was meant (1000, not 999.9999999999999).
double RateOf(const Column& time) {
  if (time.values < 2) return 0.0;
  const double rate = static_cast<double>(time.values - 1) / (time.last - time.first);
  char text[32];
  const auto printed =
      std::to_chars(text, text + sizeof text, rate, std::chars_format::scientific, 9);
  double rounded = rate;
  std::from_chars(text, printed.ptr, rounded);
  return rounded;
}

enum class LineRead { kLine, kEnd, kTooLong, kError };

LineRead NextLine(ByteReader& in, std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    const std::string_view chunk = in.Peek();
    if (chunk.empty())
      return in.HadReadError() ? LineRead::kError : any ? LineRead::kLine : LineRead::kEnd;
    any = true;
    const std::size_t newline = chunk.find('\n');
    const std::size_t take = std::min(newline, chunk.size());
    if (line.size() + take > kMaxLineBytes) return LineRead::kTooLong;
    line.append(chunk.substr(0, take));
    in.Consume(take + (newline != std::string_view::npos ? 1 : 0));
    if (newline != std::string_view::npos) break;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return LineRead::kLine;
}

// One pass over the file: the first finds the columns and counts their
// values, the second (with `fills`) stores each channel's values.
class CsvPass {
 public:
  explicit CsvPass(std::vector<std::vector<double>*> fills = {}) : fills_(std::move(fills)) {}

  bool Run(const std::filesystem::path& path, std::string& why);

  char separator = ',';
  bool named = false;
  std::uint64_t firstLine = 0;  // the line of names, or the first line of values
  std::vector<Column> columns;
  std::vector<Described> described;
  bool changed = false;  // the second pass found more values than the first

 private:
  bool OnComment(std::string_view line, std::string& why);
  bool OnFirstLine(std::string_view line, std::string& why);
  bool OnValues(std::string& why);
  // The value at `index` of `column`, in the second pass.
  void Store(std::size_t column, std::uint64_t index, double value);

  std::vector<std::vector<double>*> fills_;
  std::uint64_t lineNumber_ = 0;
  std::vector<std::string> cells_;
};

bool CsvPass::Run(const std::filesystem::path& path, std::string& why) {
  ByteReader in;
  if (!in.Open(path)) {
    why = "impossible de l'ouvrir (" + SystemErrorText(errno) + ")";
    return false;
  }
  std::string line;
  for (;;) {
    const LineRead read = NextLine(in, line);
    if (read == LineRead::kEnd) break;
    ++lineNumber_;
    if (read == LineRead::kError) {
      why = "erreur de lecture (" + SystemErrorText(in.ReadErrorNumber()) + ")";
      return false;
    }
    if (read == LineRead::kTooLong) {
      why = AtLine(lineNumber_, "ligne de plus de 65536 octets");
      return false;
    }
    std::string_view text = line;
    if (lineNumber_ == 1 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    if (text.empty()) continue;
    if (text.front() == '#') {
      if (!OnComment(text, why)) return false;
      continue;
    }
    if (firstLine == 0) {
      if (!OnFirstLine(text, why)) return false;
      if (named) continue;
    } else {
      const CsvSplit split = SplitCsvLine(text, separator, kMaxColumns + 1, cells_);
      if (split == CsvSplit::kUnclosedQuote) {
        why = AtLine(lineNumber_, "guillemet non fermé");
        return false;
      }
      if (split == CsvSplit::kTextAfterQuote) {
        why = AtLine(lineNumber_, "texte après un guillemet fermant");
        return false;
      }
      if (split == CsvSplit::kTooManyCells || cells_.size() != columns.size()) {
        const std::string found = split == CsvSplit::kTooManyCells
                                      ? "plus de " + std::to_string(kMaxColumns) + " valeurs"
                                      : Counted(cells_.size(), "valeur");
        why = AtLine(lineNumber_, found + ", " + Counted(columns.size(), "attendue"));
        return false;
      }
    }
    if (!OnValues(why)) return false;
  }
  if (firstLine == 0) {
    why = "le fichier ne contient ni noms de colonnes ni valeurs";
    return false;
  }
  return true;
}

bool CsvPass::OnComment(std::string_view line, std::string& why) {
  // Channel lines count only before the columns; later ones are comments.
  if (firstLine != 0 || !IsCsvChannelLine(line)) return true;
  Described entry{lineNumber_, 0, {}};
  std::string problem;
  if (!ParseCsvChannelLine(line, entry.slot, entry.fields, problem)) {
    why = AtLine(lineNumber_, problem);
    return false;
  }
  if (described.size() == kChannelCount) {
    why = AtLine(lineNumber_, "plus de 8 canaux décrits");
    return false;
  }
  for (const Described& other : described) {
    if (other.slot == entry.slot) {
      why = AtLine(lineNumber_, "le slot " + std::to_string(entry.slot) +
                                    " est déjà décrit ligne " + std::to_string(other.line));
      return false;
    }
  }
  described.push_back(std::move(entry));
  return true;
}

bool CsvPass::OnFirstLine(std::string_view line, std::string& why) {
  firstLine = lineNumber_;
  separator = DetectCsvSeparator(line);
  const CsvSplit split = SplitCsvLine(line, separator, kMaxColumns + 1, cells_);
  if (split == CsvSplit::kTooManyCells) {
    why = AtLine(lineNumber_, "plus de " + std::to_string(kMaxColumns) + " colonnes");
    return false;
  }
  if (split != CsvSplit::kDone) {
    why =
        AtLine(lineNumber_, split == CsvSplit::kUnclosedQuote ? "guillemet non fermé"
                                                              : "texte après un guillemet fermant");
    return false;
  }
  double ignored = 0.0;
  named = std::any_of(cells_.begin(), cells_.end(), [&](const std::string& cell) {
    return ReadCsvCell(cell, separator, ignored) == CsvCell::kText;
  });
  columns.assign(cells_.size(), Column{});
  std::size_t channels = cells_.size();
  if (named) {
    for (std::size_t c = 0; c < cells_.size(); ++c) {
      columns[c].name = CsvTextToWindows1252(TrimCsvCell(cells_[c]));
      if (columns[c].name.find('\0') != std::string::npos) {
        why = AtLine(lineNumber_, "caractère nul dans un nom de colonne");
        return false;
      }
      columns[c].name.resize(std::min(columns[c].name.size(), kMaxTitleBytes));
      columns[c].time = IsTimeName(columns[c].name);
      if (columns[c].time) --channels;
    }
  } else if (!described.empty()) {
    why = AtLine(lineNumber_, "noms de colonnes attendus après les lignes « # channel »");
    return false;
  }
  // Without names, a first column may yet turn out to be time.
  const std::size_t maxChannels = named || channels == 1 ? kChannelCount : kChannelCount + 1;
  if (channels == 0 || channels > maxChannels) {
    why =
        AtLine(lineNumber_, std::to_string(channels) + " colonnes de valeurs, de 1 à 8 attendues");
    return false;
  }
  if (!described.empty() && described.size() != channels) {
    why = AtLine(lineNumber_, std::to_string(channels) + " colonnes de valeurs pour " +
                                  std::to_string(described.size()) + " canaux décrits");
    return false;
  }
  if (!named && columns.size() >= 2) columns[0].time = true;  // until shown otherwise
  return true;
}

bool CsvPass::OnValues(std::string& why) {
  for (std::size_t c = 0; c < columns.size(); ++c) {
    Column& column = columns[c];
    double value = 0.0;
    const CsvCell kind = ReadCsvCell(cells_[c], separator, value);
    if (kind == CsvCell::kText) {
      why = AtLine(lineNumber_, QuotedForMessage(TrimCsvCell(cells_[c])) + " n'est pas un nombre");
      return false;
    }
    if (kind == CsvCell::kEmpty) {
      if (column.trailing++ == 0) column.emptyLine = lineNumber_;
      continue;
    }
    if (column.trailing != 0) {
      // A spreadsheet leaves a cell empty where a value is missing: the
      // empty cells above a value are gaps in the channel. A time column
      // with a gap no longer steps evenly.
      if (column.time) {
        if (column.unevenLine == 0) column.unevenLine = column.emptyLine;
        if (column.values == 0) column.first = kNaN;
      }
      for (std::uint64_t k = 0; k < column.trailing; ++k) Store(c, column.values + k, kNaN);
      column.values += column.trailing;
      column.gaps += column.trailing;
      column.trailing = 0;
    }
    if (column.time) {
      if (column.unevenLine == 0 && !StepsEvenly(column, column.values, value)) {
        column.unevenLine = lineNumber_;
      }
      if (column.values == 0) column.first = value;
      column.last = value;
    }
    Store(c, column.values, value);
    ++column.values;
  }
  return true;
}

void CsvPass::Store(std::size_t column, std::uint64_t index, double value) {
  if (column >= fills_.size() || fills_[column] == nullptr) return;
  if (index >= fills_[column]->size()) {
    changed = true;
  } else {
    (*fills_[column])[index] = value;
  }
}

// What the first pass found, as records without their samples yet; false
// with the reason in `why`. `channelColumns` receives each record's column.
bool Describe(CsvPass& scan, ChannelSet& records, std::vector<std::size_t>& channelColumns,
              std::string& why) {
  std::vector<Column>& columns = scan.columns;
  if (!scan.named && columns[0].time) {
    const Column& first = columns[0];
    columns[0].time = first.values >= 2 && first.first == 0.0 && first.unevenLine == 0;
    if (!columns[0].time && columns.size() > kChannelCount) {
      why = AtLine(scan.firstLine,
                   std::to_string(columns.size()) + " colonnes de valeurs, de 1 à 8 attendues");
      return false;
    }
  }
  const Column* time = nullptr;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (columns[c].time) {
      time = &columns[c];
      if (scan.described.empty() && time->unevenLine != 0) {
        why = AtLine(time->unevenLine, "le temps de la colonne " + std::to_string(c + 1) +
                                           " n'avance pas d'un pas régulier");
        return false;
      }
      continue;
    }
    const std::size_t k = channelColumns.size();
    channelColumns.push_back(c);
    SlotRecord entry;
    if (!scan.described.empty()) {
      const Described& described = scan.described[k];
      entry = {described.slot, described.fields};
      if (columns[c].values != 0 && columns[c].values != entry.record.count()) {
        why = AtLine(described.line, "count=" + std::to_string(entry.record.count()) +
                                         ", mais la colonne " + std::to_string(c + 1) +
                                         " contient " + Counted(columns[c].values, "valeur"));
        return false;
      }
    } else {
      if (columns[c].values > std::numeric_limits<std::uint32_t>::max()) {
        why = "colonne " + std::to_string(c + 1) + " : plus de 4294967295 valeurs";
        return false;
      }
      entry.slot = static_cast<int>(k);
      entry.record.chan = static_cast<std::int16_t>(k);
      entry.record.gain = 1;
      entry.record.SetCount(static_cast<std::uint32_t>(columns[c].values));
      entry.record.rate = time != nullptr ? RateOf(*time) : 0.0;
      entry.record.title = columns[c].name;
    }
    records.push_back(std::move(entry));
  }
  return true;
}

// One array of samples for each channel column.
bool TakeMemory(std::vector<std::vector<double>>& samples, const std::vector<Column>& columns,
                const std::vector<std::size_t>& channelColumns, std::string& why) {
  std::uint64_t total = 0;
  for (std::size_t c : channelColumns) total += columns[c].values;
  bool taken = SamplesFitInMemory(total);
  samples.resize(channelColumns.size());
  for (std::size_t k = 0; taken && k < samples.size(); ++k) {
    taken = AllocateZeroed(samples[k], columns[channelColumns[k]].values);
  }
  if (!taken) why = SamplesMemoryRefusal(total);
  return taken;
}

// "3 cases vides lues comme NaN dans la colonne 2 (« Tension »)".
std::string GapNotice(const Column& column, std::size_t index) {
  const bool one = column.gaps == 1;
  std::string text = std::to_string(column.gaps) + (one ? " case vide lue" : " cases vides lues") +
                     " comme NaN dans la colonne " + std::to_string(index + 1);
  if (!column.name.empty()) text += " (" + QuotedForMessage(Windows1252ToUtf8(column.name)) + ")";
  return text;
}

}  // namespace

bool ReadCsvFile(const std::filesystem::path& path, ChannelSet& set, std::string* why,
                 std::vector<std::string>* notices) {
  std::string problem;
  CsvPass scan;
  ChannelSet records;
  std::vector<std::size_t> channelColumns;
  std::vector<std::vector<double>> samples;
  bool good = scan.Run(path, problem) && Describe(scan, records, channelColumns, problem) &&
              TakeMemory(samples, scan.columns, channelColumns, problem);
  if (good) {
    std::vector<std::vector<double>*> fills(scan.columns.size(), nullptr);
    for (std::size_t k = 0; k < records.size(); ++k) fills[channelColumns[k]] = &samples[k];
    CsvPass fill(std::move(fills));
    good = fill.Run(path, problem);
    if (good &&
        (fill.changed || fill.columns.size() != scan.columns.size() ||
         !std::equal(fill.columns.begin(), fill.columns.end(), scan.columns.begin(),
                     [](const Column& a, const Column& b) { return a.values == b.values; }))) {
      problem = "le fichier a changé pendant la lecture";
      good = false;
    }
  }
  if (!good) {
    if (why != nullptr) *why = problem;
    return false;
  }
  if (notices != nullptr) {
    notices->clear();
    for (const std::size_t c : channelColumns) {
      if (scan.columns[c].gaps != 0) notices->push_back(GapNotice(scan.columns[c], c));
    }
  }
  for (std::size_t k = 0; k < records.size(); ++k) records[k].record.TakeSamples(samples[k]);
  std::sort(records.begin(), records.end(),
            [](const SlotRecord& a, const SlotRecord& b) { return a.slot < b.slot; });
  set = std::move(records);
  return true;
}

}  // namespace tavril
