#include "measure_command.h"

#include <ostream>

#include "cli_commands.h"
#include "cli_files.h"
#include "input_channels.h"
#include "json_output.h"
#include "model/messages.h"
#include "recorded_channels.h"
#include "text/text_encoding.h"

namespace tavril::cli {

std::string MeasureText(const MeasurementRow& row) {
  std::string text = "Titre : " + EscapedLine(row.title) + '\n';
  text += "Points mesurés : " + std::to_string(row.values.count);
  if (row.range) {
    text += " (échantillons " + std::to_string(row.range->first) + " à " +
            std::to_string(row.range->last) + ')';
  }
  text += '\n';
  for (const MeasurementColumn& column : kMeasurementColumns) {
    text += std::string(column.header) + " : " + MeasurementText(column, row.values.*column.value) +
            '\n';
  }
  return text;
}

std::string MeasureJson(const MeasurementRow& row, const RecordSource& source) {
  JsonObject json;
  AddSource(json, source);
  json.AddString("title", row.title);
  json.AddInteger("count", static_cast<std::int64_t>(row.values.count));
  if (row.range) {
    json.AddInteger("first", static_cast<std::int64_t>(row.range->first));
    json.AddInteger("last", static_cast<std::int64_t>(row.range->last));
  }
  for (const MeasurementColumn& column : kMeasurementColumns) {
    json.AddOptionalDouble(column.key, row.values.*column.value);
  }
  return json.Text();
}

int RunMeasure(const CommandLine& command, std::ostream& out, std::ostream& err) {
  const MeasuredStretch stretch =
      command.between ? MeasuredStretch::BetweenTimes(command.between->from, command.between->to)
                      : MeasuredStretch::WholeRecord();
  return PrintEachChannel(
      command, out, err,
      [&](const InputChannel& channel, const RecordSource& source) -> std::optional<std::string> {
        MeasurementRow row;
        if (channel.reader != nullptr) {
          std::string why;
          const std::optional<SampleRange> range =
              RangeOf(command.between, channel.SampleCount(), channel.Rate());
          if (!MeasureRecorded(*channel.reader, channel.index, range, row, &why)) {
            ReportError(err, messages::OpenError(*channel.path) + " : " + why);
            return std::nullopt;
          }
        } else {
          row = MeasureChannel(*channel.record, 0, false, stretch, &Windows1252ToUtf8);
        }
        return command.json ? MeasureJson(row, source) : MeasureText(row);
      });
}

}  // namespace tavril::cli
