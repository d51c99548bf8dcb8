#include "cli_commands.h"

#include "tavril_version.h"

#include <charconv>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <new>
#include <ostream>
#include <system_error>

#include "acquire_command.h"
#include "bode_command.h"
#include "cli_files.h"
#include "config/config_file.h"
#include "convert_command.h"
#include "display/info_strip_text.h"
#include "input_channels.h"
#include "json_output.h"
#include "measure_command.h"
#include "model/messages.h"
#include "overview_command.h"
#include "processing/math_operation.h"
#include "record_command.h"
#include "recorded_channels.h"
#include "spectrum_command.h"
#include "text/number_text.h"
#include "text/text_encoding.h"

namespace tavril::cli {
namespace {

constexpr std::string_view kHelpHint = " (voir « tavril-cli --help »)";

std::string IntegerText(std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  return std::string(digits, result.ptr);
}

int RunInfo(const CommandLine& command, std::ostream& out, std::ostream& err) {
  return PrintEachChannel(
      command, out, err,
      [&](const InputChannel& channel, const RecordSource& source) -> std::optional<std::string> {
        const std::optional<SampleRange> range =
            RangeOf(command.between, channel.SampleCount(), channel.Rate());
        if (channel.reader != nullptr) {
          OverviewStatistics levels;
          std::string why;
          if (!RecordedLevels(*channel.reader, channel.index, range, levels, &why)) {
            ReportError(err, messages::OpenError(*channel.path) + " : " + why);
            return std::nullopt;
          }
          const RecordedChannel& recorded = channel.reader->Channels()[channel.index];
          return command.json ? RecordedInfoJson(recorded, command.between, range, levels, source)
                              : RecordedInfoText(recorded, command.between, range, levels);
        }
        std::optional<ChannelRecord> part;
        if (command.between) part = RecordOfRange(*channel.record, range);
        const ChannelRecord& shown = part ? *part : *channel.record;
        return command.json ? InfoJson(shown, source) : InfoText(shown);
      });
}

int RunMath(const CommandLine& command, std::ostream& err) {
  if (!IsOutputFormat(command.output)) {
    ReportError(err, UnknownOutputMessage(command.output));
    return 1;
  }
  if (!MayReplace(command.output, command.force, err)) return 1;
  const bool two = TakesSecondOperand(command.operation);
  ChannelRecord a;
  ChannelRecord b;
  if (!LoadRecord(command.input, a, err)) return 1;
  if (two && !LoadRecord(command.secondInput, b, err)) return 1;

  // The result starts with A's header, so it keeps A's channel number as a
  // record of the channel table keeps its own.
  ChannelRecord result;
  result.device = a.device;
  result.chan = a.chan;
  result.gain = a.gain;
  result.SetCount(a.count());
  result.rate = a.rate;
  const MathResult outcome = RunMathOperation(command.operation, a, b, result);
  result.title = ResultTitleForFiles(command.operation, command.input, command.secondInput);
  if (outcome != MathResult::kOk) {
    ReportError(err, MathResultMessage(outcome, std::nullopt));
    return 1;
  }
  return WriteRecord(command.output, result, err) ? 0 : 1;
}

int RunConfig(const CommandLine& command, std::ostream& out, std::ostream& err) {
  std::error_code error;
  const std::filesystem::path directory = std::filesystem::current_path(error);
  BoardConfig config;
  std::string why = error ? error.message() : std::string();
  if (error || ReadConfigFile(config, directory, &why) != 1) {
    ReportError(err, std::string(messages::kConfigReadError) + " : " + why);
    return 1;
  }
  out << (command.json ? ConfigJson(config) + '\n' : ConfigText(config));
  return 0;
}

std::string FileNameOf(std::string_view path) {
  return std::filesystem::path(path).filename().string();
}

}  // namespace

int PrintEachChannel(
    const CommandLine& command, std::ostream& out, std::ostream& err,
    const std::function<std::optional<std::string>(const InputChannel&, const RecordSource&)>&
        describe) {
  bool first = true;
  return ForEachInputChannel(command.inputs, command.slots, err,
                             [&](const InputChannel& channel, const RecordSource& source) {
                               const std::optional<std::string> described =
                                   describe(channel, source);
                               if (!described) return false;
                               if (command.json) {
                                 out << *described << '\n';
                               } else {
                                 if (!first) out << '\n';
                                 if (!source.file.empty())
                                   out << "Fichier: " << EscapedLine(source.file) << '\n';
                                 if (source.slot) out << "Canal: " << *source.slot << '\n';
                                 out << *described;
                               }
                               out.flush();
                               first = false;
                               return true;
                             });
}

void AddSource(JsonObject& json, const RecordSource& source) {
  if (!source.file.empty()) json.AddString("file", ViewerPathUtf8(source.file));
  if (source.slot) json.AddInteger("slot", *source.slot);
}

void AddChannelFields(JsonObject& json, const RecordSource& source, std::string_view title,
                      int device, int chan, int gain, std::int64_t count, double rate) {
  AddSource(json, source);
  json.AddString("title", Windows1252ToUtf8(title));
  json.AddInteger("device", device);
  json.AddInteger("chan", chan);
  json.AddInteger("gain", gain);
  json.AddInteger("count", count);
  json.AddDouble("rate", rate);
}

std::string EscapedLine(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  std::string line;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      line += "\\\\";
    } else if (c == '\r') {
      line += "\\r";
    } else if (c == '\n') {
      line += "\\n";
    } else if (byte < 0x20 || byte == 0x7F) {
      line += "\\x";
      line += kHexDigits[byte >> 4];
      line += kHexDigits[byte & 0x0F];
    } else {
      line += c;
    }
  }
  return line;
}

std::string InfoText(const ChannelRecord& record) {
  const RecordTexts texts = DescribeRecord(record);
  std::string text = EscapedLine(texts.title) + '\n';
  for (const std::string* line : {&texts.gain, &texts.count, &texts.rate}) text += *line + '\n';
  for (const std::string& line : texts.statistics) text += line + '\n';
  return text;
}

std::string InfoJson(const ChannelRecord& record, const RecordSource& source) {
  JsonObject json;
  AddChannelFields(json, source, record.title, record.device, record.chan, record.gain,
                   record.count(), record.rate);
  json.AddInteger("maxIndex", record.statistics().maxIndex);
  json.AddDouble("maxValue", record.statistics().maxValue);
  json.AddInteger("minIndex", record.statistics().minIndex);
  json.AddDouble("minValue", record.statistics().minValue);
  json.AddDouble("mean", record.statistics().mean);
  return json.Text();
}

std::string ConfigText(const BoardConfig& config) {
  std::string text = "Input Mode = " + IntegerText(config.inputMode) + '\n';
  text += "Polar = " + IntegerText(config.polar) + '\n';
  text += "Device = " + IntegerText(config.device) + '\n';
  text += "TimeOut = " + IntegerText(config.timeOut) + '\n';
  text += "GainAdjust = " + FormatFixed(config.gainAdjust, 6) + '\n';
  text += "Offset = " + FormatFixed(config.offset, 6) + '\n';
  text += "Html = " + ViewerPathUtf8(config.htmlViewer) + '\n';
  return text;
}

std::string ConfigJson(const BoardConfig& config) {
  JsonObject json;
  json.AddInteger("device", config.device);
  json.AddInteger("inputMode", config.inputMode);
  json.AddInteger("polar", config.polar);
  json.AddInteger("timeOut", config.timeOut);
  json.AddDouble("gainAdjust", config.gainAdjust);
  json.AddDouble("offset", config.offset);
  json.AddString("htmlViewer", ViewerPathUtf8(config.htmlViewer));
  return json.Text();
}

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t smallest = 0;  // below it the sequence is overlong
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      cp = lead & 0x1F;
      smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      cp = lead & 0x0F;
      smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      cp = lead & 0x07;
      smallest = 0x10000;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string ViewerPathUtf8(std::string_view path) {
  // A file written on Windows holds the path in the system's code page.
  return IsValidUtf8(path) ? std::string(path) : Windows1252ToUtf8(path);
}

std::string ResultTitleForFiles(MathOperation operation, std::string_view pathA,
                                std::string_view pathB) {
  // Windows-1252 has one byte per character, so the title's cut splits none.
  const std::string a = Utf8ToWindows1252(FileNameOf(pathA));
  return MathResultTitle(operation, a, Utf8ToWindows1252(FileNameOf(pathB)), "de " + a);
}

int RunCommand(const CommandLine& command, std::ostream& out, std::ostream& err) {
  switch (command.kind) {
    case CommandKind::kHelp:
      out << UsageText();
      return 0;
    case CommandKind::kInfo:
      return RunInfo(command, out, err);
    case CommandKind::kConvert:
      return RunConvert(command, err);
    case CommandKind::kMath:
      return RunMath(command, err);
    case CommandKind::kConfig:
      return RunConfig(command, out, err);
    case CommandKind::kAcquire:
      return RunAcquire(command, out, err);
    case CommandKind::kRecord:
      return RunRecord(command, out, err);
    case CommandKind::kMeasure:
      return RunMeasure(command, out, err);
    case CommandKind::kSpectrum:
      return RunSpectrum(command, out, err);
    case CommandKind::kOverview:
      return RunOverview(command, err);
    case CommandKind::kZeroOutputs:
      return RunZeroOutputs(out, err);
    case CommandKind::kBode:
      return RunBode(command, out, err);
    case CommandKind::kVersion:
      out << "tavril-cli " << kTavrilVersion << '\n';
      return 0;
  }
  return 1;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const ParsedArguments parsed = ParseArguments(args);
  if (!parsed.ok()) {
    ReportError(err, parsed.error + std::string(kHelpHint));
    return 1;
  }
  // Whatever goes wrong below ends as a message: writers still open are
  // discarded on the way out, so no partial file stays behind.
  try {
    return RunCommand(parsed.command, out, err);
  } catch (const std::bad_alloc&) {
    ReportError(err, messages::kMathNoMemory);
  } catch (const std::exception& error) {
    ReportError(err, std::string("Erreur inattendue : ") + error.what());
  }
  return 1;
}

}  // namespace tavril::cli
