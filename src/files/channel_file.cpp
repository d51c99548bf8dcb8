#include "files/channel_file.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "model/allocation.h"
#include "text/number_text.h"

namespace tavril {
namespace {

constexpr std::string_view kTitleLabel = "Titre = ";
constexpr std::string_view kDeviceLabel = "Device = ";
constexpr std::string_view kChanLabel = "Chan = ";
constexpr std::string_view kGainLabel = "Gain = ";
constexpr std::string_view kCountLabel = "Count = ";
constexpr std::string_view kRateLabel = "Rate = ";
constexpr std::string_view kTableLabel = "Tableau :";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kFieldEnd = "\xA7\r\n";
constexpr char kTerminatorChar = static_cast<char>(kFieldTerminator);

// A sample's text longer than this is not a number the writer could have
// produced; refusing it keeps a file of garbage from growing a buffer.
constexpr std::size_t kMaxValueTextBytes = std::size_t{1} << 16;

// The terminator cannot be part of a header value, so a title holding it is
// written with '?' there (the usual stand-in for a character a file cannot
// carry); the record in memory keeps its title.
std::string TitleForFile(std::string_view title) {
  std::string text(title.substr(0, kMaxChannelFieldBytes));
  for (char& c : text) {
    if (c == kTerminatorChar) c = '?';
  }
  return text;
}

void AppendHeaderItem(std::string& out, std::string_view label, std::string_view value) {
  out += label;
  out += value;
  out += kFieldEnd;
}

// "%.0f" gives a rate from 1e255 on more digits than a header value holds;
// such a rate, which no board gives, is written in exponent form instead
// ("1e+268"), which the reader takes as well.
std::string HeaderRateText(double rate) {
  std::string text = FormatFixed(rate, 0);
  if (text.size() <= kMaxChannelFieldBytes) return text;
  return ShortestText(rate);
}

std::string IntegerText(long long value) {
  char buffer[24];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

// Where and why a read went wrong, for whoever wants to tell the user.
class ProblemNote {
 public:
  explicit ProblemNote(ChannelFileProblem* problem) : problem_(problem) {}

  bool Fail(ChannelFileFault fault, std::string_view label = {}, std::uint64_t offset = 0) {
    if (problem_ != nullptr) {
      problem_->fault = fault;
      problem_->label = std::string(label);
      problem_->offset = offset;
    }
    return false;
  }
  ChannelFileProblem* details() const { return problem_; }

 private:
  ChannelFileProblem* problem_;
};

bool ReadLabel(ByteReader& in, std::string_view label) {
  char bytes[16];
  return in.Read(bytes, label.size()) == label.size() &&
         std::memcmp(bytes, label.data(), label.size()) == 0;
}

bool ReadLabelledField(ByteReader& in, std::string_view label, std::string& value,
                       ProblemNote& note) {
  const std::uint64_t labelOffset = in.Position();
  if (!ReadLabel(in, label)) return note.Fail(ChannelFileFault::kLabelMismatch, label, labelOffset);
  const std::uint64_t valueOffset = in.Position();
  if (ReadChannelField(in, value)) return true;
  const bool tooLong = value.size() == kMaxChannelFieldBytes && !in.HadReadError();
  return note.Fail(tooLong ? ChannelFileFault::kFieldTooLong : ChannelFileFault::kFieldUnterminated,
                   label, valueOffset);
}

std::int16_t ShortFromText(std::string_view text) {
  return LowBits16(ParseDecimalInt32(text));
}

// The count is read as a number and truncated toward zero; a value that is
// not a count at all (negative, beyond 32 bits) refuses the file.
bool CountFromText(std::string_view text, std::uint32_t& count) {
  const double value = std::trunc(ParseDecimalDouble(text).value);
  if (!(value >= 0.0 && value <= std::numeric_limits<std::uint32_t>::max())) return false;
  count = static_cast<std::uint32_t>(value);
  return true;
}

struct LoadedRecord {
  std::string title;
  std::int16_t device = 0;
  std::int16_t chan = 0;
  std::int16_t gain = 0;
  std::uint32_t count = 0;
  double rate = 0.0;
};

bool ReadHeader(ByteReader& in, LoadedRecord& loaded, ProblemNote& note) {
  std::string value;
  if (!ReadLabelledField(in, kTitleLabel, value, note)) return false;
  // The title was a C string: a NUL ends it.
  loaded.title = value.substr(0, value.find('\0'));
  if (!ReadLabelledField(in, kDeviceLabel, value, note)) return false;
  loaded.device = ShortFromText(value);
  if (!ReadLabelledField(in, kChanLabel, value, note)) return false;
  loaded.chan = ShortFromText(value);
  if (!ReadLabelledField(in, kGainLabel, value, note)) return false;
  loaded.gain = ShortFromText(value);
  if (!ReadLabelledField(in, kCountLabel, value, note)) return false;
  if (!CountFromText(value, loaded.count)) {
    if (note.details() != nullptr) note.details()->countText = value;
    return note.Fail(ChannelFileFault::kBadCount, kCountLabel);
  }
  if (!ReadLabelledField(in, kRateLabel, value, note)) return false;
  // A rate that is not finite (a header value beyond the double's range) is
  // written as the samples' words inf, -inf or nan: they read back the same.
  loaded.rate = ParseSampleValue(value).value;
  const std::uint64_t tableOffset = in.Position();
  if (!ReadLabel(in, kTableLabel)) {
    return note.Fail(ChannelFileFault::kLabelMismatch, kTableLabel, tableOffset);
  }
  // The line end after the label is not examined; a file ending here holds
  // no list, which the list reader tells.
  in.Skip(kLineEnd.size());
  return true;
}

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The form the writer produces, "-123.456789012345" closed by a space, read in
// the same pass that finds the space. With at most 2^53 as the digits' integer
// and an exact power of ten, one division is correctly rounded, so the result
// is bit for bit what the general conversion gives. Returns the closing space,
// or nullptr when the text needs the general conversion.
const char* ParsePlainValue(const char* p, const char* end, double& value) {
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  std::uint64_t digits = 0;
  int digitCount = 0;
  int fractionDigits = 0;
  bool inFraction = false;
  for (; p < end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p - '0');
    if (digit <= 9) {
      if (++digitCount > 19) return nullptr;  // beyond what 64 bits hold
      digits = digits * 10 + digit;
      fractionDigits += inFraction;
    } else if (*p == '.' && !inFraction) {
      inFraction = true;
    } else {
      break;
    }
  }
  if (p == end || *p != ' ' || digitCount == 0 || digits > (std::uint64_t{1} << 53)) return nullptr;
  const double magnitude = static_cast<double>(digits) / kPowersOfTen[fractionDigits];
  value = negative ? -magnitude : magnitude;
  return p;
}

// The list: every space ends one value; 0xA7 ends the list, and the text
// before it that no space closed is dropped. Fewer values than `count` leave
// zeros. More values than `count`, or a list the file ends before its 0xA7,
// refuse the file; the one exception is the empty list of a record with no
// samples, which is written without a terminator.
bool ReadSampleList(ByteReader& in, std::vector<double>& samples, ProblemNote& note) {
  const std::size_t capacity = samples.size();
  std::size_t stored = 0;
  std::string pending;  // a value's text cut by the end of the read buffer
  bool readAnything = false;
  for (;;) {
    const std::uint64_t chunkOffset = in.Position();
    const std::string_view chunk = in.Peek();
    if (chunk.empty()) {
      if (!readAnything && capacity == 0) return true;
      return note.Fail(ChannelFileFault::kListUnterminated);
    }
    readAnything = true;
    const char* const begin = chunk.data();
    const char* const end = begin + chunk.size();
    const auto offsetOf = [&](const char* at) {
      return chunkOffset + static_cast<std::uint64_t>(at - begin);
    };
    const char* p = begin;  // start of the current value's text
    while (p < end) {
      if (pending.empty() && stored < capacity) {
        double value = 0.0;
        if (const char* space = ParsePlainValue(p, end, value)) {
          samples[stored++] = value;
          p = space + 1;
          continue;
        }
      }
      const char* q = p;
      while (q < end && *q != ' ' && *q != kTerminatorChar) ++q;
      if (q == end) break;
      if (*q == kTerminatorChar) {
        in.Consume(static_cast<std::size_t>(q + 1 - begin));
        return true;
      }
      if (stored == capacity) {
        return note.Fail(ChannelFileFault::kTooManyValues, {},
                         offsetOf(p) - static_cast<std::uint64_t>(pending.size()));
      }
      std::string_view text(p, static_cast<std::size_t>(q - p));
      if (pending.size() + text.size() > kMaxValueTextBytes) {
        return note.Fail(ChannelFileFault::kValueTooLong, {},
                         offsetOf(p) - static_cast<std::uint64_t>(pending.size()));
      }
      if (!pending.empty()) {
        pending.append(text);
        text = pending;
      }
      samples[stored++] = ParseSampleValue(text).value;
      pending.clear();
      p = q + 1;
    }
    pending.append(p, end);
    if (pending.size() > kMaxValueTextBytes) {
      return note.Fail(ChannelFileFault::kValueTooLong, {},
                       offsetOf(end) - static_cast<std::uint64_t>(pending.size()));
    }
    in.Consume(chunk.size());
  }
}

}  // namespace

SaveOutcome SaveChannelFile(UserInteraction& ui, const std::filesystem::path& path,
                            const ChannelRecord& record) {
  return SaveWithOverwritePrompt(
      ui, path, [&record](AtomicFileWriter& out) { WriteChannelFile(out, record); });
}

void WriteChannelFile(AtomicFileWriter& out, const ChannelRecord& record) {
  // The count written is the number of samples the record holds, so that a
  // record without samples (after a reset, say) still gives a file that reads back.
  const std::span<const double> samples = record.samples();
  std::string header;
  AppendHeaderItem(header, kTitleLabel, TitleForFile(record.title));
  AppendHeaderItem(header, kDeviceLabel, IntegerText(record.device));
  AppendHeaderItem(header, kChanLabel, IntegerText(record.chan));
  AppendHeaderItem(header, kGainLabel, IntegerText(record.gain));
  AppendHeaderItem(header, kCountLabel, IntegerText(static_cast<long long>(samples.size())));
  AppendHeaderItem(header, kRateLabel, HeaderRateText(record.rate));
  header += kTableLabel;
  header += kLineEnd;
  out.Append(header);

  for (const double value : samples) {
    char* p = out.Reserve(kMaxFixedChars + 1);
    p = AppendFixed12(p, value);
    *p++ = ' ';
    out.Advance(p);
  }
  if (!samples.empty()) out.Append(std::string_view(&kTerminatorChar, 1));
}

bool ReadChannelField(ByteReader& in, std::string& value) {
  value.clear();
  for (;;) {
    const int byte = in.Get();
    if (byte < 0) return false;
    if (byte == kFieldTerminator) break;
    if (value.size() == kMaxChannelFieldBytes) return false;
    value += static_cast<char>(byte);
  }
  // The two bytes after the terminator are CR LF in a well-formed file and are
  // not examined; a file ending here fails at the next label instead.
  in.Skip(kLineEnd.size());
  return true;
}

int LoadChannelFile(const std::filesystem::path& path, ChannelRecord& record,
                    ChannelFileProblem* problem) {
  std::vector<double> scratch;
  return LoadChannelFile(path, record, scratch, problem);
}

int LoadChannelFile(const std::filesystem::path& path, ChannelRecord& record,
                    std::vector<double>& spare, ChannelFileProblem* problem) {
  ProblemNote note(problem);
  ByteReader in;
  if (!in.Open(path)) {
    if (problem != nullptr) problem->systemError = errno;
    return note.Fail(ChannelFileFault::kCannotOpen);
  }
  // A read error looks like an early end to the parsers; say what it was.
  const auto failed = [&] {
    if (in.HadReadError()) {
      note.Fail(ChannelFileFault::kReadError);
      if (problem != nullptr) problem->systemError = in.ReadErrorNumber();
    }
    return 0;
  };
  LoadedRecord loaded;
  if (!ReadHeader(in, loaded, note)) return failed();
  // Missing values stay zeros, so the whole count is taken before the list is
  // read; a count memory cannot hold is refused here, with nothing released.
  if (!AllocateZeroed(spare, loaded.count)) {
    if (problem != nullptr) problem->count = loaded.count;
    return note.Fail(ChannelFileFault::kNoMemory);
  }
  if (!ReadSampleList(in, spare, note)) {
    if (problem != nullptr) problem->count = loaded.count;
    return failed();
  }
  if (!in.Close()) {
    if (problem != nullptr) problem->systemError = errno;
    return note.Fail(ChannelFileFault::kReadError);
  }

  record.title = std::move(loaded.title);
  record.acquiredAt.reset();  // a data file does not say when
  record.device = loaded.device;
  record.chan = loaded.chan;
  record.gain = loaded.gain;
  record.rate = loaded.rate;
  record.TakeSamples(spare);
  record.SetCount(loaded.count);
  return 1;
}

}  // namespace tavril
