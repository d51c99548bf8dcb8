#include "files/hdf5_file.h"

#include "files/hdf5_layout.h"
#include "files/isolated_check.h"

namespace tavril {

bool WriteHdf5File(std::span<const SlotView> records, const std::filesystem::path& path,
                   std::string* why) {
  const Hdf5Use use;
  std::string reason;
  const bool written = hdf5_layout::WriteFile(
      path, hdf5_layout::kChannelsFormat,
      [records](hid_t file, const std::function<void()>& release, std::string& failure) {
        return hdf5_layout::WriteChannels(file, records, release, failure);
      },
      reason);
  if (!written && why != nullptr) *why = std::move(reason);
  return written;
}

namespace {

bool ReadChannelsFile(const std::filesystem::path& path, bool checkOnly, ChannelSet& read,
                      std::string& reason) {
  const Hdf5Use use;
  Hdf5File file;
  return hdf5_layout::OpenFile(path, hdf5_layout::kChannelsFormat, file, reason) &&
         hdf5_layout::ReadChannels(file.get(), {.checkOnly = checkOnly}, read, reason);
}

}  // namespace

bool CheckHdf5File(const std::filesystem::path& path, std::string& why) {
  ChannelSet ignored;
  return ReadChannelsFile(path, true, ignored, why);
}

bool ReadHdf5File(const std::filesystem::path& path, ChannelSet& records, std::string* why) {
  if (!CheckFileAside(FileCheck::kChannelsHdf5, path, why)) return false;
  ChannelSet read;
  std::string reason;
  if (!ReadChannelsFile(path, false, read, reason)) {
    if (why != nullptr) *why = std::move(reason);
    return false;
  }
  records = std::move(read);
  return true;
}

}  // namespace tavril
