#include "display/recording_envelope.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "model/code_polynomial.h"

namespace tavril {
namespace {

// Samples read at once below the overview.
constexpr std::uint64_t kSampleBatch = std::uint64_t{1} << 16;
// Nodes of the level held read at once.
constexpr std::uint64_t kNodeBatch = std::uint64_t{1} << 13;
// Rows of a level this close to the last ones asked are read with them: a
// stretch more costs the library more than a few rows.
constexpr std::uint64_t kRowGap = 16;

// Samples between two pieces read with them, rather than in a read of its own.
constexpr std::uint64_t kSampleGap = 4096;

// The smallest and largest of `count` codes, 16 at a time where the
// processor allows.
std::pair<std::int16_t, std::int16_t> CodeExtent(const std::int16_t* codes, std::size_t count) {
  std::int16_t lowest = std::numeric_limits<std::int16_t>::max();
  std::int16_t highest = std::numeric_limits<std::int16_t>::min();
  std::size_t i = 0;
#if defined(__SSE2__)
  if (count >= 16) {
    __m128i lo0 = _mm_set1_epi16(lowest), lo1 = lo0;
    __m128i hi0 = _mm_set1_epi16(highest), hi1 = hi0;
    for (; i + 16 <= count; i += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(codes + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(codes + i + 8));
      lo0 = _mm_min_epi16(lo0, a);
      lo1 = _mm_min_epi16(lo1, b);
      hi0 = _mm_max_epi16(hi0, a);
      hi1 = _mm_max_epi16(hi1, b);
    }
    alignas(16) std::int16_t lanes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_min_epi16(lo0, lo1));
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes + 8), _mm_max_epi16(hi0, hi1));
    lowest = *std::min_element(lanes, lanes + 8);
    highest = *std::max_element(lanes + 8, lanes + 16);
  }
#endif
  for (; i < count; ++i) {
    lowest = std::min(lowest, codes[i]);
    highest = std::max(highest, codes[i]);
  }
  return {lowest, highest};
}

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
  return held_.Bytes() + finer_.Bytes() + CapacityBytes(pieces_) + CapacityBytes(next_) +
         CapacityBytes(stretches_) + CapacityBytes(offsets_) + CapacityBytes(nodes_) +
         CapacityBytes(volts_) + CapacityBytes(codes_) + CapacityBytes(segments_);
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
  // A narrow view costs less read whole than node by node.
  const bool whole = end - first <= limits_.wholeViewSamples;
  pieces_.clear();
  for (std::size_t c = 0; c < out.size(); ++c) {
    const std::uint64_t from = clip(bounds[c]), to = clip(bounds[c + 1]);
    if (from >= to) continue;
    if (whole)
      pieces_.push_back({from, to, c, false, {}});
    else
      Split(from, to, c, out);
  }
  return whole ? ReadSamples(out) : Descend(out);
}

bool RecordingEnvelope::Follow() {
  OverviewSource& source = reader_.Source(channel_);
  const auto tooMany = [&](const ExtentPyramid& pyramid) {
    return source.NodeCount(pyramid.Level()) > limits_.heldNodes;
  };
  // Chosen anew when the file has grown past what the level held may hold.
  if (!levelChosen_ || tooMany(held_) || (refining_ && tooMany(finer_))) Choose();
  const std::uint64_t count = reader_.Channels()[channel_].sampleCount;
  if (count != count_ && !Load(held_, std::numeric_limits<std::uint64_t>::max())) return false;
  count_ = count;
  if (!refining_) return true;
  if (!Load(finer_, limits_.refinedPerCall)) return false;
  if (finer_.NodeCount() < source.NodeCount(finer_.Level())) return true;
  std::swap(held_, finer_);
  finer_ = ExtentPyramid{};
  refining_ = false;
  return true;
}

// The lowest level of at most heldNodes nodes; until it is read, a level of
// at most quickNodes, read at once: the first picture waits for little.
void RecordingEnvelope::Choose() {
  OverviewSource& source = reader_.Source(channel_);
  const auto lowest = [&](std::uint64_t most) {
    std::size_t level = 0;
    while (level + 1 < kOverviewMaxLevels && source.NodeCount(level) > most) ++level;
    return level;
  };
  const std::size_t level = lowest(limits_.heldNodes);
  const std::size_t quick = lowest(std::min(limits_.heldNodes, limits_.quickNodes));
  held_.Reset(quick);
  finer_ = ExtentPyramid{};
  refining_ = quick != level;
  if (refining_) {
    finer_.Reset(level);
    finer_.Reserve(source.NodeCount(level));
  }
  levelChosen_ = true;
  count_ = 0;
}

// Reads at most `most` nodes more of the pyramid's level, as far as the file has them.
bool RecordingEnvelope::Load(ExtentPyramid& pyramid, std::uint64_t most) {
  OverviewSource& source = reader_.Source(channel_);
  const std::uint64_t available = source.NodeCount(pyramid.Level());
  while (pyramid.NodeCount() < available && most > 0) {
    const std::uint64_t held = pyramid.NodeCount();
    nodes_.resize(std::min({available - held, kNodeBatch, most}));
    const RecordingReader::Stretch added{held, nodes_.size()};
    if (!reader_.ReadNodeExtents(channel_, pyramid.Level(), {&added, 1}, nodes_, &failure_))
      return false;
    pyramid.Append(nodes_);
    most -= nodes_.size();
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

// Reads the pieces' samples in batches, with the few samples between
// pieces close to each other: one read costs more than a few samples.
bool RecordingEnvelope::ReadSamples(std::span<ValueExtent> out) {
  stretches_.clear();
  segments_.clear();
  std::uint64_t total = 0;
  for (const Piece& piece : pieces_) {
    for (std::uint64_t first = piece.first; first < piece.end;) {
      RecordingReader::Stretch* last = stretches_.empty() ? nullptr : &stretches_.back();
      const std::uint64_t lastEnd = last == nullptr ? 0 : last->first + last->count;
      const bool joins = last != nullptr && first - lastEnd <= kSampleGap;
      const std::uint64_t gap = joins ? first - lastEnd : 0;
      if (total + gap >= kSampleBatch) {
        if (!ReadSegments(total, out)) return false;
        total = 0;
        continue;
      }
      const std::uint64_t size = std::min(piece.end - first, kSampleBatch - total - gap);
      if (joins)
        last->count += gap + size;
      else
        stretches_.push_back({first, size});
      segments_.push_back({piece.column, total + gap, size});
      total += gap + size;
      first += size;
    }
  }
  return total == 0 || ReadSegments(total, out);
}

bool RecordingEnvelope::ReadSegments(std::uint64_t total, std::span<ValueExtent> out) {
  if (order_ != CodeOrder::kNone) {
    codes_.resize(kSampleBatch);
    if (!reader_.ReadCodes(channel_, stretches_, {codes_.data(), total}, &failure_)) return false;
    const CodeVolts& volts = *reader_.Conversion(channel_);
    for (const Segment& segment : segments_) {
      const auto [lowest, highest] = CodeExtent(codes_.data() + segment.offset, segment.size);
      const double low = volts(lowest), high = volts(highest);
      Widen(out[segment.column],
            order_ == CodeOrder::kRising ? ValueExtent{low, high} : ValueExtent{high, low});
    }
  } else {
    volts_.resize(kSampleBatch);
    if (!reader_.ReadVolts(channel_, stretches_, {volts_.data(), total}, &failure_)) return false;
    for (const Segment& segment : segments_) {
      ValueExtent& column = out[segment.column];
      for (const double volt : std::span(volts_.data() + segment.offset, segment.size)) {
        column.minimum = volt < column.minimum ? volt : column.minimum;
        column.maximum = volt > column.maximum ? volt : column.maximum;
      }
    }
  }
  stretches_.clear();
  segments_.clear();
  return true;
}

}  // namespace tavril
