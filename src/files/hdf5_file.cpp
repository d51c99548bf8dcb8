#include "files/hdf5_file.h"

#include "files/hdf5_layout.h"

namespace tavril {

bool WriteHdf5File(std::span<const SlotView> records, const std::filesystem::path& path,
                   std::string* why) {
  const Hdf5Use use;
  std::string reason;
  const bool written = hdf5_layout::WriteFile(
      path, hdf5_layout::kChannelsFormat,
      [records](hid_t file, std::string& failure) {
        return hdf5_layout::WriteChannels(file, records, failure);
      },
      reason);
  if (!written && why != nullptr) *why = std::move(reason);
  return written;
}

bool ReadHdf5File(const std::filesystem::path& path, ChannelSet& records, std::string* why) {
  const Hdf5Use use;
  std::string reason;
  Hdf5File file;
  ChannelSet read;
  const bool ok = hdf5_layout::OpenFile(path, hdf5_layout::kChannelsFormat, file, reason) &&
                  hdf5_layout::ReadChannels(file.get(), false, read, reason);
  if (!ok) {
    if (why != nullptr) *why = std::move(reason);
    return false;
  }
  records = std::move(read);
  return true;
}

}  // namespace tavril
