#include "session/session_file.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "files/hdf5_attributes.h"
#include "files/hdf5_handles.h"
#include "files/hdf5_layout.h"
#include "files/isolated_check.h"

namespace tavril {
namespace {

constexpr const char* kViewGroup = "view";
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

bool WriteView(hid_t file, const ViewState& view, std::string& why) {
  const Hdf5PropertyList creation(H5Pcreate(H5P_GROUP_CREATE));
  const Hdf5Group group(creation.valid() && H5Pset_obj_track_times(creation.get(), false) >= 0
                            ? H5Gcreate2(file, kViewGroup, H5P_DEFAULT, creation.get(), H5P_DEFAULT)
                            : H5I_INVALID_HID);
  if (!group.valid()) {
    why = Hdf5Failure("création du groupe /view");
    return false;
  }
  std::array<std::uint8_t, kChannelCount> shown{};
  for (int k = 0; k < kChannelCount; ++k) shown[k] = view.channelShown[k] ? 1 : 0;
  Hdf5AttributeWriter attributes(group.get());
  attributes.Double("pixels_per_sample", view.scale.pixelsPerSample)
      .Double("pixels_per_volt", view.scale.pixelsPerVolt)
      .Integer("origin_y", H5T_STD_I32LE, view.scale.originY)
      .Integer("scroll_offset", H5T_STD_I32LE, view.scale.scrollOffset)
      .Integer("auto_scale", H5T_STD_U8LE, view.scale.autoScale ? 1 : 0)
      .Integer("cursor1_x", H5T_STD_I32LE, view.cursors.cursor1X)
      .Integer("cursor2_x", H5T_STD_I32LE, view.cursors.cursor2X)
      .Integer("cursors_shown", H5T_STD_U8LE, view.cursors.cursorsShown ? 1 : 0)
      .Bytes("channel_shown", shown);
  if (!attributes.ok()) why = "/view : " + attributes.why();
  return attributes.ok();
}

bool ReadView(hid_t file, ViewState& view, std::string& why) {
  const htri_t exists = H5Lexists(file, kViewGroup, H5P_DEFAULT);
  if (exists <= 0) {
    why = exists == 0 ? "le groupe /view manque" : Hdf5Failure("lecture de /view");
    return false;
  }
  const Hdf5Group group(H5Gopen2(file, kViewGroup, H5P_DEFAULT));
  if (!group.valid()) {
    why = Hdf5Failure("/view n'est pas un groupe lisible");
    return false;
  }
  Hdf5AttributeReader attributes(group.get(), "de /view");
  ViewState read;
  std::int64_t originY = 0, scrollOffset = 0, autoScale = 0, cursor1 = 0, cursor2 = 0, shown = 0;
  const bool ok = attributes.Double("pixels_per_sample", read.scale.pixelsPerSample) &&
                  attributes.Double("pixels_per_volt", read.scale.pixelsPerVolt) &&
                  attributes.Integer("origin_y", kInt32Min, kInt32Max, originY) &&
                  attributes.Integer("scroll_offset", 0, kInt32Max, scrollOffset) &&
                  attributes.Integer("auto_scale", 0, 1, autoScale) &&
                  attributes.Integer("cursor1_x", kInt32Min, kInt32Max, cursor1) &&
                  attributes.Integer("cursor2_x", kInt32Min, kInt32Max, cursor2) &&
                  attributes.Integer("cursors_shown", 0, 1, shown) &&
                  attributes.Flags("channel_shown", read.channelShown);
  if (!ok) {
    why = attributes.why();
    return false;
  }
  // The graph divides by them and draws with them.
  for (const auto& [name, factor] : {std::pair{"pixels_per_sample", read.scale.pixelsPerSample},
                                     std::pair{"pixels_per_volt", read.scale.pixelsPerVolt}}) {
    if (!std::isfinite(factor) || factor <= 0.0) {
      why = std::string("l'attribut « ") + name +
            " » de /view n'est pas un nombre fini supérieur à 0";
      return false;
    }
  }
  read.scale.originY = static_cast<std::int32_t>(originY);
  read.scale.scrollOffset = static_cast<std::int32_t>(scrollOffset);
  read.scale.autoScale = autoScale == 1;
  read.cursors.cursor1X = static_cast<std::int32_t>(cursor1);
  read.cursors.cursor2X = static_cast<std::int32_t>(cursor2);
  read.cursors.cursorsShown = shown == 1;
  view = read;
  return true;
}

}  // namespace

bool WriteSessionFile(const Session& session, const ViewState& view,
                      const std::filesystem::path& path, std::string* why) {
  const Hdf5Use use;
  std::vector<SlotView> records;
  for (int k = 0; k < kChannelCount; ++k) records.push_back({k, &session.channels[k]});
  std::string reason;
  const bool written = hdf5_layout::WriteFile(
      path, hdf5_layout::kSessionFormat,
      [&](hid_t file, const std::function<void()>& release, std::string& failure) {
        Hdf5AttributeWriter attributes(file);
        attributes.Integer("master_channel", H5T_STD_I32LE, session.masterChannel);
        if (!attributes.ok()) failure = attributes.why();
        return attributes.ok() && hdf5_layout::WriteChannels(file, records, release, failure) &&
               WriteView(file, view, failure);
      },
      reason);
  if (!written && why != nullptr) *why = std::move(reason);
  return written;
}

namespace {

// Reads the session at `path` into `read`; with `checkOnly`, every part of
// it is read but the samples (hdf5_layout::ReadOptions).
bool ReadSession(const std::filesystem::path& path, bool checkOnly, ChannelSamples* reuse,
                 SessionContents& read, std::string& reason) {
  const Hdf5Use use;
  Hdf5File file;
  ChannelSet records;
  std::int64_t master = 0;
  bool ok = hdf5_layout::OpenFile(path, hdf5_layout::kSessionFormat, file, reason);
  if (ok) {
    Hdf5AttributeReader attributes(file.get(), "du fichier");
    ok = attributes.Integer("master_channel", 0, kChannelCount - 1, master);
    if (!ok) reason = attributes.why();
  }
  ok = ok &&
       hdf5_layout::ReadChannels(file.get(),
                                 {.storedStatistics = true, .checkOnly = checkOnly, .reuse = reuse},
                                 records, reason) &&
       ReadView(file.get(), read.view, reason);
  // ReadChannels refuses a slot twice: eight records are then every slot once.
  if (ok && records.size() != kChannelCount) {
    int missing = 0;
    while (missing < static_cast<int>(records.size()) && records[missing].slot == missing)
      ++missing;
    reason = "la voie " + std::to_string(missing) + " manque dans /channels";
    ok = false;
  }
  if (!ok) return false;
  for (SlotRecord& entry : records) read.channels[entry.slot] = std::move(entry.record);
  read.masterChannel = static_cast<int>(master);
  return true;
}

}  // namespace

bool CheckSessionFile(const std::filesystem::path& path, std::string& why) {
  SessionContents ignored;
  return ReadSession(path, true, nullptr, ignored, why);
}

bool ReadSessionFile(const std::filesystem::path& path, SessionContents& out, std::string* why,
                     Session* memory, CheckPlace place) {
  if (place == CheckPlace::kAside) {
    if (!CheckFileAside(FileCheck::kSession, path, why)) return false;
  } else if (std::string reason; !CheckSessionFile(path, reason)) {
    if (why != nullptr) *why = std::move(reason);
    return false;
  }
  ChannelSamples* reuse = memory != nullptr ? &memory->spare.samples : nullptr;
  SessionContents read;
  std::string reason;
  if (!ReadSession(path, false, reuse, read, reason)) {
    if (why != nullptr) *why = std::move(reason);
    return false;
  }
  out = std::move(read);
  return true;
}

void InstallSession(SessionContents& contents, Session& session, ViewState& view) {
  for (int slot = 0; slot < kChannelCount; ++slot) {
    ChannelRecord& target = session.channels[slot];
    session.spare.samples[slot] = target.ReleaseSamples();
    target = std::move(contents.channels[slot]);
    contents.channels[slot].ReleaseSamples();
  }
  session.masterChannel = contents.masterChannel;
  view = contents.view;
}

}  // namespace tavril
