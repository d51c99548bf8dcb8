#include "display/recording_envelope.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/code_polynomial.h"

namespace tavril {
namespace {

// Samples read at once below the overview.
constexpr std::uint64_t kSampleBatch = std::uint64_t{1} << 16;
// Rows of a level this close to the last ones asked are read with them: a
// stretch more costs the library more than a few rows.
constexpr std::uint64_t kRowGap = 16;

template <class T>
std::size_t CapacityBytes(const std::vector<T>& vector) {
  return vector.capacity() * sizeof(T);
}

}  // namespace

RecordingEnvelope::RecordingEnvelope(RecordingReader& reader, std::size_t channel,
                                     EnvelopeLimits limits)
    : reader_(reader), channel_(channel), limits_(limits) {
  const CodeVolts* volts = reader.Conversion(channel);
  const std::size_t bytes = reader.CodeBytes(channel);
  if (volts == nullptr || bytes > sizeof(std::int16_t)) return;
  // Every code the file can hold: a curved calibration may turn back.
  const std::int64_t half = std::int64_t{1} << (8 * bytes - 1);
  bool rising = true, falling = true;
  double previous = (*volts)(-half);
  for (std::int64_t code = -half; code < half; ++code) {
    const double volt = (*volts)(code);
    if (std::isnan(volt)) return;
    rising = rising && volt >= previous;
    falling = falling && volt <= previous;
    previous = volt;
  }
  order_ = rising ? CodeOrder::kRising : falling ? CodeOrder::kFalling : CodeOrder::kNone;
}

std::size_t RecordingEnvelope::HeldBytes() const {
  return held_.Bytes() + CapacityBytes(pieces_) + CapacityBytes(next_) + CapacityBytes(stretches_) +
         CapacityBytes(offsets_) + CapacityBytes(nodes_) + CapacityBytes(volts_) +
         CapacityBytes(codes_);
}

bool RecordingEnvelope::Extents(std::span<const std::uint64_t> bounds, std::span<ValueExtent> out) {
  std::fill(out.begin(), out.end(), ValueExtent{});
  if (out.empty()) return true;
  if (bounds.size() != out.size() + 1 || !std::is_sorted(bounds.begin(), bounds.end())) {
    failure_ = "les colonnes demandées ne se suivent pas";
    return false;
  }
  if (!Follow()) return false;
  const auto clip = [this](std::uint64_t bound) { return std::min(bound, count_); };
  const std::uint64_t first = clip(bounds.front()), end = clip(bounds.back());
  if (first >= end) return true;
  if (end - first <= limits_.wholeViewSamples && order_ != CodeOrder::kNone)
    return ReadWhole(bounds, out);
  pieces_.clear();
  for (std::size_t c = 0; c < out.size(); ++c) {
    if (clip(bounds[c]) < clip(bounds[c + 1])) Split(clip(bounds[c]), clip(bounds[c + 1]), c, out);
  }
  return Descend(out);
}

bool RecordingEnvelope::Follow() {
  const std::uint64_t count = reader_.Channels()[channel_].sampleCount;
  if (levelChosen_ && count == count_) return true;
  OverviewSource& source = reader_.Source(channel_);
  if (!levelChosen_) {
    std::size_t level = 0;
    while (level + 1 < kOverviewMaxLevels && source.NodeCount(level) > limits_.heldNodes) ++level;
    held_.Reset(level);
    levelChosen_ = true;
  }
  for (;;) {
    const std::uint64_t held = held_.NodeCount();
    const std::uint64_t available = source.NodeCount(held_.Level());
    if (available <= held) break;
    nodes_.resize(std::min(available - held, limits_.heldNodes));
    const RecordingReader::Stretch added{held, nodes_.size()};
    if (!reader_.ReadNodeExtents(channel_, held_.Level(), {&added, 1}, nodes_, &failure_))
      return false;
    held_.Append(nodes_);
    while (held_.NodeCount() > limits_.heldNodes) held_.Coarsen();
  }
  count_ = count;
  return true;
}

bool RecordingEnvelope::ReadWhole(std::span<const std::uint64_t> bounds,
                                  std::span<ValueExtent> out) {
  const std::uint64_t first = bounds.front();
  const std::uint64_t end = std::min(bounds.back(), count_);
  codes_.resize(end - first);
  if (!reader_.ReadCodes(channel_, first, codes_, &failure_)) return false;
  const CodeVolts& volts = *reader_.Conversion(channel_);
  for (std::size_t c = 0; c < out.size(); ++c) {
    const std::uint64_t from = std::min(bounds[c], end) - first;
    const std::uint64_t to = std::min(bounds[c + 1], end) - first;
    if (from >= to) continue;
    std::int16_t lowest = std::numeric_limits<std::int16_t>::max();
    std::int16_t highest = std::numeric_limits<std::int16_t>::min();
    for (std::uint64_t i = from; i < to; ++i) {
      lowest = std::min(lowest, codes_[i]);
      highest = std::max(highest, codes_[i]);
    }
    const double low = volts(lowest), high = volts(highest);
    out[c] = order_ == CodeOrder::kRising ? ValueExtent{low, high} : ValueExtent{high, low};
  }
  return true;
}

// The nodes held wholly inside [first, end) widen the column at once; the
// nodes it cuts at its ends, and what lies past the nodes held, are pieces.
void RecordingEnvelope::Split(std::uint64_t first, std::uint64_t end, std::size_t column,
                              std::span<ValueExtent> out) {
  const std::uint64_t span = OverviewNodeSpan(held_.Level());
  const std::uint64_t covered = std::min(end, held_.NodeCount() * span);
  const auto part = [&](std::uint64_t from, std::uint64_t to, std::uint64_t node) {
    if (to - from == span)
      Widen(out[column], held_.Node(node));
    else
      pieces_.push_back({from, to, column, true, held_.Node(node)});
  };
  if (first < covered) {
    const std::uint64_t firstNode = first / span, lastNode = (covered - 1) / span;
    part(first, std::min(covered, (firstNode + 1) * span), firstNode);
    if (lastNode > firstNode) {
      Widen(out[column], held_.Range(firstNode + 1, lastNode));
      part(lastNode * span, covered, lastNode);
    }
  }
  if (std::max(first, covered) < end)
    pieces_.push_back({std::max(first, covered), end, column, false, {}});
}

// Level by level, drops the pieces whose node cannot widen their column any
// more, and takes the others apart into the nodes of the level below; the
// pieces left below the lowest level are read as samples.
bool RecordingEnvelope::Descend(std::span<ValueExtent> out) {
  for (std::size_t level = held_.Level();; --level) {
    std::erase_if(pieces_, [&](const Piece& piece) {
      const ValueExtent& column = out[piece.column];
      return piece.known && piece.node.minimum >= column.minimum &&
             piece.node.maximum <= column.maximum;
    });
    if (pieces_.empty()) return true;
    if (level == 0) return ReadSamples(out);
    const std::size_t below = level - 1;
    const std::uint64_t span = OverviewNodeSpan(below);
    const std::uint64_t available = reader_.Source(channel_).NodeCount(below);
    const auto rows = [&](const Piece& piece) {
      return std::pair(piece.first / span, std::min((piece.end + span - 1) / span, available));
    };
    // Pieces next to each other share a node: its rows are read once.
    stretches_.clear();
    offsets_.clear();
    std::uint64_t total = 0;
    for (const Piece& piece : pieces_) {
      const auto [from, to] = rows(piece);
      if (from < to) {
        RecordingReader::Stretch* last = stretches_.empty() ? nullptr : &stretches_.back();
        if (last != nullptr && from <= last->first + last->count + kRowGap) {
          const std::uint64_t lastEnd = last->first + last->count;
          if (to > lastEnd) total += to - lastEnd, last->count = to - last->first;
        } else {
          stretches_.push_back({from, to - from});
          total += to - from;
        }
      }
      const RecordingReader::Stretch& last =
          stretches_.empty() ? RecordingReader::Stretch{} : stretches_.back();
      offsets_.push_back(total - last.count + (from - last.first));
    }
    nodes_.resize(total);
    if (!reader_.ReadNodeExtents(channel_, below, stretches_, nodes_, &failure_)) return false;
    next_.clear();
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
      const Piece& piece = pieces_[i];
      const auto [from, to] = rows(piece);
      for (std::uint64_t row = from; row < to; ++row) {
        const std::uint64_t first = std::max(piece.first, row * span);
        const std::uint64_t end = std::min(piece.end, (row + 1) * span);
        const ValueExtent& node = nodes_[offsets_[i] + (row - from)];
        if (end - first == span)
          Widen(out[piece.column], node);
        else
          next_.push_back({first, end, piece.column, true, node});
      }
      const std::uint64_t past = std::max(piece.first, available * span);
      if (past < piece.end) next_.push_back({past, piece.end, piece.column, false, {}});
    }
    pieces_.swap(next_);
  }
}

bool RecordingEnvelope::ReadSamples(std::span<ValueExtent> out) {
  stretches_.clear();
  offsets_.clear();
  std::uint64_t batch = 0;
  const auto read = [&] {
    volts_.resize(batch);
    if (!reader_.ReadVolts(channel_, stretches_, volts_, &failure_)) return false;
    const double* volt = volts_.data();
    for (std::size_t k = 0; k < stretches_.size(); ++k) {
      ValueExtent& column = out[offsets_[k]];
      for (std::uint64_t i = 0; i < stretches_[k].count; ++i, ++volt) {
        column.minimum = *volt < column.minimum ? *volt : column.minimum;
        column.maximum = *volt > column.maximum ? *volt : column.maximum;
      }
    }
    stretches_.clear();
    offsets_.clear();
    batch = 0;
    return true;
  };
  for (const Piece& piece : pieces_) {
    for (std::uint64_t first = piece.first; first < piece.end;) {
      const std::uint64_t size = std::min(piece.end - first, kSampleBatch - batch);
      stretches_.push_back({first, size});
      offsets_.push_back(piece.column);
      batch += size;
      first += size;
      if (batch == kSampleBatch && !read()) return false;
    }
  }
  return batch == 0 || read();
}

}  // namespace tavril
