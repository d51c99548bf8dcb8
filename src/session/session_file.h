#pragma once

#include <filesystem>
#include <string>

#include "display/view_state.h"
#include "files/isolated_check.h"
#include "model/channel_record.h"
#include "model/session.h"

// A whole session in one HDF5 file (*.h5), format "TAVRIL session", version 1:
// the layout of the files of channels (files/hdf5_file.h) with these changes
// and additions.
//
// File attributes (on /): creator, format = "TAVRIL session",
// format_version = 1, and
//   master_channel  int32  the channel the information strip describes, 0 to 7
// Group /channels: all eight records, channel_0 to channel_7, each slot
// exactly once. A record without samples has an empty dataset; its
// attributes keep its fields, and its statistics (max_index, max_value,
// min_index, min_value, mean) are read back from them, since they are not
// those of its samples (the reset state shows -1 to 1 V). A record holding
// samples gets its statistics recomputed from them, which gives what was
// saved. The board configuration is not saved: it is TAVRIL.INI's.
// Group /view, the graph's state, attributes only, all scalars but the last:
//   pixels_per_sample  float64  finite, above 0
//   pixels_per_volt    float64  finite, above 0
//   origin_y           int32    client y of the 0 V line
//   scroll_offset      int32    first sample drawn, 0 or more
//   auto_scale         uint8    1 for the automatic scale, 0 for the manual one
//   cursor1_x          int32    the cursors' client x
//   cursor2_x          int32
//   cursors_shown      uint8    0 or 1
//   channel_shown      uint8[8] per channel, 1 when the graph draws it
// (a cursor being dragged is not saved: it is read back as none).
namespace tavril {

// What a session file holds.
struct SessionContents {
  ChannelTable channels{};
  int masterChannel = 0;
  ViewState view{};
};

// Writes the session's eight records, its master channel and `view` into one
// HDF5 file at `path`, whole or not at all. False with `why` (French) on
// failure, the previous file then unchanged.
bool WriteSessionFile(const Session& session, const ViewState& view,
                      const std::filesystem::path& path, std::string* why);

// Reads a session file into `out`. False with `why` (French: which part of the
// file is wrong and how) when it is missing, not HDF5, not a session file or
// damaged; `out` is then untouched. The file is first read aside, all but
// the samples, by the helper program (files/isolated_check.h), unless
// `place` says in this process: for callers that a file libhdf5 does not
// survive may take down (the fuzzer, which fuzzes this reader, not the
// isolation). With `memory`, the samples are read into its spare samples
// where they fit, whose memory is then the records' (no fresh pages when a
// session is opened again).
bool ReadSessionFile(const std::filesystem::path& path, SessionContents& out, std::string* why,
                     Session* memory = nullptr, CheckPlace place = CheckPlace::kAside);

// The check read aside: every part of the session file but the samples,
// whose places are checked. False with `why` as above.
bool CheckSessionFile(const std::filesystem::path& path, std::string& why);

// Puts what a session file held into `session` and `view`: every record, each
// one's revision moved on from the record it replaces (the samples replaced go
// to the session's spare memory), the master channel and the view.
// `contents` is left without samples.
void InstallSession(SessionContents& contents, Session& session, ViewState& view);

}  // namespace tavril
