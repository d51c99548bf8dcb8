#include "files/overview_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "files/hdf5_attributes.h"
#include "files/hdf5_handles.h"
#include "files/hdf5_layout.h"
#include "files/overview_levels.h"
#include "files/recording_layout.h"
#include "files/recording_reader.h"
#include "text/system_error_text.h"

namespace tavril {
namespace {

constexpr std::size_t kBlockSamples = std::size_t{1} << 20;

// The file being built under a hidden name, removed unless finished.
struct SideFile {
  std::filesystem::path temporary;
  Hdf5File file;
  bool kept = false;

  ~SideFile() {
    const Hdf5Use use;
    file.Close();
    if (!kept && !temporary.empty()) ::unlink(temporary.c_str());
  }
};

// One channel's group and levels, closed while the library is held.
struct ChannelLevels {
  Hdf5Group group;
  OverviewLevelsWriter writer;

  ~ChannelLevels() {
    const Hdf5Use use;
    writer.Close();
    group.Close();
  }
  bool Write(OverviewBuilder& builder, std::string& why) {
    const Hdf5Use use;
    return writer.Write(group.get(), builder, why);
  }
};

}  // namespace

std::filesystem::path OverviewFilePath(const std::filesystem::path& channels) {
  std::filesystem::path side = channels;
  side += kOverviewFileSuffix;
  return side;
}

std::int64_t ModifiedNanoseconds(const struct stat& info) {
  return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

OverviewBuild BuildOverviewFile(const std::filesystem::path& channels,
                                const std::function<bool(std::uint64_t, std::uint64_t)>& progress,
                                std::string* why) {
  std::string reason;
  const auto fail = [&](std::string text) {
    if (why != nullptr) *why = "Impossible de construire l'aperçu : " + std::move(text);
    return OverviewBuild::kFailed;
  };
  const std::unique_ptr<RecordingReader> reader = RecordingReader::Open(channels, &reason);
  if (!reader) return fail(std::move(reason));
  if (reader->HasOverview()) return OverviewBuild::kNotNeeded;
  struct stat source {};
  if (::stat(channels.c_str(), &source) != 0) return fail(SystemErrorText(errno));
  const std::filesystem::path target = OverviewFilePath(channels);
  SideFile side;
  side.temporary = target.parent_path() / ("." + target.filename().string().substr(0, 200) +
                                           ".tmp-" + std::to_string(::getpid()));
  std::uint64_t total = 0;
  for (const RecordedChannel& channel : reader->Channels()) total += channel.sampleCount;
  {
    const Hdf5Use use;
    side.file =
        Hdf5File(H5Fcreate(side.temporary.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT));
    if (!side.file.valid()) return fail(Hdf5Failure("création de « " + target.string() + " »"));
    const Hdf5Group group(
        H5Gcreate2(side.file.get(), "overview", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
    Hdf5AttributeWriter attributes(side.file.get());
    attributes.Integer("source_size", H5T_STD_U64LE, source.st_size)
        .Integer("source_modified_ns", H5T_STD_I64LE, ModifiedNanoseconds(source));
    if (!group.valid() || !attributes.ok() ||
        !hdf5_layout::WriteFileAttributes(side.file.get(), hdf5_layout::kOverviewFormat, reason))
      return fail(reason.empty() ? attributes.why() : reason);
  }
  std::vector<double> block(
      static_cast<std::size_t>(std::min<std::uint64_t>(total, kBlockSamples)));
  std::uint64_t done = 0;
  for (std::size_t k = 0; k < reader->Channels().size(); ++k) {
    const RecordedChannel& channel = reader->Channels()[k];
    OverviewBuilder builder;
    ChannelLevels levels;
    {
      const Hdf5Use use;
      levels.group = Hdf5Group(
          H5Gcreate2(side.file.get(), recording_layout::OverviewPath(channel.settings.slot).c_str(),
                     H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
      if (!levels.group.valid() || !levels.writer.Begin(levels.group.get()) ||
          !Hdf5AttributeWriter(levels.group.get())
               .Integer("count", H5T_STD_U64LE, static_cast<std::int64_t>(channel.sampleCount))
               .ok())
        return fail(Hdf5Failure("écriture de l'aperçu"));
    }
    for (std::uint64_t first = 0; first < channel.sampleCount;) {
      const std::span<double> piece(block.data(), static_cast<std::size_t>(std::min<std::uint64_t>(
                                                      block.size(), channel.sampleCount - first)));
      if (!reader->ReadVolts(k, first, piece, &reason)) return fail(std::move(reason));
      builder.Append(piece);
      if (!levels.Write(builder, reason)) return fail(std::move(reason));
      first += piece.size();
      done += piece.size();
      if (!progress(done, total)) return OverviewBuild::kCancelled;
    }
  }
  {
    const Hdf5Use use;
    if (!side.file.Close()) return fail(Hdf5Failure("écriture de « " + target.string() + " »"));
  }
  // On disk before it takes its name: a side file is whole or absent.
  const int fd = ::open(side.temporary.c_str(), O_RDONLY | O_CLOEXEC);
  const bool synced = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  if (!synced || ::rename(side.temporary.c_str(), target.c_str()) != 0)
    return fail("« " + target.string() + " » : " + SystemErrorText(errno));
  side.kept = true;
  return OverviewBuild::kBuilt;
}

}  // namespace tavril
