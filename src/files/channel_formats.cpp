#include "files/channel_formats.h"

#include <limits>
#include <string_view>

#include "files/byte_reader.h"
#include "files/csv_file.h"
#include "files/hdf5_file.h"
#include "files/mat_file.h"
#include "files/xlsx_file.h"
#include "model/messages.h"

namespace tavril {

std::string LowerExtension(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extension;
}

ChannelFormat ChannelFormatOf(const std::filesystem::path& path) {
  const std::string extension = LowerExtension(path);
  if (extension == ".tvr") return ChannelFormat::kChannelFile;
  if (extension == ".m") return ChannelFormat::kMatlabScript;
  if (extension == ".csv") return ChannelFormat::kCsv;
  if (extension == ".mat") return ChannelFormat::kMat;
  if (extension == ".h5" || extension == ".hdf5") return ChannelFormat::kHdf5;
  if (extension == ".xlsx") return ChannelFormat::kXlsx;
  return ChannelFormat::kUnknown;
}

bool HoldsSeveralChannels(ChannelFormat format) {
  return format == ChannelFormat::kCsv || format == ChannelFormat::kMat ||
         format == ChannelFormat::kHdf5 || format == ChannelFormat::kXlsx;
}

std::optional<std::uint64_t> MaxSamplesPerChannel(ChannelFormat format) {
  switch (format) {
    case ChannelFormat::kChannelFile:
    case ChannelFormat::kCsv:
    case ChannelFormat::kMat:
    case ChannelFormat::kXlsx:
      return std::numeric_limits<std::uint32_t>::max();
    case ChannelFormat::kMatlabScript:
    case ChannelFormat::kHdf5:
    case ChannelFormat::kUnknown:
      break;
  }
  return std::nullopt;
}

std::string SampleCountRefusal(ChannelFormat format, std::uint64_t samples) {
  const std::optional<std::uint64_t> most = MaxSamplesPerChannel(format);
  if (!most || samples <= *most) return {};
  const std::string what =
      format == ChannelFormat::kChannelFile ? "un fichier .tvr" : "ce format de fichier";
  return std::to_string(samples) + " points par canal : trop pour " + what + ", dont le nombre " +
         "de points tient sur 32 bits (au plus " + std::to_string(*most) + ")";
}

namespace {

// A file whose name does not say is known by its first bytes: data files
// start with their title label, MATLAB files with their text header (version
// 7.3 ones too, before their HDF5 part), HDF5 files with their signature; any
// other is read as CSV.
ChannelFormat FormatByContent(const std::filesystem::path& path) {
  // ByteReader opens only regular files: a named pipe must not hang the reading.
  ByteReader file;
  char start[8] = {};
  const std::string_view head(start, file.Open(path) ? file.Read(start, sizeof start) : 0);
  if (head == "Titre = ") return ChannelFormat::kChannelFile;
  if (head.starts_with("MATLAB")) return ChannelFormat::kMat;
  if (head == std::string_view("\x89HDF\r\n\x1a\n", 8)) return ChannelFormat::kHdf5;
  return ChannelFormat::kCsv;
}

}  // namespace

ChannelFormat ChannelFormatOfFile(const std::filesystem::path& path) {
  const ChannelFormat format = ChannelFormatOf(path);
  return format == ChannelFormat::kUnknown ? FormatByContent(path) : format;
}

bool ReadChannelsFile(const std::filesystem::path& path, ChannelSet& set, std::string* why,
                      std::vector<std::string>* notices) {
  if (notices != nullptr) notices->clear();
  switch (ChannelFormatOfFile(path)) {
    case ChannelFormat::kCsv:
      return ReadCsvFile(path, set, why, notices);
    case ChannelFormat::kMat:
      return ReadMatFile(path, set, why);
    case ChannelFormat::kHdf5:
      return ReadHdf5File(path, set, why);
    default:
      break;
  }
  if (why != nullptr) *why = messages::kUnknownChannelFileKind;
  return false;
}

bool WriteChannelsFile(std::span<const SlotView> records, const std::filesystem::path& path,
                       std::string* why) {
  switch (ChannelFormatOf(path)) {
    case ChannelFormat::kCsv:
      return WriteCsvFile(records, path, why);
    case ChannelFormat::kMat:
      return WriteMatFile(records, path, why);
    case ChannelFormat::kHdf5:
      return WriteHdf5File(records, path, why);
    case ChannelFormat::kXlsx:
      return WriteXlsxFile(records, path, why);
    default:
      break;
  }
  if (why != nullptr) *why = messages::kUnknownChannelFileKind;
  return false;
}

}  // namespace tavril
