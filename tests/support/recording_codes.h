#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "files/hdf5_recording.h"

namespace tavril::testing {

// The conversion of a 12-bit board, codes -2048 to 2047 over ±10 V.
ReadingConversion TwelveBitConversion();

// Appends scans [from, from + count) of `channels` channels, the code of scan
// i on channel c being code(i, c), in pieces of `piece` scans. The volts
// beside the codes are zeros: a recording keeps the codes.
using CodeOf = std::function<BoardReading(std::uint64_t, std::size_t)>;
bool AppendCodes(Hdf5Recording& recording, const ReadingConversion& conversion,
                 std::size_t channels, std::uint64_t from, std::uint64_t count, const CodeOf& code,
                 std::uint64_t piece = std::uint64_t{1} << 16);

// The same in uneven pieces, 1 scan, then 8, 57... (each 7 times the last
// plus one), then flushed: the writer meets every way of splitting its
// chunks and blocks.
bool AppendCodesUnevenly(Hdf5Recording& recording, const ReadingConversion& conversion,
                         std::size_t channels, std::uint64_t from, std::uint64_t count,
                         const CodeOf& code);

}  // namespace tavril::testing
