#include "cli_files.h"

#include <filesystem>
#include <ostream>
#include <system_error>

#include "files/channel_file.h"
#include "files/channel_file_problem.h"
#include "files/channel_formats.h"
#include "files/file_writer.h"
#include "files/matlab_export.h"
#include "model/messages.h"
#include "text/system_error_text.h"

namespace tavril::cli {

void ReportError(std::ostream& err, std::string_view message) {
  std::string line("tavril-cli: ");
  for (const char c : message) {
    line += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  }
  line += '\n';
  err << line;
}

bool MayReplace(const std::string& path, bool force, std::ostream& err) {
  if (force) return true;
  std::error_code ignored;
  const std::filesystem::file_status status = std::filesystem::symlink_status(path, ignored);
  if (status.type() == std::filesystem::file_type::not_found ||
      status.type() == std::filesystem::file_type::none) {
    return true;
  }
  ReportError(err, "Le fichier existe déjà : " + path + " (utilisez --force pour le remplacer)");
  return false;
}

bool LoadRecord(const std::string& path, ChannelRecord& record, std::ostream& err) {
  ChannelFileProblem problem;
  if (LoadChannelFile(path, record, &problem) != 1) {
    ReportError(err, messages::OpenError(path) + " : " + DescribeChannelFileProblem(problem));
    return false;
  }
  return true;
}

bool ReadChannels(const std::string& path, ChannelSet& set, std::ostream& err) {
  std::string why;
  std::vector<std::string> notices;
  if (!ReadChannelsFile(path, set, &why, &notices)) {
    ReportError(err, messages::OpenError(path) + " : " + why);
    return false;
  }
  for (const std::string& notice : notices) ReportError(err, path + " : " + notice);
  return true;
}

bool LoadInputRecords(const std::string& path, std::vector<InputRecord>& records,
                      std::ostream& err) {
  records.clear();
  if (ChannelFormatOfFile(path) == ChannelFormat::kChannelFile) {
    InputRecord& input = records.emplace_back();
    return LoadRecord(path, input.record, err);
  }
  ChannelSet set;
  if (!ReadChannels(path, set, err)) return false;
  for (SlotRecord& entry : set) records.push_back({entry.slot, std::move(entry.record)});
  return true;
}

bool IsOutputFormat(const std::string& path) {
  return ChannelFormatOf(path) != ChannelFormat::kUnknown;
}

std::string UnknownOutputMessage(const std::string& path) {
  return "Extension de fichier non reconnue : " + path +
         " (.tvr, .m, .csv, .mat, .h5 ou .xlsx attendu)";
}

bool WriteRecord(const std::string& path, const ChannelRecord& record, std::ostream& err) {
  const ChannelFormat format = ChannelFormatOf(path);
  std::string why;
  bool written = false;
  if (HoldsSeveralChannels(format)) {
    const SlotView view{0, &record};
    written = WriteChannelsFile({&view, 1}, path, &why);
  } else {
    AtomicFileWriter writer;
    written = writer.Open(path);
    if (written) {
      if (format == ChannelFormat::kMatlabScript) {
        WriteMatlabScript(record, writer);
      } else {
        WriteChannelFile(writer, record);
      }
      written = writer.Commit();
    }
    if (!written) why = SystemErrorText(writer.Error());
  }
  if (!written) ReportError(err, messages::SaveError(path) + " : " + why);
  return written;
}

}  // namespace tavril::cli
