#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "display/extent_pyramid.h"
#include "files/recording_reader.h"
#include "model/recording_overview.h"

namespace tavril {

// How much a RecordingEnvelope holds and reads at once.
struct EnvelopeLimits {
  // Nodes of the level held, at most: with the levels made above them,
  // 4.8 MB.
  std::uint64_t heldNodes = std::uint64_t{1} << 18;
  // Views of at most this many samples are read whole.
  std::uint64_t wholeViewSamples = std::uint64_t{1} << 18;
  // Nodes of a level read at once when the level held would need more: it
  // is then read a little at each call, from the file's scattered chunks.
  std::uint64_t quickNodes = std::uint64_t{1} << 13;
  std::uint64_t refinedPerCall = std::uint64_t{1} << 14;
};

// The exact extents of the pixel columns of one recorded channel: what the
// graph draws of a recording too long to hold. Column i spans samples
// [bounds[i], bounds[i + 1]); its extent is the smallest and largest volts of
// exactly those samples, as a scan of them would find.
//
// It holds one level of the channel's overview in memory (the lowest of at
// most EnvelopeLimits::heldNodes nodes, whatever the recording's length;
// while that level is being read, a coarser one) and reads the file only
// where that level cannot settle a column: at each end of a column, the node
// it cuts is taken apart level by level, and only while that node could
// still widen the column's extent. A narrow view is read whole instead. A
// recording still being written is followed: after RecordingReader::Refresh,
// Extents reads what was added.
class RecordingEnvelope {
 public:
  RecordingEnvelope(RecordingReader& reader, std::size_t channel, EnvelopeLimits limits = {});

  // Fills out[i] for the columns between ascending `bounds` (out.size() + 1
  // of them, the last at most the channel's count); false, with the reason
  // in LastFailure(), when the file cannot be read.
  bool Extents(std::span<const std::uint64_t> bounds, std::span<ValueExtent> out);
  const std::string& LastFailure() const { return failure_; }

  // Memory held between calls, in bytes.
  std::size_t HeldBytes() const;

 private:
  // Part of a column inside one node of `level` (or past the nodes held,
  // its extent then unknown), still to be read.
  struct Piece {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
    std::size_t column = 0;
    bool known = false;
    ValueExtent node;
  };
  // Where the samples of a piece lie among those read at once.
  struct Segment {
    std::size_t column = 0;
    std::size_t offset = 0;
    std::size_t size = 0;
  };

  bool Follow();
  void Choose();
  bool Load(ExtentPyramid& pyramid, std::uint64_t most);
  void Split(std::uint64_t first, std::uint64_t end, std::size_t column,
             std::span<ValueExtent> out);
  bool Descend(std::span<ValueExtent> out);
  bool ReadSamples(std::span<ValueExtent> out);
  bool ReadSegments(std::uint64_t total, std::span<ValueExtent> out);

  RecordingReader& reader_;
  std::size_t channel_;
  EnvelopeLimits limits_;
  // Whether codes only grow with their volts, or only fall: the extent of
  // codes then gives that of volts.
  enum class CodeOrder { kNone, kRising, kFalling };
  CodeOrder order_ = CodeOrder::kNone;
  std::uint64_t count_ = 0;  // samples followed
  bool levelChosen_ = false;
  ExtentPyramid held_;
  ExtentPyramid finer_;  // the level to be held, while it is read
  bool refining_ = false;
  // Reused from call to call.
  std::vector<Piece> pieces_, next_;
  std::vector<RecordingReader::Stretch> stretches_;
  std::vector<std::size_t> offsets_;
  std::vector<Segment> segments_;
  std::vector<ValueExtent> nodes_;
  std::vector<double> volts_;
  std::vector<std::int16_t> codes_;
  std::string failure_;
};

}  // namespace tavril
